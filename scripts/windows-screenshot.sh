#!/usr/bin/env bash
# A picture of NurvLoader.exe (x86_64 build) under Wine on a virtual 1280x900 display at the end of
# a successful update of the demo complex: the demo setup tool, built for Windows, lays out the
# complex in C:\Demo of a fresh Wine prefix (scripts/demo.sh describes the demo), the loader runs
# there with /info /wait, and the picture is taken once it has started the demo main program.
# Usage: scripts/windows-screenshot.sh [output.png]   (default: build/windows-window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/windows-window.png}")
scripts/install-deps.sh windows
scripts/fetch-sqlite-source.sh
scripts/build-7zip-windows.sh
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target NurvLoader nurv-demo-main nurv-demo-setup
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Wine's recycle bin is the freedesktop Trash of XDG_DATA_HOME: kept inside the work folder.
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all XDG_DATA_HOME=$work/data NURV_OUT=$out
export NURV_WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
export NURV_WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
  set -e
  trap "\"\$NURV_WINESERVER\" -k" EXIT  # ends the loader, which waits for "Закрыть"
  "$NURV_WINE" wineboot -i >/dev/null 2>&1
  # Run from the build tree, on drive Z:, where the tool finds 7-Zip for Windows by its build path.
  "$NURV_WINE" build-mingw64/bin/nurv-demo-setup.exe "C:\\Demo" "Z:$PWD/build-mingw64/bin"
  bin=$WINEPREFIX/drive_c/Demo/complex/Bin
  cd "$bin"
  "$NURV_WINE" NurvLoader.exe /info /wait >/dev/null 2>&1 &
  # The demo main program writes its record when the loader starts it, at the end of the run.
  for _ in $(seq 1 600); do [ -f nurv-launch.txt ] && break; sleep 0.1; done
  [ -f nurv-launch.txt ] || { echo "the loader did not start the main program" >&2; exit 1; }
  sleep 2  # the last lines of the log are drawn
  # The window: 501 wide, 500 high with the log open, centred horizontally, middle 125 px above.
  import -window root -crop 501x500+389+75 +repage "$NURV_OUT"
'
echo "$out"
