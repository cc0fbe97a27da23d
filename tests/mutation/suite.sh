#!/usr/bin/env bash
# The test command of a mutation run: the whole suite, stopping at its first failure. Some
# cases point an output at /dev/full, and a planted fault that takes the device for a
# regular file replaces it (as root, the program renames its new file over it); every fault
# after it would then be killed by that alone. So /dev/full is made a device again after a
# fault that replaced it (noted on standard error).
#
#   bash tests/mutation/suite.sh BUILD_DIR
set -u
build="${1:?usage: suite.sh BUILD_DIR}"
# A fault that makes a writer loop fills the disk within its time limit (a listing grew
# to 80 GB in two minutes): no file grows past 1 GiB, and the test that tries fails.
ulimit -S -f $((1 << 20))  # soft: a test may still lift it for its own child
ctest --test-dir "$build" -j2 --timeout 30 --stop-on-failure
status=$?
if [ ! -c /dev/full ]; then
  echo "suite.sh: /dev/full was replaced; made a device again" >&2
  rm -f /dev/full && mknod -m 666 /dev/full c 1 7
fi
exit "$status"
