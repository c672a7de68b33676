#!/usr/bin/env bash
# Installs what is missing, builds NorvaleRTSA and starts it on the simulated receiver.
# Without a display it runs under Xvfb instead, connects and starts the receiver, places a
# marker, saves a screenshot after a few seconds and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running NorvaleRTSA under Xvfb on the simulated receiver"
  exec scripts/screenshot.sh "$PWD/screenshots/NorvaleRTSA.png"
fi

cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DRTSA_BUILD_TESTS=OFF -DRTSA_BUILD_BENCH=OFF >/dev/null
cmake --build build-run -j"${RTSA_JOBS:-2}"
exec build-run/bin/NorvaleRTSA
