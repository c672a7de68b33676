#!/usr/bin/env bash
# Builds the benchmarks with full optimisation and runs each one; every benchmark prints its
# own figures. The display benchmark draws with OpenGL, so it runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRTSA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"${RTSA_JOBS:-2}"
for bench in build-bench/bin/bench_*; do
  echo "=== $(basename "$bench")"
  case $bench in
    *display*) scripts/xvfb-test.sh "$bench" ;;
    *) "$bench" ;;
  esac
done
