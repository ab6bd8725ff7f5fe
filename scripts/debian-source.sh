#!/usr/bin/env bash
# Unpacks the source of a Debian package into a folder (created; must not exist yet), adding a
# deb-src entry that mirrors the binary entries when the machine has none.
# Usage: scripts/debian-source.sh PACKAGE FOLDER
set -euo pipefail
package=$1
folder=$2

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $SUDO tee /etc/apt/sources.list.d/nurv-deb-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      $SUDO tee /etc/apt/sources.list.d/nurv-deb-src.list >/dev/null
  fi
  $SUDO apt-get update -qq
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The newest version first; an older one when the mirror no longer holds it (a security update's
# source may be missing from the mirror while its binary is installed).
fetched=0
for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -ruV); do
  if (cd "$work" && apt-get source -qq --download-only "$package=$version" >/dev/null 2>&1); then
    fetched=1
    break
  fi
  rm -f "$work"/*
done
[ "$fetched" = 1 ] || { echo "the source of $package could not be fetched" >&2; exit 1; }
dpkg-source -x "$work"/*.dsc "$folder" >/dev/null 2>&1
