#!/usr/bin/env bash
# The whole analyser in real time: runs the real executable under Xvfb on the simulated receiver
# with everything on (density, waterfall, peak line, Avg detector, FM stereo demodulation with
# audio through the WAV driver) and reports, from the analyser's own statistics, what was lost
# and what each thread cost.
#
# Usage: scripts/realtime-bench.sh [SECONDS] [RATE_MSPS] [FFT_SIZE] [RECORDING]
#   SECONDS    acquisition time (default 600)
#   RATE_MSPS  sample rate (default 30)
#   FFT_SIZE   FFT size instead of the window's resolution target (default: the target's choice)
#   RECORDING  replay this recording instead of the synthetic scene (RZSIM_REPLAY)
# Thread shares are measured from 30 s after the start of acquisition to 5 s before its end.
# RTSA_BENCH_BUILD names another Release build folder to measure (for before/after comparisons);
# by default build-bench/ is built and measured. RTSA_BENCH_PROBE names the probe library to
# preload instead of that build's own (to measure an older build with the current probe).
# RTSA_BENCH_WINDOW (WIDTHxHEIGHT), RTSA_BENCH_HIDE (object names) and RTSA_BENCH_SCREENSHOT (an
# absolute path) reach the probe: a window size other than the default, items left out to see
# what the rest of the window costs, and a picture of the window at the end of the run.
# RTSA_BENCH_RECORD (a folder) records the receiver's IQ there from a second after the start to
# the end of the run, and logs its size and lost samples.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
seconds=${1:-600} rate=${2:-30} fft=${3:-0} recording=${4:-}
[ "$seconds" -ge 40 ] || { echo "SECONDS must be at least 40"; exit 2; }

build=${RTSA_BENCH_BUILD:-}
if [ -z "$build" ]; then
  scripts/install-deps.sh
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRTSA_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j"${RTSA_JOBS:-2}" >/dev/null
  build=$top/build-bench
fi
build=$(realpath -e "$build")
probe=$(realpath -e "${RTSA_BENCH_PROBE:-$build/bin/librealtime_bench_probe.so}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" # the WAV driver writes its file into the working folder
# The analyser keeps its settings in the user's configuration folder: a fresh one per run.
export XDG_CONFIG_HOME=$work/config

export RTSA_BENCH_LOG=$work/log.txt RTSA_BENCH_SECONDS=$seconds RTSA_BENCH_RATE=$rate RTSA_BENCH_FFT=$fft
export RZSIM_TEST_TONES=1
[ -n "$recording" ] && export RZSIM_REPLAY=$(realpath -e "$recording")

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
"$top/scripts/xvfb-test.sh" bash -c '
  # Thread CPU ticks (user + system) by thread id and name.
  snapshot() {
    for t in /proc/$1/task/*; do
      [ -r "$t/stat" ] || continue
      name=$(cat "$t/comm" 2>/dev/null) || continue
      ticks=$(awk "{ print \$14 + \$15 }" "$t/stat" 2>/dev/null) || continue
      echo "${t##*/}|$name|$ticks"
    done
  }
  env LD_PRELOAD="$2" "$1" >console.txt 2>&1 & pid=$!
  echo $pid >pid.txt
  until grep -q " bench: running$" log.txt 2>/dev/null; do
    kill -0 $pid 2>/dev/null || exit 1
    sleep 0.2
  done
  sleep 30
  snapshot $pid >before.txt; date +%s.%N >before-time.txt
  sleep $(( $3 - 35 ))
  snapshot $pid >after.txt; date +%s.%N >after-time.txt
  wait $pid
' _ "$build/bin/NorvaleRTSA" "$probe" "$seconds"

elapsed=$(awk '{ a = $1 } END { getline b < "after-time.txt"; print b - a }' before-time.txt)
# Frames the window drew per second over the same stretch as the thread shares (the probe counts
# them once a second; the stretch starts 30 s after its "running" mark).
fps=$(awk -v elapsed="$elapsed" '
  / bench: running$/ { start = $1 + 30000; end = start + elapsed * 1000 }
  / bench: frames drawn / && start {
    if ($1 <= start) { t0 = $1; f0 = $5 }
    if ($1 <= end) { t1 = $1; f1 = $5 }
  }
  END { printf "%.1f", (t1 > t0 ? (f1 - f0) * 1000 / (t1 - t0) : 0) }' log.txt)
echo "=== NorvaleRTSA at $rate MS/s for $seconds s$( [ "$fft" != 0 ] && echo ", FFT $fft")$( [ -n "$recording" ] && echo ", replaying $(basename "$recording")")"
echo "Load average (1, 5, 15 min): $load_before before the run, $(cut -d' ' -f1-3 /proc/loadavg) after it"
sed -n 's/^[0-9]* bench: \(window .*\|no item named .*\|record.*\)$/\1/p' log.txt

# Statistics while running (between the probe's "running" and "stopping" marks).
awk -v rate="$rate" '
  / bench: running$/ { on = 1; t0 = $1; next }
  / bench: stopping$/ { on = 0 }
  !on { next }
  / RX [0-9.]+ MB\/s/ {
    mb = $3; n++; sum += mb
    for (i = 1; i <= NF; i++) {
      if ($i ~ /^timeouts=/) { split($i, a, "="); timeouts += a[2] }
      if ($i ~ /^fftDrop=/) { split($i, a, "="); fftDrop += a[2] }
      if ($i ~ /^demodOvf=/) { split($i, a, "="); demodOvf += a[2] }
    }
  }
  / DSP [0-9]+ fps, dropFrames=/ { split($5, a, "="); dropFrames += a[2]; blocks += $3 }
  / DSP catch-up: discarded / { discarded += $5; discards = discards sprintf(" %.0fs:%d", ($1 - t0) / 1000, $5) }
  / Audio: fill=/ {
    for (i = 1; i <= NF; i++) if ($i ~ /^underruns=/) {
      split($i, a, "="); u = a[2] + 0
      if (first == "") first = u
      else if (u > last) underrunTimes = underrunTimes sprintf(" %.0fs:%d", ($1 - t0) / 1000, u - last)
      last = u
    }
  }
  END {
    nominal = rate * 4e6 / 1048576
    printf "RX throughput: %.2f MB/s average over %d reports, %.2f %% of nominal %.2f MB/s\n", (n ? sum / n : 0), n, (n ? 100 * sum / n / nominal : 0), nominal
    printf "RX timeouts: %d, FFT ring overflows (fftDrop): %d, demodulation ring overflows (demodOvf): %d\n", timeouts, fftDrop, demodOvf
    printf "Spectrum blocks: %d processed, %d lost in the FFT ring (dropFrames), %d discarded by the catch-up rule\n", blocks, dropFrames, discarded
    if (discards != "") print "  discarded at (time since start: blocks):" discards
    if (first != "") printf "Audio underruns: %d counted by the first statistics line, %d by the last (%d after it)\n", first, last, last - first
    else print "Audio underruns: no audio statistics line (audio not open)"
    if (underrunTimes != "") print "  underruns at (time since start: count):" underrunTimes
  }' log.txt
echo "Frames drawn: $fps per second"
# The throttle also drops what the demodulator makes while the device is not reading yet (it
# opens on a full bus) or any more (it is closing): none of that would have been heard.
throttled=$(awk '
  /Audio: opened/ { opened = 1 }
  /Audio: fill=/ { if (opened) playing = 1 }
  /Audio: closed/ { playing = 0 }
  /Throttle released, dropped/ { if (playing) heard += $5; else unheard += $5 }
  END { printf "%d while the device played, %d while it opened or closed", heard, unheard }' console.txt)
echo "Demodulation blocks dropped by the throttle: $throttled"
p99=$(awk '/\[processIqBlock\]/ { sub(/,$/, "", $4); print substr($4, 5) }' console.txt | sort -g)
if [ -n "$p99" ]; then
  echo "Demodulation block time P99: median $(echo "$p99" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }') us over $(echo "$p99" | wc -l) reports"
fi

# Each thread's share of one core between the two snapshots, grouped by role, and what that is
# per frame drawn (which tells a slower machine's cost from a lower frame rate).
hz=$(getconf CLK_TCK)
pid=$(cat pid.txt)
join -t'|' <(sort -t'|' -k1,1 before.txt) <(sort -t'|' -k1,1 after.txt) | awk -F'|' -v hz="$hz" -v t="$elapsed" -v pid="$pid" -v fps="$fps" '
  {
    name = $2; role = name
    if ($1 == pid) role = "GUI (main thread)"
    else if (name ~ /^rtsa-rx/) role = "RX"
    else if (name ~ /^rtsa-spectrum/) role = "spectrum"
    else if (name ~ /^rtsa-demod/) role = "demodulation"
    else if (name ~ /^asio-wav/) role = "audio (WAV driver)"
    else if (name ~ /^QSGRenderThread/) role = "render"
    else if (name ~ /^llvmpipe/) role = "rasteriser (Mesa)"
    else role = "other (" name ")"
    share[role] += ($5 - $3) / hz / t * 100
  }
  END {
    for (r in share)
      printf "  %-28s %6.1f %% of a core, %6.2f ms per frame drawn\n", r, share[r], (fps > 0 ? share[r] * 10 / fps : 0)
  }' | sort
