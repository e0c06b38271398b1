#!/usr/bin/env bash
# Builds zol and its benchmarks with optimisation (build-bench/), runs every
# benchmark and prints one table: figure, target, measured, ratio
# (measured / target) and whether the target is met.
#   bash tools/bench.sh [--no-build]
# The benchmarks print "FIGURE name measured target unit max|min" lines; the
# full output of each is kept in build-bench/bench-logs/.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
logs="$build/bench-logs"

if [ "${1:-}" != "--no-build" ]; then
    launcher=()
    command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOL_SANITIZE=OFF \
        -DZOL_BUILD_TESTS=OFF -DZOL_BUILD_BENCH=ON "${launcher[@]}" > /dev/null || exit 1
    targets=(zol zol_makewav)
    for src in "$root"/bench/bench_*.cpp; do
        targets+=("$(basename "$src" .cpp)")
    done
    cmake --build "$build" -j2 --target "${targets[@]}" > "$build/build.log" 2>&1 \
        || { tail -30 "$build/build.log"; exit 1; }
fi
mkdir -p "$logs"
export QT_QPA_PLATFORM=offscreen
figures="$logs/figures.txt"
: > "$figures"

run() {  # run NAME COMMAND...: keeps the output, collects its figures
    local name="$1"
    shift
    echo "running $name ..." >&2
    "$@" > "$logs/$name.txt" 2>&1 || echo "FIGURE ${name}_failed 1 0 run max" >> "$figures"
    grep '^FIGURE ' "$logs/$name.txt" >> "$figures"
}

for exe in "$build"/bench/bench_*; do
    [ -x "$exe" ] || continue
    case "$(basename "$exe")" in
    bench_restore) run bench_restore "$exe" 86400 ;;
    *) run "$(basename "$exe")" "$exe" ;;
    esac
done

# --fast: an hour of recording (a carrier that fades in steps, with noise),
# replayed headless; the speed-up is the recording's length over the wall
# time of the whole run, start and close included.
replay() {
    local dir
    dir=$(mktemp -d)
    "$build/tools/zol_makewav" --noise 45 "$dir/hour.wav" 3600 20 18 20 23 27 31 27 23 20 || return 1
    local times lines
    times=$( { TIMEFORMAT='%R %U %S'; time "$build/app/zol" --headless --fast --input "$dir/hour.wav" \
        --workdir "$dir/logs" > /dev/null 2>&1; } 2>&1 ) || return 1
    lines=$(wc -l < "$dir/logs/measure.txt")
    rm -rf "$dir"
    # The wall-time figure is the target's; on a busy machine the CPU time
    # (all threads) tells what the program itself costs.
    echo "$times" | awk -v n="$lines" '{
        printf "replay of 3600 s: %d lines in %.2f s wall time, %.2f s CPU\n", n, $1, $2 + $3
        printf "FIGURE fast_replay_hour_speedup %.6g 1000 x_real_time min\n", 3600 / $1
        printf "FIGURE fast_replay_hour_cpu_speedup %.6g 1000 x_real_time min\n", 3600 / ($2 + $3)
        printf "FIGURE fast_replay_hour_lines %d 3600 lines min\n", n
    }'
}
run fast_replay replay

# The real-time CPU shares, where that benchmark exists.
if [ -f "$root/bench/realtime.sh" ]; then
    run realtime bash "$root/bench/realtime.sh"
fi

echo
awk '{
    name = $2; measured = $3; target = $4; unit = $5; kind = $6
    ratio = target != 0 ? measured / target : 0
    met = kind == "max" ? measured <= target : measured >= target
    printf "%-34s %12s %12.4g %-11s %8.3f  %s\n", name, sprintf("%s %.4g", kind == "max" ? "<=" : ">=", target), measured, unit, ratio, met ? "met" : "MISSED"
}' "$figures" | { printf "%-34s %12s %12s %-11s %8s  %s\n" figure target measured unit ratio ""; cat; }
