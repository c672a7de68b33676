#!/usr/bin/env bash
# Soak test: drives the real analyser under Xvfb on the simulated receiver for DURATION through a
# random sequence of user actions (a preloaded probe, tests/soak/SoakProbe.cpp), watching for
# deadlocks and for growth of resident memory, open descriptors and threads, and prints how
# those went over the run.
#
# Usage: scripts/soak.sh DURATION [BUILD_DIR]
#   DURATION   seconds, or with a unit: 180, 3m, 1h
#   BUILD_DIR  a build that holds the analyser and the probe (the AddressSanitizer build in
#              CI); without it, a Release build in build-soak is made first
# RTSA_SOAK_SEED repeats the sequence of an earlier run (each run prints its seed);
# RTSA_SOAK_KEEP names a folder to keep the console log and the samples in.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

case ${1:-} in
  *h) seconds=$(( ${1%h} * 3600 )) ;;
  *m) seconds=$(( ${1%m} * 60 )) ;;
  [0-9]*) seconds=$1 ;;
  *) echo "usage: $0 DURATION [BUILD_DIR]"; exit 2 ;;
esac
[ "$seconds" -ge 150 ] || { echo "DURATION must be at least 150 s: two checkpoints after the first minute"; exit 2; }

if [ -n "${2:-}" ]; then
  build=$(realpath -e "$2")
else
  scripts/install-deps.sh
  build=$top/build-soak
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRTSA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j"${RTSA_JOBS:-2}" --target soak_probe >/dev/null
fi
exe=$build/bin/NorvaleRTSA
probe=$build/bin/libsoak_probe.so
[ -x "$exe" ] && [ -f "$probe" ] || { echo "no analyser or soak probe in $build"; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" # the WAV driver writes its file into the working folder
# The analyser keeps its settings in the user's configuration folder: a fresh one per run.
export XDG_CONFIG_HOME=$work/config

# The OpenGL driver's caches would show up as leaks of an unloaded module, as in the GUI tests.
preload=$("$top/scripts/preload-list.sh" "$exe" "$probe")
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
export RTSA_SOAK_SECONDS=$seconds RTSA_SOAK_SAMPLES=$work/samples.csv

echo "=== soak: $seconds s of $exe"
code=0
# Startup, the last checkpoint and the shutdown get two minutes besides the run itself.
timeout -s KILL $(( seconds + 120 )) "$top/scripts/xvfb-test.sh" \
  env LD_PRELOAD="$preload" "$exe" >console.txt 2>&1 || code=$?
if [ -n "${RTSA_SOAK_KEEP:-}" ]; then
  mkdir -p "$RTSA_SOAK_KEEP" && cp console.txt samples.csv "$RTSA_SOAK_KEEP"/
fi

grep -E '^soak: (seed|checkpoint|resident|longest|[0-9]+ actions)' console.txt || true
# Resident memory, descriptors and threads: at the end of the first minute, then every ten
# minutes, then at the end; with the range over the whole run.
awk -F, 'NR > 1 {
    t = int($1); if (first == "") first = t
    if (t >= 60 && !minute) { print_row("first minute", $0); minute = 1; next_row = 600 }
    if (minute && t >= next_row) { print_row(sprintf("%d min", next_row / 60), $0); next_row += 600 }
    last = $0
    if (rmin == "" || $2 < rmin) rmin = $2; if ($2 > rmax) rmax = $2
    if (fmin == "" || $3 < fmin) fmin = $3; if ($3 > fmax) fmax = $3
    if (tmin == "" || $4 < tmin) tmin = $4; if ($4 > tmax) tmax = $4
  }
  function print_row(label, row,   f) {
    split(row, f, ","); printf "  %-14s t=%6.0f s  RSS %7.1f MB  fds %4d  threads %3d\n", label, f[1], f[2] / 1024, f[3], f[4]
  }
  END {
    if (last != "") print_row("end", last)
    printf "  range          RSS %.1f..%.1f MB  fds %d..%d  threads %d..%d\n", rmin / 1024, rmax / 1024, fmin, fmax, tmin, tmax
  }' samples.csv 2>/dev/null || true

if [ $code -ne 0 ] || ! grep -qx PASSED console.txt; then
  echo "=== soak FAILED (exit code $code); the end of the console:"
  grep -E '^FAILED|^  thread ' console.txt || true
  tail -n 40 console.txt
  exit 1
fi
echo "=== soak PASSED"
