#!/usr/bin/env bash
# Runs one station script with a fresh settings folder:
#   run_script.sh SIM SCRIPT [OPTIONS...]
# With TRIMWELL_SCRIPT_LOCALE=NAME:FOLDER the run takes locale NAME from FOLDER
# (made with localedef there), and first checks that it really has a decimal comma,
# so that a run in the C locale cannot pass for one in German.
set -u
sim=$1
script=$2
shift 2
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
locale_env=()
if [ -n "${TRIMWELL_SCRIPT_LOCALE:-}" ]; then
  name=${TRIMWELL_SCRIPT_LOCALE%%:*}
  locale_env=(LOCPATH="${TRIMWELL_SCRIPT_LOCALE#*:}" LC_ALL="$name")
  point=$(env "${locale_env[@]}" locale -k decimal_point 2>/dev/null)
  if [ "$point" != 'decimal_point=","' ]; then
    echo "locale $name is not there or has no decimal comma ($point)" >&2
    exit 2
  fi
fi
env "${locale_env[@]}" "$sim" --script "$script" --settings "$settings" "$@"
