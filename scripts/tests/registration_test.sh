#!/usr/bin/env bash
# Registration in the private environment, whose bus starts services without PULSE_SERVER
# in their environment (the bus started before the sound server):
#   registration_test.sh BUILD_DIR
# -RegServer registers the daemon and the bus starts it; the daemon must still reach the
# sound server (its outputs, not the stand-ins of a machine without one) and serve.
# -UnregServer then says what it removes and removes it. Exit 77 skips.
set -euo pipefail

BUILD_DIR=$1
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
QX=$BUILD_DIR/service/controller/QXService
if [[ -z ${REGISTRATION_TEST_INSIDE:-} ]]; then
    REGISTRATION_TEST_INSIDE=1 exec bash "$ROOT/scripts/testenv" bash "$0" "$@"
fi
[[ -n ${PULSE_SERVER:-} ]] || { echo "SKIP: no sound server"; exit 77; }

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
BUS_NAME=QXService.AudioController
owner_pid() {
    busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
        GetConnectionUnixProcessID s "$BUS_NAME" 2>/dev/null | awk '{print $2}'
}
call() { busctl --user --timeout=30 call "$BUS_NAME" "$@"; }

out=$("$QX" -RegServer 2>&1) || fail "-RegServer failed: $out"
activation=$XDG_DATA_HOME/dbus-1/services/QXService.AudioController.service
unit=$XDG_DATA_HOME/systemd/user/QXService.service
[[ -f $activation && -f $unit ]] || fail "-RegServer wrote no activation file or unit"
for ((i = 0; i < 1200; i++)); do
    [[ -n $(owner_pid) ]] && break
    sleep 0.1
done
pid=$(owner_pid)
[[ -n $pid ]] || fail "the bus did not start the registered daemon"
# The case in point: the bus gave the daemon no PULSE_SERVER.
tr '\0' '\n' <"/proc/$pid/environ" | grep -q '^PULSE_SERVER=' && fail "the bus passed PULSE_SERVER; nothing is tested"
devices=()
answer=$(call /AudioController/AudioManager QXServiceLib.IAudioManager GetFirstDevice) || fail "GetFirstDevice failed"
while [[ $answer == 'is 0 '* ]]; do
    devices+=("${answer#is 0 }")
    answer=$(call /AudioController/AudioManager QXServiceLib.IAudioManager GetNextDevice) || break
done
echo "-- the activated daemon's outputs: ${devices[*]}"
printf '%s\n' "${devices[@]}" | grep -q '"Speakers"' || fail "the activated daemon does not see the sound server's outputs"
answer=$(call /AudioController QXServiceLib.IAudioController Record)
[[ $answer == 'i 0' ]] || fail "Record answered $answer"

data=${TONQUIL_DATA_DIR%/}/Tonquil/
out=$("$QX" -UnregServer 2>&1) || fail "-UnregServer failed: $out"
echo "$out"
grep -q "^QXService -UnregServer removes" <<<"$out" || fail "-UnregServer did not say what it removes"
grep -qF "every recording" <<<"$out" || fail "-UnregServer did not name the recordings"
grep -qF "QXSettings.dat) and everything else in $data" <<<"$out" || fail "-UnregServer did not name the data folder $data"
grep -qF "$unit" <<<"$out" || fail "-UnregServer did not name $unit"
[[ ! -e $activation && ! -e $unit && ! -e $data ]] || fail "-UnregServer left files"
busctl --user status "$BUS_NAME" >/dev/null 2>&1 && fail "the daemon still serves"
echo "-- registered, activated without PULSE_SERVER, unregistered"
