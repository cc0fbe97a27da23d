#!/usr/bin/env bash
# Standard output on a full device: the built program is run with standard output
# redirected to /dev/full, where every write fails. The run must end with status 1 and
# say "Could not write standard output" exactly once on standard error; apart from that
# line, standard error holds what a normal run writes there (the run goes on after the
# failed write).
#
# Usage: stdout_on_full_device.sh /path/to/xexasm
# (The case runner cannot redirect standard output, so this is a test of its own.)
set -u
bin=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

passed=0
failed=0

# check NAME EXPECTED_NORMAL_STDERR -- COMMAND...   (standard output goes to /dev/full)
check() {
  local name=$1 normal=$2
  shift 3
  "$@" >/dev/full 2>err
  local status=$?
  local problems=""
  [ "$status" -eq 1 ] || problems+=" status $status, expected 1;"
  local count
  count=$(grep -cxF "Could not write standard output" err)
  [ "$count" -eq 1 ] || problems+=" the message came $count times, expected once;"
  local rest
  rest=$(grep -vxF "Could not write standard output" err; printf x)
  rest=${rest%x}
  [ "$rest" = "$normal" ] || problems+=" other standard error: $(printf %q "$rest");"
  if [ -z "$problems" ]; then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name:$problems"
  fi
}

printf '.SECTION "code",$2000\nstart: LDA #1\nloop: JMP loop\n' >prog.asm
check "source file with an output file" \
  $'Section:code  Start:2000 \nOutput Section code:2000::2004\n' -- "$bin" prog.asm

cp prog.asm prog
check "source file without an output file" $'Section:code  Start:2000 \n' -- "$bin" prog

check "standard input as the source" \
  $'Get Input from Consol\nSection:code  Start:2000 \nGet Input from Consol\n' -- \
  sh -c 'exec "$0" <prog.asm' "$bin"

# Enough output to fill any buffer many times over before the run ends: 5000 labels give
# 5000 "Added" lines and 5000 listing lines.
{
  echo '.SECTION "code",$2000'
  for i in $(seq 1 5000); do echo "label$i: NOP"; done
} >big.asm
check "output larger than any buffer" \
  $'Section:code  Start:2000 \nOutput Section code:2000::3387\n' -- "$bin" big.asm

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
