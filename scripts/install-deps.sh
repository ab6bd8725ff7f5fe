#!/usr/bin/env bash
# Installs every Debian package the project needs; idempotent, installs only what is missing.
# Usage: scripts/install-deps.sh [core|gui|windows|all]   (default: all)
set -euo pipefail
group=${1:-all}

core=(build-essential cmake ninja-build pkg-config git
      libgtest-dev libgmock-dev googletest libbenchmark-dev
      libsqlite3-dev sqlite3 zlib1g-dev libsodium-dev libssl-dev
      unixodbc unixodbc-dev odbc-postgresql postgresql tdsodbc
      p7zip-full clang libclang-rt-14-dev python3)
gui=(qt6-base-dev xvfb xauth fonts-dejavu-core python3-pil imagemagick)
windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 xvfb xauth tcl dpkg-dev imagemagick
         autoconf automake libtool xdotool)

case "$group" in
  core) wanted=("${core[@]}") ;;
  gui) wanted=("${core[@]}" "${gui[@]}") ;;
  windows) wanted=("${core[@]}" "${windows[@]}") ;;
  all) wanted=("${core[@]}" "${gui[@]}" "${windows[@]}") ;;
  *) echo "unknown group: $group" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
