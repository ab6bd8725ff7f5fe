#!/usr/bin/env bash
# Builds 7-Zip's own library (as 7za.dll, the name the loader loads on Windows) and its console
# program 7z.exe for x86_64 (or i686) Windows with mingw-w64, from Debian's 7zip source package, so
# the Windows tests under Wine extract and make real archives. Debian's source has no RAR code, so
# the RAR handlers are left out; the loader only needs 7z. Idempotent: does nothing when the
# cache already holds both files.
# Usage: scripts/build-7zip-windows.sh [cache folder [x86_64|i686]]
#        (default: build-deps/7zip-win64, git-ignored, and x86_64)
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${1:-build-deps/7zip-win64}
arch=${2:-x86_64}
if [ -s "$cache/7za.dll" ] && [ -s "$cache/7z.exe" ] && [ -s "$cache/copyright" ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts/debian-source.sh 7zip "$work/src"

case "$arch" in
  x86_64) cross=(IS_X64=1) ;;
  i686) cross=() ;;  # the portable C code, no assembler
  *) echo "unknown architecture: $arch" >&2; exit 2 ;;
esac
cross+=(IS_MINGW=1 DISABLE_RAR=1 CROSS_COMPILE=$arch-w64-mingw32-
        CC=$arch-w64-mingw32-gcc CXX=$arch-w64-mingw32-g++ RC=$arch-w64-mingw32-windres)
make -s -C "$work/src/CPP/7zip/Bundles/Format7zF" -f makefile.gcc "${cross[@]}" -j2 >/dev/null
make -s -C "$work/src/CPP/7zip/UI/Console" -f makefile.gcc "${cross[@]}" -j2 >/dev/null

mkdir -p "$cache"
cp "$work/src/CPP/7zip/Bundles/Format7zF/_o/7z.dll" "$cache/7za.dll"
cp "$work/src/CPP/7zip/UI/Console/_o/7z.exe" "$cache/7z.exe"
# The console program loads the library by its own name from its folder.
cp "$cache/7za.dll" "$cache/7z.dll"
cp "$work/src/debian/copyright" "$cache/copyright"
echo "7-Zip for Windows in $cache"
