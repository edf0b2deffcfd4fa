#!/usr/bin/env bash
# gravlag and gravlag-batch start as processes: --help and --version need no display; gravlag
# without a usable display says so in one line and exits 1; with the offscreen platform it
# starts and waits for the person. Arguments: gravlag, gravlag-batch, the project version.
set -uo pipefail
gravlag="$1" batch="$2" version="$3"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Runs a program with no display at all: status, stdout and stderr into $out.
bare() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" >"$out/stdout" 2>"$out/stderr"; echo $?; }

for program in "$gravlag" "$batch"; do
  name="$(basename "$program")"
  [ "$(bare "$program" --version)" = 0 ] || fail "$name --version: status"
  grep -qxE "$name $version( \(git [0-9a-f]{12}(, modified)?\))?" "$out/stdout" \
    || fail "$name --version printed: $(cat "$out/stdout")"
  [ "$(bare "$program" --help)" = 0 ] || fail "$name --help: status"
  grep -q -- '--version' "$out/stdout" || fail "$name --help does not list --version"
done

# None: the hint to set DISPLAY. One that nothing answers: Qt's reason, not that hint.
for display in "" ":59999"; do
  line="no display: set DISPLAY, or use gravlag-batch"
  [ -n "$display" ] && line="gravlag: no window system: could not connect to display $display (without a display, use gravlag-batch)"
  status="$(bare env ${display:+DISPLAY=$display} "$gravlag")"
  [ "$status" = 1 ] || fail "gravlag with DISPLAY='$display': status $status, not 1"
  [ "$(cat "$out/stderr")" = "$line" ] || fail "gravlag with DISPLAY='$display' said: $(cat "$out/stderr")"
  [ ! -s "$out/stdout" ] || fail "gravlag with DISPLAY='$display' printed: $(cat "$out/stdout")"
done

# The offscreen platform needs no display: the program runs until it is ended.
status="$(bare env QT_QPA_PLATFORM=offscreen timeout 3 "$gravlag")"
[ "$status" = 124 ] || fail "gravlag on the offscreen platform ended with status $status"
status="$(bare env QT_QPA_PLATFORM=offscreen "$gravlag" --no-such-option)"
[ "$status" = 2 ] || fail "gravlag --no-such-option: status $status, not 2"

[ "$failed" = 0 ] && echo "start-up: all checks passed"
exit "$failed"
