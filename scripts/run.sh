#!/usr/bin/env bash
# Installs what is missing, builds NorvaleRTSA and starts it on the simulated receiver.
# Without a display it runs under Xvfb, saves a screenshot after a few seconds and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DRTSA_BUILD_TESTS=OFF -DRTSA_BUILD_BENCH=OFF >/dev/null
cmake --build build-run -j"${RTSA_JOBS:-2}"
exe=$PWD/build-run/bin/NorvaleRTSA

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$exe"
fi

mkdir -p screenshots
shot=$PWD/screenshots/NorvaleRTSA.png
echo "No display: running NorvaleRTSA under Xvfb for ${RTSA_SCREENSHOT_DELAY:-6} s"
scripts/xvfb-test.sh bash -c '
  "$1" & pid=$!
  sleep "$3"
  import -window root "$2"
  kill "$pid"; wait "$pid" || true
' _ "$exe" "$shot" "${RTSA_SCREENSHOT_DELAY:-6}"
echo "Screenshot saved to $shot"
