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
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
BUILD=${TONQUIL_BUILD_DIR:-$ROOT/build}
MODE=idle
IDLE_S=30
case ${1:-} in
--cache) MODE=cache CACHE_MB=${2:?--cache needs MB} ;;
--record) MODE=record RECORD_MIN=${2:?--record needs MINUTES} ;;
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
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
memory() { awk '/VmRSS|VmHWM|RssAnon|RssFile/{printf "%s %s %s  ", $1, $2, $3}' "/proc/$daemon/status"; }
CTRL=(QXService.AudioController /AudioController QXServiceLib.IAudioController)
call() {
    local out sig hr rest
    out=$(busctl --user --timeout=60 call "${CTRL[@]}" "$@")
    read -r sig hr rest <<<"$out"
    [[ $hr == 0 ]] || { echo "$* answered $out" >&2; exit 1; }
    echo "$rest"
}

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
case $MODE in
cache)
    echo "start to name published (${CACHE_MB} MB in the cache): $(($(ms) - t0)) ms"
    echo "cache held after the start: $(call GetTimeFullness) ms of audio"
    ;;
idle)
    echo "start to name published (empty cache): $(($(ms) - t0)) ms"
    sleep 2
    c0=$(cpu_ticks "$daemon")
    sleep "$IDLE_S"
    c1=$(cpu_ticks "$daemon")
    hz=$(getconf CLK_TCK)
    echo "idle CPU: $(awk -v d=$((c1 - c0)) -v hz="$hz" -v s="$IDLE_S" 'BEGIN{printf "%.2f", 100 * d / hz / s}') % of one core over $IDLE_S s"
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
