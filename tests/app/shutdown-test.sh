#!/usr/bin/env bash
# Closing the window while the analyser acquires, demodulates and plays audio: the window is
# closed as a window manager closes it, and the process must end with code 0 within LIMIT_MS,
# with every thread of the analyser and of the audio driver gone and the audio output closed.
# Usage: shutdown-test.sh EXE X11_PROBE SHUTDOWN_PROBE LIMIT_MS
set -u
scripts=$(realpath -e "$(dirname "$0")/../../scripts")
limit_ms=$4
exe=$(realpath -e "$1") && x11probe=$(realpath -e "$2") && probe=$(realpath -e "$3") || { echo "FAILED: usage"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" # the WAV driver writes its file into the working folder
# The analyser keeps its settings in the user's configuration folder: a fresh one per run.
export XDG_CONFIG_HOME=$work/config

preload=$("$scripts/preload-list.sh" "$exe" "$probe")

timeout -s KILL 120 env LD_PRELOAD="$preload" "$exe" >log.txt 2>&1 &
pid=$!
for _ in $(seq 600); do
  grep -qx READY log.txt && break
  grep -q '^FAILED' log.txt && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
if ! grep -qx READY log.txt; then
  kill $pid 2>/dev/null; wait $pid
  echo "FAILED: the analyser never got to acquire with demodulation and audio"; cat log.txt; exit 1
fi

"$x11probe" NorvaleRTSA 15181c 0b0d10 || { kill $pid; wait $pid; echo "FAILED: window check"; cat log.txt; exit 1; }
closed=$(date +%s%N)
wait $pid
code=$?
elapsed_ms=$(( ($(date +%s%N) - closed) / 1000000 ))

report=$(grep '^SHUTDOWN:' log.txt)
echo "exit code $code, ${elapsed_ms} ms from the close request to the end of the process"
echo "${report:-SHUTDOWN: no report}"
failed=0
[ $code -eq 0 ] || { echo "FAILED: exit code $code"; failed=1; }
[ $elapsed_ms -le "$limit_ms" ] || { echo "FAILED: took longer than $limit_ms ms"; failed=1; }
[[ $report == *"threads left: none, audio closed" ]] || { echo "FAILED: not everything was closed"; failed=1; }
[ $failed -eq 0 ] || { grep -E '^(===|ASIO|RX|Audio)' log.txt | tail -n 30; exit 1; }
