#!/usr/bin/env bash
# Builds zol with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test, the ALSA ones against a private PulseAudio server; then builds
# the threaded parts (platform, timers, chain, window) with ThreadSanitizer
# and runs their tests, the ALSA ones included.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
# Both trees compile each folder's sources as a few combined sources: the Qt
# headers are parsed once per batch, not once per file. Line tables are all
# debug information the sanitizers' reports need (-g1), and compile faster
# than full debug information; the product itself is compiled with -O1.
common=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DZOL_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON)
cmake -S . -B build-test "${common[@]}" -DZOL_SANITIZE=ON
cmake -S . -B build-tsan "${common[@]}" -DZOL_SANITIZE=thread
cmake --build build-test -j2
# shellcheck source=tools/pulse-env.sh
source tools/pulse-env.sh
zol_pulse_start
trap zol_pulse_stop EXIT
export ZOL_PULSE=1
# Tests that use the one shared sound server (their names contain "Alsa")
# capture from it or change its volume: they run one at a time, after the
# others have run two at a time (a program that other tests start may set
# the server's volume from its stored gain).
ctest --test-dir build-test --output-on-failure -j2 --timeout 300 -E Alsa
# The ALSA tests mostly wait on the sound server's clock: meanwhile the
# ThreadSanitizer tree builds and its other tests run. Its ALSA tests run
# after the first tree's, never beside them.
ctest --test-dir build-test --output-on-failure -j1 --timeout 400 -R Alsa > build-test/alsa-tests.log 2>&1 &
alsa=$!
tsan_rc=0
{ cmake --build build-tsan -j2 && ctest --test-dir build-tsan --output-on-failure -j2 --timeout 300 -E Alsa; } || tsan_rc=$?
alsa_rc=0
wait "$alsa" || alsa_rc=$?
cat build-test/alsa-tests.log
if [ "$alsa_rc" -ne 0 ] || [ "$tsan_rc" -ne 0 ]; then
    echo "zol: tests failed (AddressSanitizer ALSA tests: $alsa_rc, ThreadSanitizer tree: $tsan_rc)" >&2
    exit 1
fi
ctest --test-dir build-tsan --output-on-failure -j1 --timeout 400 -R Alsa
