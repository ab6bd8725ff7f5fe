#!/usr/bin/env bash
# Builds the default preset, runs every benchmark once (about five minutes on two cores) and
# prints, as a Markdown table, the loader's figures against their yardsticks, with the machine and
# its load before and after. Google Benchmark's own report goes to stderr, its JSON to the file.
# Usage: scripts/bench.sh [JSON_FILE]   (default: build/bench.json)
set -euo pipefail
cd "$(dirname "$0")/.."
json=${1:-build/bench.json}
scripts/install-deps.sh core
cmake --preset default >/dev/null
cmake --build --preset default --target nurv_bench >&2
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
build/bin/nurv_bench --benchmark_out="$json" --benchmark_out_format=json >&2
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
memory=$(awk '/^MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)
echo "Machine: $(nproc) cores, $cpu, $memory; load average $load_before before, $load_after after."
echo
python3 tools/bench_table.py "$json"
