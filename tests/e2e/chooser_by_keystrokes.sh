#!/usr/bin/env bash
# NurvLoader.exe driven as a person drives it: under Wine on a virtual display of its own, real
# mouse and key events (xdotool) go to the real window. The demo complex is laid out in a fresh
# prefix, the registry holds a second connection besides the demo's, and the loader is started
# with /db: in the chooser's edit mode a cell is clicked and typed into, the list is saved, the
# demo's row is picked and Enter pressed; the demo main program must then be started with the
# demo's connection. The chooser is photographed after the save.
# Usage: chooser_by_keystrokes.sh BUILT_FOLDER PICTURE.png
# Wine: NURV_WINE (default wine64) with WINEARCH (default win64). Exit 77: a tool is missing.
set -euo pipefail

if [ "${1:-}" != --on-display ]; then
  for tool in xdotool xvfb-run import; do
    if ! command -v "$tool" >/dev/null; then
      echo "=== chooser by keystrokes skipped: $tool is not installed"
      exit 77
    fi
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  export NURV_BUILT=$(realpath "$1") NURV_PICTURE=$(realpath -m "$2") NURV_WORK=$work
  export WINEPREFIX=$work/prefix WINEARCH=${WINEARCH:-win64} WINEDEBUG=-all
  export XDG_DATA_HOME=$work/data LANG=C.UTF-8
  export NURV_WINE=${NURV_WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
  export NURV_WINESERVER=${NURV_WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver)}
  # A display of its own: no other test's window can come between the pointer and the chooser.
  timeout 300 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --on-display
  exit
fi

trap '"$NURV_WINESERVER" -k 2>/dev/null || true' EXIT
wine() { "$NURV_WINE" "$@"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# Polls `command` every 0.1 s for at most `seconds`.
wait_for() {  # SECONDS COMMAND...
  local tries=$(($1 * 10))
  shift
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

wine wineboot -i >/dev/null 2>&1
wine "$NURV_BUILT/nurv-demo-setup.exe" 'C:\Demo' "Z:$NURV_BUILT" >/dev/null
bin=$WINEPREFIX/drive_c/Demo/complex/Bin
key='HKCU\Software\NURVSQL'
wine reg add "$key\\DataBaseCaptions" /v DataBaseCaption1 /d "Old copy" /f >/dev/null
wine reg add "$key\\ServerNames" /v ServerName1 /d nowhere /f >/dev/null
wine reg add "$key\\DataBaseNames" /v DataBaseName1 /d old /f >/dev/null

# /loadini adds the demo's connection as number 51 to the list that exists already.
(cd "$bin" && exec "$NURV_WINE" NurvLoader.exe /db /loadini >/dev/null 2>&1) &
loader=$!
chooser=$(timeout 60 xdotool search --sync --onlyvisible --name 'Выбор БД' | head -n 1) ||
  fail "the chooser did not appear"
eval "$(xdotool getwindowgeometry --shell "$chooser")"
# The client area (501 x 340) lies at the bottom of the window, inside equal side borders.
border=$(((WIDTH - 501) / 2))
left=$((X + border))
top=$((Y + HEIGHT - 340 - border))
click() {  # CLIENT_X CLIENT_Y
  xdotool mousemove --sync $((left + $1)) $((top + $2)) click 1
}
# The grid's rows are 18 high below its header; columns 282, 96 and 96 wide in edit mode.
row_y() { echo $((2 + 2 + 19 + 18 * ($1 - 1) + 9)); }

click 430 "$(row_y 1)"  # the database name of "Old copy"
xdotool type --delay 50 archive
click 81 323  # "Сохранить в реестре"
saved() { wine reg query "$key\\DataBaseNames" /v DataBaseName1 2>/dev/null | grep -q archive; }
wait_for 20 saved || fail "the typed name was not saved"
import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$NURV_PICTURE"
click 140 "$(row_y 2)"  # the demo's row
xdotool key Return

record=$bin/nurv-launch.txt
wait_for 120 test -f "$record" || fail "the main program was not started"
grep -qx -- '-database=demo' "$record" || fail "the main program got another connection: $(cat "$record")"
wine reg query "$key\\DataBaseNames" /v DataBaseName2 | grep -q demo ||
  fail "the saved list is not renumbered"
! wine reg query "$key\\DataBaseNames" /v DataBaseName51 >/dev/null 2>&1 ||
  fail "the saved list kept its old number 51"
ended() {
  local state
  state=$(ps -o stat= -p "$loader") || return 0
  [[ $state == Z* ]]
}
wait_for 30 ended || fail "the loader did not end after starting the program"
echo "chooser by keystrokes: the main program started with $(grep -- -database= "$record")"
