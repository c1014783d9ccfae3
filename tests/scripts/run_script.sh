#!/usr/bin/env bash
# Runs one station script with a fresh settings folder: run_script.sh SIM SCRIPT [OPTIONS...]
set -u
sim=$1
script=$2
shift 2
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
"$sim" --script "$script" --settings "$settings" "$@"
