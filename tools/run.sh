#!/usr/bin/env bash
# Builds zol and starts it. Arguments are passed to the program; without a
# display it runs headless, without a sound card use --input sim.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOL_BUILD_TESTS=OFF
cmake --build build -j2 --target zol
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
fi
exec build/app/zol "$@"
