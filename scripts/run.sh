#!/usr/bin/env bash
# The program's main job as far as it exists: build the table tool and show
# the shipped sample sites directory, checked and dumped.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset default > /dev/null
cmake --build --preset default --target sdbtool > /dev/null

tool=build/default/tools/sdbtool/sdbtool
sample=data/samples/ObjctsList.sdb
"$tool" check "$sample"
"$tool" dump "$sample"
