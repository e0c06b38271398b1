# Private PulseAudio server for the ALSA tests: a 650 Hz sine played into a
# null sink, whose monitor is the default capture source, reachable through
# ALSA's "default" device. (The server's own sine source makes its audio in
# two-second blocks; the sink's monitor delivers every 100-200 ms, as a
# sound card does, so a meter reading is never seconds old.) Source this
# file, then call zol_pulse_start / zol_pulse_stop.
# zol_pulse_start exports PULSE_SERVER, ALSA_CONFIG_PATH and ZOL_PULSE_DIR.
# A test may take the server away and bring it back (a sound server that
# restarts): zol_pulse_halt stops it, zol_pulse_relaunch starts it again on
# the same socket. The running server's process id is kept in
# $ZOL_PULSE_DIR/server.pid, so zol_pulse_stop ends a relaunched one too.

# Starts the server in $ZOL_PULSE_DIR and waits until it answers.
zol_pulse_launch() {
    mkdir -p "$ZOL_PULSE_DIR/run"
    (
        export HOME="$ZOL_PULSE_DIR" PULSE_RUNTIME_PATH="$ZOL_PULSE_DIR/run"
        exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
            --use-pid-file=no --system=no \
            -L "module-native-protocol-unix socket=$ZOL_PULSE_DIR/native auth-anonymous=1" \
            -L "module-null-sink channels=1" \
            -L "module-sine sink=null frequency=650" \
            --log-target=file:"$ZOL_PULSE_DIR/pulse.log" \
            < /dev/null >> "$ZOL_PULSE_DIR/pulse.out" 2>&1
    ) &
    ZOL_PULSE_PID=$!
    export ZOL_PULSE_PID
    echo "$ZOL_PULSE_PID" > "$ZOL_PULSE_DIR/server.pid"
    for _ in $(seq 1 100); do
        if pactl info >/dev/null 2>&1; then
            pactl set-default-source null.monitor >/dev/null 2>&1
            return 0
        fi
        sleep 0.1
    done
    echo "zol: the private PulseAudio server did not start" >&2
    cat "$ZOL_PULSE_DIR/pulse.log" >&2 2>/dev/null
    return 1
}

zol_pulse_start() {
    ZOL_PULSE_DIR=$(mktemp -d /tmp/zol-pulse.XXXXXX)
    export ZOL_PULSE_DIR
    cat > "$ZOL_PULSE_DIR/asound.conf" <<'CONF'
pcm.!default { type pulse }
ctl.!default { type pulse }
CONF
    export PULSE_SERVER="unix:$ZOL_PULSE_DIR/native"
    export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$ZOL_PULSE_DIR/asound.conf"
    zol_pulse_launch
}

# The process id of the server running now (empty when none).
zol_pulse_pid() {
    if [ -n "${ZOL_PULSE_DIR:-}" ] && [ -f "$ZOL_PULSE_DIR/server.pid" ]; then
        cat "$ZOL_PULSE_DIR/server.pid"
    fi
    return 0
}

# Whether process $1 runs (a process that has ended but was not waited for
# by its parent, which may be another shell, does not).
zol_pulse_alive() {
    [ -r "/proc/$1/stat" ] && ! grep -qE '^[0-9]+ \(.*\) [ZX] ' "/proc/$1/stat" 2>/dev/null
}

# Stops the running server and waits until it has gone; its folder stays.
zol_pulse_halt() {
    local pid
    pid=$(zol_pulse_pid || true)
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
        zol_pulse_alive "$pid" || break
        sleep 0.1
    done
    if zol_pulse_alive "$pid"; then
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
    rm -f "$ZOL_PULSE_DIR/server.pid"
    return 0
}

# Starts the server again on the socket it had.
zol_pulse_relaunch() {
    [ -n "${ZOL_PULSE_DIR:-}" ] || { echo "zol: no private PulseAudio server to relaunch" >&2; return 1; }
    zol_pulse_launch
}

# Safe under `set -e`: a server that has gone already is no failure.
zol_pulse_stop() {
    local pid p
    pid=$(zol_pulse_pid || true)
    for p in $(printf '%s\n' ${ZOL_PULSE_PID:-} $pid | sort -u); do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    unset ZOL_PULSE_PID
    if [ -n "${ZOL_PULSE_DIR:-}" ]; then
        rm -rf "$ZOL_PULSE_DIR"
    fi
    unset ZOL_PULSE_DIR
    return 0
}
