#!/usr/bin/env bash
# trimwell-hex reports what the loader did and writes the loaded bytes.
set -uo pipefail
hex=$1
firmware=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

out=$("$hex" "$firmware" -o "$work/fw.bin") || fail "sample firmware exit $?"
echo "$out" | grep -q '"error": 0, "loadedLength": 4096, "partFlags": 15, "findings": \[\]}' || fail "sample firmware: $out"
[ "$(stat -c %s "$work/fw.bin")" -eq 4096 ] || fail "written length"

printf ':0400100001020304E2\r\n' > "$work/one.hex"
out=$("$hex" "$work/one.hex" --start 0x10 --length 16 -o "$work/one.bin") || fail "window exit"
echo "$out" | grep -q '"loadedLength": 4,' || fail "window: $out"
[ "$(od -An -tx1 "$work/one.bin" | tr -d ' \n')" = "01020304" ] || fail "window bytes"

"$hex" "$work/missing.hex" > "$work/out"; [ $? -eq 1 ] || fail "missing file exit"
grep -q '"error": 1' "$work/out" || fail "missing file error"
"$hex" "$work" > "$work/out"; [ $? -eq 1 ] || fail "folder exit"
grep -q '"error": 1' "$work/out" || fail "folder error"
printf 'junk\n' > "$work/junk.hex"
"$hex" "$work/junk.hex" > "$work/out"; [ $? -eq 1 ] || fail "junk exit"
grep -q '"error": 2' "$work/out" || fail "junk error"
# What the loader reads stays reported as it is; what a firmware update would refuse
# is in the findings, with the file and the line.
printf ':0400100001020304E2\r\n:0400200001020304D3\r\n' > "$work/damaged.hex"
out=$("$hex" "$work/damaged.hex") || fail "damaged file exit $?"
echo "$out" | grep -q '"error": 0, "loadedLength": 36,' || fail "damaged file loads: $out"
echo "$out" | grep -q "{\"file\": \"$work/damaged.hex\", \"line\": 2, \"problem\": \"the record checksum is wrong\"}" ||
  fail "checksum finding: $out"
echo "$out" | grep -q '"line": 2, "problem": "no end record' || fail "end record finding: $out"
# Data after the end record is not loaded over what came before, and is a finding.
printf ':0400100001020304E2\r\n:00000001FF\r\n:0400100005060708D2\r\n' > "$work/after_end.hex"
out=$("$hex" "$work/after_end.hex" --start 0x10 --length 16 -o "$work/after_end.bin") || fail "after end exit $?"
echo "$out" | grep -q '"line": 3, "problem": "records follow the end record at line 2 and were not read"' ||
  fail "after end finding: $out"
[ "$(od -An -tx1 "$work/after_end.bin" | tr -d ' \n')" = "01020304" ] || fail "after end bytes"

"$hex" "$work/one.hex" --start nope > /dev/null 2>&1; [ $? -eq 2 ] || fail "bad number exit"

[ "$failures" -eq 0 ] && echo "all checks passed"
exit "$failures"
