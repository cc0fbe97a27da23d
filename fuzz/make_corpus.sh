#!/usr/bin/env bash
# Seeds the fuzzing corpus fuzz/corpus/ with every source of the end-to-end cases (main
# files, included files, standard-input files) and the examples. A seed is named after its
# case: <area>-<case>-<file>. Run again whenever cases are added; it only adds and updates
# seeds, so the entries that fuzzing found stay.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
corpus="${1:-$root/fuzz/corpus}"
max_len=4096  # what the fuzzer reads of an input; longer cases are left out
mkdir -p "$corpus"

copied=0
add() {  # add FILE NAME
  local size
  size=$(stat -c %s "$1")
  [ "$size" -le "$max_len" ] || return 0
  cmp -s "$1" "$corpus/$2" || cp "$1" "$corpus/$2"
  copied=$((copied + 1))
}

# Every regular file of a case that is an input: not the expectations, the argument list,
# the set-up script or the folder's notes. Links (standard input made unreadable) are left out.
while IFS= read -r -d '' f; do
  rel="${f#"$root"/tests/cases/}"
  add "$f" "$(printf '%s' "$rel" | tr '/' '-')"
done < <(find "$root/tests/cases" -type f \
           -not -path '*/expect/*' -not -name args -not -name prepare -not -name '*.md' \
           -print0 | sort -z)

for f in "$root"/examples/*.asm; do
  [ -f "$f" ] && add "$f" "examples-$(basename "$f")"
done

echo "corpus: $copied seeds in $corpus ($(ls "$corpus" | wc -l) entries)"
