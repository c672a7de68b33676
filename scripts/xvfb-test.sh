#!/usr/bin/env bash
# Runs a command under a private Xvfb server with OpenGL (Mesa llvmpipe) and the xcb platform.
set -euo pipefail
runtime="${TMPDIR:-/tmp}/rtsa-runtime-$(id -u)"
mkdir -p "$runtime" && chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1920x1080x24" "$@"
