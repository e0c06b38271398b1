#!/usr/bin/env bash
# Soak run: zol measures the simulated receiver for DAYS simulated days
# (default 7) as fast as the machine allows, and prints its peak memory
# (VmHWM) and resident memory (VmRSS) after each simulated day; then it
# starts zol on a measure.txt of LINES lines (default 1000000) and prints the
# peak memory of that start (the charts rebuilt from the log) beside that of
# a start without logs.
#
#   bash tests/scripts/soak.sh ZOL [DAYS] [LINES]
#
# Use an optimised build (bash tools/bench.sh builds one in build-bench/).
# The working folders are made in a temporary folder and removed at the end.
set -euo pipefail
zol=$1
days=${2:-7}
lines=${3:-1000000}
work=$(mktemp -d "${TMPDIR:-/tmp}/zol-soak.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

mem() {  # mem PID: "VmHWM VmRSS" in MB
    awk '/^VmHWM:/ {h = $2} /^VmRSS:/ {r = $2} END {printf "%.1f %.1f", h / 1024, r / 1024}' "/proc/$1/status" 2>/dev/null || true
}

echo "soak: $days simulated days of --input sim --fast in $work/run"
mkdir -p "$work/run"
start=$(date +%s)
"$zol" --input sim --fast --headless --duration $((days * 86400 + 120)) --workdir "$work/run" > /dev/null 2> "$work/run.err" &
pid=$!
day=1
last=""
# A day is taken as done a minute short of its 86,400 lines: measuring begins
# a few seconds after the start, so the last day never has them all.
while kill -0 "$pid" 2> /dev/null; do
    size=$(stat -c %s "$work/run/measure.txt" 2> /dev/null || echo 0)
    now=$(mem "$pid")
    [ -n "$now" ] && last=$now
    if [ "$day" -le "$days" ] && [ $((size / 27)) -ge $((day * 86400 - 60)) ] && [ -n "$now" ]; then
        read -r hwm rss <<< "$now"
        echo "SOAK day $day: VmHWM $hwm MB, VmRSS $rss MB ($(( $(date +%s) - start )) s)"
        day=$((day + 1))
    fi
    sleep 0.2
done
rc=0
wait "$pid" || rc=$?
size=$(stat -c %s "$work/run/measure.txt" 2> /dev/null || echo 0)
echo "soak: zol exited with $rc after $(( $(date +%s) - start )) s; measure.txt has $((size / 27)) lines" \
     "(last VmHWM/VmRSS seen: ${last:-none} MB)"
if [ "$rc" -ne 0 ]; then
    tail -5 "$work/run.err" >&2
fi
rm -rf "$work/run"

# The restore of a long measure.txt at start.
peak() {  # peak DIR: the peak memory (MB) of a start that ends after 3 s
    /usr/bin/time -f %M -o "$work/time.txt" "$zol" --input sim --fast --headless --duration 3 --workdir "$1" \
        > /dev/null 2>&1 || true
    awk '{printf "%.1f", $1 / 1024}' "$work/time.txt"
}
mkdir -p "$work/empty" "$work/long"
awk -v n="$lines" 'BEGIN { for (i = 0; i < n; i++) {
    s = i % 86400; printf "%s,%02d:%02d:%02d,12/08/26,%02d,%02d\r\n", (i == 0 ? "*" : " "),
        int(s / 3600), int(s / 60) % 60, s % 60, 20 + i % 50, (i < 5 ? 0 : 30) }
}' > "$work/long/measure.txt"
base=$(peak "$work/empty")
long=$(peak "$work/long")
echo "SOAK restore of $lines lines ($(( $(stat -c %s "$work/long/measure.txt") / 1000000 )) MB): peak $long MB" \
     "(a start without logs: $base MB)"
