# Sourced by the X tests. start_xvfb OUT ARGS...: starts Xvfb with ARGS beside -displayfd
# (which tells the display number once the server listens, without a connection), its log in
# OUT/xvfb.log; sets xvfb_pid and xvfb_display (":N"). A server that ends before it listens
# (it happened on a loaded machine, with nothing in its log) is started again, twice at most:
# what the tests test is the program. Ends the script when none starts.
start_xvfb() {
  local out="$1" attempt
  shift
  for attempt in 1 2 3; do
    Xvfb -displayfd 3 -nolisten tcp "$@" 3>"$out/display" 2>"$out/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 1 600); do
      [ -s "$out/display" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.05
    done
    xvfb_display=":$(head -n 1 "$out/display")"
    rm -f "$out/display"
    [ "$xvfb_display" != ":" ] && return 0
    echo "note: Xvfb did not start (attempt $attempt): $(cat "$out/xvfb.log")"
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  done
  echo "FAIL: Xvfb did not start in 3 attempts"
  exit 1
}
