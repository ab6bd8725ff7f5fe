#!/usr/bin/env bash
# Installs every Debian package the project needs; idempotent, installs only what is missing.
# The Windows group also adds the i386 architecture for wine32 (the shipped 32-bit programs' tests)
# and the 32-bit PostgreSQL ODBC driver; when apt cannot fetch or install them, the architecture
# is removed again so apt stays as it was, and the i686 tests skip.
# Usage: scripts/install-deps.sh [core|gui|windows|all]   (default: all)
set -euo pipefail
group=${1:-all}

core=(build-essential cmake ninja-build pkg-config git
      libgtest-dev libgmock-dev googletest libbenchmark-dev
      libsqlite3-dev sqlite3 zlib1g-dev libsodium-dev libzstd-dev libssl-dev
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

installed() {  # PACKAGE
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
all_installed() {  # PACKAGE...
  local p
  for p in "$@"; do installed "$p" || return 1; done
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${wanted[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Removes every i386 package and the architecture itself, so that apt works as it did before.
take_back_i386() {
  local leftover
  mapfile -t leftover < <(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' '*:i386' \
                            2>/dev/null | awk '$2 != "not-installed" {print $1}')
  if [ ${#leftover[@]} -gt 0 ]; then
    $SUDO apt-get purge -y -qq "${leftover[@]}" || $SUDO dpkg --purge --force-depends "${leftover[@]}"
  fi
  $SUDO dpkg --remove-architecture i386
}

# wine32 with the i386 ODBC driver manager and PostgreSQL driver that Wine's odbc32 loads, or
# nothing of the i386 architecture at all.
i386=(wine32:i386 libodbc2:i386 odbc-postgresql:i386)
if { [ "$group" = windows ] || [ "$group" = all ]; } && ! all_installed "${i386[@]}"; then
  had_i386=$(dpkg --print-foreign-architectures | grep -cx i386 || true)
  $SUDO dpkg --add-architecture i386
  if ! { $SUDO apt-get update -qq &&
         $SUDO apt-get install -y -qq --no-install-recommends "${i386[@]}"; }; then
    echo "=== wine32 could not be installed: the i686 tests will skip" >&2
    [ "$had_i386" -gt 0 ] || take_back_i386
    $SUDO apt-get update -qq || true
  fi
fi
