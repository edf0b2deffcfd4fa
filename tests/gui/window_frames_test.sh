#!/usr/bin/env bash
# The desktop program's windows under a window manager (openbox on Xvfb, 1600 x 1000), at
# QT_SCALE_FACTOR 1 and 2, after "Calculate": every window's frame, title bar included, starts
# on the screen; at scale 1, where the arrangement fits, the simulation display's frame lies
# right below the panel's and the time evolution display's right beside it at the top; at
# scale 2, where it does not, "Clear" shows, on the screen and clear of the panel.
# Arguments: gravlag.
set -uo pipefail
gravlag="$1"
for tool in Xvfb openbox xdotool xwininfo xprop; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps test installs it)"; exit 1; }
done
source "$(dirname "$0")/xvfb_start.sh"
out="$(mktemp -d)"
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  done
  pids=()
}
trap 'stop_all; rm -rf "$out"' EXIT
failed=0
fail() { failed_here+="FAIL: $*"$'\n'; }

# A window's frame as "left top right bottom" (right and bottom exclusive), from the client
# area's place and the frame extents the window manager sets.
frame_of() {
  local id left top width height extents
  id="$(xdotool search --name "^$1\$" | head -n 1)"
  [ -n "$id" ] || { echo "none"; return; }
  eval "$(xwininfo -id "$id" | awk -F: '/Absolute upper-left X/ {printf "left=%d;", $2}
    /Absolute upper-left Y/ {printf "top=%d;", $2} / Width/ {printf "width=%d;", $2}
    / Height/ {printf "height=%d;", $2}')"
  extents="$(xprop -id "$id" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ' ')"
  IFS=, read -r el er et eb <<<"${extents:-0,0,0,0}"
  echo "$((left - el)) $((top - et)) $((left + width + er)) $((top + height + eb))"
}

on_screen() { # window, frame's left and top
  [ "$2" -ge 0 ] 2>/dev/null && [ "$3" -ge 0 ] || fail "scale $scale: $1's frame starts off the screen, at $2 $3"
}

check_frames() {
  read -r pl pt pr pb <<<"$(frame_of "Control Display")"
  read -r sl st sr sb <<<"$(frame_of "Simulation Display")"
  read -r tl tt tr tb <<<"$(frame_of "Time Evolution Display")"
  on_screen "Control Display" "$pl" "$pt"
  on_screen "Simulation Display" "$sl" "$st"
  on_screen "Time Evolution Display" "$tl" "$tt"
  [ "$pl $pt" = "0 0" ] || fail "scale $scale: the panel's frame is at $pl $pt, not 0 0"
  if [ "$scale" = 1 ]; then
    [ "$sl $st" = "0 $pb" ] || fail "scale 1: the simulation display's frame at $sl $st, not 0 $pb (below the panel)"
    [ "$tl $tt" = "$pr 0" ] || fail "scale 1: the time evolution display's frame at $tl $tt, not $pr 0 (beside the panel)"
  else
    # "Clear": 120, 120, 615 x 255 twips from the inner area's corner.
    id="$(xdotool search --name '^Time Evolution Display$' | head -n 1)"
    eval "$(xwininfo -id "$id" | awk -F: '/Absolute upper-left X/ {printf "cx=%d;", $2} /Absolute upper-left Y/ {printf "cy=%d;", $2}')"
    cl=$((cx + 8 * scale)) ct=$((cy + 8 * scale)) cr=$((cx + 49 * scale)) cb=$((cy + 25 * scale))
    [ "$cl" -ge 0 ] && [ "$ct" -ge 0 ] && [ "$cr" -le 1600 ] && [ "$cb" -le 1000 ] \
      || fail "scale 2: \"Clear\" ($cl $ct $cr $cb) is not on the screen"
    [ "$cl" -ge "$pr" ] || [ "$ct" -ge "$pb" ] \
      || fail "scale 2: the panel ($pl $pt $pr $pb) covers \"Clear\" ($cl $ct $cr $cb)"
  fi
}

for scale in 1 2; do
  start_xvfb "$out" -screen 0 1600x1000x24
  pids+=("$xvfb_pid")
  export DISPLAY="$xvfb_display"
  openbox >/dev/null 2>&1 &
  pids+=($!)
  # openbox names itself (_NET_SUPPORTING_WM_CHECK) before it is ready: a window mapped in
  # between stayed unmapped, in half the tries. Its client list comes last in its start.
  for _ in $(seq 1 300); do xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -q 'WINDOW)' && break; sleep 0.1; done
  env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM QT_SCALE_FACTOR="$scale" "$gravlag" >"$out/stdout" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 300); do xdotool search --name '^Control Display$' >/dev/null 2>&1 && break; sleep 0.1; done
  panel="$(xdotool search --name '^Control Display$' | head -n 1)"
  # The program learns the panel's frame by polling once the window manager has framed it:
  # a first run before that would lay the displays out as if they had no frame.
  for _ in $(seq 1 300); do xprop -id "$panel" _NET_FRAME_EXTENTS 2>/dev/null | grep -q = && break; sleep 0.1; done
  sleep 1.5 # framed and arranged
  # "Calculate": 480, 120, 975 x 375 twips from the inner area's corner.
  for _ in $(seq 1 5); do # a click that came too early on a busy machine is given again
    xdotool mousemove --window "$panel" $((64 * scale)) $((20 * scale)) click 1
    for _ in $(seq 1 30); do xdotool search --onlyvisible --name '^Time Evolution Display$' >/dev/null 2>&1 && break 2; sleep 0.1; done
  done
  # The window manager frames and places the windows in its own time: the checks are
  # taken again, for ten seconds at most, until they hold; the last try's failures count.
  for try in $(seq 1 20); do
    failed_here=""
    check_frames
    [ -z "$failed_here" ] && break
    [ "$try" = 20 ] || sleep 0.5
  done
  [ -z "$failed_here" ] || { printf '%s' "$failed_here"; failed=1; }
  # The first run lays out the displays it has just shown, before the window manager has
  # framed them: they take the size every later run gives them.
  size_of() { xwininfo -id "$(xdotool search --name "^$1\$" | head -n 1)" | awk -F: '/ Width/ {w=$2} / Height/ {h=$2} END {print w+0 "x" h+0}'; }
  first="$(size_of "Time Evolution Display") $(size_of "Simulation Display")"
  xdotool mousemove --window "$panel" $((64 * scale)) $((20 * scale)) click 1
  sleep 2 # the default run takes a fraction of a second
  second="$(size_of "Time Evolution Display") $(size_of "Simulation Display")"
  [ "$first" = "$second" ] || { echo "FAIL: scale $scale: the displays' inner sizes after the first run ($first) differ from the second's ($second)"; failed=1; }
  stop_all
done
[ "$failed" = 0 ] && echo "window frames: all checks passed"
exit "$failed"
