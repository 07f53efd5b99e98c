#!/bin/sh
# Makes the Wine prefix the Windows tests run in, then starts a persistent
# wineserver (without one, every test pays about 3 s for a new one):
#   wine_prefix.sh BUILD_DIR start    (the CTest fixture set-up)
#   wine_prefix.sh BUILD_DIR stop     (its clean-up)
# The prefix lives in the build folder and is made once (about 15 s).
set -eu
. "$(dirname "$0")/wine_env.sh" "$1"
action=${2:-start}

if [ "$action" = stop ]; then
  wineserver -k 2>/dev/null || true
  exit 0
fi

if [ ! -d "$LOCPATH/zh_CN.UTF-8" ]; then
  mkdir -p "$LOCPATH"
  localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" 2>/dev/null || true
  [ -d "$LOCPATH/zh_CN.UTF-8" ] || { echo "cannot compile the zh_CN.UTF-8 locale" >&2; exit 1; }
fi

if [ ! -f "$WINEPREFIX/.e2d-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/* "$fonts/" 2>/dev/null || true
  cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$fonts/"
  # Chinese dialogs ask for 宋体 (SimSun) and MS Shell Dlg: WenQuanYi Micro
  # Hei draws them. The file is UTF-16 with a BOM, as regedit reads it.
  reg="$WINEPREFIX/e2d-fonts.reg"
  key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"宋体"="WenQuanYi Micro Hei"\r\n"SimSun"="WenQuanYi Micro Hei"\r\n"MS Shell Dlg"="WenQuanYi Micro Hei"\r\n"MS Shell Dlg 2"="WenQuanYi Micro Hei"\r\n' "$key" |
    iconv -f UTF-8 -t UTF-16 >"$reg"
  wine regedit /S "$reg" >/dev/null 2>&1
  wineserver -w
  # \\localhost\e2d: a folder of the build, for the UNC path tests.
  mkdir -p "$build_dir/unc-share" "$WINEPREFIX/dosdevices/unc/localhost"
  ln -sfn "$build_dir/unc-share" "$WINEPREFIX/dosdevices/unc/localhost/e2d"
  touch "$WINEPREFIX/.e2d-ready"
fi

# Standard streams to /dev/null: CTest waits for every process holding
# the test's output pipe, and the server and Wine's services stay on. A
# server already running (an earlier run's) is told to stay as well.
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1
