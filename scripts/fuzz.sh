#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs every fuzz_* executable for a
# bounded time each. Fails when any target reports a finding.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

corpus_root=build-fuzz/corpus
mkdir -p "$corpus_root"

# Seeds for the version reader: a bare version block, PE32 and PE32+ images holding it, and an
# ELF file carrying it in ".nurv_version". Generated here, so no binaries live in the repository.
seed_pe_version() {
  local dir=$1
  python3 - "$dir" <<'PY'
import struct, sys
out = sys.argv[1]

def wide(text):
    return (text + "\0").encode("utf-16-le")

def pad(data):
    return data + b"\0" * (-len(data) % 4)

def node(key, vtype, value=b"", value_length=0, children=()):
    body = pad(b"\0" * 6 + wide(key)) + value
    for child in children:
        body = pad(body) + child
    return struct.pack("<HHH", len(body), value_length, vtype) + body[6:]

def text(key, value):
    return node(key, 1, wide(value), len(value) + 1)

fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x10000, 0, 0x60002, 15, 0x3F, 0,
                    0x40004, 1, 0, 0, 0)
block = node("VS_VERSION_INFO", 0, fixed, 52, [
    node("StringFileInfo", 1, children=[node("040904B0", 1, children=[
        text("FileVersion", "1.0.0.0"), text("ProductVersion", "6.2.0.15")])]),
    node("VarFileInfo", 1, children=[node("Translation", 0, struct.pack("<I", 0x04B00409), 4)])])

def pe(plus):
    rva = 0x1000
    rsrc = b""
    for ident, target in ((16, 0x80000018), (1, 0x80000030), (0x409, 0x48)):
        rsrc += struct.pack("<IIHHHHII", 0, 0, 0, 0, 0, 1, ident, target)
    rsrc += struct.pack("<IIII", rva + 0x58, len(block), 0, 0) + block
    size = len(rsrc)
    rsrc += b"\0" * (-len(rsrc) % 0x200)
    opt_size = 240 if plus else 224
    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", 0x8664 if plus else 0x14C, 1, 0, 0, 0,
                       opt_size, 0x22 if plus else 0x102)
    opt = bytearray(opt_size)
    struct.pack_into("<H", opt, 0, 0x20B if plus else 0x10B)
    struct.pack_into("<II", opt, 32, 0x1000, 0x200)
    struct.pack_into("<II", opt, 56, 0x2000, 0x200)
    dirs = 112 if plus else 96
    struct.pack_into("<I", opt, dirs - 4, 16)
    struct.pack_into("<II", opt, dirs + 16, rva, size)
    section = struct.pack("<8sIIIIIIHHI", b".rsrc", size, rva, len(rsrc), 0x200, 0, 0, 0, 0,
                          0x40000040)
    header = bytearray(b"MZ" + b"\0" * 0x3A + struct.pack("<I", 0x40))
    header += coff + opt + section
    header += b"\0" * (0x200 - len(header))
    return bytes(header) + rsrc

for name, data in (("block", block), ("pe32", pe(False)), ("pe32plus", pe(True))):
    with open(f"{out}/{name}", "wb") as f:
        f.write(data)
PY
  local elf
  elf=$(mktemp)
  if objcopy --add-section .nurv_version="$dir/block" \
      --set-section-flags .nurv_version=noload,readonly /bin/true "$elf" 2>/dev/null; then
    cp "$elf" "$dir/elf"
  fi
  rm -f "$elf"
}

status=0
shopt -s nullglob
for fuzzer in build-fuzz/bin/fuzz_*; do
  [[ -x $fuzzer && -f $fuzzer ]] || continue
  name=$(basename "$fuzzer")
  corpus="$corpus_root/$name"
  mkdir -p "$corpus"
  if declare -F "seed_${name#fuzz_}" >/dev/null; then "seed_${name#fuzz_}" "$corpus"; fi
  # Committed text seeds of a target, if it has any.
  if [[ -d fuzz/seeds/$name ]]; then cp -r fuzz/seeds/"$name"/. "$corpus"/; fi
  echo "== $name (${seconds}s)"
  if ! "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="build-fuzz/$name-" "$corpus"; then
    echo "!! $name found a problem; see build-fuzz/$name-*" >&2
    status=1
  fi
done
exit $status
