#!/usr/bin/env bash
# Runs a program on a real X server of the size given (Xvfb) under a real window
# manager (openbox), as a laptop's desktop would show it: the window manager puts
# its title bar on the window and places it. Usage: on_xvfb.sh WxH PROGRAM [ARG...]
set -euo pipefail
size=$1
shift
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "on_xvfb.sh: $tool is not installed (apt-get install xvfb openbox)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
# Xvfb names its display on the pipe once it takes clients: no waiting by the clock.
exec 3< <(exec Xvfb -displayfd 1 -screen 0 "${size}x24" -nolisten tcp 2>"$work/xvfb.log")
xvfb=$!
read -r display <&3 || { cat "$work/xvfb.log" >&2; exit 1; }
# openbox runs the program once it manages the screen, and leaves with it.
printf '%q ' "$@" >"$work/program"
cat >"$work/session" <<SESSION
#!/usr/bin/env bash
QT_QPA_PLATFORM=xcb bash -c "\$(cat '$work/program')" >"$work/out" 2>&1
echo \$? >"$work/status"
openbox --exit
SESSION
chmod +x "$work/session"
DISPLAY=":$display" HOME="$work" openbox --startup "$work/session" >"$work/openbox.log" 2>&1 || true
cat "$work/out"
[ -s "$work/status" ] || { echo "on_xvfb.sh: the program did not run under openbox" >&2; cat "$work/openbox.log" >&2; exit 1; }
exit "$(cat "$work/status")"
