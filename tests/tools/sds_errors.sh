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

[ "$failures" -eq 0 ] && echo "all checks passed"
exit "$failures"
