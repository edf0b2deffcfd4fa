#!/usr/bin/env bash
# Every example of the README and of the manual's pages in docs/, run as printed: each fenced
# or indented code block is a shell example, run with bash -e (a script that names its shell
# on a #! line, with that shell) in a folder that is new and empty for each section of each
# page and shared by that section's examples in their order, with gravlag-batch on the PATH
# as the pages tell. Each must exit 0 and print nothing on standard error. A block fenced as
# ```python is run with python3, the Python module importable from the second argument's
# folder (given as "-", such blocks are left out). A block fenced as ```text is what the
# example before it prints: its standard output must be that text, byte for byte.
# Arguments: the folder holding gravlag-batch, the module's folder or "-", then the README
# and the pages.
#
# Not run: the README's first section (the set-up commands, which made the build this runs),
# every Install section (run in the checkout; install_and_package_test does it into a
# temporary prefix) and the usage synopsis (the block that begins "Usage:").
# Changed before running, so that the test stays short: an iteration count of 100000 or more
# (`--iterations N`, or "Titer" in a parameter file) becomes 20000; an example whose output
# is shown is never changed.
# Placeholders of what cannot run here: a Slurm job script (#SBATCH --array=A-B) is run once
# for each task, with SLURM_ARRAY_TASK_ID set; of a GNU parallel command, the gravlag-batch
# command inside it is run once for each argument after ":::", in place of "{}".
set -uo pipefail
bindir="$(cd "$1" && pwd)" module="$2"
shift 2
pages=("$@")
[ "$module" = - ] && module=""
[ -n "$module" ] && export PYTHONPATH="$(cd "$module" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
export PATH="$bindir:$PATH" LC_ALL=C
[ -x "$bindir/gravlag-batch" ] || { echo "FAIL: no $bindir/gravlag-batch"; exit 1; }

# The pages' code blocks, one file each (NNN.sh), with their page (NNN.page) and the heading
# of their section (NNN.section); a ```text block after one is NNN.sh.expected. An indented
# block begins after a blank line and holds lines indented by four or more spaces, and the
# blank lines between them. The README's first section, before its first "## " heading, is
# marked NNN.setup.
mkdir "$tmp/blocks"
awk -v dir="$tmp/blocks" -v readme="${pages[0]}" '
  function open_block() {
    n++; file = sprintf("%s/%03d.sh", dir, n); opened = FILENAME "\n" section
    print section > (file ".section"); close(file ".section")
    print FILENAME > (file ".page"); close(file ".page")
    if (FILENAME == readme && top) { print "" > (file ".setup"); close(file ".setup") }
  }
  function close_block() { close(file); kind = ""; pending = 0 }
  FNR == 1 { if (kind != "") close_block(); section = ""; top = 1 }
  kind == "fenced" { if ($0 ~ /^```/) close_block(); else print > file; next }
  kind == "indented" {
    if ($0 ~ /^    /) { for (; pending > 0; pending--) print "" > file; print substr($0, 5) > file; next }
    if ($0 ~ /^[ \t]*$/) { pending++; next }
    close_block()
  }
  /^```text/ {
    kind = "fenced"
    if (n == 0 || opened != FILENAME "\n" section) { print FILENAME ": a text block with no example before it in its section" > "/dev/stderr"; exit 1 }
    file = sprintf("%s/%03d.sh.expected", dir, n); printf "" > file; next
  }
  /^```python/ { kind = "fenced"; open_block(); print "#!/usr/bin/python3" > file; next }
  /^```/ { kind = "fenced"; open_block(); next }
  /^    / && blank { kind = "indented"; open_block(); print substr($0, 5) > file; next }
  /^## / { top = 0 }
  /^#+ / { section = $0; sub(/^#+ /, "", section) }
  { blank = ($0 ~ /^[ \t]*$/) }
' "${pages[@]}" || fail "the pages' blocks could not be read"

for page in "${pages[@]}"; do
  grep -q 'build/app/gravlag-batch' "$page" && fail "$page calls build/app/gravlag-batch: its examples call gravlag-batch"
done

# Runs one example (a file) in its section's folder; $2 names it in a failure.
run() {
  local script="$1" what="$2" folder="$3" shell=(bash -e)
  case "$(head -n 1 "$script")" in
    '#!/usr/bin/python3') shell=(/usr/bin/python3) ;;
    '#!'*) read -r -a shell <<<"$(head -n 1 "$script" | cut -c3-)"; shell+=(-e) ;;
  esac
  if ! (cd "$folder" && "${shell[@]}" "$script") >"$tmp/out" 2>"$tmp/err" || [ -s "$tmp/err" ]; then
    fail "$what"
    sed 's/^/  | /' "$script"
    sed 's/^/  stderr: /' "$tmp/err"
  elif [ -e "$script.expected" ] && ! cmp -s "$script.expected" "$tmp/out"; then
    fail "$what: prints other than the text shown after it"
    diff "$script.expected" "$tmp/out" | sed 's/^/  /'
  fi
}

ran=0 commands=0
declare -A folders
for block in "$tmp"/blocks/*.sh; do
  section="$(cat "$block.section")" page="$(cat "$block.page")"
  head -n 1 "$block" | grep -q '^Usage:' && continue
  [ -z "$module" ] && head -n 1 "$block" | grep -qx '#!/usr/bin/python3' && continue
  [ -e "$block.setup" ] || [ "$section" = Install ] && continue
  key="$page"$'\n'"$section"
  if [ -z "${folders[$key]:-}" ]; then
    folders[$key]="$(mktemp -d "$tmp/section.XXXXXX")"
  fi
  folder="${folders[$key]}"
  [ -e "$block.expected" ] \
    || sed -E -i 's/--iterations [0-9]{6,}/--iterations 20000/g; s/"Titer": "?[0-9]{6,}"?/"Titer": "20000"/g' "$block"
  name="the example in $(basename "$page") \"$section\" that begins: $(head -n 1 "$block")"
  commands=$((commands + $(grep -cE '^ *(parallel .*)?gravlag-batch ' "$block")))
  ran=$((ran + 1))

  if grep -q '^#SBATCH --array=' "$block"; then
    range="$(sed -n 's/^#SBATCH --array=\([0-9]*\)-\([0-9]*\)$/\1 \2/p' "$block")"
    grep -q 'SLURM_ARRAY_TASK_ID' "$block" || fail "$name: a job array whose script does not read SLURM_ARRAY_TASK_ID"
    for task in $(seq $range); do
      export SLURM_ARRAY_TASK_ID=$task
      run "$block" "$name (task $task)" "$folder"
    done
    unset SLURM_ARRAY_TASK_ID
  elif head -n 1 "$block" | grep -q '^parallel '; then
    # Without -q the shell parallel starts would split a quoted argument at ';'.
    line="$(sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$block" | head -n 1)"
    case "$line" in 'parallel -q '* | 'parallel --quote '*) ;; *) fail "$name: parallel without -q splits the sweep's list" ;; esac
    command="gravlag-batch${line#*gravlag-batch}"
    command="${command% ::: *}"
    for argument in ${line##* ::: }; do
      printf '%s\n' "${command//\{\}/$argument}" >"$tmp/parallel.sh"
      run "$tmp/parallel.sh" "$name (with $argument)" "$folder"
    done
  else
    run "$block" "$name" "$folder"
  fi
done

# Every command line of the pages that starts gravlag-batch is in an example that ran.
total="$(cat "${pages[@]}" | grep -cE '^( {4})?( *(parallel .*)?gravlag-batch )')"
[ "$ran" -gt 0 ] && [ "$commands" = "$total" ] \
  || fail "ran $ran examples with $commands gravlag-batch commands; the pages have $total such lines"

[ "$failed" = 0 ] && echo "README and docs examples: $ran examples ran as printed"
exit "$failed"
