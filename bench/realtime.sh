#!/usr/bin/env bash
# CPU share of one core that zol takes while it measures in real time, on the
# simulated receiver: once headless and once with its window shown (on a
# private Xvfb server). The first seconds (start-up, staged opening of the
# logs) are left out; the share is the CPU time of all the program's threads
# over the wall time of the measured stretch.
#   bench/realtime.sh [seconds] [warm-up seconds]   (default 30 and 8)
# ZOL names the program (default: build-bench/app/zol beside this script).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
zol=${ZOL:-$root/build-bench/app/zol}
seconds=${1:-30}
warm=${2:-8}
[ -x "$zol" ] || { echo "no program at $zol" >&2; exit 1; }

# CPU nanoseconds of every thread of a process.
cpu_ns() {
    local sum=0 t v
    for t in /proc/"$1"/task/*/schedstat; do
        read -r v _ < "$t" 2> /dev/null || continue
        sum=$((sum + v))
    done
    echo "$sum"
}

now_ns() { date +%s%N; }

# measure NAME TARGET [ENV=VALUE...]: runs zol, prints its share.
measure() {
    local name="$1" target="$2"
    shift 2
    local dir
    dir=$(mktemp -d)
    env "$@" "$zol" --input sim --workdir "$dir" --duration $((warm + seconds + 30)) \
        > "$dir/out.txt" 2> "$dir/err.txt" &
    local pid=$!
    sleep "$warm"
    if ! kill -0 "$pid" 2> /dev/null; then
        echo "$name: zol ended early" >&2
        cat "$dir/err.txt" >&2
        rm -rf "$dir"
        return 1
    fi
    local c0 t0 c1 t1
    c0=$(cpu_ns "$pid")
    t0=$(now_ns)
    sleep "$seconds"
    c1=$(cpu_ns "$pid")
    t1=$(now_ns)
    kill -TERM "$pid" 2> /dev/null
    wait "$pid"
    local lines
    lines=$(wc -l < "$dir/measure.txt" 2> /dev/null || echo 0)
    rm -rf "$dir"
    awk -v c=$((c1 - c0)) -v t=$((t1 - t0)) -v name="$name" -v target="$target" -v n="$lines" 'BEGIN {
        share = 100 * c / t
        printf "%s: %.3f s CPU in %.3f s (%d log lines)\n", name, c / 1e9, t / 1e9, n
        printf "FIGURE realtime_%s_cpu %.4g %s percent_of_core max\n", name, share, target
    }'
}

measure headless 1 QT_QPA_PLATFORM=offscreen

# The window, on a private X server.
if command -v Xvfb > /dev/null; then
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$fdfile" 2> /dev/null &
    xpid=$!
    for _ in $(seq 50); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    display=$(head -n1 "$fdfile")
    rm -f "$fdfile"
    if [ -n "$display" ]; then
        measure window 2 QT_QPA_PLATFORM=xcb DISPLAY=":$display"
    else
        echo "Xvfb did not start; no window figure" >&2
    fi
    kill "$xpid" 2> /dev/null
    wait "$xpid" 2> /dev/null
else
    echo "no Xvfb; no window figure" >&2
fi
