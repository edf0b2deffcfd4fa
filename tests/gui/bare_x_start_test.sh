#!/usr/bin/env bash
# gravlag on a bare X server, as xvfb-run or a CI job gives it: a fresh Xvfb with no other
# client, which resets whenever its last client leaves and drops a client that connects
# meanwhile. Each of 20 starts must show "Control Display", and no connection of the
# program may close before that: one that did would have reset the server under the next.
# Arguments: gravlag.
set -uo pipefail
gravlag="$1"
for tool in Xvfb xwininfo; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps test installs it)"; exit 1; }
done
source "$(dirname "$0")/xvfb_start.sh"
out="$(mktemp -d)"
server="" program=""
stop() { # pid: TERM, then KILL for one that does not end
  kill "$1" 2>/dev/null
  for _ in $(seq 1 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
cleanup() {
  [ -n "$program" ] && stop "$program"
  [ -n "$server" ] && stop "$server"
  rm -rf "$out"
}
trap cleanup EXIT

# The connections of process $1 that the server saw close (Xvfb -audit 4 logs each client's
# connection with its pid, and its end by client number).
closed_by() {
  awk -v pid="$1" '
    / connected from / { n = $0; sub(/.*client /, "", n); sub(/ .*/, "", n)
                         p = $0; sub(/.*pid=/, "", p); sub(/[^0-9].*/, "", p); owner[n] = p }
    / disconnected/ { n = $0; sub(/.*client /, "", n); sub(/ .*/, "", n)
                      if (owner[n] == pid) closed++; owner[n] = "" }
    END { print closed + 0 }' "$out/xvfb.log"
}

shown=0
for start in $(seq 1 20); do
  start_xvfb "$out" -audit 4 -screen 0 1024x768x24
  server="$xvfb_pid" display="$xvfb_display"
  env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" "$gravlag" >"$out/stdout" 2>"$out/stderr" &
  program=$!
  # Nothing of the test's own connects before the program has connected: a client of ours
  # would keep the server from resetting and hide the fault.
  for _ in $(seq 1 300); do grep -q "pid=$program " "$out/xvfb.log" && break; sleep 0.05; done
  found=""
  for _ in $(seq 1 300); do
    kill -0 "$program" 2>/dev/null || break
    if DISPLAY="$display" xwininfo -root -tree 2>/dev/null | grep -q '"Control Display"'; then
      found=1
      break
    fi
    sleep 0.1
  done
  closed="$(closed_by "$program")"
  if [ -n "$found" ] && [ "$closed" = 0 ]; then
    shown=$((shown + 1))
  else
    echo "start $start: panel shown: ${found:-no}; connections closed before: $closed; gravlag said: $(cat "$out/stderr")"
  fi
  stop "$program"; program=""
  stop "$server"; server=""
done
echo "$shown of 20 starts showed the panel on a server that had not reset"
[ "$shown" = 20 ] || { echo "FAIL: gravlag does not start reliably on a bare X server"; exit 1; }
echo "bare X start: all checks passed"
