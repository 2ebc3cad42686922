#!/usr/bin/env bash
# Installs every Debian 12 package Murmura needs to build, test and run.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config git ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libtbb-dev libpng-dev zlib1g-dev libcairo2-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libx11-dev libxtst-dev libxrandr-dev libxi-dev
  xvfb openbox xdotool x11-utils xterm trayer
  desktop-file-utils appstream fonts-wqy-microhei
)
sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "All build dependencies are installed."
  exit 0
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
