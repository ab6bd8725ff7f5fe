#!/usr/bin/env bash
# The Windows build on this Linux machine: installs what is missing, fetches SQLite's source,
# builds 7-Zip for Windows (the library the tests extract with, and 7z.exe that makes their
# archives), libsodium and libzstd for both targets, builds the x86_64 build and runs its tests (unit,
# window and end-to-end, the PostgreSQL cases against the host's server through Wine's odbc32)
# under wine64 on a virtual display, then builds the shipped 32-bit NurvLoader.exe and
# nurv-publish.exe (i686, statically linked) and runs the same tests with the i686 build under
# wine32 (skipped, with a line saying so, where install-deps.sh could not install it or it does
# not run). One end-to-end test drives NurvLoader.exe through the chooser by real keystrokes and
# leaves the picture build-mingw64/windows-chooser.png.
# Usage: scripts/test-windows.sh   (WINEPREFIX may name the x86_64 prefix; default in build-mingw64)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
scripts/fetch-sqlite-source.sh
scripts/build-7zip-windows.sh
for arch in x86_64 i686; do
  scripts/build-windows-library.sh sodium "$arch"
  scripts/build-windows-library.sh zstd "$arch"
done

failed=0

# The programs must build; every test executable that builds is run, and one that does not fails
# the script at the end (after the others have run).
build_tree() {  # PRESET
  cmake --build --preset "$1" --target NurvLoader nurvloader-cli nurv-publish
  # The demo complex of the test that drives NurvLoader.exe by keystrokes.
  cmake --build --preset "$1" --target nurv-demo-setup nurv-demo-main
  local tree=build-$1 t
  for t in $(ninja -C "$tree" -t targets | grep -oE '^test_[a-z0-9_]+:' | tr -d : | sort -u); do
    cmake --build --preset "$1" --target "$t" || { echo "*** $t does not build for Windows" >&2; failed=1; }
  done
}

# Runs the tests of a tree under Wine on a virtual display with one prefix and one wine server for
# the whole run: the prefix is set up once (about 10 s the first time) and the server is kept alive
# between the test processes, which start in well under a second. Wine's recycle bin is the
# freedesktop Trash of XDG_DATA_HOME: kept in the tree, away from the user's own.
wine_tests() {  # WINE WINEARCH PREFIX TREE
  WINEDEBUG=-all WINEARCH=$2 WINEPREFIX=$3 XDG_DATA_HOME=$PWD/$4/wine-data NURV_WINE=$1 \
    NURV_WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver) NURV_TREE=$4 \
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
      "$NURV_WINESERVER" -p || true  # already running is fine
      "$NURV_WINE" wineboot -i >/dev/null 2>&1
      ctest --test-dir "$NURV_TREE" --output-on-failure -j 2 --timeout 600
      status=$?
      "$NURV_WINESERVER" -k || true
      exit $status
    ' || failed=1
}

cmake --preset mingw64 >/dev/null
build_tree mingw64
wine_tests "$(command -v wine64 || echo /usr/lib/wine/wine64)" win64 \
  "${WINEPREFIX:-$PWD/build-mingw64/wineprefix}" build-mingw64

# Debian's wine32 installs the 32-bit loader beside wine64's; the i686 tests need 7-Zip built for
# i686 too. Without a wine32 that runs (a kernel without 32-bit support refuses its loader even
# where the package is installed) the 32-bit tree builds the shipped programs only.
wine32=/usr/lib/wine/wine
if [ -x "$wine32" ] && "$wine32" --version >/dev/null 2>&1; then
  scripts/build-7zip-windows.sh build-deps/7zip-win32 i686
  cmake --preset mingw32 -DNURV_TESTS=ON -DCMAKE_CROSSCOMPILING_EMULATOR="$wine32" \
    -DNURV_TEST_SEVENZIP_DIR="$PWD/build-deps/7zip-win32" >/dev/null
  build_tree mingw32
  wine_tests "$wine32" win32 "$PWD/build-mingw32/wineprefix" build-mingw32
else
  cmake --preset mingw32 >/dev/null
  cmake --build --preset mingw32 --target NurvLoader nurvloader-cli nurv-publish
  echo "=== i686 tests skipped: wine32 does not run here ($wine32 missing, or the kernel runs no" \
    "32-bit programs); the 32-bit programs are built, not run"
fi
ls -l build-mingw32/bin/NurvLoader.exe build-mingw32/bin/nurvloader-cli.exe build-mingw32/bin/nurv-publish.exe
exit $failed
