#!/usr/bin/env bash
# Kills zol with SIGKILL at random instants, in real time and in --fast, in
# one working folder, and checks after every kill that every line of
# measure.txt and scope2.txt has the exact format, except at most the last
# line, cut by this kill, which the next start must complete; zol.ini is
# always a whole file. A last orderly run must end cleanly. Once, a cut line
# is made by hand, as a power cut would leave it.
#   kill_test.sh ZOL [COUNT] [SEED]
set -u
ZOL="$1"
COUNT="${2:-20}"
SEED="${3:-$$}"
. "$(dirname "$0")/check_logs.sh"
RANDOM=$SEED
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
w="$dir/w"
mkdir "$w"

# Line numbers that a kill cut and a later start completed, per log.
completed_measure=" "
completed_scope2=" "
cut_measure=0
cut_scope2=0

last_byte_is_lf() { [ "$(tail -c 1 "$1" | od -An -tx1 | tr -d ' \n')" = "0a" ] && echo 1 || echo 0; }

# check_log FILE PATTERN COMPLETED CUT_BEFORE: prints the number of the cut
# last line (0 if none); fails on any other line that is not exact.
check_log() {
    local file="$1" pattern="$2" completed="$3" cut_before="$4"
    [ -f "$file" ] || { echo 0; return; }
    LC_ALL=C awk -v pat="$pattern" -v done="$completed" -v cut="$cut_before" '
        BEGIN { RS = "\n" }
        { line[NR] = $0 }
        END {
            n = NR
            # A file whose last byte is no LF: its last line was cut.
            last_cut = 0
            if (n > 0 && !ended) last_cut = n
            for (i = 1; i <= n; i++) {
                if (i == last_cut) continue
                if (line[i] ~ pat) continue
                if (index(done, " " i " ") > 0) continue
                if (i == cut) continue
                print "bad line " i ": [" line[i] "]" > "/dev/stderr"
                exit 1
            }
            if (last_cut && length(line[last_cut]) >= 26) {
                print "cut line " last_cut " is not shorter than a line" > "/dev/stderr"
                exit 1
            }
            print last_cut
        }' ended="$(last_byte_is_lf "$file")" "$file"
}

check_ini_whole() {
    local file="$w/zol.ini"
    [ -e "$file" ] || return 0
    [ "$(tail -c 2 "$file" | od -An -tx1 | tr -d ' ')" = "0d0a" ] || fail "zol.ini does not end with a whole line"
    for key in BASEGAIN THRESHOLD DBCALIBRATE CALIBRATED; do
        grep -q "^$key=[0-9]*"$'\r$' "$file" || { cat -A "$file"; fail "zol.ini lacks $key: not a whole file"; }
    done
    grep -q '^\[ZOLPARAMS\]' "$file" || fail "zol.ini lacks its section"
}

measure_pat='^[* ],[0-9][0-9]:[0-9][0-9]:[0-9][0-9],[0-9][0-9].[0-9][0-9].[0-9][0-9],[0-9][0-9],[0-9][0-9]\r$'
scope2_pat='^[0-9][0-9],[0-9][0-9]\r$'

check_all() {
    local m s
    m=$(check_log "$w/measure.txt" "$measure_pat" "$completed_measure" "$cut_measure") || fail "after kill $1: measure.txt"
    s=$(check_log "$w/scope2.txt" "$scope2_pat" "$completed_scope2" "$cut_scope2") || fail "after kill $1: scope2.txt"
    check_ini_whole
    # A line cut before the last start was completed by it (unless that
    # start was killed before it opened the log): it may stay as it is, but
    # is now ended.
    [ "$cut_measure" -gt 0 ] && [ "$m" -ne "$cut_measure" ] && completed_measure="$completed_measure$cut_measure "
    [ "$cut_scope2" -gt 0 ] && [ "$s" -ne "$cut_scope2" ] && completed_scope2="$completed_scope2$cut_scope2 "
    cut_measure=$m
    cut_scope2=$s
    [ "$m" -eq 0 ] || echo "kill $1 cut measure.txt line $m"
    [ "$s" -eq 0 ] || echo "kill $1 cut scope2.txt line $s"
}

ms_sleep() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }

start=$(date +%s)
injected=""
for i in $(seq 1 "$COUNT"); do
    if [ $((i % 2)) -eq 1 ]; then
        # Real time: some kills fall into the start, the measuring or the
        # three-second close that writes zol.ini.
        args=(--duration $((1 + RANDOM % 2)))
        delay=$((200 + RANDOM % 4000))
    else
        args=(--fast --duration $((20 + RANDOM % 400)))
        delay=$((300 + RANDOM % 2500))
    fi
    "$ZOL" --headless --input sim --workdir "$w" "${args[@]}" > /dev/null 2> "$dir/err.txt" &
    pid=$!
    ms_sleep "$delay"
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    # A kill does not cut a line that is written at once; a power cut does.
    # Once both logs hold lines, cut lines are made by hand: the next start
    # must complete them like any other.
    if [ -z "$injected" ] && [ -s "$w/scope2.txt" ] && [ "$(last_byte_is_lf "$w/measure.txt")" = 1 ] &&
        [ "$(last_byte_is_lf "$w/scope2.txt")" = 1 ]; then
        printf ' ,12:3' >> "$w/measure.txt"
        printf '4' >> "$w/scope2.txt"
        injected=$i
    fi
    check_all "$i"
done

if [ -z "$injected" ]; then
    printf ' ,12:3' >> "$w/measure.txt"
    printf '4' >> "$w/scope2.txt"
    injected=final
    check_all "$injected"
fi
# The next orderly run completes what the last kill cut and ends cleanly.
"$ZOL" --headless --input sim --fast --duration 40 --workdir "$w" > /dev/null 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "the run after the kills failed"; }
check_all final
[ "$cut_measure" -eq 0 ] && [ "$cut_scope2" -eq 0 ] || fail "an orderly run left a cut line"
check_ini "$w"
[ -n "$injected" ] || fail "the logs never held lines to cut"
[ "$completed_measure" != " " ] && [ "$completed_scope2" != " " ] || fail "the cut lines were not completed"
lines=$(wc -l < "$w/measure.txt")
echo "kill test: $COUNT kills (seed $SEED) in $(( $(date +%s) - start )) s, measure.txt $lines lines," \
     "completed cut lines: measure${completed_measure}scope2${completed_scope2}"
