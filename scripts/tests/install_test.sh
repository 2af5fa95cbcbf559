#!/usr/bin/env bash
# The programs where they are built and where they are installed:
#   install_test.sh BUILD_DIR CASE [EXAMPLE]
#   build-tree  Parvane from the build tree starts the daemon of the same tree
#   installed   `cmake --install` into a fresh prefix lays out a working system: the
#               installed daemon serves (and saves an MP3 through EXAMPLE, the D-Bus example
#               client, with the encoder library of its own folder), and the installed
#               Parvane, offscreen and with nothing of the tree on PATH, starts it
# Each run has a bus and folders of its own (scripts/private-session). Exit 77 skips.
set -euo pipefail

BUILD_DIR=$1
CASE=$2
EXAMPLE=${3:-}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

if [[ -z ${TONQUIL_E2E_INSIDE:-} ]]; then
    exec bash "$ROOT/scripts/private-session" bash "$0" "$@"
fi
[[ -n ${PULSE_SERVER:-} ]] || { echo "SKIP: no sound server"; exit 77; }

BUS_NAME=QXService.AudioController
PIDS=()
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# The processes of this run already there (the private bus).
BEFORE=$(marked_processes E2E_BASE "$E2E_BASE" | sort)
cleanup() {
    local p
    for p in "${PIDS[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    # Whatever was started detached (the daemon by Parvane, the driver by the daemon)
    # carries this run's folder in its environment.
    for p in $(comm -13 <(echo "$BEFORE") <(marked_processes E2E_BASE "$E2E_BASE" | sort)); do
        kill -TERM "$p" 2>/dev/null || true
    done
    return 0
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    for f in "$E2E_BASE"/*.log; do [[ -f $f ]] && { echo "--- $f" >&2; tail -n 30 "$f" >&2; }; done
    exit 1
}
note() { echo "-- $*"; }

owner_pid() {
    busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
        GetConnectionUnixProcessID s "$BUS_NAME" 2>/dev/null | awk '{print $2}'
}
# wait_owner SECONDS: until the bus name is owned; prints the owner's program.
wait_owner() {
    local i pid
    for ((i = 0; i < $1 * 10; i++)); do
        pid=$(owner_pid)
        [[ -n $pid ]] && { readlink "/proc/$pid/exe"; return 0; }
        sleep 0.1
    done
    return 1
}
stop_owner() {
    local pid i
    pid=$(owner_pid)
    [[ -n $pid ]] || return 0
    kill -TERM "$pid"
    for ((i = 0; i < 600; i++)); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    fail "the daemon $pid did not stop within 60 s"
}
# parvane_starts_daemon PARVANE DAEMON: Parvane, offscreen and with nothing of ours on
# PATH, starts the daemon DAEMON (the one beside it) and keeps running.
parvane_starts_daemon() {
    local exe
    PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen "$1" >"$E2E_BASE/parvane.log" 2>&1 &
    PIDS+=($!)
    exe=$(wait_owner 120) || fail "Parvane did not start a daemon: $(cat "$E2E_BASE/parvane.log")"
    [[ $exe == "$(readlink -f "$2")" ]] || fail "the daemon that Parvane started is $exe, not $2"
    kill -0 "${PIDS[-1]}" 2>/dev/null || fail "Parvane ended: $(cat "$E2E_BASE/parvane.log")"
    grep -q 'components are missing' "$E2E_BASE/parvane.log" && fail "Parvane said components are missing"
    note "$1 started $exe"
    kill -TERM "${PIDS[-1]}"
    stop_owner
}

case $CASE in
build-tree)
    parvane_starts_daemon "$BUILD_DIR/desktop/app/Parvane" "$BUILD_DIR/service/controller/QXService"
    ;;
installed)
    prefix=$E2E_BASE/prefix
    cmake --install "$BUILD_DIR" --prefix "$prefix" >"$E2E_BASE/install.log" 2>&1 || fail "cmake --install failed"
    lib=$prefix/lib/tonquil
    for f in QXService Parvane tonquil-audio-driver Tavrin Tavrin64 liblame_enc.so qxmanual.html \
        64_48000.prx 96_48000.prx 128_48000.prx 192_48000.prx 256_44100.prx 320_44100.prx; do
        [[ -e $lib/$f ]] || fail "$lib/$f is not installed"
    done
    for f in QXService Parvane tonquil-audio-driver Tavrin; do
        [[ -x $prefix/bin/$f ]] || fail "$prefix/bin/$f is not installed"
        "$prefix/bin/$f" --version >/dev/null || fail "$prefix/bin/$f --version failed"
    done
    desktop=$prefix/share/applications/parvane.desktop
    [[ -f $desktop ]] || fail "no $desktop"
    grep -qx "Exec=$prefix/bin/Parvane" "$desktop" || fail "the menu entry does not start $prefix/bin/Parvane"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || fail "the menu entry is not valid"
    fi
    [[ -f $prefix/share/icons/hicolor/scalable/apps/parvane.svg ]] || fail "no icon"
    # The installed daemon, started by its link: it starts the driver stand-in beside it.
    PATH=/usr/bin:/bin "$prefix/bin/QXService" >"$E2E_BASE/daemon.log" 2>&1 &
    PIDS+=($!)
    exe=$(wait_owner 120) || fail "the installed daemon did not serve"
    [[ $exe == "$lib/QXService" ]] || fail "the name is owned by $exe"
    if [[ -n $EXAMPLE ]]; then
        /usr/bin/python3 "$EXAMPLE" --seconds 2 "$E2E_BASE/song.mp3" >"$E2E_BASE/example.log" 2>&1 ||
            fail "the example client failed: $(cat "$E2E_BASE/example.log")"
        ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$E2E_BASE/song.mp3" | grep -qx mp3 ||
            fail "the saved file is no MP3"
        note "the installed daemon saved an MP3"
    fi
    stop_owner
    parvane_starts_daemon "$prefix/bin/Parvane" "$lib/QXService"
    ;;
*)
    echo "unknown case $CASE" >&2
    exit 2
    ;;
esac
note "$CASE passed"
