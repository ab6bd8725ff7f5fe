#!/usr/bin/env bash
# Many workstations at nine o'clock: builds the loader and the load benchmark, then starts N loaders
# at the same moment against one PostgreSQL server (the tests' throw-away cluster) for each N given
# (default 10 25 50), all updating to the same release, which changes about 1 % of a 20 MiB main
# program and of each file of a 200-file browser group: once with full rows, once with the
# release's patches in UpdatesDelta. Prints the figures as a Markdown table with the machine and
# its load before and after. Every loader must end with exit status 0 and the right files, else
# the script fails. With --report the server holds the table of runs UpdatesReport, and every
# loader's row must be there.
# Usage: scripts/load-bench.sh [--report] [N...]
set -euo pipefail
cd "$(dirname "$0")/.."
report=()
if [ "${1:-}" = --report ]; then
  report=(--report)
  shift
fi
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10 25 50)
scripts/install-deps.sh core
cmake --preset default >/dev/null
cmake --build --preset default --target nurvloader-cli nurv-demo-main nurv-load-bench >&2
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
table=$(build/bin/nurv-load-bench "${report[@]}" build/bin "${counts[@]}")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
memory=$(awk '/^MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)
echo "Machine: $(nproc) cores, $cpu, $memory; load average $load_before before, $load_after after."
[ ${#report[@]} -eq 0 ] || echo "With the table UpdatesReport: every loader's row was there."
echo
echo "$table"
