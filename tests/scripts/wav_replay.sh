#!/usr/bin/env bash
# A replayed recording is logged from its first second to its last, with no
# made-up seconds after its end; the last 30-second window it has data for
# is closed; then zol ends by itself, in --fast and in real time.
set -u
ZOL="$1"
. "$(dirname "$0")/check_logs.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
# make_wav FILE FRAMES: 11025 Hz, 16-bit stereo noise.
make_wav() {
    local bytes=$(($2 * 4))
    {
        printf "RIFF$(le32 $((36 + bytes)))WAVEfmt $(le32 16)\\x01\\x00\\x02\\x00$(le32 11025)$(le32 44100)\\x04\\x00\\x10\\x00data$(le32 $bytes)"
        head -c "$bytes" /dev/urandom
    } > "$1"
}

# 65.5 seconds, last changed at 12:00:00: recorded from 11:58:54.5.
make_wav "$dir/rec.wav" 722138
touch -d '2026-08-12 12:00:00' "$dir/rec.wav"
timeout 120 "$ZOL" --headless --fast --input "$dir/rec.wav" --workdir "$dir/fast" > "$dir/out.txt" 2> "$dir/err.txt"
rc=$?
[ "$rc" -eq 0 ] || { cat "$dir/err.txt"; fail "fast replay ended with $rc"; }
check_measure "$dir/fast" 1
n=$(wc -l < "$dir/fast/measure.txt")
# Seconds 1 to 65 and the half second at the end, no more.
[ "$n" -eq 66 ] || fail "fast replay of 65.5 s wrote $n lines, not 66"
first=$(head -n 1 "$dir/fast/measure.txt" | cut -c3-10)
last=$(tail -n 1 "$dir/fast/measure.txt" | cut -c3-10)
[ "$first" = "11:58:55" ] || fail "first line at $first, not 11:58:55 (one second into the recording)"
[ "$last" = "12:00:00" ] || fail "last line at $last, not 12:00:00 (the end of the recording)"
# Windows ending 30 s and 60 s into the measuring, and the last 5.5 s.
s=$(wc -l < "$dir/fast/scope2.txt")
[ "$s" -eq 3 ] || fail "fast replay wrote $s scope2.txt lines, not 3"
check_scope2 "$dir/fast" 3

# Real time: 4.5 seconds of audio, then zol closes by itself.
make_wav "$dir/short.wav" 49613
start=$(date +%s)
timeout 60 "$ZOL" --headless --input "$dir/short.wav" --workdir "$dir/real" > "$dir/out.txt" 2> "$dir/err.txt"
rc=$?
[ "$rc" -ne 124 ] || fail "a real-time replay did not end"
[ "$rc" -eq 0 ] || { cat "$dir/err.txt"; fail "real-time replay ended with $rc"; }
check_measure "$dir/real" 1
n=$(wc -l < "$dir/real/measure.txt")
[ "$n" -eq 5 ] || fail "real-time replay of 4.5 s wrote $n lines, not 5"
echo "wav replay: fast 66 lines, real time $n lines in $(( $(date +%s) - start )) s"
