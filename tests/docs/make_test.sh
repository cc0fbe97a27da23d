#!/usr/bin/env bash
# examples/Makefile as a user runs it, in a copy of examples/:
#  1. make builds every example; a second make builds nothing;
#  2. touching a file that one program includes (lib/decimal.inc) rebuilds that program only;
#  3. a broken source makes make fail, with xexasm's status 1, and leaves the old .xex as it was;
#  4. the mended source is built again, into the same bytes.
# And the make file that the README shows is the one in examples/.
# Usage: make_test.sh XEXASM SOURCE_DIR
set -euo pipefail
xexasm=$1
src=$(cd "$2" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
command -v make >/dev/null || fail "make is not installed"

# The README's make block, line by line, is part of examples/Makefile.
block=$(sed -n '/^```make$/,/^```$/p' "$src/README.md" | sed '1d;$d')
[ -n "$block" ] || fail "the README shows no make file"
while IFS= read -r line; do
  [ -z "$line" ] || grep -qxF -- "$line" "$src/examples/Makefile" || fail "README line not in examples/Makefile: $line"
done <<<"$block"

cp -r "$src/examples" "$tmp/ex"
cd "$tmp/ex"
rm -f ./*.xex ./*.d  # what a build in the source tree may have left
run_make() { make XEXASM="$xexasm" NAMES="$src/share/xexasm/atari.names" "$@" >"$tmp/make.log" 2>&1; }
# Every file a day old, so that what make sees as new below is new.
age() { find . -type f -exec touch -d '1 day ago' {} +; }
stamp() { stat -c %Y.%y "$1"; }

# 1. Everything built, once.
run_make || { cat "$tmp/make.log"; fail "the first make failed"; }
programs="hello print colors marquee player numbers tune"
for p in $programs; do
  [ -s "$p.xex" ] || fail "$p.xex was not built"
  [ -f "$p.d" ] || fail "$p.d was not written"
done
grep -qx 'numbers.xex: numbers.asm lib/decimal.inc' numbers.d || fail "numbers.d: $(cat numbers.d)"
[ -z "$(grep -v '^make' "$tmp/make.log" | grep -v '^/\|^[^ ]*xexasm ' || true)" ] || { cat "$tmp/make.log"; fail "-q: xexasm printed more than its command"; }
age
run_make -q || fail "make finds work to do right after a build"

# 2. An included file changed: numbers.xex again, nothing else.
cp numbers.xex "$tmp/numbers.good"
hello_before=$(stamp hello.xex)
numbers_before=$(stamp numbers.xex)
touch lib/decimal.inc
run_make || { cat "$tmp/make.log"; fail "make after touching lib/decimal.inc failed"; }
[ "$(stamp numbers.xex)" != "$numbers_before" ] || fail "numbers.xex was not rebuilt after lib/decimal.inc changed"
[ "$(stamp hello.xex)" = "$hello_before" ] || fail "hello.xex was rebuilt, though nothing it reads changed"
cmp -s numbers.xex "$tmp/numbers.good" || fail "numbers.xex changed its bytes"

# 3. A broken source: make fails, xexasm says 1, the old load file stays.
age
cp numbers.asm "$tmp/numbers.asm.good"
printf '\tJMP nowhere\t; no such label\n' >>numbers.asm
before=$(stamp numbers.xex)
if run_make; then cat "$tmp/make.log"; fail "make succeeded on a broken source"; fi
grep -q 'Symbol nowhere Not Defined' "$tmp/make.log" || { cat "$tmp/make.log"; fail "no error message from xexasm"; }
set +e
"$xexasm" -q --names="$src/share/xexasm/atari.names" -I lib -o numbers.xex --deps=numbers.d numbers.asm 2>/dev/null
status=$?
set -e
[ "$status" = 1 ] || fail "xexasm's status on the broken source is $status, not 1"
[ "$(stamp numbers.xex)" = "$before" ] || fail "the failed run touched numbers.xex"
cmp -s numbers.xex "$tmp/numbers.good" || fail "the failed run changed numbers.xex"
[ -z "$(find . -name '.*' -type f)" ] || fail "temporary files left: $(find . -name '.*' -type f)"

# 4. Mended: built again, the same bytes as before.
cp "$tmp/numbers.asm.good" numbers.asm
run_make || { cat "$tmp/make.log"; fail "make after mending the source failed"; }
[ "$(stamp numbers.xex)" != "$before" ] || fail "numbers.xex was not rebuilt after the source was mended"
cmp -s numbers.xex "$tmp/numbers.good" || fail "the mended numbers.xex differs"
run_make -q || fail "make finds work to do after the rebuild"
echo "make file test: passed"
