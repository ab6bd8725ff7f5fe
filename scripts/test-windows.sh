#!/usr/bin/env bash
# The Windows build on this Linux machine: installs what is missing, fetches SQLite's source,
# builds 7-Zip for Windows (the library the tests extract with, and 7z.exe that makes their
# archives), builds the x86_64 build and runs its tests under wine64 on a virtual display, then
# builds the shipped 32-bit NurvLoader.exe (i686, statically linked; built, not run: wine32 is
# unavailable).
# Usage: scripts/test-windows.sh   (WINEPREFIX may name the prefix to use; default in build-mingw64)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
scripts/fetch-sqlite-source.sh
scripts/build-7zip-windows.sh

cmake --preset mingw64 >/dev/null
# The programs must build; every test executable that builds is run, and one that does not fails
# the script at the end (after the others have run).
cmake --build --preset mingw64 --target NurvLoader nurvloader-cli
tests=$(ninja -C build-mingw64 -t targets | grep -oE '^test_[a-z0-9_]+:' | tr -d : | sort -u)
failed=0
for t in $tests; do
  cmake --build --preset mingw64 --target "$t" || { echo "*** $t does not build for Windows" >&2; failed=1; }
done

export WINEDEBUG=-all WINEARCH=win64
export WINEPREFIX=${WINEPREFIX:-$PWD/build-mingw64/wineprefix}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export NURV_WINE=$wine NURV_WINESERVER=$wineserver
# One display and one prefix for the whole run: the prefix is set up once (about 10 s the first
# time) and its server is kept alive between the test processes, which start in well under a second.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$NURV_WINESERVER" -p || true  # already running is fine
  "$NURV_WINE" wineboot -i >/dev/null 2>&1
  ctest --preset mingw64
  status=$?
  "$NURV_WINESERVER" -k || true
  exit $status
' || failed=1

cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 --target NurvLoader nurvloader-cli
ls -l build-mingw32/bin/NurvLoader.exe build-mingw32/bin/nurvloader-cli.exe
exit $failed
