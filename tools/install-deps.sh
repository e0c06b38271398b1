#!/usr/bin/env bash
# Installs the Debian packages zol needs to build, test and run, when missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libasound2-dev libsndfile1-dev libgtest-dev libgmock-dev
          pulseaudio libasound2-plugins alsa-utils pulseaudio-utils xvfb xauth)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "zol: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
fi
