#!/usr/bin/env bash
# Builds zol and starts it. Arguments are passed to the program; without a
# display it runs headless (by itself), without a sound card use --input sim.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOL_BUILD_TESTS=OFF
cmake --build build -j2 --target zol
exec build/app/zol "$@"
