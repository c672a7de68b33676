#!/usr/bin/env bash
# Runs the real analyser on the simulated receiver beside it, with a window probe preloaded
# to drive the window and read it back; passes when the probe says PASSED and the analyser
# then closes with exit code 0. The analyser runs in a working folder of its own, where the
# WAV file driver writes its recording.
# Usage: live-window-test.sh EXE PROBE (the probe saves a screenshot when RTSA_PROBE_SCREENSHOT is set)
set -u
scripts=$(realpath -e "$(dirname "$0")/../../scripts")
exe=$(realpath -e "$1") || { echo "FAILED: no analyser at $1"; exit 1; }
probe=$(realpath -e "$2") || { echo "FAILED: no probe at $2"; exit 1; }
work=$(mktemp -d)
log=$work/analyser.log
trap 'rm -rf "$work"' EXIT

preload=$("$scripts/preload-list.sh" "$exe" "$probe")

# The limit is for a hang: the panels probe took 36 s to over 180 s beside two busy loops.
(cd "$work" && timeout -s KILL 420 env LD_PRELOAD="$preload" "$exe") >"$log" 2>&1
code=$?
if [ $code -ne 0 ] || ! grep -qx PASSED "$log"; then
  echo "FAILED: exit code $code"; cat "$log"; exit 1
fi
grep -E "^(PASSED|FAILED|recording |marker |ruler )" "$log"
