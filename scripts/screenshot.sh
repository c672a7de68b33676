#!/usr/bin/env bash
# Takes a screenshot of the analyser under Xvfb on the simulated receiver, after clicking
# Connect, Start, Density and Waterfall in its control strip.
# Usage: scripts/screenshot.sh [EXE] [OUT] (defaults: build/bin/NorvaleRTSA, docs/screenshot.png)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-$PWD/build/bin/NorvaleRTSA}
out=${2:-$PWD/docs/screenshot.png}
mkdir -p "$(dirname "$out")"
raw=$(mktemp --suffix=.png)
trap 'rm -f "$raw"' EXIT

scripts/xvfb-test.sh bash -c '
  "$1" >/dev/null 2>&1 & pid=$!
  wid=
  for _ in $(seq 50); do
    wid=$(xdotool search --name "^NorvaleRTSA\$" 2>/dev/null | head -1) && [ -n "$wid" ] && break
    sleep 0.2
  done
  [ -n "$wid" ] || { echo "no window"; kill "$pid"; exit 1; }
  sleep 1.5
  click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep "$3"; }
  click 56 23 1    # Connect
  click 162 23 1   # Start
  click 372 23 0.5 # Density
  click 478 23 0.5 # Waterfall
  # Long enough for the waterfall to fill its height.
  sleep 12
  import -window "$wid" "$2"
  kill "$pid"; wait "$pid" || true
' _ "$exe" "$raw"
convert "$raw" -resize 1280x -strip -colors 256 "PNG8:$out"
echo "Saved $out ($(stat -c %s "$out") bytes)"
