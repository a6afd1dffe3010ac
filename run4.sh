#!/bin/bash
export XDG_RUNTIME_DIR=/tmp/wlt
rm -f /tmp/wlt/wl-test*
weston --backend=x11-backend.so --use-pixman --width=1024 --height=700 --socket=wl-test --idle-time=0 > /tmp/wlt/weston.log 2>&1 &
WPID=$!
trap 'kill $WPID; wait $WPID' EXIT
for i in $(seq 50); do [ -S /tmp/wlt/wl-test ] && break; sleep 0.1; done
WAYLAND_DISPLAY=wl-test QT_QPA_PLATFORM=wayland ./probe2 > probe.log 2>&1 &
PPID2=$!
sleep 3; ./xshot u1.png 255 0 0 0 255 0
xdotool mousemove 1200 750; sleep 0.3; xdotool mousemove 500 500; sleep 0.3
read x0 y0 <<< $(./xshot u1.png 0 255 0 | sed 's/.*: \([0-9]*\),\([0-9]*\).*/\1 \2/')
xdotool mousemove $((x0+50)) $((y0+20)) click 1; sleep 0.3; xdotool type abc; sleep 0.5
kill $PPID2
cat probe.log
