#!/usr/bin/env bash
# The driver stand-in and the daemon against a sound server of their own that the test
# changes under them, as a user's desktop does (the server of $TONQUIL_SOUND_SERVER,
# pulseaudio or pipewire):
#   sound_server_e2e.sh QXSERVICE DRIVER SOUND_SERVER_SCRIPT CASE
# output-removed   "Tonquil Audio Device" goes away while a tone plays into it: the driver
#                  records nothing and says so, and the speakers never play louder than
#                  the tone did (no feedback, no other device's sound).
# server-restart   the server restarts while recording: the driver puts its output back
#                  and records it again, the daemon's players play it again, the recording
#                  goes on, and the daemon's log tells the gap once.
# default-devices  the daemon's default playback and recording devices are the server's
#                  default sink and source, also after the server's defaults change.
# live-intact      what plays into "Tonquil Audio Device" while the daemon records reaches
#                  the speakers through the driver and the daemon bit for bit: every frame
#                  of a counter signal (a stretch heard twice is reported, not failed).
# Exit 77 skips.
set -euo pipefail

QX=$1
DRIVER=$2
SOUND=$3
CASE=$4

source "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/e2e_prelude.sh"

for tool in pactl pacat parec sox python3 iconv; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done

SOUND_DIR=$E2E_BASE/sound
e2e_at_exit() { bash "$SOUND" stop "$SOUND_DIR" 2>/dev/null; }
FAIL_LOGS=("$E2E_BASE/driver.log" "$E2E_BASE/daemon-errors.txt")

bash "$SOUND" start "$SOUND_DIR" || { echo "SKIP: a private ${TONQUIL_SOUND_SERVER:-pulseaudio} did not start"; exit 77; }
export PULSE_SERVER="unix:$SOUND_DIR/pulse.sock"
note "sound server: $(pactl info | sed -n 's/^Server Name: //p')"

CTRL=(QXService.AudioController /AudioController QXServiceLib.IAudioController)
# A call whose HRESULT must be S_OK; prints the rest of the answer.
ok() {
    local object=$1 interface=$2 out sig hr rest
    shift 2
    out=$(busctl --user --timeout=30 call QXService.AudioController "$object" "QXServiceLib.$interface" "$@") ||
        fail "$* could not be called"
    read -r sig hr rest <<<"$out"
    [[ $hr == 0 ]] || fail "$* answered $out"
    [[ -z $rest ]] || echo "$rest"
}

start_driver() {
    "$DRIVER" --source pulse >>"$E2E_BASE/driver.log" 2>&1 &
    PIDS+=($!)
    eventually 60 test -S "$TONQUIL_RUNTIME_DIR/ParvaneAD" || fail "the driver stand-in did not come up"
}
# The daemon runs from a folder of its own, so that its error log is this test's.
start_daemon() {
    mkdir -p "$E2E_BASE/prog"
    cp "$QX" "$E2E_BASE/prog/QXService"
    "$E2E_BASE/prog/QXService" >>"$E2E_BASE/daemon.log" 2>&1 &
    DAEMON_PID=$!
    PIDS+=("$DAEMON_PID")
    eventually 30 busctl --user status QXService.AudioController >/dev/null 2>&1 || fail "the daemon did not publish its name"
}
daemon_errors() {
    iconv -f UTF-16LE -t UTF-8 "$E2E_BASE/prog/(log-file).log" 2>/dev/null | tr -d '\r' >"$E2E_BASE/daemon-errors.txt" || true
    cat "$E2E_BASE/daemon-errors.txt"
}

# A 1 kHz tone at a quarter of full scale into "Tonquil Audio Device" (when the output
# goes, the server moves it to the speakers, where it is no louder than through the daemon).
# The test's players ask for 100 ms: at 50 ms a player leaves the sink 12 ms, and PipeWire
# runs the graph at a 512-frame quantum for it.
TONE_LEVEL=8192
play_tone() {
    sox -q -n -t raw -r 48000 -c 2 -b 16 -e signed-integer - synth 600 sine 1000 vol 0.25 2>/dev/null |
        pacat --playback --raw -d tonquil --rate=48000 --channels=2 --format=s16le \
            --latency-msec=100 2>>"$E2E_BASE/tone.log" &
    PIDS+=($!)
}
# What the speakers play, from now on, into $E2E_BASE/speakers.raw. In fragments of 50 ms:
# smaller ones would make PipeWire run its whole graph at a smaller quantum for this recorder.
listen() {
    parec --raw -d speakers.monitor --rate=48000 --channels=2 --format=s16le --latency-msec=50 \
        >>"$E2E_BASE/speakers.raw" 2>>"$E2E_BASE/parec.log" &
    PIDS+=($!)
}
heard_bytes() { stat -c %s "$E2E_BASE/speakers.raw" 2>/dev/null || echo 0; }
# Whether the speakers' recording holds at least $1 bytes.
heard_at_least() { (($(heard_bytes) >= $1)); }
# Whether the recording position has reached $1 ms.
recorded_at_least() { (($(ok /AudioController IAudioController GetRecordPosition) >= $1)); }
# The peak of the left channel in 100 ms windows of speakers.raw from byte $1 to $2
# (or the end), one line each.
peaks() {
    python3 - "$E2E_BASE/speakers.raw" "$1" "${2:-}" <<'PY'
import array, sys
data = open(sys.argv[1], "rb").read()
start = int(sys.argv[2]) // 4 * 4
end = int(sys.argv[3]) // 4 * 4 if sys.argv[3] else len(data) // 4 * 4
samples = array.array("h", data[start:end])[0::2]
for at in range(0, len(samples) - 4799, 4800):
    print(max(abs(s) for s in samples[at:at + 4800]))
PY
}
# Whether the speakers play the tone now (its level in the next 350 ms heard).
tone_heard() {
    local at
    at=$(heard_bytes)
    eventually 30 heard_at_least $((at + 67200)) || return 1
    peaks "$at" | awk -v lo=$((TONE_LEVEL * 8 / 10)) -v hi=$((TONE_LEVEL * 12 / 10)) \
        'BEGIN { n = 0 } $1 >= lo && $1 <= hi { n++ } END { exit n >= 2 ? 0 : 1 }'
}
sink_present() { pactl list short sinks | awk '$2 == "tonquil"' | grep -q .; }
# The driver and the daemon run, the tone is heard through them, and a second of it is recorded.
record_the_tone() {
    start_driver
    start_daemon
    listen
    play_tone
    eventually 30 tone_heard || fail "the tone never reached the speakers through the daemon"
    ok /AudioController IAudioController Record >/dev/null
    eventually 60 recorded_at_least 1000 || fail "the recording did not reach a second"
}

case $CASE in
output-removed)
    record_the_tone
    level=$(peaks $(($(heard_bytes) - 192000)) | sort -n | tail -n 1)
    note "recorded level $level"
    removed_at=$(heard_bytes)
    module=$(pactl list short sinks | awk '$2 == "tonquil" { print $1 }')
    owner=$(pactl list sinks | awk -v s="$module" '$1 == "Sink" && $2 == "#" s { f = 1 } f && /Owner Module:/ { print $3; exit }')
    pactl unload-module "$owner" || fail "the output could not be removed"
    # A moved recording feeds the speakers back into themselves within seconds, or plays
    # another device's sound for good. The tone itself moves to the speakers at once and
    # meets the daemon's last queued output of it for a moment (the player's ring and the
    # server's queue, under a second; seconds on a loaded machine where the daemon falls
    # behind): the speakers are judged from 5 s after the output went, for 5 s.
    eventually 120 heard_at_least $((removed_at + 10 * 192000)) ||
        fail "the speakers' recording did not reach 10 s after the output went"
    settled=$((removed_at + 5 * 192000))
    loud=$(peaks "$settled" | awk -v max=$((level * 11 / 10)) '$1 > max' | wc -l)
    loudest=$(peaks "$settled" | sort -n | tail -n 1)
    note "from 5 s after the output went: loudest $loudest, louder than the tone in $loud windows of 100 ms"
    ((loud == 0)) || fail "the speakers played louder than the recorded $level for $loud windows of 100 ms"
    grep -q 'went away: recording nothing until it is back' "$E2E_BASE/driver.log" ||
        fail "the driver did not say that the output went away"
    ok /AudioController IAudioController StopRecord >/dev/null
    ;;
server-restart)
    record_the_tone
    bash "$SOUND" restart "$SOUND_DIR" || fail "the sound server did not come back"
    restarted=$(date +%s%N)
    # The speakers' monitor and the tone went with the server.
    eventually 60 sink_present || fail "the driver did not put \"Tonquil Audio Device\" back"
    note "the output was back after $((($(date +%s%N) - restarted) / 1000000)) ms"
    [[ $(pactl get-default-sink) == speakers ]] || fail "the output came back as the default, which it was not"
    listen
    play_tone
    eventually 60 tone_heard || fail "the daemon's live sound did not come back"
    note "the live sound was back after $((($(date +%s%N) - restarted) / 1000000)) ms"
    grep -q 'recording "Tonquil Audio Device" again' "$E2E_BASE/driver.log" || fail "the driver did not say it records again"
    # The recording went on: what the cache holds grows.
    before=$(ok /AudioController IAudioController GetRecordPosition)
    eventually 60 recorded_at_least $((before + 1500)) ||
        fail "the recording stood still ($before ms, then $(ok /AudioController IAudioController GetRecordPosition) ms)"
    ok /AudioController IAudioController StopRecord >/dev/null
    errors=$(daemon_errors)
    gone=$(grep -c 'sound server went away' <<<"$errors" || true)
    back=$(grep -c 'is back after' <<<"$errors" || true)
    note "the daemon's log: $gone lines on the server's going, $back on its return"
    ((gone >= 1 && back >= 1)) || fail "the daemon's log does not tell the gap"
    # Each of the four sound devices tells it once each way, not once per failed call.
    ((gone <= 4 && back <= 4)) || fail "the daemon's log tells the gap $gone and $back times"
    ;;
live-intact)
    start_driver
    start_daemon
    ok /AudioController IAudioController Record >/dev/null
    listen
    # The driver's and the daemon's streams leave PipeWire its default quantum (1024 frames):
    # one that asks for less makes the whole graph, every other program's sound included, run
    # in smaller quanta, where any late turn drops a quantum of sound.
    if [[ ${TONQUIL_SOUND_SERVER:-pulseaudio} == pipewire ]]; then
        small=$(PIPEWIRE_RUNTIME_DIR=$SOUND_DIR pw-dump | python3 -c '
import json, sys
ours = ("QXService", "tonquil-audio-driver")
seen = set()
for o in json.load(sys.stdin):
    props = (o.get("info") or {}).get("props") or {}
    if o.get("type") != "PipeWire:Interface:Node" or props.get("application.process.binary") not in ours:
        continue
    seen.add(props["application.process.binary"])
    num, _, den = str(props.get("node.latency", "")).partition("/")
    if num.isdigit() and den.isdigit() and int(num) * 48000 < 1024 * int(den):
        print("%s (%s): %s" % (props.get("media.name"), props["application.process.binary"], props["node.latency"]))
if len(seen) < len(ours):
    print("no stream of %s was found" % " or ".join(sorted(set(ours) - seen)))
')
        [[ -z $small ]] || fail "streams that ask PipeWire for less than its default quantum: $small"
    fi
    # What reaches the output itself is the reference: a server may drop the first frames
    # of a stream that joins a running output, before the driver could record them.
    SIGNAL=$(dirname "${BASH_SOURCE[0]}")/counter_signal.py
    python3 "$SIGNAL" record tonquil.monitor "$E2E_BASE/reference" 2>>"$E2E_BASE/parec.log" &
    PIDS+=($!)
    eventually 60 test -s "$E2E_BASE/reference.raw" || fail "the output's monitor cannot be recorded"
    python3 "$SIGNAL" generate 8 |
        pacat --playback --raw -d tonquil --rate=48000 --channels=2 --format=s16le --latency-msec=100 ||
        fail "the signal could not be played"
    # The last frame is heard once the daemon's queued output has played.
    last=$((8 * 48000))
    reached_end() {
        local verdict
        verdict=$(python3 "$SIGNAL" intact "$E2E_BASE/reference.raw" "$E2E_BASE/speakers.raw" || true)
        [[ $verdict == "heard up to $last "* ]]
    }
    eventually 30 reached_end || note "the last frame of the signal never reached the speakers"
    verdict=0
    heard=$(python3 "$SIGNAL" intact "$E2E_BASE/reference.raw" "$E2E_BASE/speakers.raw") || verdict=$?
    note "$heard"
    # A server that drops sound even to a plain recorder (a machine too busy for its
    # real-time graph) cannot show whether the driver and the daemon lose any.
    if ((verdict == 3)); then
        ok /AudioController IAudioController StopRecord >/dev/null
        echo "SKIP: the sound server dropped sound to the reference recorder too"
        exit 77
    fi
    # Sound that went missing only where the speakers' stream had run dry at the server,
    # with the daemon's log telling that it did, was dropped by the server on the way out
    # of the underrun (a plain client's stream that runs dry loses it the same way).
    daemon_errors >/dev/null
    if ((verdict == 4)) && grep -q 'The sound server ran out of sound for device' "$E2E_BASE/daemon-errors.txt"; then
        ok /AudioController IAudioController StopRecord >/dev/null
        echo "SKIP: the sound server ran out of the daemon's sound (a machine too busy) and dropped some that followed"
        exit 77
    fi
    # The daemon's log shows with the failure: a device it found gone or late tells where.
    ((verdict == 0)) || fail "the speakers did not hear what reached the output"
    ok /AudioController IAudioController StopRecord >/dev/null
    ;;
default-devices)
    start_driver
    start_daemon
    default_of() { ok "/AudioController/$1" "I$1" GetDefaultDevice | tr -d '"'; }
    [[ $(default_of AudioManager) == Speakers ]] || fail "the default playback device is $(default_of AudioManager)"
    [[ $(default_of CaptureManager) == Microphone ]] || fail "the default recording device is $(default_of CaptureManager)"
    # Both servers list the headphones after the speakers: the order is not the choice.
    pactl set-default-sink headphones
    pactl set-default-source speakers.monitor
    eventually 60 test "$(default_of AudioManager)" == Headphones ||
        fail "after the change the default playback device is $(default_of AudioManager)"
    [[ $(default_of CaptureManager) == "Monitor of Speakers" ]] ||
        fail "after the change the default recording device is $(default_of CaptureManager)"
    # The installer makes the product's output the default: the desktop then finds it so.
    pactl set-default-sink tonquil
    eventually 60 test "$(default_of AudioManager)" == "Tonquil Audio Device" ||
        fail "with the product's output the default, the daemon names $(default_of AudioManager)"
    ;;
*)
    echo "unknown case $CASE" >&2
    exit 2
    ;;
esac
kill -TERM "$DAEMON_PID"
eventually 60 bash -c "! kill -0 $DAEMON_PID 2>/dev/null" || fail "the daemon did not end"
note "passed"
