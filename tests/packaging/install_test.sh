#!/usr/bin/env bash
# Installs the station into a temporary root and uses it as an operator would: the
# file tool over the installed library, the simulated station through the launcher,
# the desktop entries; then checks that the package holds exactly what was installed.
set -uo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr > "$work/install.log" || { cat "$work/install.log"; exit 1; }
library="$root/usr/share/trimwell/datasheets"

count=0
for image in "$library"/*.sds; do
  "$root/usr/bin/trimwell-sds" dump "$image" > /dev/null || fail "dump $image"
  count=$((count + 1))
done
[ "$count" -ge 3 ] || fail "only $count installed datasheets"

cat > "$work/first-start.tws" <<SCRIPT
# An old Dockmon is updated from the seeded library, then a sample sensor is read.
interface plug 0x0002 1.7
tick
expect firmware 1.8
sensor plug $library/thermal_probe_221.sds
tick
expect status BrimsenSensorGoodDataSheet
expect no-message
SCRIPT
TRIMWELL_HOME="$work/home" "$root/usr/bin/trimwell-launch" --simulated --script "$work/first-start.tws" \
  > "$work/sim.log" || { cat "$work/sim.log"; fail "simulated station through the launcher"; }
[ -f "$work/home/plugins/datasheets/Dockmon.hex" ] || fail "the launcher did not seed the station folder"

# An operator's own file in the station folder survives the next start.
echo "mine" > "$work/home/plugins/datasheets/Dockmon.hex"
TRIMWELL_HOME="$work/home" "$root/usr/bin/trimwell-launch" --simulated --script /dev/null > /dev/null
[ "$(cat "$work/home/plugins/datasheets/Dockmon.hex")" = "mine" ] || fail "the launcher overwrote an operator's file"

# Links named like a sample that lead nowhere (dangling, looping) and a library
# that cannot be made: the station starts anyway, and the launcher says what it skipped.
links="$work/links"
mkdir -p "$links/plugins/datasheets"
ln -s /nonexistent/file "$links/plugins/datasheets/thermal_probe_221.sds"
ln -s ph_electrode_235.sds "$links/plugins/datasheets/ph_electrode_235.sds"
TRIMWELL_HOME="$links" "$root/usr/bin/trimwell-launch" --simulated --script /dev/null > /dev/null 2> "$work/links.err" ||
  fail "the launcher stopped at links that lead nowhere: $(cat "$work/links.err")"
grep -q "thermal_probe_221.sds" "$work/links.err" || fail "the dangling link was not reported: $(cat "$work/links.err")"
grep -q "ph_electrode_235.sds" "$work/links.err" || fail "the looping link was not reported: $(cat "$work/links.err")"
[ -f "$links/plugins/datasheets/Dockmon.hex" ] || fail "the other samples were not seeded past the links"
blocked="$work/blocked"
mkdir -p "$blocked"
echo "not a folder" > "$blocked/plugins"
TRIMWELL_HOME="$blocked" "$root/usr/bin/trimwell-launch" --simulated --script /dev/null > /dev/null 2> "$work/blocked.err" ||
  fail "the launcher stopped at a library it cannot make: $(cat "$work/blocked.err")"
grep -q "could not make $blocked/plugins/datasheets" "$work/blocked.err" || fail "the blocked library was not reported"

# Without its folder the station does not start anywhere else.
echo "not a folder" > "$work/taken"
if TRIMWELL_HOME="$work/taken/home" "$root/usr/bin/trimwell-launch" --simulated --script /dev/null \
  > /dev/null 2> "$work/taken.err"; then
  fail "the launcher started the station without its folder"
fi
grep -q "cannot make or enter the station folder $work/taken/home" "$work/taken.err" ||
  fail "the missing station folder was not said: $(cat "$work/taken.err")"
# Nor in a folder that is another user's, where they could have put firmware.
shared="$work/shared"
mkdir -p "$shared" && chown 65534 "$shared"
if TRIMWELL_HOME="$shared" "$root/usr/bin/trimwell-launch" --simulated --script /dev/null > /dev/null 2> "$work/shared.err"; then
  fail "the launcher started the station in another user's folder"
fi
grep -q "is not yours alone" "$work/shared.err" || fail "another user's folder was not said: $(cat "$work/shared.err")"
[ "$(stat -c %a "$work/home")" = 700 ] || fail "the station folder is $(stat -c %a "$work/home"), not 700"

[ -f "$root/etc/pam.d/trimwell" ] || fail "no PAM service for signatures"

# Every installed program answers --help and --version, without a display, all of
# them with the package's version.
version=$(sed -n '1s/^trimwell (\([^)]*\)).*/\1/p' "$(dirname "$0")/../../packaging/changelog")
for program in "$root"/usr/bin/*; do
  name=$(basename "$program")
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>&1) || fail "$name --help exit $?"
  case "$out" in "usage: $name"*) ;; *) fail "$name --help: $out" ;; esac
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version 2>&1) || fail "$name --version exit $?"
  [ "$out" = "$name (Trimwell) $version" ] || fail "$name --version: '$out', not version $version"
done

# Every installed program has its manual page, which man reads without a warning.
for program in "$root"/usr/bin/*; do
  name=$(basename "$program")
  page="$root/usr/share/man/man1/$name.1.gz"
  [ -f "$page" ] || { fail "no manual page for $name"; continue; }
  warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "manual page of $name: $warnings"
done

for entry in "$root"/usr/share/applications/*.desktop; do
  desktop-file-validate "$entry" || fail "desktop entry $entry"
done

(cd "$build" && cpack -G DEB -B "$work/package" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/trimwell_*_amd64.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  fail "no trimwell_<version>_amd64.deb"
else
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort > "$work/package.list"
  (cd "$root" && find . -type f -o -type l) | sed 's|^\./||' | sort > "$work/install.list"
  diff "$work/install.list" "$work/package.list" || fail "the package's files differ from the install"
fi

[ "$failures" -eq 0 ] && echo "installed station works"
exit "$failures"
