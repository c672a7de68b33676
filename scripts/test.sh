#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: a normal build, an AddressSanitizer +
# UndefinedBehaviorSanitizer build with three minutes of the soak test, and the plain C++ ring
# and threading tests under ThreadSanitizer. Each build keeps its own folder, so a second run
# rebuilds only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=${RTSA_JOBS:-2}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

configure_and_build() {
  local dir=$1 start=$SECONDS; shift
  echo "=== build $dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRTSA_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "=== built $dir in $((SECONDS - start)) s"
}

run_tests() {
  local dir=$1 start=$SECONDS; shift
  echo "=== tests $dir"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"
  echo "=== tested $dir in $((SECONDS - start)) s"
}

started=$SECONDS
configure_and_build build
run_tests build
configure_and_build build-asan -DRTSA_SANITIZE=ON -DRTSA_BUILD_BENCH=OFF
run_tests build-asan
soak_start=$SECONDS
# A fixed sequence, so that a failure here can be repeated.
RTSA_SOAK_SEED=273261 scripts/soak.sh 3m build-asan
echo "=== soaked build-asan in $((SECONDS - soak_start)) s"
configure_and_build build-tsan -DRTSA_TSAN=ON -DRTSA_BUILD_GUI=OFF -DRTSA_BUILD_BENCH=OFF
run_tests build-tsan -L tsan
echo "=== all test builds passed in $((SECONDS - started)) s"
