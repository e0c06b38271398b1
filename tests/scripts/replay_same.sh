#!/usr/bin/env bash
# A replay in simulated time (--fast) logs what a real-time replay of the
# same recording logs: the same lines with the same markers and readings
# (the real-time run is stamped with the wall clock, --fast with the
# recording's time, so the time and date fields are left out) and the same
# scope2.txt, byte for byte.
#   replay_same.sh ZOL MAKEWAV
set -u
ZOL="$1"
MAKEWAV="$2"
. "$(dirname "$0")/check_logs.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# 20 s of a carrier that steps by 1 dB every 3.3 s: the readings change,
# yet a second's mean does not hang on the last millisecond of scheduling.
"$MAKEWAV" "$dir/rec.wav" 20 3.3 20.5 21.5 22.5 23.5 24.5 25.5 || fail "no recording made"
timeout 120 "$ZOL" --headless --fast --input "$dir/rec.wav" --workdir "$dir/fast" > /dev/null 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "the --fast replay failed"; }
timeout 120 "$ZOL" --headless --input "$dir/rec.wav" --workdir "$dir/real" > /dev/null 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "the real-time replay failed"; }
check_measure "$dir/fast" 20
check_measure "$dir/real" 20
fields() { cut -c1-2,21- "$1/measure.txt"; }
if ! cmp -s <(fields "$dir/fast") <(fields "$dir/real"); then
    diff <(fields "$dir/fast") <(fields "$dir/real") | head -20
    fail "measure.txt of the --fast replay differs from the real-time one's"
fi
cmp "$dir/fast/scope2.txt" "$dir/real/scope2.txt" || fail "scope2.txt differs"
# The recording's steps show in the readings.
means=$(cut -c21-22 "$dir/fast/measure.txt" | sort -u | wc -l)
[ "$means" -ge 5 ] || fail "only $means different readings in the log"
echo "replay: --fast and real time wrote the same $(wc -l < "$dir/fast/measure.txt") lines"
