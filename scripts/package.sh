#!/usr/bin/env bash
# Builds the release packages an administrator downloads, into dist/:
#   NurvLoader-<version>-win32.zip and -win64.zip: NurvLoader.exe, nurvloader-cli.exe and
#     nurv-publish.exe (statically linked) with 7za.dll;
#   NurvLoader-<version>-linux-x86_64.tar.gz: NurvLoader (Qt), nurvloader-cli and nurv-publish.
# Each holds one folder with the programs, README.txt for administrators, the licence texts of
# what is linked into them (licenses/) and SHA256SUMS; no test programs, no paths of this build.
# The trees of the presets default, mingw32 and mingw64 are reused when they are configured.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
scripts/fetch-sqlite-source.sh
scripts/build-7zip-windows.sh build-deps/7zip-win64 x86_64
scripts/build-7zip-windows.sh build-deps/7zip-win32 i686
for arch in x86_64 i686; do
  scripts/build-windows-library.sh sodium "$arch"
  scripts/build-windows-library.sh zstd "$arch"
done

version=$(sed -n 's/^project(NurvLoader VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist=$PWD/dist
doc=/usr/share/doc
common=/usr/share/common-licenses
rm -rf "$dist"
mkdir -p "$dist"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Stripped copies of the programs built by PRESET (in TREE), and the administrators' text.
stage_programs() {  # STAGE PRESET TREE STRIP PROGRAM...
  local stage=$1 preset=$2 tree=$3 strip=$4 program
  shift 4
  [ -f "$tree/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target NurvLoader nurvloader-cli nurv-publish
  mkdir -p "$stage/licenses"
  for program in "$@"; do "$strip" -o "$stage/$program" "$tree/bin/$program"; done
  sed "s/@VERSION@/$version/g" packaging/README.txt >"$stage/README.txt"
}

# The libraries that binaries load (PE imports or ELF NEEDED entries), one a line.
linked() {  # OBJDUMP BINARY...
  local objdump=$1
  shift
  "$objdump" -p "$@" | sed -n 's/^\s*\(DLL Name\|NEEDED\):\s*//p' | sort -fu
}

licence() {  # STAGE NAME TEXT...
  local stage=$1 name=$2
  shift 2
  cat "$@" >"$stage/licenses/$name.txt"
}

# Refuses paths of this build inside the package, then writes SHA256SUMS.
seal() {  # STAGE
  if grep -rlF "$PWD" "$1"; then
    echo "*** the files above hold paths of this build" >&2
    exit 1
  fi
  (cd "$1" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
    xargs -d '\n' sha256sum >SHA256SUMS)
}

windows_package() {  # 32|64 PRESET TRIPLET
  local bits=$1 preset=$2 triplet=$3
  local name=NurvLoader-$version-win$bits
  local stage=$work/$name
  stage_programs "$stage" "$preset" "build-$preset" "$triplet-strip" \
    NurvLoader.exe nurvloader-cli.exe nurv-publish.exe
  cp "build-deps/7zip-win$bits/7za.dll" "$stage/"
  # The compiler's runtime is linked in: nothing but the system's own DLLs may be imported.
  if linked "$triplet-objdump" "$stage"/*.exe "$stage"/*.dll | grep -iE '^lib|pthread'; then
    echo "*** $name: the DLLs above are not part of Windows" >&2
    exit 1
  fi
  licence "$stage" 7-Zip "build-deps/7zip-win$bits/copyright" "$common/LGPL-2.1"
  licence "$stage" SQLite "$doc/libsqlite3-0/copyright"
  licence "$stage" libsodium "$doc/libsodium23/copyright"
  licence "$stage" zstd "$doc/libzstd1/copyright"
  # libstdc++ and libgcc, under the GCC Runtime Library Exception.
  licence "$stage" GCC-runtime "$doc/gcc-mingw-w64-base/copyright" "$common/GPL-3"
  # The C runtime's startup code and winpthreads.
  licence "$stage" mingw-w64-runtime "$doc/mingw-w64-common/copyright"
  seal "$stage"
  (cd "$work" && cmake -E tar cf "$dist/$name.zip" --format=zip "$name")
}

linux_package() {
  local name=NurvLoader-$version-linux-x86_64
  local stage=$work/$name
  stage_programs "$stage" default build strip NurvLoader nurvloader-cli nurv-publish
  # The system's libraries they link; each one's licence text travels with the programs.
  local known='^(libc\.so\.6|libm\.so\.6|libstdc\+\+\.so\.6|libgcc_s\.so\.1|libsqlite3\.so\.0|'
  known+='libsodium\.so\.23|libzstd\.so\.1|libcrypto\.so\.3|libodbc\.so\.2|libQt6(Core|Gui|Widgets)\.so\.6)$'
  if linked objdump "$stage"/{NurvLoader,nurvloader-cli,nurv-publish} | grep -vE "$known"; then
    echo "*** $name: the libraries above are linked but have no licence text here" >&2
    exit 1
  fi
  licence "$stage" SQLite "$doc/libsqlite3-0/copyright"
  licence "$stage" libsodium "$doc/libsodium23/copyright"
  licence "$stage" zstd "$doc/libzstd1/copyright"
  licence "$stage" OpenSSL "$doc/libssl3/copyright" "$common/Apache-2.0"
  licence "$stage" Qt "$doc/libqt6core6/copyright" "$common/LGPL-3" "$common/GPL-3"
  licence "$stage" unixODBC "$doc/libodbc2/copyright" "$common/LGPL-2.1"
  licence "$stage" GCC-runtime "$doc/libstdc++6/copyright" "$common/GPL-3"
  seal "$stage"
  tar -C "$work" --owner=0 --group=0 --numeric-owner -czf "$dist/$name.tar.gz" "$name"
}

windows_package 32 mingw32 i686-w64-mingw32
windows_package 64 mingw64 x86_64-w64-mingw32
linux_package
ls -l "$dist"
