#!/usr/bin/env bash
# Builds libsodium (the signatures and digests of signed updates) as a static library for x86_64
# (or i686) Windows with mingw-w64, from Debian's libsodium source package, the same version the
# Linux build links. Idempotent: does nothing when the cache already holds the library.
# Usage: scripts/build-sodium-windows.sh [cache folder [x86_64|i686]]
#        (default: build-deps/sodium-x86_64, git-ignored, and x86_64)
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${2:-x86_64}
cache=${1:-build-deps/sodium-$arch}
if [ -s "$cache/lib/libsodium.a" ] && [ -s "$cache/include/sodium.h" ]; then
  exit 0
fi
case "$arch" in
  x86_64 | i686) ;;
  *) echo "unknown architecture: $arch" >&2; exit 2 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts/debian-source.sh libsodium "$work/src"
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
# Debian's source is the upstream tree without a generated configure script.
(cd "$work/src" && ./autogen.sh -s >/dev/null 2>&1 &&
  ./configure -q --host="$arch-w64-mingw32" --prefix="$cache" --disable-shared --enable-static \
    --disable-dependency-tracking CC="$arch-w64-mingw32-gcc-posix" >/dev/null &&
  make -s -j2 >/dev/null 2>&1 && make -s install >/dev/null)
echo "libsodium for Windows in $cache"
