#!/usr/bin/env bash
# The manual page renders with groff's man macros without any warning, and holds the
# sections a reader looks for.
# Usage: manpage_test.sh PAGE
set -euo pipefail
page=$1
command -v groff >/dev/null || { echo "groff is not installed (Debian package groff-base)"; exit 1; }

warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "groff warnings:"; echo "$warnings"; exit 1
fi

text=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -P-cbou "$page" 2>/dev/null)
status=0
for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "OUTPUT FILE" "EXIT STATUS" FILES EXAMPLES "SEE ALSO"; do
  if ! grep -qx "$heading" <<<"$text"; then
    echo "no section $heading"; status=1
  fi
done
grep -qE '^ *xexasm +- ' <<<"$text" || { echo "the NAME section should read 'xexasm - ...'"; status=1; }
exit $status
