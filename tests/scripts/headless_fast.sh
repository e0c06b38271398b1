#!/usr/bin/env bash
# zol --headless --input sim --fast --duration 120 runs faster than the clock
# it simulates and leaves well-formed logs and settings; a second run appends
# to them.
set -u
ZOL="$1"
. "$(dirname "$0")/check_logs.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

start=$(date +%s)
"$ZOL" --headless --input sim --fast --duration 120 --workdir "$dir" > "$dir/out.txt" 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "zol ended with an error"; }
elapsed=$(( $(date +%s) - start ))
# Not paced by the real clock (a busy machine may still take a while).
[ "$elapsed" -lt 120 ] || fail "a 120 s fast run took $elapsed s"
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
"$ZOL" --version | grep -Eq "^zol [0-9]+\.[0-9]+\.[0-9]+$" || fail "no version"
# Durations that are no usable number of seconds are refused, with exit 2
# and a reason, before anything is created.
for bad in nan inf -inf 1e309 99999999999999999999 1e-9 0 -3 soon ""; do
    timeout 20 "$ZOL" --headless --input sim --fast --duration "$bad" --workdir "$dir/dur" > /dev/null 2> "$dir/bad.txt"
    rc=$?
    [ "$rc" -eq 2 ] || fail "--duration \"$bad\" gave exit code $rc, not 2"
    grep -q -- "--duration" "$dir/bad.txt" || fail "no reason for --duration \"$bad\""
    [ -e "$dir/dur" ] && fail "a refused command line created the working folder"
done
# A working folder that does not exist is created, and zol says so.
"$ZOL" --headless --input sim --fast --duration 3 --workdir "$dir/made/here" > /dev/null 2> "$dir/new.txt" \
    || fail "a run in a new folder failed"
grep -q "created the folder $dir/made/here" "$dir/new.txt" || { cat "$dir/new.txt"; fail "a new folder was made without a word"; }
# One that cannot be made is refused with the reason.
"$ZOL" --headless --input sim --fast --duration 3 --workdir "$dir/out.txt/sub" > /dev/null 2> "$dir/bad.txt" \
    && fail "a working folder inside a file was accepted"
grep -q "Not a directory" "$dir/bad.txt" || { cat "$dir/bad.txt"; fail "no reason for an unusable folder"; }
echo "headless fast run: ${elapsed}s, $written lines"
