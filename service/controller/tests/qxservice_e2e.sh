#!/usr/bin/env bash
# The daemon QXService end to end, driven with busctl the way a user would:
#   qxservice_e2e.sh QXSERVICE DRIVER CASE [CLIENT [FAKE_ENGINE]]
# CLIENT starts the service and connects to it as the desktop program does;
# FAKE_ENGINE serves the name with an engine whose settings cannot be read.
# Each run has a bus of its own (dbus-run-session) and its own data, runtime and
# temporary folders, so cases run side by side. Exit 77 skips.
set -euo pipefail

QX=$1
DRIVER=$2
CASE=$3
CLIENT=${4:-}
FAKE_ENGINE=${5:-}

source "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/e2e_prelude.sh"

CTRL=(QXService.AudioController /AudioController QXServiceLib.IAudioController)
call() { busctl --user --timeout=30 call "${CTRL[@]}" "$@"; }
# A call whose HRESULT must be S_OK; prints the rest of the answer.
ok() {
    local out
    local sig hr rest
    out=$(call "$@") || fail "$* could not be called"
    read -r sig hr rest <<<"$out"
    [[ $hr == 0 ]] || fail "$* answered $out"
    [[ -z $rest ]] || echo "$rest"
}
playlist_count() {
    busctl --user --timeout=30 call QXService.AudioController /AudioController/PlayList QXServiceLib.IPlayList Count |
        awk '{print $3}'
}
published() { busctl --user status QXService.AudioController >/dev/null 2>&1; }
wait_published() {  # seconds
    local i
    for ((i = 0; i < $1 * 10; i++)); do
        published && return 0
        sleep 0.1
    done
    return 1
}
start_driver() {
    "$DRIVER" --source tone >"$E2E_BASE/driver.log" 2>&1 &
    DRIVER_PID=$!
    PIDS+=("$DRIVER_PID")
    local i
    for ((i = 0; i < 100; i++)); do
        [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] && return 0
        sleep 0.1
    done
    fail "the driver stand-in did not come up"
}
start_daemon() {
    "$QX" "$@" >>"$E2E_BASE/daemon.log" 2>&1 &
    DAEMON_PID=$!
    PIDS+=("$DAEMON_PID")
}
# Waits for the daemon's end within $1 seconds; sets STATUS.
wait_daemon() {
    local i
    for ((i = 0; i < $1 * 10; i++)); do
        kill -0 "$DAEMON_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$DAEMON_PID" 2>/dev/null && fail "the daemon did not end within $1 s"
    STATUS=0
    wait "$DAEMON_PID" || STATUS=$?
}
# Waits up to $2 seconds for the file $1 to be written anew; 1 when it was not.
wait_save() {
    local before i
    before=$(date -r "$1" +%s%N 2>/dev/null || echo none)
    for ((i = 0; i < $2 * 10; i++)); do
        [[ $(date -r "$1" +%s%N 2>/dev/null || echo none) != "$before" ]] && return 0
        sleep 0.1
    done
    return 1
}
# The program alone in a folder of its own, with its own error log there.
private_program() {
    mkdir -p "$E2E_BASE/prog"
    cp "$QX" "$E2E_BASE/prog/QXService"
    QX=$E2E_BASE/prog/QXService
    LOG="$E2E_BASE/prog/(log-file).log"
}
# Whether the UTF-16 log $1 holds the ASCII text $2.
log_has() {
    local text
    [[ -f $1 ]] || return 1
    text=$(iconv -f UTF-16LE -t UTF-8 "$1" 2>/dev/null) || true
    [[ $text == *"$2"* ]]
}
cache_dir() {
    local out
    out=$(busctl --user call QXService.AudioController /AudioController/Settings QXServiceLib.ISettings GetCacheDir)
    out=${out#is 0 \"}
    echo "${out%\"}"
}

case $CASE in
transport | kill9 | activation)
    # The engine plays and records through the sound server.
    [[ -n ${PULSE_SERVER:-} ]] || { echo "SKIP: no sound server"; exit 77; }
    ;;
esac

case $CASE in
transport)
    # Record, pause, replay, live, stop: a selection in the playlist; SIGTERM saves it all
    # and the next start reloads it.
    python3 - "$E2E_BASE/notify.sock" "$E2E_BASE/notify.log" <<'PY' &
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
with open(sys.argv[2], "a", buffering=1) as log:
    while True:
        log.write(s.recv(4096).decode() + "\n")
PY
    PIDS+=($!)
    for ((i = 0; i < 50; i++)); do [[ -S $E2E_BASE/notify.sock ]] && break; sleep 0.1; done
    start_driver
    NOTIFY_SOCKET=$E2E_BASE/notify.sock start_daemon
    wait_published 30 || fail "the name was not published"
    for ((i = 0; i < 100; i++)); do grep -q '^READY=1' "$E2E_BASE/notify.log" 2>/dev/null && break; sleep 0.1; done
    grep -q '^READY=1' "$E2E_BASE/notify.log" || fail "no READY=1 reached the notify socket"
    ok Record
    sleep 3
    ok Pause
    ok Play
    sleep 1
    ok Live
    sleep 1
    ok StopRecord
    for ((i = 0; i < 100; i++)); do (($(playlist_count) > 0)) && break; sleep 0.1; done
    songs=$(playlist_count)
    ((songs > 0)) || fail "no selection in the playlist"
    recorded=$(ok GetTimeFullness)
    dir=$(cache_dir)
    note "songs $songs, cache $recorded ms in $dir"
    kill -TERM "$DAEMON_PID"
    wait_daemon 60
    ((STATUS == 0)) || fail "SIGTERM gave exit status $STATUS"
    grep -q '^STOPPING=1' "$E2E_BASE/notify.log" || fail "no STOPPING=1"
    [[ -s ${dir}QXCache/QXPlaylist.dat ]] || fail "no playlist saved in ${dir}QXCache"
    ls "${dir}QXCache"/QXCacheStructure*.dat >/dev/null || fail "no cache index saved"
    start_daemon
    wait_published 30 || fail "the restart did not publish"
    [[ $(playlist_count) == "$songs" ]] || fail "the restart has $(playlist_count) selections, not $songs"
    reloaded=$(ok GetTimeFullness)
    ((reloaded > 0)) || fail "the restart reloaded an empty cache"
    kill -TERM "$DAEMON_PID"
    wait_daemon 60
    ((STATUS == 0)) || fail "the second SIGTERM gave exit status $STATUS"
    ;;
second)
    private_program
    start_driver
    start_daemon
    first=$DAEMON_PID
    wait_published 30 || fail "the name was not published"
    # A refused setting leaves lines in the running daemon's log.
    busctl --user call QXService.AudioController /AudioController/Settings QXServiceLib.ISettings \
        SetMaxSongLength u 0 >/dev/null || fail "SetMaxSongLength could not be called"
    call UpdateSettings >/dev/null || fail "UpdateSettings could not be called"
    log_has "$LOG" "Maximal song length is out of range" || fail "the refusal is not in the daemon's log"
    cp "$LOG" "$E2E_BASE/log.before"
    before=$(stat -c %s "$E2E_BASE/log.before")
    mkdir -p "$E2E_BASE/before" && cp -a "$TONQUIL_DATA_DIR/." "$E2E_BASE/before/"
    start_daemon
    wait_daemon 30
    ((STATUS == 1)) || fail "a second daemon gave exit status $STATUS"
    published || fail "the first daemon lost its name"
    # The second one appended to the running daemon's log, never cut it.
    cmp -s -n "$before" "$E2E_BASE/log.before" "$LOG" || fail "the second daemon cut the running daemon's log"
    log_has "$LOG" "Another QXService is running" || fail "the refused start is not in the log"
    [[ ! -e $E2E_BASE/prog/\(log-file\).1.log ]] || fail "the second daemon moved the running daemon's log aside"
    # A signal the daemon does not serve is logged and changes nothing.
    kill -USR1 "$first"
    for ((i = 0; i < 100; i++)); do grep -q 'Bad service request' "$E2E_BASE/daemon.log" && break; sleep 0.1; done
    grep -q 'Bad service request' "$E2E_BASE/daemon.log" || fail "SIGUSR1 was not logged as a bad request"
    kill -0 "$first" && published || fail "SIGUSR1 stopped the daemon"
    DAEMON_PID=$first
    kill -TERM "$DAEMON_PID"
    wait_daemon 60
    ((STATUS == 0)) || fail "SIGTERM gave exit status $STATUS"
    ;;
nodriver)
    # The program alone in a folder, and no driver stand-in on PATH: nothing starts one.
    private_program
    # Its folder takes no log (a folder stands at the log's name): the log
    # goes to the user's state folder, with its name and content.
    mkdir "$LOG"
    export XDG_STATE_HOME=$E2E_BASE/state
    PATH=/usr/bin:/bin
    start=$(date +%s%N)
    start_daemon
    wait_daemon 60
    took=$((($(date +%s%N) - start) / 1000000))
    note "without a driver the daemon ended after $took ms with status $STATUS"
    ((STATUS == 1)) || fail "no driver gave exit status $STATUS"
    log_has "$XDG_STATE_HOME/Tonquil/(log-file).log" "StartStop was failed" ||
        fail "no \"StartStop was failed\" in the log of the state folder"
    ;;
spawns-driver)
    # Started without the driver, the daemon starts the stand-in beside it and serves.
    start_daemon
    wait_published 30 || fail "the name was not published"
    for ((i = 0; i < 100; i++)); do [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] && break; sleep 0.1; done
    [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] || fail "no driver stand-in was started"
    ok Record
    kill -TERM "$DAEMON_PID"
    wait_daemon 60
    ((STATUS == 0)) || fail "SIGTERM gave exit status $STATUS"
    # The stand-in runs on its own (another session), found by this run's folder in its
    # environment; the daemon that started it ended it before its own end.
    left=
    for env in /proc/[0-9]*/environ; do
        pid=${env#/proc/}
        pid=${pid%/environ}
        [[ $(cat "/proc/$pid/comm" 2>/dev/null) == tonquil-audio-* ]] || continue
        [[ $(awk '/^State:/{print $2}' "/proc/$pid/status" 2>/dev/null) == Z ]] && continue
        if tr '\0' '\n' <"$env" 2>/dev/null | grep -qx "E2E_BASE=$E2E_BASE"; then
            left+=" $pid"
            kill -TERM "$pid"
        fi
    done
    [[ -z $left ]] || fail "the driver stand-in the daemon started outlived it:$left"
    ;;
startup-term)
    start_driver
    start_daemon
    # As soon as the daemon holds stop requests back (its first step), long before its
    # engine is built.
    for ((i = 0; i < 1000; i++)); do
        mask=$(awk '/^SigBlk:/{print $2}' "/proc/$DAEMON_PID/status" 2>/dev/null || true)
        [[ -n $mask ]] && (((16#$mask >> 14) & 1)) && break
        sleep 0.01
    done
    published && fail "the daemon was up before the stop request"
    kill -TERM "$DAEMON_PID"
    wait_daemon 60
    ((STATUS == 0)) || fail "SIGTERM during start-up gave exit status $STATUS"
    ;;
bus-lost)
    start_driver
    # A bus of the daemon's own, ended under it.
    address_file=$E2E_BASE/bus.address
    dbus-daemon --session --nofork --print-address=3 3>"$address_file" &
    bus=$!
    PIDS+=("$bus")
    for ((i = 0; i < 50; i++)); do [[ -s $address_file ]] && break; sleep 0.1; done
    address=$(head -n1 "$address_file")
    DBUS_SESSION_BUS_ADDRESS=$address start_daemon
    for ((i = 0; i < 300; i++)); do
        DBUS_SESSION_BUS_ADDRESS=$address busctl --user status QXService.AudioController >/dev/null 2>&1 && break
        sleep 0.1
    done
    kill -KILL "$bus"
    wait_daemon 60
    ((STATUS == 1)) || fail "a lost bus gave exit status $STATUS"
    grep -q 'Service normaly stopped' "$E2E_BASE/daemon.log" || fail "the lost bus did not run the full stop"
    ;;
kill9)
    # Killed while recording, again and again: each start publishes within 10 s and has
    # at least what the cache held when its last save began. The saves come every 5 s
    # from a low-priority thread, late on a loaded machine, so a round waits for saves
    # rather than for a time: a save that ends after Record, the amount in the cache,
    # then two more saves (the second began after that reading: the first may have begun
    # before it), then the kill, which often lands while the rest is saved. A save
    # replaces only the files whose content changed: the index of the buffer that
    # records what the computer plays changes with every save while recording, and the
    # other buffers' files already hold what they would get. About 20 s a round; CI
    # runs 5, TONQUIL_KILL_ROUNDS=20 runs all 20 (7 min that hold the sound server).
    start_driver
    rounds=${TONQUIL_KILL_ROUNDS:-5}
    last=0
    for ((round = 1; round <= rounds; round++)); do
        start=$(date +%s%N)
        start_daemon
        wait_published 10 || fail "round $round: not published within 10 s"
        note "round $round: published after $((($(date +%s%N) - start) / 1000000)) ms"
        have=$(ok GetTimeFullness)
        ((have >= last)) || fail "round $round: $have ms in the cache, the last save held $last ms"
        index=$(cache_dir)QXCache/QXCacheStructure0.dat
        ok Record
        wait_save "$index" 60 || fail "round $round: no save within 60 s of Record"
        last=$(ok GetTimeFullness)
        ((last > have)) || fail "round $round: recording added nothing to the $have ms in the cache"
        for save in 1 2; do
            wait_save "$index" 60 || fail "round $round: no save within 60 s"
        done
        kill -KILL "$DAEMON_PID"
        wait "$DAEMON_PID" 2>/dev/null || true
    done
    ;;
activation)
    # -RegServer writes the activation file; a call to the name starts the daemon.
    # The program in a folder of its own, with installers that only note their runs:
    # the real one would change the shared sound server's outputs.
    mkdir -p "$E2E_BASE/prog"
    cp "$QX" "$E2E_BASE/prog/QXService"
    QX=$E2E_BASE/prog/QXService
    for name in Tavrin Tavrin64; do
        printf '#!/bin/sh\necho "$0 $*" >> "%s/installer.log"\n' "$E2E_BASE" >"$E2E_BASE/prog/$name"
        chmod +x "$E2E_BASE/prog/$name"
    done
    start_driver
    dbus-update-activation-environment TONQUIL_DATA_DIR TONQUIL_RUNTIME_DIR XDG_RUNTIME_DIR TMPDIR PULSE_SERVER HOME XDG_DATA_HOME
    "$QX" -RegServer || fail "-RegServer failed with $?"
    [[ -f $XDG_DATA_HOME/dbus-1/services/QXService.AudioController.service ]] || fail "no activation file"
    unit=$XDG_DATA_HOME/systemd/user/QXService.service
    [[ -f $unit ]] || fail "no unit file"
    if command -v systemd-analyze >/dev/null; then
        # It exits 0 on some errors: only an empty output passes.
        out=$(systemd-analyze --user verify "$unit" 2>&1 || true)
        [[ -z $out ]] || fail "systemd-analyze: $out"
    fi
    # Registration starts it through the bus; a call would too.
    wait_published 30 || fail "the registered service was not started by the bus"
    ok GetCurrentState >/dev/null
    note "activated"
    "$QX" -UnregServer || note "-UnregServer gave $? (the engine's DropCache may not be served)"
    published && fail "the service still runs after -UnregServer"
    [[ ! -e $XDG_DATA_HOME/dbus-1/services/QXService.AudioController.service ]] || fail "the activation file is left"
    [[ ! -e $unit ]] || fail "the unit file is left"
    grep -q 'Tavrin64 /install' "$E2E_BASE/installer.log" || fail "the installer was not run"
    grep -q 'Tavrin64 /uninstall' "$E2E_BASE/installer.log" || fail "the installer was not run to uninstall"
    ;;
client-while-starting)
    # A client that starts while the daemon is still building its engine asks the bus
    # to start the service; the instance the bus starts ends at once (the lock is held).
    # The first daemon still takes the name, and the client reaches it.
    [[ -x $CLIENT ]] || fail "no client program given"
    start_driver
    mkdir -p "$XDG_DATA_HOME/dbus-1/services"
    printf '#!/bin/sh\necho activated >>"%s/activated.log"\nexec "%s" >>"%s/activated.log" 2>&1\n' \
        "$E2E_BASE" "$QX" "$E2E_BASE" >"$E2E_BASE/activate.sh"
    chmod +x "$E2E_BASE/activate.sh"
    printf '[D-BUS Service]\nName=QXService.AudioController\nExec=%s\n' "$E2E_BASE/activate.sh" \
        >"$XDG_DATA_HOME/dbus-1/services/QXService.AudioController.service"
    dbus-update-activation-environment TONQUIL_DATA_DIR TONQUIL_RUNTIME_DIR XDG_RUNTIME_DIR TMPDIR HOME XDG_DATA_HOME
    start_daemon
    first=$DAEMON_PID
    # Once the daemon holds its instance lock: its engine takes seconds more.
    lock=$TONQUIL_RUNTIME_DIR/QXService.lock
    for ((i = 0; i < 3000; i++)); do
        [[ -e $lock ]] && grep -q ":$(stat -c %i "$lock") " /proc/locks && break
        sleep 0.01
    done
    grep -q ":$(stat -c %i "$lock" 2>/dev/null) " /proc/locks || fail "the daemon took no instance lock"
    # The daemon is held between its lock and its name until the client's start has
    # reached the bus: on a loaded machine the client could otherwise come up only
    # after the name, and ask a running service to start.
    kill -STOP "$first"
    published && { kill -CONT "$first"; fail "the daemon was up before the client started"; }
    # More look-ups than the default: a loaded machine builds the engine slowly.
    "$CLIENT" 60 >"$E2E_BASE/client.out" 2>"$E2E_BASE/client.err" &
    client=$!
    activated=0
    eventually 120 grep -q '^activated' "$E2E_BASE/activated.log" || activated=1
    kill -CONT "$first"
    ((activated == 0)) || { wait "$client" || true; fail "the client's start did not reach the bus"; }
    wait "$client" || fail "the client did not reach the starting daemon: $(cat "$E2E_BASE/client.err")"
    reached=$(cat "$E2E_BASE/client.out")
    # The first daemon may be reached before the instance the bus started has
    # got as far as its lock (a loaded machine starts programs slowly).
    for ((i = 0; i < 600; i++)); do
        grep -q 'QXService is already running' "$E2E_BASE/activated.log" && break
        sleep 0.05
    done
    grep -q 'QXService is already running' "$E2E_BASE/activated.log" ||
        fail "the instance the bus started did not end on the lock: $(cat "$E2E_BASE/activated.log")"
    [[ $reached == "$first" ]] || fail "the client reached process $reached, not the first daemon $first"
    published || fail "the first daemon does not own its name"
    kill -TERM "$DAEMON_PID"
    wait_daemon 60
    ((STATUS == 0)) || fail "SIGTERM gave exit status $STATUS"
    ;;
crash-restart)
    # A crash after the log was moved (as at its size limit) writes its lines into the
    # live log; the restart that follows keeps them in the old copy.
    private_program
    start_driver
    start_daemon
    wait_published 30 || fail "the name was not published"
    dir=$(cache_dir)
    mv "$LOG" "$E2E_BASE/prog/moved.log"
    kill -SEGV "$DAEMON_PID"
    wait_daemon 60
    ((STATUS == 128 + 11)) || fail "the crash gave exit status $STATUS"
    log_has "$LOG" "QXSERVICE CRASH" || fail "no crash line in the live log"
    log_has "$LOG" "Saved dump file to" || fail "no dump result in the live log"
    log_has "$E2E_BASE/prog/moved.log" "QXSERVICE CRASH" && fail "the crash lines went to the moved log"
    [[ -s $TMPDIR/QXService.dmp ]] || fail "no crash report"
    # What a kill in the middle of saves leaves beside the stored data goes at the next start.
    leftovers=("${dir}QXCache/QXPlaylist.dat.tqtmp" "${dir}QXCache/QXPlaylist.dat.bak.tqnew"
        "$TONQUIL_DATA_DIR/Tonquil/QXSettings.dat.bak.tqnew")
    mkdir -p "${dir}QXCache" "$TONQUIL_DATA_DIR/Tonquil"
    touch "${leftovers[@]}" "${dir}QXCache/notes.tqtmp"
    start_daemon
    wait_published 30 || fail "the restart did not publish"
    log_has "$E2E_BASE/prog/(log-file).1.log" "QXSERVICE CRASH" || fail "the restart lost the crash lines"
    log_has "$LOG" "QXSERVICE CRASH" && fail "the restart's log is not a new one"
    for f in "${leftovers[@]}"; do [[ ! -e $f ]] || fail "$f was left"; done
    [[ -e ${dir}QXCache/notes.tqtmp ]] || fail "a file not of the engine's own was removed"
    kill -TERM "$DAEMON_PID"
    wait_daemon 60
    ((STATUS == 0)) || fail "SIGTERM gave exit status $STATUS"
    ;;
uninstall-unreadable)
    # An engine whose cache folder cannot be read (its settings do not answer): the
    # uninstall skips the clean-up but still stops and disables the service before
    # its files go.
    [[ -x $FAKE_ENGINE ]] || fail "no fake engine given"
    private_program
    for name in Tavrin Tavrin64; do
        printf '#!/bin/sh\nexit 0\n' >"$E2E_BASE/prog/$name"
        chmod +x "$E2E_BASE/prog/$name"
    done
    # A user manager that answers and notes what it is asked.
    mkdir -p "$E2E_BASE/bin"
    printf '#!/bin/sh\necho "$*" >>"%s/systemctl.log"\nexit 0\n' "$E2E_BASE" >"$E2E_BASE/bin/systemctl"
    chmod +x "$E2E_BASE/bin/systemctl"
    "$FAKE_ENGINE" >"$E2E_BASE/engine.log" 2>&1 &
    engine=$!
    PIDS+=("$engine")
    wait_published 30 || fail "the fake engine was not published"
    PATH=$E2E_BASE/bin:$PATH "$QX" -UnregServer || note "-UnregServer gave $?"
    grep -qx -- '--user stop QXService.service' "$E2E_BASE/systemctl.log" ||
        fail "the service was not stopped: $(cat "$E2E_BASE/systemctl.log")"
    grep -qx -- '--user disable QXService.service' "$E2E_BASE/systemctl.log" || fail "the service was not disabled"
    for ((i = 0; i < 100; i++)); do kill -0 "$engine" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$engine" 2>/dev/null && fail "the engine still runs after the uninstall"
    published && fail "the name is still served"
    ;;
*)
    echo "unknown case $CASE" >&2
    exit 2
    ;;
esac
note "$CASE passed"
