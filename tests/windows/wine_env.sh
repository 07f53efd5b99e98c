# Sourced by wine_prefix.sh and wine_run.sh: the environment every Wine
# process of the tests gets. $1 is the build folder.
build_dir=$(cd "$1" && pwd)
export WINEPREFIX="$build_dir/wine-prefix"
export WINEDEBUG=-all
# No .NET or Gecko installers on the first start (they would be fetched).
export WINEDLLOVERRIDES="mscoree,mshtml="
# Chinese Windows: code page 936. The locale is compiled into the build
# folder (LOCPATH), so nothing on the machine is changed.
export LOCPATH="$build_dir/locales"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
unset DISPLAY WAYLAND_DISPLAY
