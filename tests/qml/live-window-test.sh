#!/usr/bin/env bash
# Runs the real analyser on the simulated receiver beside it, with a window probe preloaded
# to drive the window and read it back; passes when the probe says PASSED and the analyser
# then closes with exit code 0. The analyser runs in a working folder of its own, where the
# WAV file driver writes its recording, with a configuration folder of its own for the settings
# it keeps. With RUNS > 1 it is started that many times one after the other in the same folders
# (a probe reads which run it is from RTSA_PROBE_RUN), and every run must pass.
# Usage: live-window-test.sh EXE PROBE [RUNS] (the probe saves a screenshot when RTSA_PROBE_SCREENSHOT is set)
set -u
scripts=$(realpath -e "$(dirname "$0")/../../scripts")
exe=$(realpath -e "$1") || { echo "FAILED: no analyser at $1"; exit 1; }
probe=$(realpath -e "$2") || { echo "FAILED: no probe at $2"; exit 1; }
runs=${3:-1}
work=$(mktemp -d)
log=$work/analyser.log
trap 'rm -rf "$work"' EXIT

preload=$("$scripts/preload-list.sh" "$exe" "$probe")

for run in $(seq 1 "$runs"); do
  # The limit is for a hang: the panels probe took 36 s to over 180 s beside two busy loops.
  (cd "$work" && timeout -s KILL 420 env XDG_CONFIG_HOME="$work/config" RTSA_PROBE_RUN="$run" \
     LD_PRELOAD="$preload" "$exe") >"$log" 2>&1
  code=$?
  if [ $code -ne 0 ] || ! grep -qx PASSED "$log"; then
    echo "FAILED: run $run, exit code $code"; cat "$log"; exit 1
  fi
  grep -E "^(PASSED|FAILED|recording |marker |ruler |measure: )" "$log"
done
