#!/usr/bin/env bash
# The real program against the private PulseAudio server, which is taken
# away while zol measures and brought back later (a sound server that
# restarts): zol keeps running, reports the loss once, logs the seconds
# without audio as "--", and measures the tone again once the server is
# back, which it reports once too.
set -u
ZOL="$1"
here="$(dirname "$0")"
. "$here/check_logs.sh"
if [ -z "${ZOL_PULSE:-}" ] || [ -z "${ZOL_PULSE_DIR:-}" ]; then
    if [ "${CI:-}" = "true" ]; then fail "no private sound server (ZOL_PULSE unset) in CI"; fi
    echo "skipped: no private sound server"; exit 0
fi
# shellcheck source=../../tools/pulse-env.sh
. "$here/../../tools/pulse-env.sh"
dir=$(mktemp -d)
zol_pid=
cleanup() {
    [ -n "$zol_pid" ] && kill "$zol_pid" 2>/dev/null
    # The server must be there for the tests that follow.
    [ -n "$(zol_pulse_pid)" ] || zol_pulse_relaunch
    rm -rf "$dir"
}
trap cleanup EXIT

lines() { [ -f "$dir/measure.txt" ] && wc -l < "$dir/measure.txt" || echo 0; }
silent_lines() { LC_ALL=C grep -c '^.,........,........,--,' "$dir/measure.txt" 2>/dev/null || true; }
# Waits up to $2 seconds for the command $1 to succeed.
wait_for() {
    for _ in $(seq 1 $(( $2 * 5 ))); do
        eval "$1" && return 0
        kill -0 "$zol_pid" 2>/dev/null || fail "zol ended early: $(cat "$dir/err")"
        sleep 0.2
    done
    return 1
}

"$ZOL" --headless --duration 300 --workdir "$dir" > "$dir/out" 2> "$dir/err" &
zol_pid=$!
wait_for '[ "$(lines)" -ge 6 ]' 60 || fail "zol logged no seconds: $(cat "$dir/err")"

# The server goes away: the loss is noticed, the seconds are marked.
zol_pulse_halt
wait_for 'grep -q "stopped delivering audio" "$dir/err"' 20 || fail "the loss was not reported: $(cat "$dir/err")"
wait_for '[ "$(silent_lines)" -ge 8 ]' 30 || fail "no seconds without audio were logged"

# It comes back: zol opens the device again by itself.
zol_pulse_relaunch || fail "the server could not be relaunched"
silent=$(silent_lines)
last_numeric() { tail -n 1 "$dir/measure.txt" | LC_ALL=C grep -qE '^.,........,........,[0-9][0-9],'; }
wait_for 'grep -q "delivers audio again" "$dir/err" && last_numeric' 60 \
    || fail "zol did not record again: $(cat "$dir/err")"
before=$(lines)
wait_for '[ "$(lines)" -ge $((before + 4)) ]' 20 || fail "no lines after the recovery"
kill -INT "$zol_pid"
wait "$zol_pid"
status=$?
zol_pid=

# The run reported the loss (an error: exit status 1), once, and the
# recovery once; each on one line.
[ "$status" -eq 1 ] || fail "exit status $status, wanted 1 (the loss is an error): $(cat "$dir/err")"
[ "$(grep -c 'stopped delivering audio' "$dir/err")" -eq 1 ] || fail "the loss was not reported once: $(cat "$dir/err")"
[ "$(grep -c 'delivers audio again' "$dir/err")" -eq 1 ] || fail "the recovery was not reported once: $(cat "$dir/err")"
grep -q $'\r' "$dir/err" && fail "a report runs over several lines: $(cat "$dir/err")"
# Every line has the exact format, "--" where there was no audio; the log
# runs from readings through the gap back to readings of the tone.
LC_ALL=C grep -navE $'^[* ],[0-9][0-9]:[0-9][0-9]:[0-9][0-9],[0-9][0-9].[0-9][0-9].[0-9][0-9],([0-9][0-9]|--),[0-9][0-9]\r$' \
    "$dir/measure.txt" && fail "measure.txt is not well formed"
order=$(LC_ALL=C cut -c21-22 "$dir/measure.txt" | sed -E 's/[0-9][0-9]/n/; s/--/g/' | uniq | tr -d '\n')
[ "$order" = "ngn" ] || fail "measure.txt should go readings, gap, readings; it goes $order"
last=$(last_mean "$dir")
[ "$((10#$last))" -le 12 ] || fail "the reading after the recovery, $last, is not the tone's level"
LC_ALL=C grep -qvE $'^([0-9][0-9]|--),([0-9][0-9]|--)\r$' "$dir/scope2.txt" && fail "scope2.txt is not well formed"
echo "gap of $silent seconds without audio, reading after it $last dB; stderr:"
cat "$dir/err"
