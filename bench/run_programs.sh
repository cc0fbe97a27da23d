#!/bin/bash
# bench/run_programs.sh [SIZE...] - times the assembler on whole generated programs.
#
#   SIZE: source lines, with an optional k or M suffix. Default: 10k 100k 1M.
#
# Run from the repository root after building (build/xexasm). For each size the shared
# generator writes one realistic program (one label per LABEL_DIV lines) with the load file
# it must produce; the assembler is run on it once under GNU time (peak RSS), its .xex is
# compared with the expected image, and then it is timed (standard output to /dev/null):
# with hyperfine when installed, else with a loop around `date +%s%N`. Prints a table:
# lines, median ms, lines per second, peak RSS.
#
# Environment:
#   XEXASM=build/xexasm        the assembler
#   GEN=../shared/bench/gen.py the program generator
#   WORK=$TMPDIR/xexasm-bench/work  where the programs are kept (the folder the shared
#                              run.sh uses too, so both reuse the same programs)
#   LABEL_DIV=8  SEED=6502     generator parameters
#   RUNS=N  WARMUP=N           timed runs and warm-up runs (default: fewer as runs get longer)
set -u

XEXASM=${XEXASM:-build/xexasm}
GEN=${GEN:-../shared/bench/gen.py}
WORK=${WORK:-${TMPDIR:-/tmp}/xexasm-bench/work}
LABEL_DIV=${LABEL_DIV:-8}
SEED=${SEED:-6502}

die() { echo "run_programs.sh: $*" >&2; exit 2; }

[ -x "$XEXASM" ] || die "no assembler at $XEXASM (build first, or set XEXASM=)"
[ -f "$GEN" ] || die "no generator at $GEN (set GEN=)"
command -v python3 > /dev/null || die "python3 is needed by the generator"
XEXASM=$(cd "$(dirname "$XEXASM")" && pwd)/$(basename "$XEXASM")
GEN=$(cd "$(dirname "$GEN")" && pwd)/$(basename "$GEN")
mkdir -p "$WORK" || die "cannot create $WORK"

HAVE_HYPERFINE=0
command -v hyperfine > /dev/null && HAVE_HYPERFINE=1
HAVE_TIME=0
[ -x /usr/bin/time ] && /usr/bin/time -f %M true > /dev/null 2>&1 && HAVE_TIME=1
[ $HAVE_HYPERFINE = 1 ] || echo "hyperfine not found: timing with a date loop" >&2
[ $HAVE_TIME = 1 ] || echo "GNU time not found (apt-get install -y time): no peak RSS" >&2

[ $# -eq 0 ] && set -- 10k 100k 1M

to_num() {
    case "$1" in
        *[kK]) echo $(( ${1%[kK]} * 1000 ));;
        *M) echo $(( ${1%M} * 1000000 ));;
        *) echo "$1";;
    esac
}

# Nanoseconds: bash's own clock where it has one (no process started), else date.
if [ -n "${EPOCHREALTIME:-}" ]; then
    now_ns() { local t=${EPOCHREALTIME/[.,]/}; echo $(( t * 1000 )); }
    clock() { local t=${EPOCHREALTIME/[.,]/}; printf -v "$1" '%s' $(( t * 1000 )); }
else
    now_ns() { date +%s%N; }
    clock() { printf -v "$1" '%s' "$(date +%s%N)"; }
fi

# Median of the numbers on standard input.
median() { sort -n | awk '{v[NR]=$1} END {if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

rows=()
status=0
for label in "$@"; do
    size=$(to_num "$label")
    case "$size" in ''|*[!0-9]*) die "bad size: $label";; esac
    labels=$(( size / LABEL_DIV ))
    dir=$WORK/gen-$size-L$labels-s$SEED
    if [ ! -f "$dir/manifest.json" ] || [ "$GEN" -nt "$dir/manifest.json" ]; then
        echo "generating $label ($size lines, $labels labels) in $dir" >&2
        python3 "$GEN" --size "$size" --labels "$labels" --seed "$SEED" --stdout --out "$dir" > /dev/null ||
            die "the generator failed for $label"
    fi
    lines=$(python3 -c "import json,sys;print(json.load(open(sys.argv[1]))['lines']['ours'])" "$dir/manifest.json")

    # One checked run: exit status, peak RSS, load file.
    rm -f "$dir/prog.xex"
    t0=$(now_ns)
    if [ $HAVE_TIME = 1 ]; then
        ( cd "$dir" && /usr/bin/time -o "$dir/xexasm.rss" -f %M "$XEXASM" prog.asm > /dev/null 2> "$dir/xexasm.err" )
    else
        ( cd "$dir" && "$XEXASM" prog.asm > /dev/null 2> "$dir/xexasm.err" )
    fi
    rc=$?
    t1=$(now_ns)
    single_ms=$(( (t1 - t0) / 1000000 ))
    rss=-
    [ $HAVE_TIME = 1 ] && rss=$(awk 'NR==1 {printf "%.1f", $1/1024}' "$dir/xexasm.rss")
    check=ok
    if [ $rc -ne 0 ]; then
        check="exit $rc: $(grep -v '^Output Section' "$dir/xexasm.err" | head -1)"
    elif ! cmp -s "$dir/prog.xex" "$dir/expected.xex"; then
        check="WRONG: prog.xex differs from expected.xex"
    fi
    [ "$check" = ok ] || status=1

    # Timed runs: fewer as a run gets longer.
    if [ $single_ms -lt 500 ]; then warm=3 runs=20
    elif [ $single_ms -lt 5000 ]; then warm=2 runs=10
    else warm=1 runs=5
    fi
    warm=${WARMUP:-$warm}
    runs=${RUNS:-$runs}
    if [ $HAVE_HYPERFINE = 1 ]; then
        ( cd "$dir" && hyperfine --style none --warmup "$warm" --runs "$runs" -N -i \
            --export-json "$dir/xexasm.json" "$XEXASM prog.asm" > "$dir/xexasm.hf" 2>&1 ) ||
            die "hyperfine failed for $label (see $dir/xexasm.hf)"
        med=$(python3 -c "import json,sys;print(round(json.load(open(sys.argv[1]))['results'][0]['median']*1000,1))" \
            "$dir/xexasm.json")
    else
        # The loop runs in the program's folder, so that each sample holds the run alone
        # (and, without bash's own clock, the two calls of date).
        med=$(cd "$dir" && {
                  for _ in $(seq "$warm"); do "$XEXASM" prog.asm > /dev/null 2>&1; done
                  for _ in $(seq "$runs"); do
                      clock t0
                      "$XEXASM" prog.asm > /dev/null 2>&1
                      clock t1
                      echo $(( t1 - t0 ))
                  done
              } | median | awk '{printf "%.1f", $1/1e6}')
    fi
    lps=$(awk -v l="$lines" -v ms="$med" 'BEGIN {if (ms > 0) printf "%.2f M", l/ms/1000; else print "-"}')
    rows+=("$(printf '| %s | %s | %s ms | %s | %s MB | %s |' "$label" "$lines" "$med" "$lps" "$rss" "$check")")
    echo "  $label: $med ms, $check" >&2
done

echo "| size | lines | median | lines/s | peak RSS | .xex |"
echo "|---|---:|---:|---:|---:|---|"
printf '%s\n' "${rows[@]}"
exit $status
