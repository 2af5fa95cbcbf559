#!/usr/bin/env bash
# scripts/run end to end, as a user runs it:
#   run_test.sh BUILD_DIR CASE
#   keeps-data  no bus or sound server of the user's: run, record, Ctrl-C, run again; the
#               second run has the first one's recording (the data is the user's)
#   display     the same with a display of the user's: Parvane opens there, on the private
#               bus and sound server
#   desktop     a session whose sound server lacks "Tonquil Audio Device": the run adds it
#               and removes it again at its end
# Every case also checks that "ready" means a call reaches the daemon, and that the block
# of exports reaches it from outside. Exit 77 skips.
set -euo pipefail

BUILD_DIR=$1
CASE=$2
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUS_NAME=QXService.AudioController
CTRL=("$BUS_NAME" /AudioController QXServiceLib.IAudioController)
LIST=("$BUS_NAME" /AudioController/PlayList QXServiceLib.IPlayList)
export TONQUIL_BUILD_DIR=$BUILD_DIR TONQUIL_RUN_BUILD=0

fail() {
    echo "FAIL: $*" >&2
    for f in "$BASE"/*.err; do [[ -f $f ]] && { echo "--- $f" >&2; cat "$f" >&2; }; done
    exit 1
}
note() { echo "-- $*"; }

base=${TMPDIR:-/tmp}
((${#base} <= 40)) || base=/tmp
BASE=$(mktemp -d "$base/run-test.XXXXXX")
RUN_PID=
cleanup() {
    if [[ -n $RUN_PID ]] && kill -0 "$RUN_PID" 2>/dev/null; then
        kill -INT "$RUN_PID" 2>/dev/null
        wait "$RUN_PID" 2>/dev/null
    fi
    rm -rf "$BASE"
}
trap cleanup EXIT

# start_run NAME: scripts/run in the background as from a terminal (SIGINT not ignored).
start_run() {
    env --default-signal=INT,QUIT bash "$ROOT/scripts/run" >"$BASE/$1.out" 2>"$BASE/$1.err" </dev/null &
    RUN_PID=$!
}
# wait_ready NAME: until "ready" is said (the run must not end before), then loads the
# block of exports into this shell.
wait_ready() {
    local i
    for ((i = 0; i < 3000; i++)); do
        grep -q '^run: ready: ' "$BASE/$1.err" && break
        kill -0 "$RUN_PID" 2>/dev/null || fail "scripts/run ended before it was ready"
        sleep 0.1
    done
    grep -q '^run: ready: ' "$BASE/$1.err" || fail "scripts/run was not ready within 300 s"
    for ((i = 0; i < 100; i++)); do grep -q '^# then' "$BASE/$1.out" && break; sleep 0.1; done
    grep -q '^export DBUS_SESSION_BUS_ADDRESS=' "$BASE/$1.out" || fail "no bus address in the block: $(cat "$BASE/$1.out")"
    # shellcheck disable=SC1090
    source <(grep '^export ' "$BASE/$1.out")
    # Ready means ready: the first call reaches the daemon.
    ok GetCurrentState >/dev/null
    note "$(grep '^run: ready: ' "$BASE/$1.err")"
}
# stop_run NAME: Ctrl-C, then the run's end; the daemon must have ended cleanly.
stop_run() {
    local i
    kill -INT "$RUN_PID"
    for ((i = 0; i < 1200; i++)); do kill -0 "$RUN_PID" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$RUN_PID" 2>/dev/null && fail "scripts/run did not end within 120 s of Ctrl-C"
    wait "$RUN_PID" || true
    RUN_PID=
    grep -q 'QXService ended with exit status 0' "$BASE/$1.err" || fail "the daemon did not end cleanly"
}
call() { busctl --user --timeout=30 call "$@"; }
# ok METHOD: a controller call that must answer S_OK; prints the rest of the answer.
ok() {
    local out sig hr rest
    out=$(call "${CTRL[@]}" "$@") || fail "$* could not be called"
    read -r sig hr rest <<<"$out"
    [[ $hr == 0 ]] || fail "$* answered $out"
    echo "$rest"
}
count() { call "${LIST[@]}" Count | awk '{print $3}'; }

# A recording of at least 2 s that becomes a selection.
record() {
    local i
    ok Record >/dev/null
    for ((i = 0; i < 600; i++)); do (($(ok GetRecordPosition) >= 2000)) && break; sleep 0.1; done
    (($(ok GetRecordPosition) >= 2000)) || fail "nothing was recorded within 60 s"
    ok StopRecord >/dev/null
    for ((i = 0; i < 300; i++)); do (($(count) > 0)) && break; sleep 0.1; done
    (($(count) > 0)) || fail "the recording did not become a selection"
}

# A user with no session of their own: their home only.
as_user_without_session() {
    mkdir -p "$BASE/home"
    export HOME=$BASE/home
    unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_RUNTIME_DIR XDG_CACHE_HOME TONQUIL_DATA_DIR TONQUIL_RUNTIME_DIR
    unset DBUS_SESSION_BUS_ADDRESS PULSE_SERVER XAUTHORITY
}

case $CASE in
keeps-data)
    command -v pulseaudio >/dev/null || { echo "SKIP: pulseaudio is not installed"; exit 77; }
    as_user_without_session
    unset DISPLAY
    start_run first
    wait_ready first
    grep -q '^export PULSE_SERVER=' "$BASE/first.out" || fail "no PULSE_SERVER in the block"
    pactl info >/dev/null || fail "the block's PULSE_SERVER does not reach the sound server"
    record
    songs=$(count)
    position=$(ok GetRecordPosition)
    note "recorded $position ms, $songs selection(s)"
    stop_run first
    data=$HOME/.local/share/Tonquil
    [[ -s $data/QXCache/QXPlaylist.dat ]] || fail "no playlist in $data/QXCache: $(ls -R "$data" 2>&1)"
    start_run second
    wait_ready second
    [[ $(count) == "$songs" ]] || fail "the second run has $(count) selections, not $songs"
    again=$(ok GetRecordPosition)
    # The reading after StopRecord can come before the cache writer has put down the
    # last few milliseconds: the second run may hold a little more, never less.
    ((again >= position && again - position <= 1000)) ||
        fail "the second run's record position is $again ms, not $position"
    note "the second run has $songs selection(s) and $again ms"
    stop_run second
    ;;
display)
    command -v pulseaudio >/dev/null || { echo "SKIP: pulseaudio is not installed"; exit 77; }
    [[ -n ${DISPLAY:-} ]] || { echo "SKIP: no display"; exit 77; }
    xdpyinfo >/dev/null 2>&1 || { echo "SKIP: the display $DISPLAY does not answer"; exit 77; }
    user_display=$DISPLAY
    as_user_without_session
    start_run shown
    wait_ready shown
    grep -qx "export DISPLAY=$user_display" "$BASE/shown.out" || fail "the block has no DISPLAY=$user_display"
    pid=$(sed -n 's/^run: Parvane (pid \([0-9]*\)).*/\1/p' "$BASE/shown.err")
    [[ -n $pid ]] || fail "Parvane was not started"
    tr '\0' '\n' <"/proc/$pid/environ" | grep -qx "DISPLAY=$user_display" || fail "Parvane is not on the display $user_display"
    # On the private bus: its connection is there, from its process.
    for ((i = 0; i < 600; i++)); do
        busctl --user list --no-legend 2>/dev/null | awk '{print $2}' | grep -qx "$pid" && break
        kill -0 "$pid" 2>/dev/null || fail "Parvane ended: $(cat "$BASE/shown.err")"
        sleep 0.1
    done
    busctl --user list --no-legend | awk '{print $2}' | grep -qx "$pid" || fail "Parvane has no connection on the private bus"
    # And a window of its own on the user's display.
    for ((i = 0; i < 600; i++)); do
        xwininfo -root -tree 2>/dev/null | grep -q '"Tonquil' && break
        sleep 0.1
    done
    xwininfo -root -tree | grep -q '"Tonquil' || fail "no window of Parvane on $user_display"
    note "Parvane (pid $pid) runs on $user_display and the private bus"
    stop_run shown
    kill -0 "$pid" 2>/dev/null && fail "Parvane outlived the run"
    ;;
desktop)
    command -v pulseaudio >/dev/null || { echo "SKIP: pulseaudio is not installed"; exit 77; }
    if [[ -z ${RUN_TEST_INSIDE:-} ]]; then
        # A session of its own, whose sound server is then stripped of the product's output.
        RUN_TEST_INSIDE=1 exec bash "$ROOT/scripts/testenv" bash "$0" "$@"
    fi
    [[ -n ${PULSE_SERVER:-} ]] || { echo "SKIP: no sound server"; exit 77; }
    module=$(pactl list short modules | awk '/sink_name=tonquil/ {print $1}')
    pactl unload-module "$module"
    pactl list sinks | grep -q 'Tonquil Audio' && fail "the output is still there"
    unset DISPLAY
    start_run desktop
    wait_ready desktop
    pactl list sinks | grep -q 'Description: Tonquil Audio Device' || fail "the run did not add the output"
    [[ $(pactl get-default-sink) == tonquil ]] || fail "the added output is not the default"
    ok Record >/dev/null
    ok StopRecord >/dev/null
    stop_run desktop
    pactl list sinks | grep -q 'Tonquil Audio' && fail "the added output outlived the run"
    [[ $(pactl get-default-sink) == speakers ]] || fail "the default output is $(pactl get-default-sink), not speakers again"
    ;;
*)
    echo "unknown case $CASE" >&2
    exit 2
    ;;
esac
note "$CASE passed"
