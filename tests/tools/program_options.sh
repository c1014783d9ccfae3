#!/usr/bin/env bash
# Every program answers --help and --version without a display, and the script
# runner reports a line it cannot run with exit 2 and the line, whatever the line
# holds: names the system refuses, words that are no number, unknown commands.
#   program_options.sh VERSION LIBRARY PROGRAM...   (trimwell-sim among them)
set -uo pipefail
version=$1
library=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }

sim=
for program in "$@"; do
  name=$(basename "$program")
  [ "$name" = trimwell-sim ] && sim=$program
  out=$(headless "$program" --help 2>&1) || fail "$name --help: exit $?"
  case "$out" in "usage: $name"*"--version"*) ;; *) fail "$name --help: $out" ;; esac
  out=$(headless "$program" --version 2>&1) || fail "$name --version: exit $?"
  [ "$out" = "$name (Trimwell) $version" ] || fail "$name --version: $out"
done
[ -n "$sim" ] || { echo "no trimwell-sim given"; exit 1; }

long=$(printf 'x%.0s' $(seq 256))
deep=$(for i in $(seq 40); do printf '%s/' "$long"; done)
# Each case: a script of one line after the sensor is in, and what the runner says.
cases=(
  "sensor plug $long.sds|cannot read $long.sds"
  "sensor plug $deep.sds|cannot read"
  "expect eeprom $long.sds|cannot read $long.sds"
  "expect record last as-found eeprom $long.sds|"
  "save eeprom $long/x.sds|cannot write"
  "save eeprom $long.sds|cannot write"
  "tick many|tick [N]"
  "sensor input 1 1e|sensor input ID VALUE"
  "click 99999999999999999999|no control"
  "calibrate now|unknown command 'calibrate'"
  "lab require customer yes|lab require unit|conditions|approval yes|no: \"customer\" is none of them"
  "lab require unit maybe|lab require unit|conditions|approval yes|no: \"maybe\" is none of them"
)
for entry in "${cases[@]}"; do
  line=${entry%%|*}
  said=${entry#*|}
  printf 'interface plug\nsensor plug %s/thermal_probe_221.sds\ntick\n%s\n' "$library" "$line" > "$work/bad.tws"
  out=$(headless "$sim" --script "$work/bad.tws" --settings "$work/settings" --library "$library" 2>&1)
  status=$?
  [ "$status" -eq 2 ] || fail "'${line:0:40}...': exit $status, not 2: ${out: -200}"
  echo "$out" | grep -F "line 4: " | grep -qF "$said" || fail "'${line:0:40}...' said: ${out: -200}"
done

[ "$failures" -eq 0 ] && echo "every program answers, every bad line is reported"
exit "$failures"
