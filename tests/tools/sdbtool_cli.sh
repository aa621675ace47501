#!/usr/bin/env bash
# Drives sdbtool as a person would: make, dump, check a sound and a damaged file.
set -euo pipefail
tool=$1
json=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$tool" make "$json" "$dir/t.sdb"
"$tool" check "$dir/t.sdb" | grep -q "sound"
"$tool" dump --json "$dir/t.sdb" > "$dir/back.json"
cmp "$json" "$dir/back.json"
"$tool" dump "$dir/t.sdb" | grep -q '^table "ObjctsList.sdb"'

size=$(stat -c %s "$dir/t.sdb")
head -c $((size - 5)) "$dir/t.sdb" > "$dir/cut.sdb"
set +e
msg=$("$tool" check "$dir/cut.sdb" 2>&1)
rc=$?
set -e
[ "$rc" -eq 1 ] || { echo "check of a cut file exited $rc"; exit 1; }
echo "$msg" | grep -q "truncated: .* at byte [0-9]" || { echo "unexpected: $msg"; exit 1; }

set +e
"$tool" frobnicate >/dev/null 2>&1
rc=$?
set -e
[ "$rc" -eq 2 ] || { echo "wrong usage exited $rc"; exit 1; }
echo "sdbtool cli ok"
