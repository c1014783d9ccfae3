#!/usr/bin/env bash
# Runs one station script with a fresh settings folder:
#   run_script.sh SIM SCRIPT [OPTIONS...]
# With TRIMWELL_SCRIPT_LOCALE=NAME:FOLDER the run takes locale NAME from FOLDER
# (made with localedef there), and first checks that it really has a decimal comma,
# so that a run in the C locale cannot pass for one in German.
# With TRIMWELL_PAM_WRAPPER=LIBRARY and TRIMWELL_PAM_SERVICES=FOLDER a script that
# signs gets pam_wrapper's PAM, with the test's own service, under which the user the
# script runs as signs with the password Kalibrier-2026 (no system account is
# touched).
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
pam_env=()
if [ -n "${TRIMWELL_PAM_WRAPPER:-}" ] && grep -q '^sign ' "$script"; then
  echo "$(id -un):Kalibrier-2026:trimwell" > "$settings/passdb"
  pam_env=(LD_PRELOAD="$TRIMWELL_PAM_WRAPPER" PAM_WRAPPER=1 PAM_WRAPPER_SERVICE_DIR="$TRIMWELL_PAM_SERVICES"
           PAM_WRAPPER_DISABLE_DEEPBIND=1 UID_WRAPPER_DISABLE_DEEPBIND=1 PAM_MATRIX_PASSWD="$settings/passdb"
           ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
fi
env "${locale_env[@]}" "${pam_env[@]}" "$sim" --script "$script" --settings "$settings" "$@"
