#!/usr/bin/env bash
# The delay and the lost sound of the live path (a client plays into "Tonquil Audio
# Device", the driver stand-in records it, the daemon plays it on the speakers), on each
# sound server in turn, on servers of the bench's own:
#   sound_server_bench.sh [SECONDS] [pulseaudio|pipewire|both]
# The signal is a frame counter (each frame carries its own number), which the whole path
# carries bit for bit, so every lost, repeated or silent frame shows.
# Printed per server:
#   delay      from the Tonquil output's monitor to the speakers' monitor (median, range)
#   lost       samples missing from the speakers (a jump in the count or silence), in ms
#   upstream   samples missing from what reached the Tonquil output itself, in ms, and
#              how many gaps (the client's stream starved by the graph)
# Run from the build folder's parent: bash service/controller/bench/sound_server_bench.sh
set -euo pipefail

SECONDS_TO_PLAY=${1:-45}
WHICH=${2:-both}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
BUILD=${TONQUIL_BUILD_DIR:-$ROOT/build}
QX=$BUILD/service/controller/QXService
DRIVER=$BUILD/driver/tonquil-audio-driver
[[ -x $QX && -x $DRIVER ]] || { echo "build QXService and tonquil-audio-driver first" >&2; exit 2; }

if [[ -z ${TONQUIL_E2E_INSIDE:-} ]]; then
    exec bash "$ROOT/scripts/private-session" bash "$0" "$@"
fi

PIDS=()
SOUND_DIR=
stop_all() {
    local p
    for p in "${PIDS[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
    PIDS=()
    [[ -n $SOUND_DIR ]] && bash "$ROOT/scripts/sound-server" stop "$SOUND_DIR" 2>/dev/null
    wait 2>/dev/null || true
}
trap stop_all EXIT

# The counter signal, its recorder and its analysis.
SIGNAL=$ROOT/service/controller/tests/counter_signal.py
counter() { python3 "$SIGNAL" generate "$1"; }
record() { python3 "$SIGNAL" record "$1" "$2"; }

# CPU ticks (user + system) of a process, and of the sound server's processes.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
server_ticks() {
    local p sum=0
    for p in $(cat "$SOUND_DIR/sound.pids" 2>/dev/null); do
        [[ -r /proc/$p/stat ]] && sum=$((sum + $(ticks "$p")))
    done
    echo $sum
}

analyse() { python3 "$SIGNAL" analyse "$1" "$2"; }

run() {
    local server=$1 dir
    export TONQUIL_SOUND_SERVER=$server
    dir=$E2E_BASE/$server
    mkdir -p "$dir"
    SOUND_DIR=$dir/sound
    if ! bash "$ROOT/scripts/sound-server" start "$SOUND_DIR"; then
        echo "$server: did not start"
        return
    fi
    export PULSE_SERVER="unix:$SOUND_DIR/pulse.sock"
    "$DRIVER" --source pulse >"$dir/driver.log" 2>&1 &
    PIDS+=($!)
    for ((i = 0; i < 100; i++)); do [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] && break; sleep 0.1; done
    "$QX" >"$dir/daemon.log" 2>&1 &
    PIDS+=($!)
    for ((i = 0; i < 300; i++)); do busctl --user status QXService.AudioController >/dev/null 2>&1 && break; sleep 0.1; done
    # The players settle before they play; the figures are those of a recording daemon.
    sleep 3
    busctl --user call QXService.AudioController /AudioController QXServiceLib.IAudioController Record >/dev/null
    # Recorders that ask for small fragments would set the graph's quantum themselves. Each
    # notes when its reads arrived, so that two recorders that started apart still agree.
    record tonquil.monitor "$dir/in" &
    PIDS+=($!)
    record speakers.monitor "$dir/out" &
    PIDS+=($!)
    sleep 0.5
    local qx=${PIDS[1]} drv=${PIDS[0]} t0 t1 d0 d1 s0 s1 w0 w1
    t0=$(ticks "$qx"); d0=$(ticks "$drv"); s0=$(server_ticks); w0=$(date +%s%N)
    counter "$SECONDS_TO_PLAY" | pacat --playback --raw -d tonquil --rate=48000 --channels=2 --format=s16le
    t1=$(ticks "$qx"); d1=$(ticks "$drv"); s1=$(server_ticks); w1=$(date +%s%N)
    sleep 1
    echo "$server ($SECONDS_TO_PLAY s, load $(cut -d' ' -f1-3 /proc/loadavg)):"
    awk -v t=$((t1 - t0)) -v d=$((d1 - d0)) -v s=$((s1 - s0)) -v w=$((w1 - w0)) -v hz="$(getconf CLK_TCK)" \
        'BEGIN { k = 100 * 1e9 / (w * hz); printf "  cpu      daemon %.2f %%, driver %.2f %%, server %.2f %% of a core\n", t * k, d * k, s * k }'

    analyse "$dir/in" "$dir/out" || true
    stop_all
    SOUND_DIR=
    rm -rf "$TONQUIL_RUNTIME_DIR"/* "$TONQUIL_DATA_DIR"/*
}

case $WHICH in
both) run pulseaudio; run pipewire ;;
pulseaudio | pipewire) run "$WHICH" ;;
*) echo "usage: $0 [SECONDS] [pulseaudio|pipewire|both]" >&2; exit 2 ;;
esac
