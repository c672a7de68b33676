#!/usr/bin/env bash
# Measures our spectrum pipeline and demodulation channel beside GNU Radio reference flowgraphs
# (bench/reference/gr_reference.py) in one run, on one core, and prints per-core ratios.
#
#   scripts/reference-bench.sh [ROUNDS] [BIN_DIR ...]
#
# Builds the benchmarks in build-bench unless BIN_DIRs (folders holding bench_spectrum and
# bench_demod_channel, e.g. an older build) are given; with several, their runs alternate within
# each round so that all of them see the same machine. Figures are medians over ROUNDS (3).
# RTSA_BENCH_CPU picks the core (1).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
shift || true
cpu=${RTSA_BENCH_CPU:-1}
scripts/install-deps.sh --bench
dirs=("$@")
if [ ${#dirs[@]} -eq 0 ]; then
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRTSA_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench -j"${RTSA_JOBS:-2}" --target bench_spectrum bench_demod_channel >/dev/null
  dirs=(build-bench/bin)
fi

pin=(taskset -c "$cpu")
chrt -f 50 true 2>/dev/null && pin+=(chrt -f 50)
reference=(/usr/bin/python3 bench/reference/gr_reference.py)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"${dirs[0]}/bench_spectrum" signal "$work/spectrum.cs16"
offset=$("${dirs[0]}/bench_demod_channel" signal "$work/fm30.cs16" 30e6 | sed -n 's/^offset_hz=//p')
fm_samples=120000000

# One line per measurement: key value, collected in $work/figures.
record() { echo "$1 $2" >> "$work/figures"; }
# The figure before "us/block" on the line that holds $1.
perBlock() { awk -v what="$1" 'index($0, what) { for (i = 2; i <= NF; ++i) if ($i == "us/block") print $(i - 1) }'; }
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  for n in 2048 8192; do
    for d in "${!dirs[@]}"; do
      out=$("${pin[@]}" "${dirs[$d]}/bench_spectrum" allon "$n")
      record "fft$n.$d" "$(sed -n 's/.*bare FFT \([0-9.]*\) us.*/\1/p' <<<"$out")"
      record "allon$n.$d" "$(perBlock 'all on' <<<"$out")"
      record "ratio$n.$d" "$(sed -n 's/.*fft-ratio *\([0-9.]*\).*/\1/p' <<<"$out")"
    done
    out=$("${pin[@]}" "${reference[@]}" fft "$work/spectrum.cs16" "$n" $((n * 20000)))
    record "gr$n" "$(awk -F'|' '{print $2}' <<<"$out" | awk '{print $1}')"
  done
  for mode in stereo mono; do
    for d in "${!dirs[@]}"; do
      out=$("${pin[@]}" "${dirs[$d]}/bench_demod_channel" channel "$mode" 30e6)
      record "$mode.$d" "$(awk -F'|' '{print $2}' <<<"$out" | awk '{print $1}')"
    done
    out=$("${pin[@]}" "${reference[@]}" wbfm "$mode" "$work/fm30.cs16" 30e6 "$offset" "$fm_samples")
    record "gr$mode" "$(awk -F'|' '{print $2}' <<<"$out" | awk '{print $1}')"
  done
done

median() { awk -v k="$1" '$1 == k {print $2}' "$work/figures" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
echo "medians of $rounds rounds on core $cpu; per-block and per-core-second figures are CPU time"
for n in 2048 8192; do
  gr=$(median "gr$n")
  printf 'N=%-5d gnuradio log-power FFT %8.2f us/block\n' "$n" "$gr"
  for d in "${!dirs[@]}"; do
    fft=$(median "fft$n.$d")
    allon=$(median "allon$n.$d")
    ratio=$(median "ratio$n.$d")
    awk -v dir="${dirs[$d]}" -v n="$n" -v fft="$fft" -v allon="$allon" -v ratio="$ratio" -v gr="$gr" 'BEGIN {
      printf "N=%-5d %-28s bare FFT %7.2f us  all on %7.2f us  = %4.2f x bare FFT, %4.2f x gnuradio\n",
             n, dir, fft, allon, ratio, allon / gr }'
  done
done
for mode in stereo mono; do
  gr=$(median "gr$mode")
  printf '%-6s 30 MS/s gnuradio two-stage WBFM %6.1f MS/s per core-s\n' "$mode" "$gr"
  for d in "${!dirs[@]}"; do
    ours=$(median "$mode.${d}")
    awk -v dir="${dirs[$d]}" -v mode="$mode" -v ours="$ours" -v gr="$gr" 'BEGIN {
      printf "%-6s 30 MS/s %-28s %6.1f MS/s per core-s = %4.2f x gnuradio\n", mode, dir, ours, ours / gr }'
  done
done
