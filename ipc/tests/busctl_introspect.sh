#!/usr/bin/env bash
# busctl, the system's own bus tool, sees the contract on a running service:
# its interfaces and signals at /AudioController, its objects, and a method
# that answers. Runs on a bus of its own so that the well-known name is free.
# usage: busctl_introspect.sh PATH-OF-ipc_test_peer
set -euo pipefail
peer=$1
name=QXService.AudioController

if ! command -v dbus-run-session >/dev/null || ! command -v busctl >/dev/null; then
    echo "dbus-run-session or busctl is not installed: skipped"
    exit 77
fi
if [[ -z ${IPC_OWN_BUS:-} ]]; then
    IPC_OWN_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

coproc PEER { exec "$peer" service "$name"; }
trap 'exec {PEER[1]}>&- 2>/dev/null || true; wait "$PEER_PID" 2>/dev/null || true' EXIT
read -r -t 20 line <&"${PEER[0]}" || fail "the test service did not start"
[[ $line == ready* ]] || fail "unexpected first line: $line"

introspection=$(busctl --user introspect "$name" /AudioController)
echo "$introspection"
for iface in QXServiceLib.IAudioController QXServiceLib._IAudioControllerEvents QXServiceLib.IUnknown; do
    grep -Eq "^$iface +interface" <<<"$introspection" || fail "$iface is not listed"
done
for member in .Play .GetCurrentState .CreateNewEncoder .QueryInterface; do
    grep -Eq "^\\$member +method" <<<"$introspection" || fail "method $member is not listed"
done
for member in .SongDetected .CacheLoading; do
    grep -Eq "^\\$member +signal" <<<"$introspection" || fail "signal $member is not listed"
done

tree=$(busctl --user tree "$name")
for path in /AudioController/Settings /AudioController/PlayList /AudioController/AudioManager \
    /AudioController/CaptureManager; do
    grep -q -- "$path" <<<"$tree" || fail "$path is not exported"
done

answer=$(busctl --user call "$name" /AudioController QXServiceLib.IAudioController GetCurrentState)
[[ $answer == "iu 0 165" ]] || fail "GetCurrentState answered: $answer"
answer=$(busctl --user call "$name" /AudioController/Settings QXServiceLib.ISettings SetCBR u 192)
[[ $answer == "i 0" ]] || fail "SetCBR answered: $answer"
echo "busctl sees the contract"
