#!/bin/sh
# CMAKE_CROSSCOMPILING_EMULATOR of the Windows builds:
#   wine_run.sh BUILD_DIR PROGRAM.exe [ARGS...]
# runs the program under Wine in the build folder's prefix (wine_prefix.sh
# makes it) and exits with the program's status.
. "$(dirname "$0")/wine_env.sh" "$1"
shift
exec wine "$@"
