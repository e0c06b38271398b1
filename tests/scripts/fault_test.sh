#!/usr/bin/env bash
# zol against a working folder that fails it: the folder read-only, the logs'
# names taken by folders, a full filesystem (and space coming back mid-run),
# zol.ini read-only. Each time: a clear message on standard error, measuring
# goes on (headless runs print their lines), nothing already written is
# changed, and the exit code says the run was not clean.
#   fault_test.sh ZOL CASE    CASE: readonly-folder | log-folders | full-disk | readonly-ini
# Exits 77 (skipped) with the reason when this machine cannot set the case up.
set -u
ZOL="$1"
CASE="$2"
. "$(dirname "$0")/check_logs.sh"
skip() { echo "SKIPPED: $*"; exit 77; }

dir=$(mktemp -d)
mounted=""
cleanup() {
    [ -n "$mounted" ] && umount "$mounted" 2> /dev/null
    chmod -R u+w "$dir" 2> /dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
chmod 755 "$dir"

# Permissions do not hold back root: as root the restricted runs are made as
# the user "nobody".
as_user=()
restricted_user() {
    if [ "$(id -u)" -eq 0 ]; then
        command -v setpriv > /dev/null || skip "running as root and setpriv is missing"
        id nobody > /dev/null 2>&1 || skip "running as root and there is no user nobody"
        as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
        "${as_user[@]}" test -x "$ZOL" || skip "the user nobody cannot run $ZOL"
    fi
}
own() { [ "$(id -u)" -eq 0 ] && chown -R nobody "$@"; return 0; }

# Runs zol on folder $1 with the remaining arguments; sets and returns rc;
# its output goes to $out and $err.
out="$dir/out.txt"
err="$dir/err.txt"
run_zol() {
    local w="$1"
    shift
    "${as_user[@]}" "$ZOL" --headless --input sim --workdir "$w" "$@" > "$out" 2> "$err"
    rc=$?
    return $rc
}
expect_unclean() {
    [ "$rc" -ne 0 ] || { cat "$err"; fail "$1: exit code 0 after a failure"; }
    [ "$rc" -ne 2 ] || { cat "$err"; fail "$1: refused to run (exit 2)"; }
}
expect_message() {
    grep -qF -- "$1" "$err" || { echo "--- stderr:"; cat "$err"; fail "no message \"$1\""; }
}
expect_measuring() {
    local n
    n=$(grep -c '^[* ],[0-9][0-9]:' "$out")
    [ "$n" -ge "$1" ] || fail "measuring did not go on: $n lines printed"
}
snapshot() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r sha1sum; find . | sort); }
# A folder as an earlier run leaves it (made by the user running the test).
history() {
    local saved=("${as_user[@]}")
    as_user=()
    run_zol "$1" --fast --duration 40
    as_user=("${saved[@]}")
    [ "$rc" -eq 0 ] || { cat "$err"; fail "preparing a folder failed"; }
}

case "$CASE" in
readonly-folder)
    restricted_user
    # Everything read-only: nothing can be logged or saved, measuring goes on.
    w="$dir/ro"
    history "$w"
    before=$(snapshot "$w")
    [ "$(id -u)" -eq 0 ] || chmod -R a-w "$w"
    run_zol "$w" --fast --duration 40
    expect_unclean "read-only folder"
    expect_message "$w/measure.txt"
    expect_message "$w/scope2.txt"
    expect_message "Unable to write to $w/zol.ini: "
    expect_measuring 30
    [ "$(snapshot "$w")" = "$before" ] || fail "a read-only folder was changed"

    # The folder refuses new files but the files may be written: the logs
    # grow, zol.ini cannot be replaced and stays as it was, and says why.
    w="$dir/nonew"
    history "$w"
    own "$w"
    chmod a-w "$w"
    ini=$(sha1sum < "$w/zol.ini")
    lines=$(wc -l < "$w/measure.txt")
    run_zol "$w" --fast --duration 40
    expect_unclean "folder refusing new files"
    expect_message "Unable to write to $w/zol.ini: "
    [ "$(sha1sum < "$w/zol.ini")" = "$ini" ] || fail "zol.ini was changed in a folder that refuses new files"
    [ "$(wc -l < "$w/measure.txt")" -gt "$lines" ] || fail "measure.txt was not appended to"
    check_measure_lines "$w" 60
    check_scope2 "$w" 2
    ;;
log-folders)
    w="$dir/folders"
    mkdir -p "$w/measure.txt" "$w/scope2.txt"
    run_zol "$w" --fast --duration 40
    expect_unclean "logs that are folders"
    expect_message "$w/measure.txt: Is a directory"
    expect_message "$w/scope2.txt: Is a directory"
    grep -q "Permission denied" "$err" && { cat "$err"; fail "a folder reported as a permission problem"; }
    expect_measuring 30
    check_ini "$w"
    [ -z "$(find "$w/measure.txt" "$w/scope2.txt" -mindepth 1)" ] || fail "something was written into the folders"

    # Logs that are links to endless devices: refused at once, and the run
    # (in real time) ends when its duration is up.
    w="$dir/devices"
    mkdir -p "$w"
    ln -s /dev/zero "$w/measure.txt"
    ln -s /dev/urandom "$w/scope2.txt"
    timeout 60 "$ZOL" --headless --input sim --duration 4 --workdir "$w" > "$out" 2> "$err"
    rc=$?
    [ "$rc" -ne 124 ] || fail "a log linked to a device kept zol from ending"
    expect_unclean "logs linked to devices"
    expect_message "$w/measure.txt: Not a regular file"
    expect_message "$w/scope2.txt: Not a regular file"
    expect_measuring 1
    ;;
full-disk)
    # A small filesystem of its own: as root a tmpfs, otherwise one in a user
    # namespace when the kernel allows it. (The unit tests cover a full disk
    # through the write path's test seam everywhere.)
    m="$dir/fs"
    mkdir "$m"
    if [ "$(id -u)" -ne 0 ]; then
        if [ -z "${ZOL_IN_NAMESPACE:-}" ] && unshare --user --map-root-user --mount true 2> /dev/null; then
            ZOL_IN_NAMESPACE=1 exec unshare --user --map-root-user --mount bash "$0" "$@"
        fi
        [ -n "${ZOL_IN_NAMESPACE:-}" ] || skip "not root and no user namespaces: cannot mount a small filesystem"
    fi
    mount -t tmpfs -o size=256k tmpfs "$m" 2> /dev/null || skip "cannot mount a tmpfs here"
    mounted="$m"
    w="$m/w"
    history "$w"
    # The station's own value of DBCALIBRATE, edited by hand.
    sed -i 's/^DBCALIBRATE=.*/DBCALIBRATE=41\r/' "$w/zol.ini"
    # measure.txt ends 11 bytes before the end of its last page: with the disk
    # full the next line can only be written in part.
    lines=$(wc -l < "$w/measure.txt")
    while [ $(( (lines * 27) % 4096 )) -ne 4085 ]; do
        echo -n $' ,12:00:00,12/08/26,50,40\r\n' >> "$w/measure.txt"
        lines=$((lines + 1))
    done
    dd if=/dev/zero of="$m/filler" bs=4k > /dev/null 2>&1
    mkdir "$dir/before"
    cp -p "$w"/* "$dir/before/"

    # Full at the end of the run: zol.ini is kept whole, the failure is said,
    # what the logs held stays as it was (lines that still fit in a log's
    # last block may follow it).
    run_zol "$w" --fast --duration 40
    expect_unclean "full disk"
    expect_message "No space left on device"
    expect_message "Unable to write to $w/zol.ini: "
    expect_measuring 30
    cmp "$dir/before/zol.ini" "$w/zol.ini" || fail "a full disk changed zol.ini"
    for log in measure.txt scope2.txt; do
        cmp -n "$(stat -c %s "$dir/before/$log")" "$dir/before/$log" "$w/$log" || fail "a full disk changed $log"
    done
    [ "$(ls "$w")" = "$(ls "$dir/before")" ] || fail "a full disk left a file behind"
    check_measure_lines "$w" "$lines"
    grep -q $'^DBCALIBRATE=41\r$' "$w/zol.ini" || fail "DBCALIBRATE lost"

    # Space comes back in the middle of a run: no line runs into a cut one.
    # It comes back once zol has met the full disk, however long a busy
    # machine takes to get there.
    run_zol "$w" --duration 12 &
    pid=$!
    for _ in $(seq 1 600); do
        grep -q "No space left on device" "$err" 2> /dev/null && break
        kill -0 "$pid" 2> /dev/null || break
        sleep 0.1
    done
    rm -f "$m/filler"
    wait "$pid"
    rc=$?
    expect_unclean "full disk until mid-run"
    check_measure_lines "$w" $((lines + 2))
    check_scope2 "$w" 2
    grep -q $'^DBCALIBRATE=41\r$' "$w/zol.ini" || fail "DBCALIBRATE lost after space came back"
    check_ini "$w"
    [ "$(grep -c "No space left on device" "$err")" -le 4 ] || { cat "$err"; fail "the same failure was reported over and over"; }
    ;;
readonly-ini)
    restricted_user
    w="$dir/roini"
    history "$w"
    own "$w"
    chmod 444 "$w/zol.ini"
    ini=$(sha1sum < "$w/zol.ini")
    lines=$(wc -l < "$w/measure.txt")
    run_zol "$w" --fast --duration 40
    expect_unclean "read-only zol.ini"
    expect_message "Unable to write to $w/zol.ini: Permission denied"
    expect_measuring 30
    [ "$(sha1sum < "$w/zol.ini")" = "$ini" ] || fail "a read-only zol.ini was replaced"
    [ "$(stat -c %a "$w/zol.ini")" = "444" ] || fail "zol.ini lost its mode"
    [ "$(wc -l < "$w/measure.txt")" -gt "$lines" ] || fail "measure.txt was not appended to"
    check_measure_lines "$w" 60
    ;;
*)
    fail "unknown case $CASE"
    ;;
esac
echo "fault case $CASE: passed"
