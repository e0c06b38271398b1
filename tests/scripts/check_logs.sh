# Shared checks of a working folder after a run of zol (sourced).
fail() { echo "FAIL: $*" >&2; exit 1; }

# Every measure.txt line: 25 characters, CR LF, "*" first, blanks after.
check_measure() {
    local file="$1/measure.txt" min_lines="$2"
    [ -f "$file" ] || fail "no measure.txt"
    local n
    n=$(wc -l < "$file")
    [ "$n" -ge "$min_lines" ] || fail "measure.txt has $n lines, wanted at least $min_lines"
    LC_ALL=C awk -v RS='\n' '
        { if (length($0) != 26 || substr($0, 26, 1) != "\r") { print "bad line " NR ": " $0; bad = 1 } }
        NR == 1 && substr($0, 1, 1) != "*" { print "first line without *"; bad = 1 }
        NR > 1 && substr($0, 1, 1) != " " { print "later line without blank: " NR; bad = 1 }
        $0 !~ /^[* ],[0-9][0-9]:[0-9][0-9]:[0-9][0-9],[0-9][0-9].[0-9][0-9].[0-9][0-9],[0-9][0-9],[0-9][0-9]\r$/ { print "bad format " NR ": " $0; bad = 1 }
        END { exit bad }' "$file" || fail "measure.txt is not well formed"
}

# Every measure.txt line has the exact format (runs of several starts: any
# marker); at least $2 lines.
check_measure_lines() {
    local file="$1/measure.txt" min_lines="$2"
    [ -f "$file" ] || fail "no measure.txt"
    local n
    n=$(wc -l < "$file")
    [ "$n" -ge "$min_lines" ] || fail "measure.txt has $n lines, wanted at least $min_lines"
    LC_ALL=C grep -navE $'^[* ],[0-9][0-9]:[0-9][0-9]:[0-9][0-9],[0-9][0-9].[0-9][0-9].[0-9][0-9],[0-9][0-9],[0-9][0-9]\r$' "$file" \
        && fail "measure.txt is not well formed"
    return 0
}

check_scope2() {
    local file="$1/scope2.txt" min_lines="$2"
    [ -f "$file" ] || fail "no scope2.txt"
    local n
    n=$(wc -l < "$file")
    [ "$n" -ge "$min_lines" ] || fail "scope2.txt has $n lines, wanted at least $min_lines"
    LC_ALL=C grep -qvE $'^[0-9][0-9],[0-9][0-9]\r$' "$file" && fail "scope2.txt is not well formed"
    return 0
}

check_ini() {
    local file="$1/zol.ini"
    [ -f "$file" ] || fail "no zol.ini"
    for key in BASEGAIN THRESHOLD DBCALIBRATE CALIBRATED; do
        grep -q "^$key=" "$file" || fail "zol.ini lacks $key"
    done
}

# The mean dB field of the last measure.txt line.
last_mean() { tail -n 1 "$1/measure.txt" | cut -c21-22; }
