#!/usr/bin/env bash
# Runs the fuzz target for SECONDS seconds on the corpus fuzz/corpus/ with the dictionary
# fuzz/xexasm.dict, building it first (build-fz/) when needed.
#
#   bash fuzz/run.sh SECONDS
#
# Fails (non-zero) on any crash, sanitizer report, leak, time-out or memory blow-up; the
# offending input is kept in fuzz/findings/. New corpus entries of less than 1 KiB that
# add coverage are merged into fuzz/corpus/, so the corpus grows with the repository.
#
# Environment (mostly for the script's own tests):
#   XEXASM_FUZZ_BIN       fuzz target to run (default: build it in XEXASM_FUZZ_BUILD)
#   XEXASM_FUZZ_BUILD     build folder (default: build-fz)
#   XEXASM_FUZZ_CORPUS    corpus folder (default: fuzz/corpus)
#   XEXASM_FUZZ_DICT      dictionary (default: fuzz/xexasm.dict; empty: none)
#   XEXASM_FUZZ_FINDINGS  where failing inputs go (default: fuzz/findings)
#   XEXASM_FUZZ_TIMEOUT   seconds one input may take (default: 10)
set -euo pipefail
seconds="${1:?usage: fuzz/run.sh SECONDS}"
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "run.sh: SECONDS must be a whole number" >&2; exit 2; }
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${XEXASM_FUZZ_BUILD:-$root/build-fz}"
corpus="${XEXASM_FUZZ_CORPUS:-$root/fuzz/corpus}"
dict="${XEXASM_FUZZ_DICT-$root/fuzz/xexasm.dict}"
findings="${XEXASM_FUZZ_FINDINGS:-$root/fuzz/findings}"
timeout="${XEXASM_FUZZ_TIMEOUT:-10}"
small=1024  # largest new entry kept in the corpus

absolute() { case "$1" in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
corpus="$(absolute "$corpus")"; findings="$(absolute "$findings")"
[ -z "$dict" ] || dict="$(absolute "$dict")"

if [ -n "${XEXASM_FUZZ_BIN:-}" ]; then
  bin="$(absolute "$XEXASM_FUZZ_BIN")"
else
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DXEXASM_FUZZ=ON -DXEXASM_TESTS=OFF >/dev/null
  fi
  cmake --build "$build" -j2 --target fuzz_assembler
  bin="$build/fuzz/fuzz_assembler"
  bash "$root/fuzz/make_corpus.sh" "$corpus"
fi

mkdir -p "$corpus" "$findings"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/new" "$scratch/small"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0:allocator_may_return_null=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

opts=(-max_len=4096 -timeout="$timeout" -rss_limit_mb=2048 -malloc_limit_mb=2048 -detect_leaks=1
      -print_final_stats=1 -artifact_prefix="$findings/")
[ -z "$dict" ] || opts+=(-dict="$dict")

# New entries go to the scratch folder (the first one named); the corpus is only read.
# The outer time limit catches a run that hangs outside the per-input time-out.
status=0
timeout --signal=KILL $((seconds + 300)) \
  "$bin" "${opts[@]}" -max_total_time="$seconds" "$scratch/new" "$corpus" \
  >"$scratch/log" 2>&1 || status=$?
grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)|^[[:space:]]+NEW_FUNC|^"' "$scratch/log" | tail -n 60 || true
grep -E '^#[0-9]+[[:space:]]+(DONE|pulse)' "$scratch/log" | tail -n 1 || true

# A report that did not end the run is a failure too.
if grep -q -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: (Address|Leak|Undefined)' "$scratch/log"; then
  [ "$status" -ne 0 ] || status=1
fi
if [ "$status" -ne 0 ]; then
  echo "fuzz/run.sh: the fuzzer failed (status $status); failing inputs in $findings:" >&2
  ls -l "$findings" >&2 || true
  exit "$status"
fi

# Keep the small new entries that add coverage to the corpus.
find "$scratch/new" -type f -size -"$small"c -exec mv -t "$scratch/small" {} +
before=$(find "$corpus" -type f | wc -l)
if [ -n "$(ls -A "$scratch/small")" ]; then
  "$bin" -merge=1 -max_len=4096 -timeout="$timeout" -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" "$corpus" "$scratch/small" >"$scratch/merge.log" 2>&1 || {
    tail -n 30 "$scratch/merge.log" >&2
    echo "fuzz/run.sh: merging the new entries failed" >&2
    exit 1
  }
fi
after=$(find "$corpus" -type f | wc -l)
echo "fuzz/run.sh: passed; $((after - before)) new entries merged into $corpus ($after in all)"
