#!/usr/bin/env bash
# Figures of the daemon, measured (run inside scripts/testenv):
#   bash scripts/testenv bash service/controller/bench/qxservice_bench.sh [IDLE_SECONDS]
#       start to name published (empty cache), CPU while idle (serving, not
#       recording), RSS idle, SIGTERM to exit.
#   bash scripts/testenv bash service/controller/bench/qxservice_bench.sh --cache MB
#       start to name published with MB of audio already in the cache (filled by
#       cache_fill_bench, then loaded by the daemon at its start).
#   bash scripts/testenv bash service/controller/bench/qxservice_bench.sh --record MINUTES
#       RSS while recording what the computer plays for MINUTES (a line a minute),
#       then SIGTERM to exit.
#   bash scripts/testenv bash service/controller/bench/qxservice_bench.sh --settings ROUNDS
#       start to name published, then ROUNDS playback-device changes between
#       "Speakers" and "Headphones" as the settings window makes them
#       (SetAudioDevice, UpdateSettings, SaveSettings; min/median/max of the
#       whole round trip and of UpdateSettings alone; target <= 2500 ms), and
#       a change to a device that does not exist.
#   bash scripts/testenv bash service/controller/bench/qxservice_bench.sh --load SECONDS [CLIENTS] [ROUNDS]
#       RSS before, at the peak of, and each second up to 10 s after SECONDS of
#       CLIENTS clients (default 8) calling the daemon as fast as they can
#       (call_load_bench), for ROUNDS rounds (default 1); the memory a load
#       took should be given back within 10 s of its end (under 40 MB).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
BUILD=${TONQUIL_BUILD_DIR:-$ROOT/build}
MODE=idle
IDLE_S=30
case ${1:-} in
--cache) MODE=cache CACHE_MB=${2:?--cache needs MB} ;;
--record) MODE=record RECORD_MIN=${2:?--record needs MINUTES} ;;
--settings) MODE=settings ROUNDS=${2:?--settings needs ROUNDS} ;;
--load) MODE=load LOAD_S=${2:?--load needs SECONDS} LOAD_CLIENTS=${3:-8} LOAD_ROUNDS=${4:-1} ;;
'') ;;
*) IDLE_S=$1 ;;
esac
base=$(mktemp -d "${TMPDIR:-/tmp}/qxbench.XXXXXX")
export TONQUIL_DATA_DIR=$base/data TONQUIL_RUNTIME_DIR=$base/run
mkdir -p "$TONQUIL_DATA_DIR" "$TONQUIL_RUNTIME_DIR"
daemon=
cleanup() {
    [[ -n $daemon ]] && kill -KILL "$daemon" 2>/dev/null
    kill -TERM "$driver" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$base"
}
"$BUILD/driver/tonquil-audio-driver" --source tone >/dev/null 2>&1 &
driver=$!
trap cleanup EXIT
until [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]]; do sleep 0.05; done
ms() { echo $(($(date +%s%N) / 1000000)); }
source "$ROOT/scripts/lib/threads.sh"
memory() { awk '/VmRSS|VmHWM|RssAnon|RssFile/{printf "%s %s %s  ", $1, $2, $3}' "/proc/$daemon/status"; }
CTRL=(QXService.AudioController /AudioController QXServiceLib.IAudioController)
SETTINGS=(QXService.AudioController /AudioController/Settings QXServiceLib.ISettings)
call() {
    local out sig hr rest
    out=$(busctl --user --timeout=60 call "${CTRL[@]}" "$@")
    read -r sig hr rest <<<"$out"
    [[ $hr == 0 ]] || { echo "$* answered $out" >&2; exit 1; }
    echo "$rest"
}
# The HRESULT of a call (no check).
answer() {
    local out sig hr rest
    out=$(busctl --user --timeout=60 call "$@")
    read -r sig hr rest <<<"$out"
    echo "$hr"
}
# min/median/max of the numbers on stdin.
spread() { sort -n | awk '{v[NR] = $1} END {printf "%d / %d / %d ms", v[1], v[int((NR + 1) / 2)], v[NR]}'; }

if [[ $MODE == cache ]]; then
    "$BUILD/service/controller/cache_fill_bench" "$CACHE_MB"
    echo "cache folder on disk: $(du -sh "$TONQUIL_DATA_DIR" | cut -f1)"
fi

t0=$(ms)
"$BUILD/service/controller/QXService" >/dev/null 2>&1 &
daemon=$!
until busctl --user status QXService.AudioController >/dev/null 2>&1; do
    kill -0 "$daemon" 2>/dev/null || { echo "the daemon ended before it published its name" >&2; exit 1; }
    sleep 0.02
done
rss_kb() { awk '/VmRSS/{print $2}' "/proc/$daemon/status"; }
case $MODE in
settings)
    echo "start to name published (empty cache): $(($(ms) - t0)) ms"
    # The settings window's round: the device, the update, the save.
    change() {
        local device=$1 t1 t2 t3 hr
        t1=$(ms)
        answer "${SETTINGS[@]}" SetAudioDevice s "$device" >/dev/null
        t2=$(ms)
        hr=$(answer "${CTRL[@]}" UpdateSettings)
        t3=$(ms)
        answer "${SETTINGS[@]}" SaveSettings >/dev/null
        echo "$(($(ms) - t1)) $((t3 - t2)) $hr"
    }
    rounds=()
    for ((r = 0; r < ROUNDS; r++)); do
        device=Headphones
        ((r % 2)) && device=Speakers
        rounds+=("$(change "$device")")
        read -r _ _ hr <<<"${rounds[-1]}"
        [[ $hr == 0 ]] || { echo "the change to $device answered $hr" >&2; exit 1; }
    done
    echo "device change, settings round trip ($ROUNDS rounds): $(printf '%s\n' "${rounds[@]}" | awk '{print $1}' | spread)  (target <= 2500 ms)"
    echo "device change, UpdateSettings alone: $(printf '%s\n' "${rounds[@]}" | awk '{print $2}' | spread)"
    read -r whole update hr <<<"$(change "No Such Device")"
    echo "change to a device that does not exist: round trip $whole ms, UpdateSettings $update ms (answer $hr)"
    ;;
load)
    # The load's playlist first (call_load_bench fills it), so that the RSS
    # before the load already holds its songs.
    "$BUILD/service/controller/call_load_bench" 1 1 1 >/dev/null
    sleep 5
    echo "before the load: RSS $(rss_kb) kB"
    verdict=0
    for ((round = 1; round <= LOAD_ROUNDS; round++)); do
        "$BUILD/service/controller/call_load_bench" "$LOAD_S" "$LOAD_CLIENTS" &
        loader=$!
        peak=0 threads=0
        while kill -0 "$loader" 2>/dev/null; do
            r=$(rss_kb)
            ((r > peak)) && peak=$r
            t=$(awk '/^Threads/{print $2}' "/proc/$daemon/status")
            ((t > threads)) && threads=$t
            sleep 0.2
        done
        wait "$loader" || { echo "the load's clients failed" >&2; exit 1; }
        kill -0 "$daemon" 2>/dev/null || { echo "the daemon ended under the load" >&2; exit 1; }
        echo "round $round: peak RSS under the load: $peak kB (at most $threads threads)"
        line="round $round: RSS after the load:"
        for ((s = 1; s <= 10; s++)); do
            sleep 1
            line+=" ${s}s $(rss_kb)"
        done
        echo "$line kB; $(awk '/^Threads/{print $2}' "/proc/$daemon/status") threads"
        after=$(rss_kb)
        echo "round $round: 10 s after the load: RSS $after kB (target under 40960 kB)"
        ((after < 40960)) || verdict=1
    done
    ;;
cache)
    echo "start to name published (${CACHE_MB} MB in the cache): $(($(ms) - t0)) ms"
    echo "cache held after the start: $(call GetTimeFullness) ms of audio"
    ;;
idle)
    echo "start to name published (empty cache): $(($(ms) - t0)) ms"
    sleep 2
    w0=$(now_ns)
    c0=$(cpu_sample "$daemon")
    t_before=$(threads_sample "$daemon")
    sleep "$IDLE_S"
    t_after=$(threads_sample "$daemon")
    c1=$(cpu_sample "$daemon")
    w1=$(now_ns)
    read -r idle_ns gone < <(cpu_between "$c0" "$c1")
    echo "idle CPU: $(percent_of "$idle_ns" $((w1 - w0))) % of one core over $IDLE_S s"
    ((gone == 0)) || echo "($gone thread(s) ended inside the window: the figure is the larger of the threads' run time and the process's ticks)"
    echo "per thread (CPU % of one core, wake-ups per second):"
    threads_report "$t_before" "$t_after" "$IDLE_S"
    echo "RSS idle: $(awk '/VmRSS/{print $2, $3}' "/proc/$daemon/status")"
    ;;
record)
    echo "before recording: $(memory)"
    call Record >/dev/null
    for ((minute = 1; minute <= RECORD_MIN; minute++)); do
        sleep 60
        kill -0 "$daemon" 2>/dev/null || { echo "the daemon ended while recording" >&2; exit 1; }
        echo "after $minute min of recording: $(memory)cache $(call GetTimeFullness) ms"
    done
    ;;
esac

t0=$(ms)
kill -TERM "$daemon"
wait "$daemon" && status=0 || status=$?
daemon=
echo "SIGTERM to exit: $(($(ms) - t0)) ms (exit status $status)"
if [[ $MODE == load ]] && ((verdict != 0)); then
    echo "the daemon kept more than 40 MB 10 s after the load"
    exit 1
fi
