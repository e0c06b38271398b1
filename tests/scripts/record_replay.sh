#!/usr/bin/env bash
# A run with --record keeps its audio in a FLAC file named by its UTC start;
# replayed with --fast, the file gives the live run's measure.txt lines (the
# same readings at the same times) and can be analysed again in the other
# band.
set -u
ZOL="$1"
. "$(dirname "$0")/check_logs.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$ZOL" --headless --input sim --fast --duration 65 --record --workdir "$dir/live" > /dev/null 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "the recording run ended with an error"; }
mapfile -t files < <(find "$dir/live" -name 'zol-*.flac' | sort)
name_re='^zol-[0-9]{8}T[0-9]{6}\.[0-9]{3}Z\.flac$'
for f in "${files[@]}"; do
    [[ "$(basename "$f")" =~ $name_re ]] || fail "recording named $(basename "$f")"
done
# One file per UTC hour: a run that crosses the hour leaves two, the second
# beginning on the hour exactly. The first is replayed and compared with the
# live run up to where it ends.
case "${#files[@]}" in
1) whole=1 ;;
2) whole=0
   [[ "$(basename "${files[1]}")" =~ ^zol-[0-9]{8}T[0-9]{2}0000\.000Z\.flac$ ]] \
       || fail "the second recording does not begin on the hour: $(basename "${files[1]}")" ;;
*) fail "the run left ${#files[@]} recordings, not 1 (or 2 across an hour)" ;;
esac
rec="${files[0]}"

"$ZOL" --headless --input "$rec" --fast --workdir "$dir/replay" > /dev/null 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "the replay ended with an error"; }
live=$(wc -l < "$dir/live/measure.txt")
replay=$(wc -l < "$dir/replay/measure.txt")
if [ "$whole" -eq 1 ]; then
    check_measure "$dir/replay" 60
    # The replay ends with the part of a second the live run closed in.
    [ "$replay" -ge "$live" ] && [ "$replay" -le $((live + 1)) ] || fail "live run $live lines, replay $replay"
    same=$live
else
    # The part of a second where the file ends is not the live run's.
    same=$((replay - 1))
    [ "$same" -le "$live" ] || fail "a replay of part of the run has $replay lines, the run $live"
fi
cmp -s <(head -n "$same" "$dir/live/measure.txt") <(head -n "$same" "$dir/replay/measure.txt") \
    || { diff "$dir/live/measure.txt" "$dir/replay/measure.txt" | head; fail "the replay's lines differ from the live run's"; }
# The data file of the replay has the live run's rows: the same times and
# readings (the gain column differs: a replay has no mixer).
rows() { grep -hv '^#' "$1"/zol-*-UTC.csv | cut -d, -f1-3; }
n=$(rows "$dir/live" | wc -l)
[ "$n" -ge 590 ] || fail "the live data file has $n rows"
[ "$whole" -eq 1 ] || n=$(( $(rows "$dir/replay" | wc -l) - 2 ))
cmp -s <(rows "$dir/live" | head -n "$n") <(rows "$dir/replay" | head -n "$n") \
    || { diff <(rows "$dir/live") <(rows "$dir/replay") | head; fail "the replay's data rows differ from the live run's"; }
s=$(wc -l < "$dir/live/scope2.txt")
[ "$whole" -eq 1 ] || s=$(( $(wc -l < "$dir/replay/scope2.txt") - 1 ))
[ "$s" -le 0 ] || cmp -s <(head -n "$s" "$dir/live/scope2.txt") <(head -n "$s" "$dir/replay/scope2.txt") \
    || fail "the 30-second lines differ"
# The other band is tried on the longer recording.
if [ "$whole" -eq 0 ] && [ "$(stat -c %s "${files[1]}")" -gt "$(stat -c %s "$rec")" ]; then
    rec="${files[1]}"
    rm -rf "$dir/replay"
    "$ZOL" --headless --input "$rec" --fast --workdir "$dir/replay" > /dev/null 2> "$dir/err.txt" \
        || { cat "$dir/err.txt"; fail "the replay of the second hour ended with an error"; }
fi

# Again in the other band: the simulated 650 Hz carrier reads weaker there.
"$ZOL" --headless --input "$rec" --fast --band 700-900 --workdir "$dir/band" > /dev/null 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "the replay in 700-900 Hz ended with an error"; }
mean() { awk -F, '{ s += $4 } END { printf "%d", s / NR }' "$1"; }
low=$(mean "$dir/replay/measure.txt")
high=$(mean "$dir/band/measure.txt")
[ "$high" -ge $((low + 6)) ] || fail "650 Hz read $low dB in 550-750 Hz and $high dB in 700-900 Hz"

# A replay is not recorded again.
"$ZOL" --headless --input "$rec" --fast --record --workdir "$dir/again" > /dev/null 2> "$dir/err.txt"
[ $? -eq 2 ] || fail "--record of a replay was not refused"
grep -q -- "--record" "$dir/err.txt" || fail "no reason for refusing --record"
echo "record and replay: ${#files[@]} recording(s), $same lines alike, $low dB in 550-750 Hz, $high dB in 700-900 Hz"
