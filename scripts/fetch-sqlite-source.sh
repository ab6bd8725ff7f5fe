#!/usr/bin/env bash
# Obtains SQLite's amalgamation (sqlite3.c, sqlite3.h) for the Windows cross builds, which cannot
# use the system's library. Source: Debian's sqlite3 source package (the same version the Linux
# build links). Idempotent: does nothing when the cache already holds both files.
# Usage: scripts/fetch-sqlite-source.sh [cache folder]   (default: build-deps/sqlite, git-ignored)
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${1:-build-deps/sqlite}
if [ -s "$cache/sqlite3.c" ] && [ -s "$cache/sqlite3.h" ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# Building the amalgamation from the canonical tree needs tclsh.
command -v tclsh >/dev/null || $SUDO apt-get install -y -qq --no-install-recommends tcl

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts/debian-source.sh sqlite3 "$work/src"
tree="$work/src"

mkdir -p "$cache"
if [ -s "$tree/sqlite3.c" ] && [ -s "$tree/sqlite3.h" ]; then
  cp "$tree/sqlite3.c" "$tree/sqlite3.h" "$cache/"
else
  # The canonical tree: its own configure and make target produce the amalgamation.
  mkdir "$work/bld"
  (cd "$work/bld" && "$tree/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null 2>&1)
  cp "$work/bld/sqlite3.c" "$work/bld/sqlite3.h" "$cache/"
fi
echo "SQLite amalgamation in $cache: $(grep -m1 '#define SQLITE_VERSION ' "$cache/sqlite3.h")"
