#!/usr/bin/env bash
# The dictionary holds every keyword of the keyword table (source/tokens.h) and every
# character that is punctuation or starts a token, and libFuzzer accepts it.
#
#   check_dict.sh SOURCE_DIR FUZZ_TARGET
set -uo pipefail
src="$1"
target="$2"
dict="$src/fuzz/xexasm.dict"
status=0

# The values of the dictionary, unquoted.
values="$(sed -n 's/^[A-Za-z0-9_]*="\(.*\)"$/\1/p' "$dict")"
has() { grep -qxF -- "$1" <<<"$values"; }

keywords=$(sed -n '/KEYWORDS\[\] = {/,/};/p' "$src/source/tokens.h" | grep -o 'XEXASM_KEYWORD([A-Z]*)' | sed 's/XEXASM_KEYWORD(\(.*\))/\1/')
count=$(wc -w <<<"$keywords")
if [ "$count" -lt 67 ]; then
  echo "FAIL: only $count keywords read from the keyword table (source/tokens.h)"; status=1
fi
for k in $keywords; do
  has "$k" || { echo "FAIL: keyword $k missing from the dictionary"; status=1; }
done
for p in '#' '%' '&' '(' ')' '*' '+' ',' '-' '.' '/' ':' '<' '>' '[' ']' '^' '|' '\"' "'" '$' ';'; do
  has "$p" || { echo "FAIL: punctuation $p missing from the dictionary"; status=1; }
done
has '.SECTION \"c\",$2000' || { echo "FAIL: no .SECTION statement in the dictionary"; status=1; }

# libFuzzer stops at once on a dictionary it cannot parse.
out="$("$target" -dict="$dict" -runs=0 2>&1)"
if ! grep -q "Dictionary: [0-9]* entries" <<<"$out"; then
  echo "FAIL: libFuzzer did not read the dictionary:"; echo "$out" | tail -n 5; status=1
fi
[ "$status" -ne 0 ] || echo "dictionary: $count keywords and all punctuation present, $(grep -o 'Dictionary: [0-9]* entries' <<<"$out")"
exit "$status"
