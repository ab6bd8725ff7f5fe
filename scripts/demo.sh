#!/usr/bin/env bash
# Demo of the loader on this machine: builds nurvloader-cli, lays out a demo complex with its own
# update database under demo/, runs the loader there (it updates the demo main program and starts
# it), shows the command line the main program received, then runs the loader a second time,
# which has nothing to update and starts the main program at once, and ends with the report of the
# two runs that the loader wrote into the update database.
# The user's real settings are not touched: XDG_CONFIG_HOME (the registry file), XDG_STATE_HOME
# (the log file), XDG_DATA_HOME (the Trash) and TMPDIR (the loader's temporary folder) point into
# demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

scripts/install-deps.sh core
cmake --preset default >/dev/null
cmake --build --preset default --target nurvloader-cli nurv-demo-main nurv-demo-setup nurv-publish

demo=$repo/demo
rm -rf "$demo"
mkdir -p "$demo/config" "$demo/data" "$demo/tmp"
export XDG_CONFIG_HOME=$demo/config XDG_STATE_HOME=$demo/state XDG_DATA_HOME=$demo/data TMPDIR=$demo/tmp

build/bin/nurv-demo-setup "$demo" build/bin
# The table of runs: each run of the loader below adds its row.
publish=(build/bin/nurv-publish --server "sqlite:$demo/updates.db" --database demo)
"${publish[@]}" init --report >/dev/null
bin=$demo/complex/Bin
launch=$bin/nurv-launch.txt

show_launch() {
  # The loader does not wait for the main program; give it a moment to write its record.
  for _ in $(seq 1 100); do [ -f "$launch" ] && break; sleep 0.05; done
  if [ -f "$launch" ]; then
    echo "--- the main program was started with (one argument per line):"
    cat "$launch"
  else
    echo "--- the main program was not started"
  fi
}

echo
echo "=== first run: updates the complex, then starts the main program"
status=0
"$bin/nurvloader-cli" || status=$?
echo "--- exit status: $status"
show_launch

rm -f "$launch"
echo
echo "=== second run: everything is up to date, the main program starts at once"
status=0
"$bin/nurvloader-cli" || status=$?
echo "--- exit status: $status"
show_launch
echo
echo "=== the update database's report: one workstation, its latest run (nurv-publish report)"
"${publish[@]}" report || echo "--- exit status: $?"
echo "--- the rows of both runs in UpdatesReport:"
sqlite3 -header -column "$demo/updates.db" \
  "SELECT rundate, computer, username, version, status, files, bytes, durationms FROM UpdatesReport"
echo
echo "The demo complex is in $demo/complex; its registry file is $XDG_CONFIG_HOME/nurv/registry.reg,"
echo "the log of both runs is in $XDG_STATE_HOME/nurv/loader.log"
