#!/usr/bin/env bash
# The file tools under memcheck on cut and damaged files: every read of bytes that
# nobody wrote fails the run.
set -uo pipefail
valgrind=$1
sds=$2
hex=$3
library=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check DESCRIPTION -- COMMAND...
  local what=$1
  shift 2
  "$valgrind" -q --error-exitcode=99 "$@" > "$work/out" 2> "$work/err"
  if [ $? -eq 99 ]; then
    echo "FAIL: $what"; cat "$work/err"; failures=$((failures + 1))
  fi
}

for image in "$library"/*.sds; do
  for size in 17 64 200; do
    head -c "$size" "$image" > "$work/cut.sds"
    check "dump of $(basename "$image") cut at $size bytes" -- "$sds" dump "$work/cut.sds"
  done
done
head -c 64 "$library/thermal_probe_221.sds" > "$work/cut.sds"
"$sds" dump "$work/cut.sds" > "$work/cut.json"
grep -q '"name": "Therm",' "$work/cut.json" || { echo "FAIL: cut name"; grep name "$work/cut.json"; failures=$((failures + 1)); }

head -c 2000 "$library/Dockmon.hex" > "$work/cut.hex"
check "firmware file cut in a line" -- "$hex" "$work/cut.hex"
printf 'Version-0108\n:0400100001020304E2\n' > "$work/lf.hex"
check "firmware file with LF line ends" -- "$hex" "$work/lf.hex"

[ "$failures" -eq 0 ] && echo "all checks passed"
exit "$failures"
