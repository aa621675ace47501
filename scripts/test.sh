#!/usr/bin/env bash
# Sets up a fresh Debian machine if needed, builds, and runs every test twice:
# in the normal build and in the address/undefined sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in default asan; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset"
  echo "=== ${preset}: tests"
  ctest --preset "$preset" -j 2
done
