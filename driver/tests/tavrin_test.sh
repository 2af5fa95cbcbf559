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

# Under a user manager (a stand-in systemctl noting its calls: none runs here)
# the unit is enabled and started with the install, stopped and disabled with
# the uninstall; an enable the manager refuses fails the install.
mkdir -p "$dir/bin"
fake_systemctl() {  # the status of every call but the question whether it answers
    printf '#!/bin/sh\necho "$*" >> "%s"\n[ "$2" = show-environment ] && exit 0\nexit %s\n' \
        "$dir/systemctl.log" "$1" >"$dir/bin/systemctl"
    chmod +x "$dir/bin/systemctl"
    rm -f "$dir/systemctl.log"
}
calls() { grep -v show-environment "$dir/systemctl.log" | tr '\n' '|'; }
fake_systemctl 0
PATH="$dir/bin:$PATH" "$tavrin" /install || fail "install under a manager failed"
[[ $(calls) == "--user daemon-reload|--user enable --now tonquil-audio-driver.service|" ]] ||
    fail "install under a manager asked: $(calls)"
rm -f "$dir/systemctl.log"
PATH="$dir/bin:$PATH" "$tavrin" /uninstall || fail "uninstall under a manager failed"
[[ $(calls) == "--user disable --now tonquil-audio-driver.service|" ]] || fail "uninstall under a manager asked: $(calls)"
[[ ! -e $unit ]] || fail "the driver's user unit is left after uninstall under a manager"
fake_systemctl 1
PATH="$dir/bin:$PATH" "$tavrin" /install >/dev/null 2>&1 && fail "install succeeded though the manager refused the unit"
PATH="$dir/bin:$PATH" "$tavrin" /uninstall >/dev/null 2>&1
[[ $(count) == 0 ]] || fail "tonquil output left after the refused install was undone"

"$tavrin" >/dev/null 2>&1
[[ $? == 2 ]] || fail "no arguments is not a usage error"
"$tavrin" /frobnicate >/dev/null 2>&1
[[ $? == 2 ]] || fail "an unknown switch is not a usage error"
echo "PASS"
