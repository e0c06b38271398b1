#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs one target, or all of
# them one after another, for COUNT executions each.
#
#   bash tools/fuzz.sh TARGET|all COUNT
#
# Targets: ini measure scope2 equ obj audiofile bitmaplist. Each run starts
# from the stored inputs of tests/fuzz/corpus/TARGET; the inputs it adds are
# kept in build-fuzz/corpus/TARGET, findings in build-fuzz/findings/ (copy a
# finding into the stored corpus once it is fixed). FUZZ_SECONDS=N stops a
# run after N seconds as well. Prints one "FUZZ target runs seconds result"
# line per target.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
all=(ini measure scope2 equ obj audiofile bitmaplist)
if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 TARGET|all COUNT   (targets: ${all[*]})" >&2
    exit 2
fi
if [ "$1" = all ]; then
    targets=("${all[@]}")
else
    case " ${all[*]} " in
        *" $1 "*) targets=("$1") ;;
        *) echo "$0: no target $1 (targets: ${all[*]})" >&2; exit 2 ;;
    esac
fi
count=$2

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZOL_SANITIZE=ON -DZOL_FUZZ=ON -DZOL_BUILD_TESTS=OFF -DZOL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
    work=$root/build-fuzz/run/$t
    mkdir -p "$work" "$root/build-fuzz/corpus/$t" "$root/build-fuzz/findings"
    rm -f "$work"/fuzz-*.log
    extra=()
    if [ -n "${FUZZ_SECONDS:-}" ]; then
        extra+=("-max_total_time=$FUZZ_SECONDS")
    fi
    # -jobs=1: one worker, its output in fuzz-0.log of the run's folder.
    result=ok
    (cd "$work" && "$root/build-fuzz/tests/fuzz/fuzz_$t" -jobs=1 -runs="$count" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$root/build-fuzz/findings/$t-" "${extra[@]}" \
        "$root/build-fuzz/corpus/$t" "$root/tests/fuzz/corpus/$t") >"$work/driver.log" 2>&1 || result=FINDING
    log=$work/fuzz-0.log
    if grep -q 'ERROR: \|broken promise\|runtime error\|out-of-memory\|timeout' "$log" 2>/dev/null; then
        result=FINDING
    fi
    runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    secs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\2/p' "$log" | tail -1)
    if [ "$result" != ok ]; then
        status=1
        grep -m20 -A20 'ERROR: \|broken promise\|runtime error' "$log" >&2 || tail -40 "$log" >&2
    fi
    echo "FUZZ $t ${runs:-?} ${secs:-?} $result"
done
exit $status
