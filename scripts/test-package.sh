#!/usr/bin/env bash
# The win32 package as an administrator installs it: NurvLoader-<version>-win32.zip (from
# scripts/package.sh) is unpacked, checked against its SHA256SUMS, and its programs and 7za.dll go
# into the Bin folder of a fresh complex in a fresh wine32 prefix, beside the demo's nurv.ini and
# older main program. Its nurvloader-cli.exe then runs against the demo's update database (laid
# out by the i686 demo setup tool of the tree scripts/test-windows.sh builds): it must succeed,
# start the main program and write its log file where README.txt says. Skipped, with a line
# saying so, where wine32 is not installed or does not run.
# Usage: scripts/test-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
wine=/usr/lib/wine/wine
# Installed is not enough: a kernel without 32-bit support refuses wine32's loader.
if [ ! -x "$wine" ] || ! "$wine" --version >/dev/null 2>&1; then
  echo "=== package test skipped: wine32 does not run here ($wine missing, or the kernel runs no" \
    "32-bit programs)"
  exit 0
fi
version=$(sed -n 's/^project(NurvLoader VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=NurvLoader-$version-win32
zip=$PWD/dist/$name.zip
cmake --build --preset mingw32 --target nurv-demo-setup nurv-demo-main

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
(cd "$work/$name" && sha256sum -c --quiet SHA256SUMS)
package=$work/$name
# The shipped window program: 32-bit, with its version resource.
i686-w64-mingw32-objdump -f "$package/NurvLoader.exe" | grep 'file format pei-i386'
strings -el "$package/NurvLoader.exe" | grep -x "$version" >/dev/null ||
  { echo "*** NurvLoader.exe has no version resource $version" >&2; exit 1; }

export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all XDG_DATA_HOME=$work/data
export NURV_WINE=$wine NURV_PACKAGE=$package NURV_VERSION=$version
xvfb-run -a bash -c '
  set -euo pipefail
  trap "/usr/lib/wine/wineserver -k || true" EXIT
  "$NURV_WINE" wineboot -i >/dev/null 2>&1
  "$NURV_WINE" build-mingw32/bin/nurv-demo-setup.exe "C:\\Demo" "Z:$PWD/build-mingw32/bin" \
    >/dev/null
  drive=$WINEPREFIX/drive_c
  bin=$drive/NURV/Bin
  mkdir -p "$bin" "$drive/NURV/Update" "$drive/NURV/Help" "$drive/NURV/Shablon" "$drive/NURV/Report"
  cp "$NURV_PACKAGE"/*.exe "$NURV_PACKAGE/7za.dll" "$drive/Demo/complex/Bin/nurv.ini" \
     "$drive/Demo/complex/Bin/nurv.exe" "$bin/"
  status=0
  (cd "$bin" && "$NURV_WINE" nurvloader-cli.exe >"$WINEPREFIX/run.log") || status=$?
  cat "$WINEPREFIX/run.log"
  [ "$status" -eq 0 ] || { echo "*** nurvloader-cli.exe ended with $status" >&2; exit 1; }
  for _ in $(seq 1 100); do [ -f "$bin/nurv-launch.txt" ] && break; sleep 0.1; done
  [ -f "$bin/nurv-launch.txt" ] || { echo "*** the main program was not started" >&2; exit 1; }
  log=$(find "$drive/users" -path "*/AppData/Local/NURV/Logs/NurvLoader.log")
  grep -q "^==== .* NurvLoader $NURV_VERSION " "$log" ||
    { echo "*** no run in the log file %LOCALAPPDATA%\\NURV\\Logs\\NurvLoader.log" >&2; exit 1; }
'
echo "=== the win32 package installs and runs: $name.zip"
