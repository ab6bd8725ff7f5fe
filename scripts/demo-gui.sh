#!/usr/bin/env bash
# The loader's window on a virtual X display: lays out the demo complex (as scripts/demo.sh does),
# runs NurvLoader there under xvfb-run and saves a picture of the screen to demo/gui.png.
# With /wait the window stays open after the run, so the picture shows the finished log; without
# it (scripts/demo-gui.sh --close) the loader closes itself through its banner animation.
# The user's real settings are not touched: XDG_CONFIG_HOME, XDG_STATE_HOME, XDG_DATA_HOME and
# TMPDIR point into demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

scripts/install-deps.sh gui
cmake --preset default >/dev/null
cmake --build --preset default --target NurvLoader nurvloader-cli nurv-demo-main nurv-demo-setup

demo=$repo/demo
rm -rf "$demo"
mkdir -p "$demo/config" "$demo/data" "$demo/tmp"
mkdir -m 700 "$demo/runtime"
export XDG_CONFIG_HOME=$demo/config XDG_STATE_HOME=$demo/state XDG_DATA_HOME=$demo/data TMPDIR=$demo/tmp
export XDG_RUNTIME_DIR=$demo/runtime
build/bin/nurv-demo-setup "$demo" build/bin
cd "$demo/complex/Bin"

if [ "${1:-}" = "--close" ]; then
  status=0
  xvfb-run -a ./NurvLoader || status=$?
  echo "--- NurvLoader closed itself; exit status: $status"
  exit 0
fi

# The window is drawn on a 1280x800 screen; the picture is taken once the run has finished.
xvfb-run -a -s "-screen 0 1280x800x24" sh -c '
  ./NurvLoader /wait /info & pid=$!
  sleep 5
  import -window root "$0/gui.png"
  kill $pid' "$demo"
echo "--- picture of the screen: $demo/gui.png"
