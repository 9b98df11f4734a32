#!/usr/bin/env bash
# Runs a program on a virtual display for a few seconds and saves a screenshot of it.
# Usage: screenshot.sh "PROGRAM [ARGS...]" OUTPUT.png [SECONDS]
set -u
app=$1 out=$2 seconds=${3:-6}
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
sleep 1
DISPLAY=$display sh -c "exec $app" &
pid=$!
sleep "$seconds"
if ! kill -0 $pid 2>/dev/null; then
  echo "$app ended before the screenshot was taken" >&2
  exit 1
fi
DISPLAY=$display import -window root "$out.full.png" && convert "$out.full.png" -trim +repage "$out" && rm -f "$out.full.png"
kill $pid 2>/dev/null; wait $pid 2>/dev/null
echo "Screenshot saved to $(realpath "$out")"
