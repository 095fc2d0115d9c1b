#!/usr/bin/env bash
# start_and_close.sh FOLDER: inside an X server, starts FOLDER's client,
# waits for its window, prints the window's name and size, closes it with
# its own close button and prints the program's exit code.
set -u
cd "$1" || exit 2
# The tests run on the offscreen platform; this one needs the X server.
QT_QPA_PLATFORM=xcb ./TalvinorSMSClient &
pid=$!
win=
for _ in $(seq 200); do
  win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n1)
  [[ -n $win ]] && break
  sleep 0.1
done
if [[ -z $win ]]; then
  echo "no window"
  kill "$pid"
  exit 1
fi
echo "name=$(xdotool getwindowname "$win")"
eval "$(xdotool getwindowgeometry --shell "$win")"
echo "size=${WIDTH}x${HEIGHT}"
# The close button: 22 x 22 pixels at (260, 15).
xdotool mousemove --window "$win" 271 26 sleep 0.2 click 1
for _ in $(seq 200); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "still running"
  kill "$pid"
  exit 1
fi
wait "$pid"
echo "exit=$?"
