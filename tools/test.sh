#!/usr/bin/env bash
# Builds zol with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test, the ALSA ones against a private PulseAudio server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
# Each folder's sources compile as a few combined sources: the Qt headers
# are parsed once per batch, not once per file.
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZOL_SANITIZE=ON -DZOL_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON
cmake --build build-test -j2
# shellcheck source=tools/pulse-env.sh
source tools/pulse-env.sh
zol_pulse_start
trap zol_pulse_stop EXIT
export ZOL_PULSE=1
# Tests that use the one shared sound server (their names contain "Alsa")
# capture from it or change its volume: they run one at a time, after the
# others have run two at a time.
ctest --test-dir build-test --output-on-failure -j2 --timeout 300 -E Alsa
ctest --test-dir build-test --output-on-failure -j1 --timeout 400 -R Alsa
