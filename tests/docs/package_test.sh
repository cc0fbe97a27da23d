#!/usr/bin/env bash
# Installation and the Debian package, without touching the system:
#  1. `cmake --install` into a temp prefix puts the program, its manual page, the language
#     reference, the examples and atari.names in place, and the installed program assembles
#     an example from the installed examples into a load file, finding atari.names under
#     its own prefix;
#  2. `cpack -G DEB` builds a package whose control fields and contents are those a user
#     installs with dpkg -i (CI installs it for real: .ci/run, "== package").
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# 1. cmake --install
cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install"; }
p=$tmp/prefix
[ -x "$p/bin/xexasm" ] || fail "bin/xexasm is not installed"
[ -f "$p/share/man/man1/xexasm.1" ] || fail "share/man/man1/xexasm.1 is not installed"
cmp -s "$src/docs/xexasm.1" "$p/share/man/man1/xexasm.1" || fail "the installed manual page differs from docs/xexasm.1"
[ -f "$p/share/doc/xexasm/language.md" ] || fail "share/doc/xexasm/language.md is not installed"
for f in "$src"/examples/*.asm "$src"/examples/*.inc "$src"/examples/lib/*.inc "$src"/examples/Makefile; do
  [ -f "$p/share/doc/xexasm/examples/${f#"$src"/examples/}" ] || fail "example ${f#"$src"/examples/} is not installed"
done
cmp -s "$src/share/xexasm/atari.names" "$p/share/xexasm/atari.names" || fail "share/xexasm/atari.names is not installed"
# The manual page names no fixed prefix for the files it lists.
! grep -q '/usr/share' "$p/share/man/man1/xexasm.1" || fail "the manual page assumes /usr"

# The installed program, run as a user would: copy the examples, assemble one with includes
# and the installed names (--names=atari.names, found beside the program's own folder).
mkdir "$tmp/work"
cp -r "$p"/share/doc/xexasm/examples/. "$tmp/work/"
(cd "$tmp/work" && "$p/bin/xexasm" --names=atari.names marquee.asm >stdout.txt 2>stderr.txt) || { cat "$tmp/work/stderr.txt"; fail "the installed xexasm failed on marquee.asm"; }
header=$(od -An -tx1 -N2 "$tmp/work/marquee.xex" | tr -d ' \n')
[ "$header" = "ffff" ] || fail "marquee.xex does not start with \$FF \$FF (got '$header')"
grep -qx 'marquee_vars.inc' "$tmp/work/stdout.txt" || fail "marquee.asm did not include marquee_vars.inc"
# The run address segment: start $02E0, end $02E1, somewhere in the file.
# (grep reads whole strings, not pipes: under pipefail an early grep -q exit would fail the writer)
bytes=$(od -An -tx1 -v "$tmp/work/marquee.xex" | tr -s ' \n' ' ')
grep -q 'e0 02 e1 02' <<<"$bytes" || fail "no RUNAD segment in marquee.xex"

# 2. The Debian package
command -v dpkg-deb >/dev/null || fail "dpkg-deb is missing"
(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$tmp"/pkg/xexasm_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { cat "$tmp/cpack.log"; fail "cpack made no xexasm_*.deb"; }
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = "xexasm" ] || fail "Package: $(field Package)"
[ "$(field Section)" = "devel" ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
grep -q '6502' <<<"$(field Description)" || fail "the description does not say what xexasm is"
# A dynamically linked program must name the libraries it loads; a static one needs none,
# and then the package depends on nothing (as the README says).
depends=$(field Depends)
dpkg-deb -x "$deb" "$tmp/root"
kind=$(file "$tmp/root/usr/bin/xexasm")
if grep -q 'statically linked' <<<"$kind"; then
  [ -z "$depends" ] || fail "a static program, yet Depends: $depends"
else
  for lib in libc6 libstdc++6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
  done
fi
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/xexasm ./usr/share/man/man1/xexasm.1 ./usr/share/doc/xexasm/language.md ./usr/share/doc/xexasm/examples/hello.asm \
            ./usr/share/doc/xexasm/examples/lib/decimal.inc ./usr/share/xexasm/atari.names; do
  grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
grep -q ' root/root ' <<<"$(grep ' ./usr/bin/xexasm$' <<<"$contents")" || fail "/usr/bin/xexasm is not owned by root"

# The packaged program runs (unpacked, not installed).
(cd "$tmp/work" && "$tmp/root/usr/bin/xexasm" --names=atari.names hello.asm >/dev/null 2>&1) || fail "the packaged xexasm failed on hello.asm"
echo "package test: passed"
