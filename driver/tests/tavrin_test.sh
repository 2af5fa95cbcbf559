#!/usr/bin/env bash
# Tavrin against a sound server of its own: install, install again, uninstall,
# uninstall again, bad usage, and no server at all.
set -u
tavrin=$1
command -v pulseaudio >/dev/null 2>&1 || { echo "SKIP: pulseaudio is not installed"; exit 77; }
command -v pactl >/dev/null 2>&1 || { echo "SKIP: pactl is not installed"; exit 77; }

base=${TMPDIR:-/tmp}
((${#base} <= 60)) || base=/tmp
dir=$(mktemp -d "$base/tavrin.XXXXXX")
pa_pid=
cleanup() {
    [[ -n $pa_pid ]] && kill "$pa_pid" 2>/dev/null && wait "$pa_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
mkdir -p "$dir/home/.config/pulse" "$dir/run"
chmod 700 "$dir/run"
echo "autospawn = no" >"$dir/home/.config/pulse/client.conf"
export HOME=$dir/home XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/home/.config XDG_DATA_HOME=$dir/data
unit=$XDG_DATA_HOME/systemd/user/tonquil-audio-driver.service
unset PULSE_SERVER

fail() { echo "FAIL: $*"; exit 1; }

export PULSE_SERVER="unix:$dir/pulse.sock"
"$tavrin" /install >/dev/null 2>&1 && fail "install without a server succeeded"

cat >"$dir/pulse.pa" <<PA
load-module module-native-protocol-unix socket=$dir/pulse.sock auth-anonymous=1
load-module module-null-sink sink_name=speakers sink_properties='device.description="Speakers"'
set-default-sink speakers
PA
pulseaudio --daemonize=no --system=no -n -F "$dir/pulse.pa" --exit-idle-time=-1 --use-pid-file=no \
    --log-target="file:$dir/pulse.log" >/dev/null 2>&1 </dev/null &
pa_pid=$!
for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
done
pactl info >/dev/null 2>&1 || { echo "SKIP: a private PulseAudio did not start"; exit 77; }

count() { pactl list short sinks | awk '$2 == "tonquil"' | wc -l; }
default() { pactl get-default-sink; }

"$tavrin" /install || fail "install failed"
[[ $(count) == 1 ]] || fail "no tonquil output after install"
[[ $(default) == tonquil ]] || fail "tonquil is not the default output"
pactl list sinks | grep -q 'Description: Tonquil Audio Device' || fail "wrong description"
grep -q '^ExecStart=".*/tonquil-audio-driver"$' "$unit" || fail "no user unit for the driver stand-in"

pactl set-default-sink speakers
"$tavrin" /INSTALL || fail "second install failed"
[[ $(count) == 1 ]] || fail "a second install made a second output"
[[ $(default) == tonquil ]] || fail "second install did not make it the default again"

"$tavrin" /uninstall || fail "uninstall failed"
[[ $(count) == 0 ]] || fail "tonquil output still there"
[[ ! -e $unit ]] || fail "the driver's user unit is still there"
"$tavrin" /uninstall || fail "uninstall of nothing failed"

"$tavrin" >/dev/null 2>&1
[[ $? == 2 ]] || fail "no arguments is not a usage error"
"$tavrin" /frobnicate >/dev/null 2>&1
[[ $? == 2 ]] || fail "an unknown switch is not a usage error"
echo "PASS"
