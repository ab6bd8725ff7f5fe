#!/usr/bin/env bash
# A picture of NurvLoader.exe (x86_64 build) under Wine on a virtual 1280x900 display, taken while
# the run waits with its log open (/info /wait, a nurv.ini naming a database that is not there).
# Usage: scripts/windows-screenshot.sh [output.png]   (default: build/windows-window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/windows-window.png}")
exe=$PWD/build-mingw64/bin/NurvLoader.exe
[ -f "$exe" ] || { echo "build the mingw64 preset first" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Complex/Bin"
cp "$exe" "$work/Complex/Bin/"
printf '[ConfigUser51]\r\nServer=sqlite:C:\\Complex\\updates.db\r\nDataBase=complex\r\nCaption=Главная база\r\nUser=petrov\r\n' \
  >"$work/Complex/Bin/nurv.ini"
export WINEPREFIX=$work/prefix WINEDEBUG=-all NURV_WORK=$work NURV_OUT=$out
export NURV_WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
export NURV_WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
  "$NURV_WINE" wineboot -i >/dev/null 2>&1
  cd "$NURV_WORK/Complex/Bin"
  "$NURV_WINE" NurvLoader.exe /info /wait >/dev/null 2>&1 &
  sleep 10
  # The window: 501 wide, 500 high with the log open, centred horizontally, middle 125 px above.
  import -window root -crop 501x500+389+75 +repage "$NURV_OUT"
  "$NURV_WINESERVER" -k
'
echo "$out"
