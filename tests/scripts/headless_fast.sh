#!/usr/bin/env bash
# zol --headless --input sim --fast --duration 120 finishes in seconds and
# leaves well-formed logs and settings; a second run appends to them.
set -u
ZOL="$1"
. "$(dirname "$0")/check_logs.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

start=$(date +%s)
"$ZOL" --headless --input sim --fast --duration 120 --workdir "$dir" > "$dir/out.txt" 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "zol ended with an error"; }
elapsed=$(( $(date +%s) - start ))
[ "$elapsed" -le 60 ] || fail "a 120 s fast run took $elapsed s"
check_measure "$dir" 110
check_scope2 "$dir" 3
check_ini "$dir"
# Every line written was also printed.
printed=$(grep -c '^[* ],' "$dir/out.txt")
written=$(wc -l < "$dir/measure.txt")
[ "$printed" -eq "$written" ] || fail "printed $printed lines, wrote $written"

# The next run appends and marks its first line.
"$ZOL" --headless --input sim --fast --duration 10 --workdir "$dir" > /dev/null 2>&1 || fail "second run failed"
[ "$(grep -c '^\*' "$dir/measure.txt")" -eq 2 ] || fail "the second run has no marked first line"

# Bad command lines are refused with a reason, and write nothing.
"$ZOL" --bogus > /dev/null 2> "$dir/bad.txt" && fail "an unknown option was accepted"
grep -q "unknown argument" "$dir/bad.txt" || fail "no reason for a bad option"
"$ZOL" --input "$dir/missing.wav" --headless --workdir "$dir/new" > /dev/null 2> "$dir/bad.txt" \
    && fail "a missing WAV file was accepted"
[ -s "$dir/bad.txt" ] || fail "no reason for a missing WAV file"
"$ZOL" --version | grep -q "1.3.25" || fail "no version"
echo "headless fast run: ${elapsed}s, $written lines"
