#!/usr/bin/env bash
# Takes a screenshot of the analyser under Xvfb on the simulated receiver. The probe of the
# end-to-end window test does the clicking: Connect and Start in the device panel, a marker
# dragged across the spectrum, the waterfall on; then it saves the window.
# Usage: scripts/screenshot.sh [OUT] [BUILD_DIR] (defaults: docs/screenshot.png, build)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-$PWD/docs/screenshot.png}
build=${2:-$PWD/build}
mkdir -p "$(dirname "$out")"
raw=$(mktemp --suffix=.png)
trap 'rm -f "$raw"' EXIT

# The probe builds with the tests; building it also builds the analyser and the receiver.
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${RTSA_JOBS:-2}" --target qml_live_window_probe

RTSA_PROBE_SCREENSHOT=$raw scripts/xvfb-test.sh \
  tests/qml/live-window-test.sh "$build/bin/NorvaleRTSA" "$build/bin/libqml_live_window_probe.so"
convert "$raw" -resize 1280x -strip -colors 256 "PNG8:$out"
echo "Saved $out ($(stat -c %s "$out") bytes)"
