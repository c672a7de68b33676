#!/usr/bin/env bash
# Installs what is missing, builds NorvaleRTSA and starts it on the simulated receiver.
# Without a display it runs under Xvfb, clicks Connect and Start, saves a screenshot after a few
# seconds and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DRTSA_BUILD_TESTS=OFF -DRTSA_BUILD_BENCH=OFF >/dev/null
cmake --build build-run -j"${RTSA_JOBS:-2}"
exe=$PWD/build-run/bin/NorvaleRTSA

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$exe"
fi

echo "No display: running NorvaleRTSA under Xvfb, connecting to the simulated receiver and starting"
scripts/screenshot.sh "$exe" "$PWD/screenshots/NorvaleRTSA.png"
