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

# The counter signal: each frame carries its own number (from 1; left channel the low 16
# bits, right channel the high ones), played at real time by the client's own pacing.
counter() {
    python3 - "$1" <<'PY'
import array, sys
n = int(sys.argv[1]) * 48000
out = sys.stdout.buffer
for start in range(1, n + 1, 4800):
    a = array.array("H")
    for i in range(start, min(start + 4800, n + 1)):
        a.extend((i & 0xFFFF, i >> 16))
    out.write(a.tobytes())
PY
}

# record SOURCE BASE: the source into BASE.raw, and "time frames-so-far" per read into BASE.times.
record() {
    python3 - "$1" "$2" <<'PY'
import os, subprocess, sys, time
p = subprocess.Popen(["parec", "--raw", "-d", sys.argv[1], "--rate=48000", "--channels=2", "--format=s16le",
                      "--latency-msec=50"], stdout=subprocess.PIPE)
total = 0
with open(sys.argv[2] + ".raw", "wb") as raw, open(sys.argv[2] + ".times", "w") as times:
    while True:
        data = os.read(p.stdout.fileno(), 65536)
        if not data:
            break
        raw.write(data)
        total += len(data)
        times.write("%.6f %d\n" % (time.monotonic(), total // 4))
        times.flush()
PY
}

analyse() {
    python3 - "$1" "$2" <<'PY'
import array, statistics, sys

def frames(path):
    data = open(path, "rb").read()
    a = array.array("H", data[: len(data) // 4 * 4])
    return [a[i] | (a[i + 1] << 16) for i in range(0, len(a), 2)]

def walk(counts):
    """Where each number was heard, and the numbers missing between the first and the last."""
    where = {}
    lost = gaps = 0
    prev = None
    for i, c in enumerate(counts):
        if c == 0:
            continue  # silence: the numbers it stands for show as a jump
        if prev is not None and c != prev + 1:
            gaps += 1
            if c > prev:
                lost += c - prev - 1
        prev = c
        where.setdefault(c, i)
    return where, lost, gaps

def arrivals(base):
    """The time each frame arrived at the recorder: that of the read that brought it."""
    stamps = [tuple(map(float, line.split())) for line in open(base + ".times")]
    def at(index):
        for t, upto in stamps:
            if index < upto:
                return t
        return stamps[-1][0]
    return at

ref, up_lost, up_gaps = walk(frames(sys.argv[1] + ".raw"))
out, lost, _ = walk(frames(sys.argv[2] + ".raw"))
ref_at, out_at = arrivals(sys.argv[1]), arrivals(sys.argv[2])
delays = [(out_at(out[c]) - ref_at(ref[c])) * 1000 for c in range(1, max(ref) if ref else 1, 4800)
          if c in ref and c in out]
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
    # Recorders that ask for small fragments would set the graph's quantum themselves. Each
    # notes when its reads arrived, so that two recorders that started apart still agree.
    record tonquil.monitor "$dir/in" &
    PIDS+=($!)
    record speakers.monitor "$dir/out" &
    PIDS+=($!)
    sleep 0.5
    counter "$SECONDS_TO_PLAY" | pacat --playback --raw -d tonquil --rate=48000 --channels=2 --format=s16le
    sleep 1
    echo "$server ($SECONDS_TO_PLAY s):"
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
