#!/usr/bin/env bash
# Installs the Debian packages Nomix needs, when any is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libffi-dev libmimalloc-dev libgtest-dev
          libbenchmark-dev libmuparser-dev qt6-base-dev qt6-svg-dev libreadline-dev
          clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
