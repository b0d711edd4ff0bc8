#!/usr/bin/env bash
# Runs a command in a real X session of its own: Xvfb on a display it picks itself, with openbox.
set -u
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 20 number <"$fifo"
rm -f "$fifo"
if [ -z "${number:-}" ]; then
  echo "with-x.sh: Xvfb did not start" >&2
  kill "$xvfb_pid" 2>/dev/null
  exit 1
fi
display=":$number"
for _ in $(seq 1 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY="$display"
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 0.5
"$@"
rc=$?
kill "$wm_pid" "$xvfb_pid" 2>/dev/null
wait "$wm_pid" "$xvfb_pid" 2>/dev/null
exit $rc
