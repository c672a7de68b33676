#!/usr/bin/env bash
# Prints the LD_PRELOAD list that loads PROBE into EXE: a sanitized executable needs its
# sanitizer runtimes ahead of anything preloaded.
# Usage: scripts/preload-list.sh EXE PROBE
set -euo pipefail
runtimes=$(ldd "$1" | awk '/lib(asan|ubsan)\.so/ { print $3 }' | paste -sd:)
echo "${runtimes:+$runtimes:}$2"
