#!/usr/bin/env bash
# Takes a screenshot of the analyser under Xvfb on the simulated receiver, with one of the
# probes of the end-to-end window tests doing the clicking:
#   live    Connect and Start in the device panel, a marker dragged across the spectrum, the
#           waterfall on (the default);
#   panels  everything through the panels: 30 MS/s around a broadcast station, persistence and
#           waterfall on, a marker on the peak, the demodulator on it playing FM stereo into the
#           WAV file driver; the picture shows the panels open while it plays;
#   measure the view narrowed to the broadcast station of the start-up view, the demodulator on
#           it and the Measurements panel open, its levels in dBm with a 10 dB reference offset.
# Usage: scripts/screenshot.sh [OUT] [BUILD_DIR] [PROBE] (defaults: docs/screenshot.png, build, live)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-$PWD/docs/screenshot.png}
build=${2:-$PWD/build}
probe=${3:-live}
case $probe in
  live) ;;
  # The panels probe finds the station's measurement tones in the recording; the measure probe
  # reads the bandwidth they give.
  panels|measure) export RZSIM_TEST_TONES=1 ;;
  *) echo "unknown probe $probe (live, panels or measure)"; exit 2 ;;
esac
mkdir -p "$(dirname "$out")"
raw=$(mktemp --suffix=.png)
trap 'rm -f "$raw"' EXIT

# The probe builds with the tests; building it also builds what it drives.
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${RTSA_JOBS:-2}" --target "qml_${probe}_window_probe"

RTSA_PROBE_SCREENSHOT=$raw scripts/xvfb-test.sh \
  tests/qml/live-window-test.sh "$build/bin/NorvaleRTSA" "$build/bin/libqml_${probe}_window_probe.so"
convert "$raw" -resize 1280x -strip -colors 256 "PNG8:$out"
echo "Saved $out ($(stat -c %s "$out") bytes)"
