#!/usr/bin/env bash
# parvane_e2e.sh QXSERVICE DRIVER TEST
# Runs the end-to-end test of the desktop program on a bus of its own, with
# the driver stand-in playing a tone; the test starts the daemon itself. After
# it, the daemon must still run; it is stopped here.
set -euo pipefail

QX=$1
DRIVER=$2
TEST=$3

if [[ -z ${TONQUIL_E2E_INSIDE:-} ]]; then
    command -v ffprobe >/dev/null || { echo "SKIP: ffprobe is missing"; exit 77; }
    exec bash "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/private-session" bash "$0" "$@"
fi

PIDS=()
cleanup() {
    local p i
    # The daemon first (it saves and closes its link to the driver), then the driver;
    # the daemon is no child of this shell, so its end is waited for here.
    for p in "${PIDS[@]}"; do
        kill -TERM "$p" 2>/dev/null || true
        for ((i = 0; i < 200; i++)); do
            kill -0 "$p" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$p" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT

"$DRIVER" --source tone >"$E2E_BASE/driver.log" 2>&1 &
PIDS+=($!)
for ((i = 0; i < 100; i++)); do
    [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] && break
    sleep 0.1
done
[[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] || { echo "FAIL: the driver stand-in did not come up"; exit 1; }

# The daemon is started by the program, from PATH.
platform=offscreen
[[ -n ${DISPLAY:-} ]] && platform=xcb
rc=0
PATH=$(dirname "$QX"):$PATH QT_QPA_PLATFORM=$platform "$TEST" || rc=$?
# (No owner of the name is an answer here, not an error that ends the script.)
daemon=$(busctl --user status QXService.AudioController 2>/dev/null | awk -F= '/^PID=/{print $2}' || true)
if [[ -n $daemon ]]; then
    PIDS=("$daemon" "${PIDS[@]}")
elif ((rc == 0)); then
    echo "FAIL: the daemon did not keep running after Parvane closed"
    rc=1
fi
if ((rc != 0)); then
    # What the daemon left behind says why it went: its logs and any fault
    # report (its signal, registers and backtrace; not the memory map and stack bytes).
    find "$E2E_BASE" -type f -name '*.log' 2>/dev/null | while read -r f; do
        echo "--- $f (end)"
        tail -c 3000 "$f" | tr -d '\0'
        echo
    done
    find "$E2E_BASE" -type f -name '*.dmp' 2>/dev/null | while read -r f; do
        echo "--- $f"
        sed '/^memory map:/q' "$f" | head -c 20000
        echo
    done
fi
exit $rc
