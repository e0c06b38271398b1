#!/usr/bin/env bash
# The real program against the private PulseAudio server's 650 Hz sine
# source through ALSA "default": it logs the tone's dB reading, and with
# --calibrate it turns the real "Capture" volume down until the reading is
# within 6 dB of DBCALIBRATE.
set -u
ZOL="$1"
. "$(dirname "$0")/check_logs.sh"
if [ -z "${ZOL_PULSE:-}" ]; then
    if [ "${CI:-}" = "true" ]; then fail "no private sound server (ZOL_PULSE unset) in CI"; fi
    echo "skipped: no private sound server"; exit 0
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"; pactl set-source-volume @DEFAULT_SOURCE@ 100% > /dev/null 2>&1' EXIT
pactl set-source-volume @DEFAULT_SOURCE@ 100% || fail "cannot set the source volume"

"$ZOL" --headless --duration 70 --workdir "$dir/plain" > "$dir/plain.out" 2> "$dir/plain.err" \
    || { cat "$dir/plain.err"; fail "plain run failed"; }
check_measure "$dir/plain" 60
check_scope2 "$dir/plain" 2
check_ini "$dir/plain"
plain=$(last_mean "$dir/plain")
# The sine peaks at about half scale: the reading is a few dB.
[ "$((10#$plain))" -le 12 ] || fail "plain reading $plain is not the tone's level"

# The calibration is over within seconds; the rest of the run lets the
# reading settle at the new gain.
"$ZOL" --headless --duration 40 --calibrate --workdir "$dir/cal" > "$dir/cal.out" 2> "$dir/cal.err" \
    || { cat "$dir/cal.err"; fail "calibrating run failed"; }
check_measure "$dir/cal" 30
grep -q '^CALIBRATED=1' "$dir/cal/zol.ini" || { cat "$dir/cal/zol.ini"; fail "not calibrated"; }
grep -q '^THRESHOLD=50' "$dir/cal/zol.ini" || fail "threshold not 50"
cal=$(last_mean "$dir/cal")
[ "$((10#$cal))" -ge 29 ] && [ "$((10#$cal))" -le 41 ] || fail "calibrated reading $cal is not within 6 dB of 35"
volume=$(pactl get-source-volume @DEFAULT_SOURCE@ | head -n 1)
echo "$volume" | grep -q " 100% " && fail "the Capture volume was not turned down: $volume"
echo "plain reading $plain dB, calibrated reading $cal dB, source $volume"
