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
# Several ctest runs share each tree below. The test programs' lists of
# tests are written once, before them: two runs that listed a program at
# the same time would read each other's half-written list.
ctest --test-dir build-test -N > /dev/null
# shellcheck source=tools/pulse-env.sh
source tools/pulse-env.sh

# alsa_ctest ARGS...: ctest against a private sound server of its own.
# Tests that capture from the server or change its volume (their names
# contain "Alsa") run one at a time on it, where no program that another
# test starts can set its volume from a stored gain.
alsa_ctest() {
    (
        zol_pulse_start || exit 1
        trap zol_pulse_stop EXIT
        export ZOL_PULSE=1
        ctest "$@" -j1 --timeout 400 -R Alsa
    )
}

# The other tests share a server of their own.
zol_pulse_start
trap zol_pulse_stop EXIT
export ZOL_PULSE=1
# The ALSA tests mostly wait on the sound server's clock, the tests labelled
# "wallclock" on the wall clock: both run one at a time in the background
# while the other tests, then the ThreadSanitizer tree's build and its other
# tests, keep the two cores busy.
alsa_ctest --test-dir build-test --output-on-failure > build-test/alsa-tests.log 2>&1 &
alsa=$!
ctest --test-dir build-test --output-on-failure -j1 --timeout 400 -L wallclock > build-test/wallclock-tests.log 2>&1 &
wallclock=$!
asan_rc=0
ctest --test-dir build-test --output-on-failure -j2 --timeout 300 -E Alsa -LE wallclock || asan_rc=$?
tsan_rc=0
tsan_tests=""
if cmake --build build-tsan -j2; then
    ctest --test-dir build-tsan -N > /dev/null
    ctest --test-dir build-tsan --output-on-failure -j2 --timeout 300 -E Alsa > build-tsan/tests.log 2>&1 &
    tsan_tests=$!
else
    tsan_rc=$?
fi
wallclock_rc=0
wait "$wallclock" || wallclock_rc=$?
cat build-test/wallclock-tests.log
alsa_rc=0
wait "$alsa" || alsa_rc=$?
cat build-test/alsa-tests.log
# The ThreadSanitizer tree's ALSA tests, after the first tree's, never
# beside them.
tsan_alsa_rc=0
if [ -n "$tsan_tests" ]; then
    alsa_ctest --test-dir build-tsan --output-on-failure || tsan_alsa_rc=$?
    wait "$tsan_tests" || tsan_rc=$?
    cat build-tsan/tests.log
fi
if [ "$asan_rc" -ne 0 ] || [ "$wallclock_rc" -ne 0 ] || [ "$alsa_rc" -ne 0 ] || [ "$tsan_rc" -ne 0 ] ||
    [ "$tsan_alsa_rc" -ne 0 ]; then
    echo "zol: tests failed (AddressSanitizer tree: $asan_rc, its wall-clock tests: $wallclock_rc," \
         "its ALSA tests: $alsa_rc; ThreadSanitizer tree: $tsan_rc, its ALSA tests: $tsan_alsa_rc)" >&2
    exit 1
fi
echo "zol: all tests passed"
