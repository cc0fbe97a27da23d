#!/bin/bash
# bench/compare.sh [SIZE...] - xexasm beside the 6502 assemblers of Debian, on whole programs.
#
#   SIZE: source lines, with an optional k or M suffix (10k, 100k, 1M). Default: 100k.
#
# Run from the repository root after the build (build/xexasm); it builds nothing. For each
# size, bench/gen_program.py writes one program in the dialect of every assembler, with the
# output each must produce (kept in $WORK, and written again only when the generator
# changes). Each assembler found on the PATH is run once under GNU time (peak RSS) and its
# output compared with the expected one: one that fails, runs out of memory or time, or
# writes other bytes is reported below the table and left out. The others are timed with
# standard output to /dev/null: with hyperfine when installed (a run of ca65 and ld65 goes
# through the shell, whose start hyperfine subtracts), else with a loop. Prints one table:
# size, assembler, median, lines per second (of the xexasm source), peak RSS, and the median
# over the fastest peer's. The exit status is 1 when xexasm's own output is wrong.
#
# The peers: apt-get install -y hyperfine time 64tass cc65 acme xa65 dasm
#
# Environment:
#   XEXASM=build/xexasm   the xexasm binary
#   XEXASM_FAST           passed through to xexasm (none: the plain core alone)
#   ONLY="xexasm dasm"    the assemblers to run (default: xexasm 64tass dasm acme xa ca65)
#   SEED=6502             the generator's seed
#   RUNS=N  WARMUP=N      timed runs and warm-up runs (default: fewer as runs get longer)
#   SLOW=20               seconds: a checked run longer than that is the only timed one
#   TIMEOUT=900           seconds for the checked run
#   WORK=$TMPDIR/xexasm-bench/programs   where the programs are kept
set -u

case "${1:-}" in
    -h|--help) sed -n '2,/^set -u/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'; exit 0;;
esac
here=$(cd "$(dirname "$0")" && pwd)
GEN=$here/gen_program.py
XEXASM=${XEXASM:-build/xexasm}
ONLY=${ONLY:-xexasm 64tass dasm acme xa ca65}
SEED=${SEED:-6502}
SLOW=${SLOW:-20}
TIMEOUT=${TIMEOUT:-900}
WORK=${WORK:-${TMPDIR:-/tmp}/xexasm-bench/programs}

die() { echo "compare.sh: $*" >&2; exit 2; }

command -v python3 > /dev/null || die "python3 is needed by the generator"
case " $ONLY " in
    *" xexasm "*) [ -x "$XEXASM" ] || die "no xexasm at $XEXASM (build first, or set XEXASM=)"
                  XEXASM=$(cd "$(dirname "$XEXASM")" && pwd)/$(basename "$XEXASM");;
esac
mkdir -p "$WORK" || die "cannot create $WORK"

HAVE_HYPERFINE=0
command -v hyperfine > /dev/null && HAVE_HYPERFINE=1
HAVE_TIME=0
[ -x /usr/bin/time ] && /usr/bin/time -f %M true > /dev/null 2>&1 && HAVE_TIME=1
[ $HAVE_HYPERFINE = 1 ] || echo "hyperfine not found: timing with a loop" >&2
[ $HAVE_TIME = 1 ] || echo "GNU time not found (apt-get install -y time): no peak RSS" >&2

# What each assembler runs (in the program's folder), what it writes, what it must write.
command_of() {
    case $1 in
        xexasm) echo "$XEXASM prog.asm";;
        64tass) echo "64tass -q -b --flat -o out.64tass.bin prog.64tass.s";;
        dasm)   echo "dasm prog.dasm.s -f3 -oout.dasm.bin";;
        acme)   echo "acme -f plain -o out.acme.bin prog.acme.s";;
        xa)     echo "xa -o out.xa.bin prog.xa.s";;
        ca65)   echo "ca65 -o prog.o prog.ca65.s && ld65 -C prog.ca65.cfg -o out.ca65.bin prog.o";;
        *)      return 1;;
    esac
}
output_of() { if [ "$1" = xexasm ]; then echo prog.xex; else echo "out.$1.bin"; fi; }
expected_of() {
    case $1 in
        xexasm) echo expected.xex;;
        acme)   echo expected.acme.bin;;   # its 64 KiB memory (see gen_program.py)
        *)      echo expected.bin;;
    esac
}
installed() {
    case $1 in
        xexasm) return 0;;
        ca65)   command -v ca65 > /dev/null && command -v ld65 > /dev/null;;
        *)      command -v "$1" > /dev/null;;
    esac
}

[ $# -eq 0 ] && set -- 100k
for name in $ONLY; do command_of "$name" > /dev/null || die "unknown assembler: $name"; done

to_num() {
    case "$1" in
        *[kK]) echo $(( ${1%[kK]} * 1000 ));;
        *M) echo $(( ${1%M} * 1000000 ));;
        *) echo "$1";;
    esac
}

# Nanoseconds from bash's own clock (no process started), else from date.
if [ -n "${EPOCHREALTIME:-}" ]; then
    clock() { local t=${EPOCHREALTIME/[.,]/}; printf -v "$1" '%s' $(( t * 1000 )); }
else
    clock() { printf -v "$1" '%s' "$(date +%s%N)"; }
fi

median() { sort -n | awk '{v[NR]=$1} END {if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

# Runs a command once, in the current folder, without the shell unless it needs one.
run_once() {
    if [[ $1 == *'&&'* ]]; then bash -c "$1"; else $1; fi
}

# Median milliseconds of a command in folder $1.
time_it() {
    local dir=$1 name=$2 cmd=$3 warm=$4 runs=$5
    if [ $HAVE_HYPERFINE = 1 ]; then
        local shell=-N
        [[ $cmd == *'&&'* ]] && shell=
        ( cd "$dir" && hyperfine --style none --warmup "$warm" --runs "$runs" $shell \
              --export-json "$name.json" "$cmd" > "$name.hf" 2>&1 ) || return 1
        python3 -c "import json,sys;print(round(json.load(open(sys.argv[1]))['results'][0]['median']*1000,1))" \
            "$dir/$name.json"
    else
        ( cd "$dir" && {
              for _ in $(seq "$warm"); do run_once "$cmd" > /dev/null 2>&1; done
              for _ in $(seq "$runs"); do
                  clock t0
                  run_once "$cmd" > /dev/null 2>&1
                  clock t1
                  echo $(( t1 - t0 ))
              done
          } | median | awk '{printf "%.1f", $1/1e6}' )
    fi
}

rows=()
notes=()
status=0
for label in "$@"; do
    size=$(to_num "$label")
    case "$size" in ''|*[!0-9]*) die "bad size: $label";; esac
    dir=$WORK/$size-s$SEED
    if [ ! -f "$dir/manifest.json" ] || [ "$GEN" -nt "$dir/manifest.json" ]; then
        echo "generating $label in $dir" >&2
        python3 "$GEN" --lines "$size" --seed "$SEED" --out "$dir" || die "the generator failed for $label"
    fi
    lines=$(python3 -c "import json,sys;print(json.load(open(sys.argv[1]))['lines'])" "$dir/manifest.json")

    names=() meds=() rsss=()
    for name in $ONLY; do
        cmd=$(command_of "$name")
        if ! installed "$name"; then
            notes+=("$label $name: not installed")
            continue
        fi
        out=$(output_of "$name")
        # One checked run: exit status, peak RSS, output.
        rm -f "$dir/$out" "$dir/$name.rss"
        clock t0
        if [ $HAVE_TIME = 1 ]; then
            ( cd "$dir" && timeout "$TIMEOUT" /usr/bin/time -o "$name.rss" -f %M bash -c "$cmd" \
                  > "$name.out" 2> "$name.err" )
        else
            ( cd "$dir" && timeout "$TIMEOUT" bash -c "$cmd" > "$name.out" 2> "$name.err" )
        fi
        rc=$?
        clock t1
        single_ms=$(( (t1 - t0) / 1000000 ))
        problem=
        if [ $rc -eq 124 ]; then
            problem="no result after ${TIMEOUT} s"
        elif [ $rc -ne 0 ]; then
            why=$(cat "$dir/$name.err" "$dir/$name.out" | grep -i -m1 'error')
            [ -n "$why" ] || why=$(cat "$dir/$name.err" "$dir/$name.out" | grep -i -m1 'memory\|fatal\|abort')
            [ -n "$why" ] || why=$(grep -v '^Output Section\|^Section:\|^Command' "$dir/$name.err" | head -1)
            problem="exit $rc: $why"
        elif ! cmp -s "$dir/$out" "$dir/$(expected_of "$name")"; then
            problem="wrong output: $out differs from $(expected_of "$name")"
        fi
        if [ -n "$problem" ]; then
            [ "$name" = xexasm ] && status=1
            notes+=("$label $name: $problem")
            echo "  $label $name: $problem" >&2
            continue
        fi
        rss=-
        [ -s "$dir/$name.rss" ] && rss=$(awk 'END {printf "%.1f MB", $1/1024}' "$dir/$name.rss")

        # Timed runs: fewer as a run gets longer; a slow one only once (the checked run).
        if [ $single_ms -ge $(( SLOW * 1000 )) ]; then
            med="$single_ms.0"
            notes+=("$label $name: timed once ($single_ms ms), being slower than ${SLOW} s")
        else
            if [ $single_ms -lt 500 ]; then warm=3 runs=20
            elif [ $single_ms -lt 5000 ]; then warm=2 runs=10
            else warm=1 runs=3
            fi
            med=$(time_it "$dir" "$name" "$cmd" "${WARMUP:-$warm}" "${RUNS:-$runs}") ||
                { notes+=("$label $name: the timing failed (see $dir/$name.hf)"); continue; }
        fi
        echo "  $label $name: $med ms" >&2
        names+=("$name") meds+=("$med") rsss+=("$rss")
    done

    fastest=
    for i in "${!names[@]}"; do
        [ "${names[$i]}" = xexasm ] && continue
        if [ -z "$fastest" ] || awk -v a="${meds[$i]}" -v b="$fastest" 'BEGIN {exit !(a < b)}'; then
            fastest=${meds[$i]}
        fi
    done
    first="$label ($(echo "$lines" | sed -e :a -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e ta) lines)"
    for i in "${!names[@]}"; do
        med=${meds[$i]}
        lps=$(awk -v l="$lines" -v ms="$med" 'BEGIN {if (ms > 0) printf "%.2f M", l/ms/1000; else print "-"}')
        ratio=-
        [ -n "$fastest" ] && ratio=$(awk -v a="$med" -v b="$fastest" 'BEGIN {printf "%.2f", a/b}')
        rows+=("$(printf '| %s | %s | %s ms | %s | %s | %s |' "$first" "${names[$i]}" "$med" "$lps" "${rsss[$i]}" "$ratio")")
        first=$label
    done
done

echo "xexasm: $XEXASM, XEXASM_FAST=${XEXASM_FAST:-(unset)}; $(nproc) CPUs; $(date +%Y-%m-%d)"
echo
echo "| size | assembler | median | lines/s | peak RSS | vs fastest peer |"
echo "|---|---|---:|---:|---:|---:|"
printf '%s\n' "${rows[@]}"
if [ ${#notes[@]} -gt 0 ]; then
    echo
    printf -- '- %s\n' "${notes[@]}"
fi
exit $status
