#!/usr/bin/env bash
# Tests of fuzz/run.sh with a target of planted faults: a clean run passes and merges its
# new entries into the corpus; a crash, a leak, a hang and undefined behaviour each fail
# the run and leave the input that caused it among the findings.
#
#   run_sh_test.sh PLANTED_TARGET CASE      CASE: clean, overflow, leak, hang, undefined
set -uo pipefail
target="$1"
case_name="$2"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/findings"
printf 'a' >"$work/corpus/seed-a"
printf 'b' >"$work/corpus/seed-b"

export XEXASM_FUZZ_BIN="$target" XEXASM_FUZZ_CORPUS="$work/corpus" XEXASM_FUZZ_DICT=""
export XEXASM_FUZZ_FINDINGS="$work/findings" XEXASM_FUZZ_TIMEOUT=2

fail() { echo "FAIL: $*"; echo "--- run.sh output:"; cat "$work/out"; exit 1; }

if [ "$case_name" = clean ]; then
  bash "$here/../run.sh" 3 >"$work/out" 2>&1; status=$?
  [ "$status" -eq 0 ] || fail "a clean run ended with status $status"
  grep -q 'fuzz/run.sh: passed' "$work/out" || fail "no success line"
  [ -z "$(ls -A "$work/findings")" ] || fail "a clean run left findings: $(ls "$work/findings")"
  n=$(ls "$work/corpus" | wc -l)
  [ "$n" -gt 2 ] || fail "no new entry was merged into the corpus ($n entries)"
  big=$(find "$work/corpus" -type f -size +1023c | wc -l)
  [ "$big" -eq 0 ] || fail "$big merged entries of 1 KiB or more"
  echo "clean run passed, corpus grew to $n entries"
  exit 0
fi

printf 'plant:%s' "$case_name" >"$work/corpus/seed-$case_name"
bash "$here/../run.sh" 60 >"$work/out" 2>&1; status=$?
[ "$status" -ne 0 ] || fail "the planted $case_name did not fail the run"
found=""
for f in "$work/findings"/*; do
  [ -f "$f" ] && cmp -s "$f" "$work/corpus/seed-$case_name" && found="$f"
done
[ -n "$found" ] || fail "the input of the planted $case_name is not among the findings: $(ls "$work/findings")"
echo "planted $case_name failed the run (status $status) and was kept as $(basename "$found")"
