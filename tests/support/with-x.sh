#!/usr/bin/env bash
# Runs a command in a real X session of its own: Xvfb on a free display with openbox.
set -u
for n in $(seq 90 190); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
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
