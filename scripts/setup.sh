#!/usr/bin/env bash
# Installs what the build needs from Debian's packages, only when missing, so a
# second run on a prepared machine costs nothing and asks nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
  libsimpleini-dev nlohmann-json3-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
