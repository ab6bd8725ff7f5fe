#!/usr/bin/env bash
# Builds libzstd (the patches of delta rows) as a static library for x86_64 (or i686) Windows with
# mingw-w64, from Debian's libzstd source package, the upstream version the Linux build links.
# Idempotent: does nothing when the cache already holds the library.
# Usage: scripts/build-zstd-windows.sh [cache folder [x86_64|i686]]
#        (default: build-deps/zstd-x86_64, git-ignored, and x86_64)
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${2:-x86_64}
cache=${1:-build-deps/zstd-$arch}
if [ -s "$cache/lib/libzstd.a" ] && [ -s "$cache/include/zstd.h" ]; then
  exit 0
fi
case "$arch" in
  x86_64 | i686) ;;
  *) echo "unknown architecture: $arch" >&2; exit 2 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts/debian-source.sh libzstd "$work/src"
mkdir -p "$cache/lib" "$cache/include"
# The library alone, without the legacy formats or the dictionary builder the loader never uses.
make -s -C "$work/src/lib" -j2 libzstd.a CC="$arch-w64-mingw32-gcc-posix" \
  AR="$arch-w64-mingw32-ar" ZSTD_LEGACY_SUPPORT=0 ZSTD_LIB_DICTBUILDER=0 \
  ZSTD_LIB_DEPRECATED=0 >/dev/null
cp "$work/src/lib/libzstd.a" "$cache/lib/"
cp "$work/src/lib/zstd.h" "$work/src/lib/zstd_errors.h" "$work/src/lib/zdict.h" "$cache/include/"
echo "libzstd for Windows in $cache"
