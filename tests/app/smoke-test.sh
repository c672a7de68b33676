#!/usr/bin/env bash
# Starts the real analyser, checks that its window renders through OpenGL, closes the window
# and expects a clean exit with code 0.
set -u
exe=$1 probe=$2
log=$(mktemp)
# The analyser keeps its settings in the user's configuration folder: a fresh one per run.
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -f "$log"; rm -rf "$XDG_CONFIG_HOME"' EXIT

QSG_INFO=1 timeout -s KILL 60 "$exe" >"$log" 2>&1 &
pid=$!
"$probe" NorvaleRTSA 15181c 0b0d10
probed=$?
[ $probed -eq 0 ] || kill "$pid" 2>/dev/null
wait "$pid"
code=$?

if ! grep -q 'Using QRhi with backend OpenGL' "$log"; then
  echo "FAILED: the scene graph did not use OpenGL"; cat "$log"; exit 1
fi
if [ $probed -ne 0 ]; then
  echo "FAILED: window check"; cat "$log"; exit 1
fi
if [ $code -ne 0 ]; then
  echo "FAILED: exit code $code after closing the window"; cat "$log"; exit 1
fi
echo "window rendered with OpenGL and closed with exit code 0"
