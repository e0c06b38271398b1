# Private PulseAudio server for the ALSA tests: a null sink and a 650 Hz sine
# source as the default capture source, reachable through ALSA's "default"
# device. Source this file, then call zol_pulse_start / zol_pulse_stop.
# zol_pulse_start exports PULSE_SERVER, ALSA_CONFIG_PATH and ZOL_PULSE_DIR.

zol_pulse_start() {
    ZOL_PULSE_DIR=$(mktemp -d /tmp/zol-pulse.XXXXXX)
    export ZOL_PULSE_DIR
    mkdir -p "$ZOL_PULSE_DIR/run"
    cat > "$ZOL_PULSE_DIR/asound.conf" <<'CONF'
pcm.!default { type pulse }
ctl.!default { type pulse }
CONF
    (
        export HOME="$ZOL_PULSE_DIR" PULSE_RUNTIME_PATH="$ZOL_PULSE_DIR/run"
        exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
            --use-pid-file=no --system=no \
            -L "module-native-protocol-unix socket=$ZOL_PULSE_DIR/native auth-anonymous=1" \
            -L "module-null-sink" \
            -L "module-sine-source frequency=650" \
            --log-target=file:"$ZOL_PULSE_DIR/pulse.log"
    ) &
    ZOL_PULSE_PID=$!
    export ZOL_PULSE_PID
    export PULSE_SERVER="unix:$ZOL_PULSE_DIR/native"
    export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$ZOL_PULSE_DIR/asound.conf"
    for _ in $(seq 1 100); do
        if pactl info >/dev/null 2>&1; then
            pactl set-default-source sine_input >/dev/null 2>&1
            return 0
        fi
        sleep 0.1
    done
    echo "zol: the private PulseAudio server did not start" >&2
    cat "$ZOL_PULSE_DIR/pulse.log" >&2 2>/dev/null
    return 1
}

zol_pulse_stop() {
    if [ -n "${ZOL_PULSE_PID:-}" ]; then
        kill "$ZOL_PULSE_PID" 2>/dev/null
        wait "$ZOL_PULSE_PID" 2>/dev/null
        unset ZOL_PULSE_PID
    fi
    [ -n "${ZOL_PULSE_DIR:-}" ] && rm -rf "$ZOL_PULSE_DIR"
    unset ZOL_PULSE_DIR
}
