#!/usr/bin/env bash
# A replay in simulated time (--fast) logs what a real-time replay of the
# same recording logs: as many lines, with the same markers and, in every
# second where the recording's level holds, the same readings (the
# real-time run is stamped with the wall clock, --fast with the recording's
# time, so the time and date fields are left out). Where the level steps, a
# reading of the real-time run may fall into the neighbouring second when
# the machine is busy, so there the two may differ by 1 dB; scope2.txt the
# same way. A busy real-time run may also log one more second at the end.
#   replay_same.sh ZOL MAKEWAV
set -u
ZOL="$1"
MAKEWAV="$2"
. "$(dirname "$0")/check_logs.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# 19.8 s of a carrier that steps by 1 dB every 3.3 s: the readings change,
# yet a second's mean does not hang on the last millisecond of scheduling.
"$MAKEWAV" "$dir/rec.wav" 19.8 3.3 20.5 21.5 22.5 23.5 24.5 25.5 || fail "no recording made"
timeout 120 "$ZOL" --headless --fast --input "$dir/rec.wav" --workdir "$dir/fast" > /dev/null 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "the --fast replay failed"; }
timeout 120 "$ZOL" --headless --input "$dir/rec.wav" --workdir "$dir/real" > /dev/null 2> "$dir/err.txt" \
    || { cat "$dir/err.txt"; fail "the real-time replay failed"; }
check_measure "$dir/fast" 20
check_measure "$dir/real" 20
# marker, mean and minimum of each measure.txt line; low and high of each
# scope2.txt line
fields() {
    LC_ALL=C awk '{ print (substr($0, 1, 1) == "*" ? "first" : "next") " " substr($0, 21, 2) + 0 " " substr($0, 24, 2) + 0 }' \
        "$1/measure.txt"
}
windows() { LC_ALL=C awk -F, '{ print $1 + 0 " " $2 + 0 }' "$1/scope2.txt"; }
# compare FAST REAL [EXTRA]: line counts (REAL may have EXTRA more at its
# end) and markers equal; a value equal to both of
# its neighbours in FAST (a steady second) equal in REAL, others (and the
# first and last line) within 1.
compare() {
    LC_ALL=C awk '
        NR == FNR { fast[FNR] = $0; nf = FNR; next }
        { real[FNR] = $0; nr = FNR }
        END {
            # A real-time run notices the end of the file within 50 ms, later
            # on a busy machine: a reading taken meanwhile may begin one more
            # second, which is left out.
            if (nr == nf + extra) nr = nf
            if (nf != nr) { print "lines: " nf " against " nr; exit 1 }
            for (i = 1; i <= nf; ++i) {
                split(fast[i], f, " "); split(real[i], r, " ")
                split(i > 1 ? fast[i - 1] : "", p, " "); split(i < nf ? fast[i + 1] : "", q, " ")
                for (c = 1; c <= length(f); ++c) {
                    if (f[c] !~ /^[0-9]+$/) { if (f[c] != r[c]) { print "line " i ": " fast[i] " against " real[i]; bad = 1 } ; continue }
                    d = f[c] - r[c]; if (d < 0) d = -d
                    steady = f[c] == p[c] && f[c] == q[c]
                    if ((steady && d != 0) || d > 1) { print "line " i ": " fast[i] " against " real[i]; bad = 1 }
                }
            }
            exit bad
        }' extra="${3:-0}" "$1" "$2"
}
compare <(fields "$dir/fast") <(fields "$dir/real") 1 || fail "measure.txt of the real-time replay differs from the --fast one's"
compare <(windows "$dir/fast") <(windows "$dir/real") || fail "scope2.txt of the real-time replay differs from the --fast one's"
# The recording's steps show in the readings.
means=$(cut -c21-22 "$dir/fast/measure.txt" | sort -u | wc -l)
[ "$means" -ge 5 ] || fail "only $means different readings in the log"
steady=$(LC_ALL=C awk '{ print $2 }' <(fields "$dir/fast") | uniq -c | awk '$1 >= 3 { n += $1 - 2 } END { print n + 0 }')
[ "$steady" -ge 6 ] || fail "only $steady steady seconds to compare exactly"
echo "replay: --fast and real time agree on $(wc -l < "$dir/fast/measure.txt") lines, $steady of them steady seconds"
