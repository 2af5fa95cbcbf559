#!/usr/bin/env bash
# The delay and the lost sound of the live path (a client plays into "Tonquil Audio
# Device", the driver stand-in records it, the daemon plays it on the speakers), on each
# sound server in turn, on servers of the bench's own:
#   sound_server_bench.sh [SECONDS] [pulseaudio|pipewire|both]
# The signal is a sample counter (left channel: the sample's number, wrapping at 16 bits),
# which the whole path carries bit for bit, so every lost, repeated or silent sample shows.
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

# The counter signal, at real time through the client's own pacing.
counter() {
    python3 - "$1" <<'PY'
import array, sys
n = int(sys.argv[1]) * 48000
out = sys.stdout.buffer
block = 4800
for start in range(0, n, block):
    a = array.array("h")
    for i in range(start, min(start + block, n)):
        v = (i + 1) & 0xFFFF
        v = v - 65536 if v >= 32768 else v
        a.extend((v, 0))
    out.write(a.tobytes())
PY
}

analyse() {
    python3 - "$1" "$2" <<'PY'
import array, statistics, sys

def load(path):
    data = open(path, "rb").read()
    return array.array("h", data[: len(data) // 4 * 4])[0::2]

def walk(samples):
    """Where each count was heard, and the samples lost between the first and last count."""
    where = {}
    lost = gaps = 0
    first = next((i for i, s in enumerate(samples) if s != 0), None)
    if first is None:
        return where, 0, 0, None
    last = max(i for i, s in enumerate(samples) if s != 0)
    prev = None
    count = 0  # absolute count (unwrapped)
    for i in range(first, last + 1):
        s = samples[i] & 0xFFFF
        if samples[i] == 0 and prev is not None:
            lost += 1
            continue
        if prev is not None:
            step = (s - prev) & 0xFFFF
            if step != 1:
                gaps += 1
                if step < 32768:
                    lost += step - 1
            count += step
        else:
            count = s
        prev = s
        where.setdefault(count, i)
    return where, lost, gaps, first

ref, up_lost, up_gaps, _ = walk(load(sys.argv[1]))
out, lost, _, _ = walk(load(sys.argv[2]))
delays = [(out[c] - ref[c]) / 48.0 for c in range(0, max(ref) if ref else 0, 4800) if c in ref and c in out]
if not delays:
    print("  no counter reached the speakers")
    sys.exit(1)
print("  delay    %.0f ms (%.0f-%.0f ms over %d points)" % (statistics.median(delays), min(delays), max(delays), len(delays)))
print("  lost     %.1f ms at the speakers" % (lost / 48.0))
print("  upstream %.1f ms lost in %d gaps before the driver" % (up_lost / 48.0, up_gaps))
PY
}

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
    # The players settle before they play.
    sleep 3
    parec --raw -d tonquil.monitor --rate=48000 --channels=2 --format=s16le --latency-msec=10 >"$dir/in.raw" &
    PIDS+=($!)
    parec --raw -d speakers.monitor --rate=48000 --channels=2 --format=s16le --latency-msec=10 >"$dir/out.raw" &
    PIDS+=($!)
    sleep 0.5
    counter "$SECONDS_TO_PLAY" | pacat --playback --raw -d tonquil --rate=48000 --channels=2 --format=s16le
    sleep 1
    echo "$server ($SECONDS_TO_PLAY s):"
    analyse "$dir/in.raw" "$dir/out.raw" || true
    stop_all
    SOUND_DIR=
    rm -rf "$TONQUIL_RUNTIME_DIR"/* "$TONQUIL_DATA_DIR"/*
}

case $WHICH in
both) run pulseaudio; run pipewire ;;
pulseaudio | pipewire) run "$WHICH" ;;
*) echo "usage: $0 [SECONDS] [pulseaudio|pipewire|both]" >&2; exit 2 ;;
esac
