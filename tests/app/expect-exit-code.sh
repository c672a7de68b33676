#!/usr/bin/env bash
# expect-exit-code.sh CODE COMMAND...: passes when COMMAND ends with exactly CODE.
expected=$1; shift
"$@"; code=$?
if [ "$code" -ne "$expected" ]; then
  echo "FAILED: expected exit code $expected, got $code" >&2
  exit 1
fi
echo "exit code $code as expected"
