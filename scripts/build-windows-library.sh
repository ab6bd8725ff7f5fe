#!/usr/bin/env bash
# Builds a library the Windows programs link statically, for x86_64 or i686 Windows with
# mingw-w64, from Debian's source package, the same upstream version the Linux build links:
#   sodium  libsodium (the signatures and digests of signed updates)
#   zstd    libzstd (the patches of delta rows), the library alone
# into build-deps/LIBRARY-ARCH (git-ignored). Idempotent: does nothing when the cache already
# holds the library.
# Usage: scripts/build-windows-library.sh sodium|zstd [x86_64|i686]
set -euo pipefail
cd "$(dirname "$0")/.."
library=${1:?"usage: $0 sodium|zstd [x86_64|i686]"}
arch=${2:-x86_64}
case "$library" in
  sodium | zstd) ;;
  *) echo "unknown library: $library" >&2; exit 2 ;;
esac
case "$arch" in
  x86_64 | i686) ;;
  *) echo "unknown architecture: $arch" >&2; exit 2 ;;
esac
cache=build-deps/$library-$arch
if [ -s "$cache/lib/lib$library.a" ] && [ -s "$cache/include/$library.h" ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts/debian-source.sh "lib$library" "$work/src"
mkdir -p "$cache/lib" "$cache/include"
cache=$(cd "$cache" && pwd)
cc="$arch-w64-mingw32-gcc-posix"
case "$library" in
  sodium)
    # Debian's source is the upstream tree without a generated configure script.
    (cd "$work/src" && ./autogen.sh -s >/dev/null 2>&1 &&
      ./configure -q --host="$arch-w64-mingw32" --prefix="$cache" --disable-shared \
        --enable-static --disable-dependency-tracking CC="$cc" >/dev/null &&
      make -s -j2 >/dev/null 2>&1 && make -s install >/dev/null)
    ;;
  zstd)
    # Without the legacy formats or the dictionary builder, which the loader never uses.
    make -s -C "$work/src/lib" -j2 libzstd.a CC="$cc" AR="$arch-w64-mingw32-ar" \
      ZSTD_LEGACY_SUPPORT=0 ZSTD_LIB_DICTBUILDER=0 ZSTD_LIB_DEPRECATED=0 >/dev/null
    cp "$work/src/lib/libzstd.a" "$cache/lib/"
    cp "$work/src/lib/zstd.h" "$work/src/lib/zstd_errors.h" "$work/src/lib/zdict.h" \
      "$cache/include/"
    ;;
esac
echo "lib$library for Windows in $cache"
