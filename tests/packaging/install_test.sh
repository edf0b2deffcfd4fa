#!/usr/bin/env bash
# `cmake --install` into a fresh prefix and `cpack -G DEB` from the build folder: the files
# are where a desktop and man(1) look for them, the menu entry is valid, the man pages hold
# every option and every JSON field, the README's links lead to installed files, and the
# .deb holds the same files with dependencies computed from the binaries and passes lintian
# without an error. Arguments: the build folder, the project version, ON/OFF (Qt).
set -uo pipefail
build="$1" version="$2" qt="$3"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
for tool in cmake cpack dpkg-deb dpkg-shlibdeps desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps test installs it)"; exit 1; }
done

files=(bin/gravlag-batch share/man/man1/gravlag-batch.1.gz share/doc/gravlag/README.md
       share/doc/gravlag/docs/batch.md share/doc/gravlag/copyright share/doc/gravlag/changelog.gz)
if [ "$qt" = ON ]; then
  files+=(bin/gravlag share/man/man1/gravlag.1.gz share/applications/gravlag.desktop
          share/icons/hicolor/scalable/apps/gravlag.svg)
fi

prefix="$tmp/prefix"
cmake --install "$build" --prefix "$prefix" --strip >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "cmake --install"; }
for f in "${files[@]}"; do
  [ -s "$prefix/$f" ] || fail "not installed: $f"
done
readelf -S "$prefix/bin/gravlag-batch" | grep -q '\.symtab' && fail "cmake --install --strip left the symbols in gravlag-batch"
# Every picture and document the installed README and pages link to is installed beside them.
doc="$prefix/share/doc/gravlag"
for page in "$doc/README.md" "$doc"/docs/*.md; do
  while read -r target; do
    [ -s "$(dirname "$page")/$target" ] || fail "the installed ${page#"$doc/"} links to $target, which is not installed"
  done < <(grep -oE '\]\([^)#]+\)' "$page" | sed 's/^](//; s/)$//' | grep -v '://' | sort -u)
done
gzip -t "$doc/changelog.gz" || fail "changelog.gz is not gzip"
zcat "$doc/changelog.gz" | head -n 1 | grep -q "^gravlag ($version) " || fail "the changelog's first entry is not $version"

if [ "$qt" = ON ]; then
  entry="$prefix/share/applications/gravlag.desktop"
  desktop-file-validate "$entry" >"$tmp/validate.log" 2>&1 || { cat "$tmp/validate.log"; fail "gravlag.desktop is not valid"; }
  grep -qx 'Exec=gravlag' "$entry" || fail "gravlag.desktop does not start gravlag"
  grep -qx 'Icon=gravlag' "$entry" || fail "gravlag.desktop does not name the icon gravlag"
  grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/gravlag.svg" || fail "the icon is not an SVG"
fi

# The installed batch runner runs, without its build folder.
batch="$prefix/bin/gravlag-batch"
grep -qE "^gravlag-batch $version( |\$)" <("$batch" --version) || fail "installed gravlag-batch --version"
# A sweep whose point 2 cannot run (its CSV would replace the --params file): its line is
# "error" and "point"; under --out point 1's file also holds "inputs"; --budget adds the
# analysis and the budget.
mkdir "$tmp/run"
echo '{"Titer": 100}' >"$tmp/run/d-2.csv"
json="$(cd "$tmp/run" && "$batch" --params d-2.csv --sweep 'c=0;1' --jobs 1 --out . --distance-csv d.csv --budget 2>/dev/null)"
case "$json" in *'"ended":"completed"'*'"error":'*) ;; *) fail "installed gravlag-batch did not run as expected: $json" ;; esac

# Man pages: every option --help names; for gravlag-batch the exit statuses and, in JSON
# FIELDS, every field of a sweep point's line (top-level fields as items of their own).
man_options() { grep -oE -- '(^|[ ,])--?[a-z][a-z0-9-]*' | grep -oE -- '--?[a-z][a-z0-9-]*' | sort -u; }
section() { sed -n "/^\.SH \"\?$2\"\?\$/,/^\.SH/p" "$1"; }
for program in gravlag-batch gravlag; do
  [ "$program" = gravlag ] && [ "$qt" != ON ] && continue
  page="$tmp/$program.1"
  zcat "$prefix/share/man/man1/$program.1.gz" >"$page" 2>/dev/null || continue
  section "$page" OPTIONS >"$tmp/options"
  while read -r option; do
    roff="$(printf '%s' "$option" | sed 's/-/\\\\-/g')" # --c as roff writes it: \-\-c
    grep -qE -- "$roff([^a-z0-9]|\$)" "$tmp/options" || fail "$program.1 lacks $option"
  done < <(env -u DISPLAY "$prefix/bin/$program" --help | sed -n '/^Options:/,$p' | man_options)
  # An item's tag holds its option alone: a description that help2man took into the tag
  # shows as one long line with a second option in it.
  grep -A1 -x '\.TP' "$tmp/options" | grep -E '^\\fB.*\\-\\-[a-z].*\\-\\-[a-z]' \
    && fail "$program.1: an option's tag holds its description"
done
[ "$qt" = ON ] && ! grep -q 'Run report' "$tmp/gravlag.1" && fail "gravlag.1 does not mention Run report"
# EXIT STATUS is the end of --help, once: every status --help lists is an item there.
page="$tmp/gravlag-batch.1"
[ "$(grep -c '^\.SH "EXIT STATUS"$' "$page")" = 1 ] || fail "gravlag-batch.1: not one EXIT STATUS section"
statuses="$("$batch" --help | sed -n '/^Exit status:$/,$p' | grep -oE '^  [0-9]+(\+n)? ' | tr -d ' ')"
[ "$(printf '%s\n' $statuses | wc -l)" = 5 ] || fail "--help lists the exit statuses $statuses"
for status in $statuses; do
  section "$page" "EXIT STATUS" | grep -A1 -x '\.TP' | grep -qxF "$status" || fail "gravlag-batch.1: exit status $status"
done
section "$page" "JSON FIELDS" >"$tmp/fields"
while read -r line; do
  top="$(printf '%s' "$line" | sed 's/^{//; s/}$//; :a; s/{[^{}]*}/@/g; ta' | grep -oE '"[A-Za-z0-9]+":' | tr -d '":')"
  for key in $top; do
    grep -qE "^\.BR? (.*[ \"])?$key([ \"]|\$)" "$tmp/fields" || fail "gravlag-batch.1: JSON field $key"
  done
  for key in $(printf '%s' "$line" | grep -oE '"[A-Za-z0-9()_]+":' | tr -d '":'); do
    grep -qF "$key" "$tmp/fields" || fail "gravlag-batch.1: JSON key $key"
  done
done < <(printf '%s\n' "$json"; cat "$tmp/run/point-1.json")

# The package: the same files under /usr, dependencies found by dpkg-shlibdeps.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/package" >"$tmp/cpack.log" 2>&1 \
  || { tail -n 20 "$tmp/cpack.log"; fail "cpack -G DEB"; }
deb="$(ls "$tmp"/package/gravlag_"$version"_*.deb 2>/dev/null | head -n 1)"
if [ -z "$deb" ]; then
  fail "no gravlag_${version}_*.deb"
else
  dpkg-deb -c "$deb" | awk '{print $NF}' >"$tmp/contents"
  for f in "${files[@]}"; do
    grep -qx "./usr/$f" "$tmp/contents" || fail "the package lacks /usr/$f"
  done
  depends="$(dpkg-deb -f "$deb" Depends)"
  case "$depends" in *libpng16-16*) ;; *) fail "Depends lacks libpng16-16: $depends" ;; esac
  case "$depends" in *libc6*) ;; *) fail "Depends lacks libc6: $depends" ;; esac
  if [ -f "$build/python/gravlag/__init__.py" ]; then
    grep -qx './usr/lib/python3/dist-packages/gravlag/__init__.py' "$tmp/contents" \
      || fail "the Python module is not in /usr/lib/python3/dist-packages"
    case "$depends" in *'python3 (>= 3.'*'python3 (<< 3.'*python3-numpy*) ;;
      *) fail "Depends lacks the interpreter the module was built for, or NumPy: $depends" ;; esac
  fi
  if command -v lintian >/dev/null; then
    lintian "$deb" >"$tmp/lintian.log" 2>&1
    grep '^E: ' "$tmp/lintian.log" && fail "lintian reports errors on the package"
  else
    fail "lintian is missing (scripts/deps test installs it)"
  fi
  if [ "$qt" = ON ]; then
    case "$depends" in *libqt6widgets6*) ;; *) fail "Depends lacks libqt6widgets6: $depends" ;; esac
  else
    case "$depends" in *libqt*) fail "a package without the desktop program depends on Qt: $depends" ;; esac
  fi
fi

[ "$failed" = 0 ] && echo "install and package: all checks passed"
exit "$failed"
