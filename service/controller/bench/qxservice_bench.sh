#!/usr/bin/env bash
# Figures of the daemon, measured (run inside scripts/testenv):
#   bash scripts/testenv bash service/controller/bench/qxservice_bench.sh [IDLE_SECONDS]
# start to name published, CPU while idle (serving, not recording), SIGTERM to exit.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
BUILD=${TONQUIL_BUILD_DIR:-$ROOT/build}
IDLE_S=${1:-30}
base=$(mktemp -d "${TMPDIR:-/tmp}/qxbench.XXXXXX")
export TONQUIL_DATA_DIR=$base/data TONQUIL_RUNTIME_DIR=$base/run
mkdir -p "$TONQUIL_DATA_DIR" "$TONQUIL_RUNTIME_DIR"
"$BUILD/driver/tonquil-audio-driver" --source tone >/dev/null 2>&1 &
driver=$!
trap 'kill -TERM $driver 2>/dev/null; wait $driver 2>/dev/null; rm -rf "$base"' EXIT
until [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]]; do sleep 0.05; done
ms() { echo $(($(date +%s%N) / 1000000)); }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

t0=$(ms)
"$BUILD/service/controller/QXService" >/dev/null 2>&1 &
daemon=$!
until busctl --user status QXService.AudioController >/dev/null 2>&1; do sleep 0.02; done
echo "start to name published (empty cache): $(($(ms) - t0)) ms"

sleep 2
c0=$(cpu_ticks "$daemon")
sleep "$IDLE_S"
c1=$(cpu_ticks "$daemon")
hz=$(getconf CLK_TCK)
echo "idle CPU: $(awk -v d=$((c1 - c0)) -v hz="$hz" -v s="$IDLE_S" 'BEGIN{printf "%.2f", 100 * d / hz / s}') % of one core over $IDLE_S s"
echo "RSS idle: $(awk '/VmRSS/{print $2, $3}' "/proc/$daemon/status")"

t0=$(ms)
kill -TERM "$daemon"
wait "$daemon" && status=0 || status=$?
echo "SIGTERM to exit: $(($(ms) - t0)) ms (exit status $status)"
