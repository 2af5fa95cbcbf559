# Sourced first by the engine's end-to-end scripts, with the script's own arguments still
# in "$@": re-runs the script on a bus and in folders of its own (scripts/private-session,
# which sets E2E_BASE), then gives it what every such script needs:
#   PIDS        the processes it started (PIDS+=(...)), killed when it ends;
#   e2e_at_exit a function the script may define, run at its end after those are killed;
#   FAIL_LOGS   logs whose last lines a failure shows (paths; missing or empty ones are passed over);
#   fail MSG    says what failed, shows those logs and ends the script with 1;
#   note MSG    a line of progress;
#   eventually SECONDS CMD...  waits up to SECONDS for CMD to succeed.

if [[ -z ${TONQUIL_E2E_INSIDE:-} ]]; then
    exec bash "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/private-session" bash "$0" "$@"
fi

PIDS=()
FAIL_LOGS=()
e2e_cleanup() {
    local p
    for p in "${PIDS[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
    if declare -F e2e_at_exit >/dev/null; then e2e_at_exit || true; fi
    wait 2>/dev/null || true
}
trap e2e_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    local log
    for log in "${FAIL_LOGS[@]}"; do
        [[ -s $log ]] && { echo "--- $log" >&2; tail -n 30 "$log" >&2; }
    done
    exit 1
}
note() { echo "-- $*"; }

eventually() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
