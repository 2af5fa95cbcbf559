#!/usr/bin/env bash
# The delay and the lost sound of the live path (a client plays into "Tonquil Audio
# Device", the driver stand-in records it, the daemon plays it on the speakers), on each
# sound server in turn, on servers of the bench's own:
#   sound_server_bench.sh [SECONDS] [pulseaudio|pipewire|both]
# The signal is a frame counter (each frame carries its own number), which the whole path
# carries bit for bit, so every lost, repeated or silent frame shows.
# Three stretches per server, each while the signal plays: with nothing passing it on (the
# server's own cost), through the driver stand-in and a recording daemon, and through the
# simplest pass-through (a pacat recorder piped into a pacat player, at 20 ms each).
# Printed per server:
#   cpu        of the daemon, the driver and the server's increase, and of the pacat pair
#              and the server's increase with it, in percent of a core; and their ratio
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

# One measured stretch: the recorders of both monitors run while the counter plays into
# the Tonquil output; prints "cpu of the processes given, server cpu" in ticks, and the
# wall time in ns, and leaves the recordings in DIR/in and DIR/out.
measure() {
    local dir=$1 p w0 w1 c0=0 c1=0 s0 s1
    shift
    python3 "$SIGNAL" record tonquil.monitor "$dir/in" >/dev/null &
    local rin=$!
    python3 "$SIGNAL" record speakers.monitor "$dir/out" >/dev/null &
    local rout=$!
    sleep 0.5
    for p in "$@"; do c0=$((c0 + $(ticks "$p"))); done
    s0=$(server_ticks); w0=$(date +%s%N)
    # 100 ms, as a desktop player asks: with pacat's default two seconds PipeWire's server
    # spins while nothing but the recorders reads the output (the first stretch's baseline).
    counter "$SECONDS_TO_PLAY" | pacat --playback --raw -d tonquil --rate=48000 --channels=2 --format=s16le --latency-msec=100
    for p in "$@"; do c1=$((c1 + $(ticks "$p"))); done
    s1=$(server_ticks); w1=$(date +%s%N)
    sleep 1
    # Each recorder's parec first, then the recorder itself.
    pkill -KILL -P "$rin" 2>/dev/null || true
    pkill -KILL -P "$rout" 2>/dev/null || true
    kill -KILL "$rin" "$rout" 2>/dev/null || true
    wait "$rin" "$rout" 2>/dev/null || true
    echo "$((c1 - c0)) $((s1 - s0)) $((w1 - w0))"
}
# Percent of a core for TICKS over NS.
percent() { awk -v t="$1" -v w="$2" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", 100 * t * 1e9 / (w * hz) }'; }

run() {
    local server=$1 dir
    export TONQUIL_SOUND_SERVER=$server
    dir=$E2E_BASE/$server
    mkdir -p "$dir"/{none,tonquil,pair}
    SOUND_DIR=$dir/sound
    if ! bash "$ROOT/scripts/sound-server" start "$SOUND_DIR"; then
        echo "$server: did not start"
        return
    fi
    export PULSE_SERVER="unix:$SOUND_DIR/pulse.sock"
    echo "$server ($SECONDS_TO_PLAY s a stretch, load $(cut -d' ' -f1-3 /proc/loadavg) at the start):"
    # The server's own cost with the signal and the recorders only: what the others add to.
    local none tonquil pair
    none=$(measure "$dir/none")

    "$DRIVER" --source pulse >"$dir/driver.log" 2>&1 </dev/null &
    local drv=$!
    PIDS+=($drv)
    for ((i = 0; i < 100; i++)); do [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] && break; sleep 0.1; done
    "$QX" >"$dir/daemon.log" 2>&1 &
    local qx=$!
    PIDS+=($qx)
    for ((i = 0; i < 300; i++)); do busctl --user status QXService.AudioController >/dev/null 2>&1 && break; sleep 0.1; done
    # The players settle before they play; the figures are those of a recording daemon.
    sleep 3
    busctl --user call QXService.AudioController /AudioController QXServiceLib.IAudioController Record >/dev/null
    local d0 d1
    d0=$(ticks "$drv")
    tonquil=$(measure "$dir/tonquil" "$qx")
    d1=$(ticks "$drv")
    kill -KILL "$qx" "$drv" 2>/dev/null || true
    wait "$qx" "$drv" 2>/dev/null || true

    # The reference: the simplest pass-through, a recorder piped into a player at 20 ms.
    mkfifo "$dir/pair.fifo"
    pacat --record --raw -d tonquil.monitor --rate=48000 --channels=2 --format=s16le --latency-msec=20 >"$dir/pair.fifo" &
    local rec=$!
    pacat --playback --raw -d speakers --rate=48000 --channels=2 --format=s16le --latency-msec=20 <"$dir/pair.fifo" &
    local play=$!
    PIDS+=($rec $play)
    sleep 1
    pair=$(measure "$dir/pair" "$rec" "$play")
    kill -KILL "$rec" "$play" 2>/dev/null || true

    read -r _ sn wn <<<"$none"
    read -r tq st wt <<<"$tonquil"
    read -r pp sp wp <<<"$pair"
    local base_t base_p
    # The server's increase over its cost in the first stretch, in ticks over each stretch.
    base_t=$(awk -v s="$sn" -v a="$wn" -v b="$wt" 'BEGIN { printf "%d", s * b / a }')
    base_p=$(awk -v s="$sn" -v a="$wn" -v b="$wp" 'BEGIN { printf "%d", s * b / a }')
    echo "  cpu      daemon $(percent "$tq" "$wt") %, driver $(percent $((d1 - d0)) "$wt") %, server +$(percent $((st - base_t)) "$wt") % (of $(percent "$st" "$wt") %)"
    echo "           pacat pair at 20 ms $(percent "$pp" "$wp") %, server +$(percent $((sp - base_p)) "$wp") %"
    awk -v a=$((tq + d1 - d0 + st - base_t)) -v wa="$wt" -v b=$((pp + sp - base_p)) -v wb="$wp" \
        'BEGIN { if (b > 0) printf "  ratio    daemon + driver + server increase / pacat pair + server increase: %.2fx\n", (a / wa) / (b / wb) }'
    echo "  through the driver and the daemon:"
    analyse "$dir/tonquil/in" "$dir/tonquil/out" || true
    echo "  through the pacat pair:"
    analyse "$dir/pair/in" "$dir/pair/out" || true
    stop_all
    SOUND_DIR=
    rm -rf "$TONQUIL_RUNTIME_DIR"/* "$TONQUIL_DATA_DIR"/*
}

case $WHICH in
both) run pulseaudio; run pipewire ;;
pulseaudio | pipewire) run "$WHICH" ;;
*) echo "usage: $0 [SECONDS] [pulseaudio|pipewire|both]" >&2; exit 2 ;;
esac
