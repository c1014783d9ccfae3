#!/usr/bin/env bash
# Exit codes and messages of trimwell-sds for bad arguments, files and sources.
set -uo pipefail
sds=$1
library=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # expect CODE DESCRIPTION -- COMMAND...
  local code=$1 what=$2
  shift 3
  "$@" > "$work/out" 2> "$work/err"
  local got=$?
  if [ "$got" -ne "$code" ]; then
    echo "FAIL: $what: exit $got, expected $code"; cat "$work/err"; failures=$((failures + 1))
  fi
}
expect_stderr() {  # expect_stderr TEXT DESCRIPTION
  grep -q -F -- "$1" "$work/err" || { echo "FAIL: $2: stderr lacks '$1'"; cat "$work/err"; failures=$((failures + 1)); }
}

expect 2 "no arguments" -- "$sds"
expect 2 "unreadable file" -- "$sds" dump "$work/missing.sds"
expect 2 "build without -o" -- "$sds" build x.json
expect 2 "a folder" -- "$sds" dump "$work"

sample=$(ls "$library"/*.sds | head -n 1)
head -c 40 "$sample" > "$work/cut.sds"
expect 1 "truncated image" -- "$sds" dump "$work/cut.sds"
grep -q '"status": "0x81000003"' "$work/out" || { echo "FAIL: truncated image status"; failures=$((failures + 1)); }

echo '{"sensorId": 1, "colour": "red"}' > "$work/unknown.json"
expect 1 "unknown key" -- "$sds" build "$work/unknown.json" -o "$work/x.sds"
expect_stderr '"colour"' "unknown key named"

echo '{"sensorId": "one"}' > "$work/type.json"
expect 1 "wrong type" -- "$sds" build "$work/type.json" -o "$work/x.sds"
expect_stderr '"sensorId"' "wrong type named"

echo '{"measurements": [{"id": 1, "constants": [1, "x"]}]}' > "$work/nested.json"
expect 1 "wrong type in a measurement" -- "$sds" build "$work/nested.json" -o "$work/x.sds"
expect_stderr 'measurements[0].constants[1]' "nested key named"

echo '{"sensorId": 7, "lengthLimit": 2048, "versionText": "1.00"}' > "$work/minimal.json"
expect 0 "minimal source" -- "$sds" build "$work/minimal.json" -o "$work/min.sds"
expect 0 "minimal image dumps" -- "$sds" dump "$work/min.sds"
grep -q '"baseLength": 83' "$work/out" || { echo "FAIL: minimal image length"; failures=$((failures + 1)); }

# What is written must decode: without lengthLimit the base part is over its limit.
echo '{"sensorId": 7, "versionText": "1.00"}' > "$work/nolimit.json"
expect 1 "image that does not decode" -- "$sds" build "$work/nolimit.json" -o "$work/nolimit.sds"
expect_stderr 'does not decode (status 0x81000006)' "decode status named"
expect 1 "a valid image built as invalid" -- "$sds" build "$work/minimal.json" -o "$work/x.sds" --invalid
expect 0 "an invalid image built as invalid" -- "$sds" build "$work/nolimit.json" -o "$work/nolimit.sds" --invalid
[ -s "$work/nolimit.sds" ] || { echo "FAIL: invalid image not written"; failures=$((failures + 1)); }

# Texts too long for their field are refused by key, 8-bit and 16-bit alike.
long=$(printf 'x%.0s' $(seq 255))
echo "{\"sensorId\": 7, \"lengthLimit\": 4096, \"versionText\": \"2.00\", \"name\": \"$long\"}" > "$work/name.json"
expect 1 "8-bit text too long" -- "$sds" build "$work/name.json" -o "$work/x.sds"
expect_stderr '"name" has more than 254 characters' "8-bit key named"
echo "{\"sensorId\": 7, \"lengthLimit\": 4096, \"measurements\": [{\"id\": 1, \"primaryText\": \"$long\"}]}" > "$work/primary.json"
expect 1 "8-bit measurement text too long" -- "$sds" build "$work/primary.json" -o "$work/x.sds"
expect_stderr '"measurements[0].primaryText" has more than 254' "measurement key named"
echo "{\"sensorId\": 7, \"lengthLimit\": 4096, \"versionText\": \"2.00\", \"extensionText\": \"$long\"}" > "$work/wide.json"
expect 1 "16-bit text too long" -- "$sds" build "$work/wide.json" -o "$work/x.sds"
expect_stderr '"extensionText" has more than 254' "16-bit key named"
short=$(printf 'x%.0s' $(seq 254))
echo "{\"sensorId\": 7, \"lengthLimit\": 4096, \"versionText\": \"1.00\", \"name\": \"$short\"}" > "$work/fits.json"
expect 0 "254 characters fit" -- "$sds" build "$work/fits.json" -o "$work/fits.sds"

[ "$failures" -eq 0 ] && echo "all checks passed"
exit "$failures"
