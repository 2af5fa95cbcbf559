#!/usr/bin/env bash
# A save of the real daemon killed half-way leaves nothing in the user's
# folder, the next save into that folder removes the hidden files that dead
# saves left there, and a save refused for want of a bit rate is in the
# service's error list:
#   save_kill_e2e.sh QXSERVICE DRIVER SAVER
# SAVER saves the playlist's last song into the file it is given. Runs on a
# bus and in folders of its own. Exit 77 skips.
set -euo pipefail

QX=$1
DRIVER=$2
SAVER=$3

source "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/e2e_prelude.sh"
[[ -n ${PULSE_SERVER:-} ]] || { echo "SKIP: no sound server"; exit 77; }
FAIL_LOGS=("$E2E_BASE/daemon.log" "$E2E_BASE/saver.log")

SERVICE=QXService.AudioController
# A call whose HRESULT must be S_OK; prints the rest of the answer.
ok() {
    local out sig hr rest
    out=$(busctl --user --timeout=60 call "$SERVICE" "$@") || fail "$* could not be called"
    read -r sig hr rest <<<"$out"
    [[ $hr == 0 ]] || fail "$* answered $out"
    echo "$rest"
}
ctrl() { ok /AudioController QXServiceLib.IAudioController "$@"; }
playlist() { ok /AudioController/PlayList QXServiceLib.IPlayList "$@"; }

start_daemon() {
    "$QX" >>"$E2E_BASE/daemon.log" 2>&1 &
    DAEMON_PID=$!
    PIDS+=("$DAEMON_PID")
    local i
    for ((i = 0; i < 600; i++)); do
        busctl --user status "$SERVICE" >/dev/null 2>&1 && return 0
        kill -0 "$DAEMON_PID" 2>/dev/null || fail "the daemon ended at start"
        sleep 0.1
    done
    fail "the daemon was not published within 60 s"
}
# Records $1 seconds into a new song at the end of the playlist.
record_song() {
    local before i
    before=$(playlist Count)
    ctrl Record >/dev/null
    sleep "$1"
    ctrl StopRecord >/dev/null
    for ((i = 0; i < 300; i++)); do
        (($(playlist Count) > before)) && break
        sleep 0.1
    done
    (($(playlist Count) > before)) || fail "no song after recording"
}
# True while the daemon writes a file into the folder $1 that has no name yet
# (an unnamed file shows as "#inode (deleted)", a hidden one by its prefix); a
# file already named is a finished save. One look at all its descriptors: a
# save lasts well under a second.
writing_into() { ls -l /proc/"$DAEMON_PID"/fd 2>/dev/null | grep -qF -e " -> $1/#" -e " -> $1/.tonquil-save-"; }

OUT=$E2E_BASE/out
mkdir -p "$OUT"
"$DRIVER" --source tone >"$E2E_BASE/driver.log" 2>&1 &
PIDS+=($!)
for ((i = 0; i < 100; i++)); do [[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] && break; sleep 0.1; done
[[ -S $TONQUIL_RUNTIME_DIR/ParvaneAD ]] || fail "the driver stand-in did not come up"

start_daemon
record_song 8

# A save is started again until one is caught writing; then the daemon dies.
killed=0
for ((attempt = 1; attempt <= 20 && !killed; attempt++)); do
    "$SAVER" "$OUT/song$attempt.ogg" >>"$E2E_BASE/saver.log" 2>&1 &
    saver=$!
    while kill -0 "$saver" 2>/dev/null; do
        if writing_into "$OUT"; then
            kill -KILL "$DAEMON_PID"
            killed=1
            break
        fi
    done
    status=0
    wait "$saver" 2>/dev/null || status=$?
    echo "try $attempt: the saver ended with $status" >>"$E2E_BASE/saver.log"
    rm -f "$OUT"/song*.ogg
done
((killed)) || fail "no save was caught writing in 20 tries"
wait "$DAEMON_PID" 2>/dev/null || true
note "killed while saving (try $((attempt - 1)))"
left=$(ls -A "$OUT")
[[ -z $left ]] || fail "the killed save left: $left"

# A hidden file that a dead save of an older kind left, and one that is not
# ours: the next save into the folder removes the first only.
echo partial >"$OUT/.tonquil-save-0123456789ab.part"
echo mine >"$OUT/.tonquil-save-mine.part"
start_daemon
record_song 2
"$SAVER" "$OUT/after.ogg" >>"$E2E_BASE/saver.log" 2>&1 || fail "the save after the restart failed: $(tail -3 "$E2E_BASE/saver.log")"
left=$(ls -A "$OUT" | tr '\n' ' ')
[[ $left == ".tonquil-save-mine.part after.ogg " ]] || fail "after the next save the folder holds: $left"

# A fresh encoder without a bit rate: the save fails and the error list says
# why, naming the file.
errors=$("$SAVER" "$OUT/norate.ogg" --no-rate 2>&1) || fail "the save without a bit rate: $errors"
grep -qF "$OUT/norate.ogg" <<<"$errors" && grep -qF "No bit rate was set" <<<"$errors" ||
    fail "the error list after a save without a bit rate: $errors"
[[ ! -e $OUT/norate.ogg ]] || fail "the save without a bit rate made a file"
kill -TERM "$DAEMON_PID"
wait "$DAEMON_PID" 2>/dev/null || true
note "passed"
