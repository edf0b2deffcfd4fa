#!/usr/bin/env bash
# The batch runner attacked with bad input, full disks, signals and clashing paths. Every
# case must end with its message and its documented exit status, change no file it was not
# asked to write, and leave no torn file and no temporary behind.
#   batch_reliability.sh GRAVLAG_BATCH [sanitized]
set -uo pipefail
batch="$1"
sanitized="${2:-}"
work="$(mktemp -d)"
# A run left in the background by a failed case (or by ctest's timeout) must not outlive us.
trap 'kill -KILL $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP
cd "$work" || exit 1
set -m # background runs are jobs of their own, which take SIGINT as a terminal gives it
failures=0
skips=0

fail() { echo "FAIL: $case: $*"; failures=$((failures + 1)); }
skip() { echo "SKIP: $*"; skips=$((skips + 1)); }

# Checksums of every file here, so a case can show it changed only what it may write.
snapshot() { find . -type f ! -name 'stdout' ! -name 'stderr' -print0 | sort -z | xargs -0 -r sha256sum; }

# Every CSV ends with a line feed and every line has as many fields as its header; no
# hidden temporary is left.
check_files() {
  local f
  while IFS= read -r -d '' f; do
    [ -s "$f" ] || continue
    [ "$(tail -c 1 "$f" | od -An -c | tr -d ' ')" = '\n' ] || fail "$f ends inside a line"
    awk -F, 'NR == 1 { n = NF } NF != n { bad = 1 } END { exit bad }' "$f" || fail "$f has a torn row"
  done < <(find . -name '*.csv' -print0)
  local hidden
  hidden="$(find . -name '.*' -type f)"
  [ -z "$hidden" ] || fail "temporaries left: $hidden"
}

# expect STATUS MESSAGE MAY_WRITE -- COMMAND...: runs COMMAND (stdout to ./stdout, stderr to
# ./stderr), then checks its status, that stderr holds MESSAGE, that only the files named
# in MAY_WRITE (space-separated) changed, and the files.
expect() {
  local status="$1" message="$2" may="$3"
  shift 4
  local before after status_now
  before="$(snapshot)"
  "$@" >stdout 2>stderr
  status_now=$?
  [ "$status_now" = "$status" ] || fail "exit status $status_now, expected $status ($(head -c 300 stderr))"
  [ -z "$message" ] || grep -qF -- "$message" stderr || fail "no message \"$message\" in: $(head -c 300 stderr)"
  after="$(snapshot)"
  local changed
  changed="$(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | awk '{print $3}' | sed 's|^\./||' | sort -u)"
  local f
  for f in $changed; do
    case " $may " in *" $f "*) ;; *) fail "$f changed" ;; esac
  done
  check_files
}

echo old > keep.csv
echo '{"Titer": "100"}' > p.json
printf 'old picture\n' > old.png

case="1 text not UTF-8"
expect 2 "--mass1: the text is not valid UTF-8" "" -- "$batch" --iterations 100 --json --mass1 $'\xc3'
case="1 sweep text not UTF-8"
expect 2 "--sweep mass1: text 2 is not valid UTF-8" "" -- "$batch" --iterations 100 --sweep $'mass1=1;\xc3'

case="2 pictures on a full disk"
expect 4 "--sim-png: cannot write /dev/full: No space left on device" "" -- \
  "$batch" --iterations 100 --json --sim-png /dev/full --plot-png /dev/full
grep -q '"--plot-png: cannot write /dev/full: No space left on device"' stdout || fail "outputErrors in the JSON"
case="2 JSON on a full disk"
expect 4 "cannot write standard output: No space left on device" "" -- \
  bash -c '"$0" --iterations 100 --json >/dev/full' "$batch"
case="2 picture when the disk fills up (a file-size limit of 1 KiB, below the picture's size)"
expect 4 "--sim-png: cannot write old.png: File too large" "" -- \
  bash -c 'ulimit -f 1; exec "$0" --json --sim-png old.png' "$batch"
grep -q '"ended":"completed"' stdout || fail "the run's report"
case="2 picture on a small tmpfs that is full"
mkdir -p small
if unshare -m sh -c 'mount -t tmpfs -o size=4k tmpfs small' 2>/dev/null; then
  expect 4 "--plot-png: cannot write small/plot.png: No space left on device" "" -- \
    unshare -m bash -c 'mount -t tmpfs -o size=4k tmpfs small && head -c 4096 /dev/zero > small/fill 2>/dev/null;
                        exec "$0" --iterations 100 --plot-png small/plot.png' "$batch"
else
  skip "no tmpfs can be mounted here (unshare -m, mount -t tmpfs): the full tmpfs case is not run"
fi
rmdir small

case="3 CSV that fails half-way through the run"
expect 4 "--trajectory-csv: cannot write keep.csv: File too large" "" -- \
  bash -c 'ulimit -f 100; exec "$0" --iterations 200000 --every 1 --json --trajectory-csv keep.csv' "$batch"
grep -q '"ended":"completed"' stdout || fail "the run completed"
grep -q '"outputErrors":\["--trajectory-csv: cannot write keep.csv: File too large"\]' stdout || fail "outputErrors"

case="4 two exports on one file"
expect 2 "--distance-csv and --trajectory-csv name the same file: same.csv" "" -- \
  "$batch" --distance-csv same.csv --trajectory-csv same.csv
case="4 two pictures on one file"
expect 2 "--sim-png and --plot-png name the same file: x" "" -- "$batch" --sim-png x --plot-png x
case="4 an export over the parameter file"
expect 2 "--distance-csv: p.json is the --params file" "" -- "$batch" --params p.json --distance-csv p.json

case="5 a refused run"
expect 2 "\"Iteration\" is not a number: \"abc\"" "" -- "$batch" --as-typed --iterations abc --distance-csv keep.csv
[ "$(cat keep.csv)" = old ] || fail "keep.csv changed"

for signal in INT TERM HUP; do
  case="6 SIG$signal during a run"
  before="$(snapshot)"
  "$batch" --iterations 1000000000 --every 1 --json --distance-csv "sig-$signal.csv" >stdout 2>stderr &
  pid=$!
  # Until its temporary holds rows: the run is past its set-up.
  for _ in $(seq 200); do [ -n "$(find . -name '.sig-*' -size +0)" ] && break; sleep 0.05; done
  kill -"$signal" "$pid"
  { wait "$pid"; } 2>/dev/null
  status=$?
  expected=$((128 + $(kill -l "$signal")))
  [ "$status" = "$expected" ] || fail "exit status $status, expected $expected"
  grep -q "\"ended\":\"stopped\"" stdout && grep -q "\"signal\":\"SIG$signal\"" stdout || fail "JSON: $(head -c 200 stdout)"
  last=$(sed 's/.*"lastPass":\([0-9]*\).*/\1/' stdout)
  [ "$(tail -n 1 "sig-$signal.csv" | cut -d, -f1)" = "$last" ] || fail "the CSV does not end at pass $last"
  [ "$(($(wc -l < "sig-$signal.csv") - 2))" = "$last" ] || fail "the CSV is not complete up to pass $last"
  grep -qF "SIG$signal: stopped after pass $last" stderr || fail "message: $(cat stderr)"
  check_files
  rm "sig-$signal.csv"
done

case="6 a killed sweep, resumed"
passes=40000000 # a few seconds a point; the sanitized build is some twenty times slower
[ -z "$sanitized" ] || passes=1000000
sweep=(--iterations $passes --every 100 --sweep 'c=0;100;200;300' --jobs 2 --out runs --distance-csv dist.csv)
"$batch" "${sweep[@]}" >stdout 2>stderr &
pid=$!
for _ in $(seq 200); do [ -n "$(find runs -name '.dist-*' -size +0 2>/dev/null)" ] && break; sleep 0.05; done
kill -TERM "$pid"
{ wait "$pid"; } 2>/dev/null
status=$?
[ "$status" = 143 ] || fail "exit status $status, expected 143"
# One point a thread leaves points unstarted; in lanes every point is under way at once.
grep -qF "points run, the others not started" stderr \
  || [ "$(grep -c ': SIGTERM: stopped after pass' stderr)" = 4 ] || fail "message: $(cat stderr)"
check_files
for json in runs/point-*.json; do
  n=${json#runs/point-}; n=${n%.json}
  last=$(sed -n 's/.*"lastPass":\([0-9]*\).*/\1/p' "$json")
  if [ -z "$last" ]; then # stopped in its set-up: the header alone
    [ "$(wc -l < "runs/dist-$n.csv")" = 1 ] || fail "dist-$n.csv has rows of no pass"
  else
    [ "$(tail -n 1 "runs/dist-$n.csv" | cut -d, -f1)" = $((last - last % 100)) ] || fail "dist-$n.csv does not end at pass $last"
  fi
done
expect 0 "" "runs/dist-1.csv runs/dist-2.csv runs/dist-3.csv runs/dist-4.csv runs/point-1.json runs/point-2.json runs/point-3.json runs/point-4.json" -- \
  "$batch" "${sweep[@]}" --resume
[ "$(grep -c '"ended":"completed"' stdout)" = 4 ] || fail "four completed points"
for n in 1 2 3 4; do
  c=$(( (n - 1) * 100 ))
  grep -q "\"point\":{\"c\":\"$c\"}" "runs/point-$n.json" || fail "point-$n.json is not c=$c"
  [ "$(tail -n 1 "runs/dist-$n.csv" | cut -d, -f1)" = $passes ] || fail "dist-$n.csv incomplete"
done
case="6 one point of the grid by its number"
expect 0 "" "runs/dist-3.csv runs/point-3.json" -- "$batch" --iterations 1000 --sweep 'c=0;100;200;300' --points 3 \
  --out runs --distance-csv dist.csv
grep -q '"point":{"c":"200"}' stdout && [ "$(wc -l < stdout)" = 1 ] || fail "point 3 alone: $(head -c 200 stdout)"
rm -r runs

case="7 a grid of 10^9 points"
texts=$(seq -s ';' 1 1000)
"$batch" --iterations 10 --sweep "c=$texts" --sweep "dt=$texts" --sweep "mass3=$texts" --jobs 2 >stdout 2>stderr &
pid=$!
for _ in $(seq 100); do [ -s stdout ] && break; sleep 0.05; done
[ -s stdout ] || fail "no point within 5 s"
sleep 1
peak=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
kill -INT "$pid"
{ wait "$pid"; } 2>/dev/null
status=$?
[ "$status" = 130 ] || fail "exit status $status, expected 130"
if [ -n "$sanitized" ]; then
  skip "peak memory $peak kB not compared under AddressSanitizer"
elif [ "$peak" -ge 51200 ]; then
  fail "peak memory $peak kB, more than 50 MB"
fi
[ "$(grep -c '"point"' stdout)" = "$(wc -l < stdout)" ] || fail "a line is not a point's"

case="8 parameter files that are not regular files"
mkfifo fifo
expect 2 "--params: /dev/zero is a character device, not a parameter file" "" -- timeout 10 "$batch" --params /dev/zero
expect 2 "--params: fifo is a FIFO, not a parameter file" "" -- timeout 10 "$batch" --params fifo
rm fifo

case="9 a time column beyond the largest double"
expect 2 "--distance-csv: the time column would not be finite" "" -- \
  "$batch" --mass1 5e-324 --mass2 5e-324 --mass3 5e-324 --dt 1e304 --iterations 200000 --every 1000 \
  --distance-csv d.csv
[ ! -e d.csv ] || fail "d.csv written"

case="10 a refused command with --out makes no folder"
expect 2 "--params: " "" -- "$batch" --sweep c=1 --out made --params /nonexistent.json
[ ! -e made ] || fail "made/ created"

case="10 a report refused by a file-size limit after the point's files, resumed"
unit=(--iterations 300 --every 100 --report --sweep 'c=0;100' --jobs 1 --out unit --distance-csv d.csv)
"$batch" "${unit[@]}" >first 2>/dev/null || fail "the first sweep"
cp unit/d-1.csv first-d-1.csv
# Other inputs: the CSVs (a few hundred bytes) are written, the reports (with the analysis,
# some KiB) are not.
expect 4 "point 1: --out: cannot write unit/point-1.json: File too large" "unit/d-1.csv unit/d-2.csv" -- \
  bash -c 'ulimit -f 1; exec "$0" "$@" --mass3 2 >/dev/null' "$batch" "${unit[@]}"
expect 0 "" "unit/d-1.csv unit/d-2.csv unit/point-1.json unit/point-2.json" -- "$batch" "${unit[@]}" --resume
cmp -s stdout first || fail "the resumed lines are not the first run's"
cmp -s unit/d-1.csv first-d-1.csv || fail "d-1.csv is still the other run's"
rm -r unit first first-d-1.csv

case="10 a second process on a point another one runs"
# One point at a time (--lanes 1), so that the second is never started.
long=(--iterations 1000000000 --every 1000 --sweep 'c=0;100' --jobs 1 --lanes 1 --out busy --distance-csv d.csv)
"$batch" "${long[@]}" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 200); do [ -n "$(find busy -name '.d-1*' -size +0 2>/dev/null)" ] && break; sleep 0.05; done
"$batch" "${long[@]}" --points 1 >stdout 2>stderr
status=$?
[ "$status" = 2 ] || fail "exit status $status, expected 2"
grep -qF "point 1: --out: another process is running point 1 in busy" stderr || fail "message: $(cat stderr)"
grep -qF '"error":"--out: another process is running point 1 in busy"' stdout || fail "line: $(head -c 200 stdout)"
kill -TERM "$pid"
{ wait "$pid"; } 2>/dev/null
[ "$(ls busy)" = "$(printf 'd-1.csv\npoint-1.json\nsweep.lock')" ] || fail "busy/ holds $(ls -A busy)"
check_files
rm -r busy

case="11 the output's folder renamed during the run"
mkdir sub
"$batch" --iterations 1000000000 --every 1000 --distance-csv sub/d.csv >stdout 2>stderr &
pid=$!
for _ in $(seq 200); do [ -n "$(find sub -name '.d.csv*' -size +0)" ] && break; sleep 0.05; done
mv sub moved
kill -TERM "$pid"
{ wait "$pid"; } 2>/dev/null
status=$?
[ "$status" = 4 ] || fail "exit status $status, expected 4"
grep -qF -- "--distance-csv: cannot write sub/d.csv: No such file or directory" stderr || fail "message: $(cat stderr)"
[ -z "$(ls -A moved)" ] || fail "left in the renamed folder: $(ls -A moved)"
rmdir moved

[ "$(cat keep.csv)" = old ] && [ "$(cat old.png)" = "old picture" ] || { case="end"; fail "a kept file changed"; }
echo "batch_reliability: $failures failures, $skips skipped"
[ "$failures" = 0 ]
