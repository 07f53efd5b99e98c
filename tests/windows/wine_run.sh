#!/bin/sh
# CMAKE_CROSSCOMPILING_EMULATOR of the Windows builds:
#   wine_run.sh BUILD_DIR PROGRAM.exe [ARGS...]
# runs the program under Wine in the build folder's prefix (wine_prefix.sh
# makes it) and exits with the program's status. Wine now and then fails
# to start a program at all (it prints that "ShellExecuteEx" failed, and
# none of the program runs); that start alone is tried again, at most
# twice. The program's output is passed on once it has ended.
. "$(dirname "$0")/wine_env.sh" "$1"
shift
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
  status=0
  wine "$@" >"$out" 2>"$err" || status=$?
  if [ "$status" -ne 0 ] && [ "$attempt" -lt 3 ] && grep -q "ShellExecuteEx" "$out" "$err"; then
    echo "wine_run.sh: Wine did not start $1; trying again" >&2
    continue
  fi
  cat "$out"
  cat "$err" >&2
  exit "$status"
done
