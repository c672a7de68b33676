#!/usr/bin/env bash
# Lints every QML document and script of the user interface and of its tests; any warning
# fails, so a misspelt property or id fails here instead of at run time.
# Usage: qml-lint.sh QMLLINT TYPES_DIR SOURCE_DIR (TYPES_DIR holds our module's description)
set -euo pipefail
qmllint=$1 types=$2 root=$3
mapfile -t files < <(find "$root/qml" "$root/tests/qml" \( -name '*.qml' -o -name '*.js' \) | sort)
[ ${#files[@]} -gt 0 ] || { echo "FAILED: no QML documents under $root"; exit 1; }
"$qmllint" -I "$types" "${files[@]}"
echo "${#files[@]} documents passed the lint"
