#!/usr/bin/env bash
# Every program answers --help, -h and --version with exit status 0 and starts nothing:
#   program_info_test.sh BUILD_DIR
# Runs on a bus and folders of its own (scripts/private-session); exit 77 skips.
set -euo pipefail

BUILD_DIR=$1
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if [[ -z ${TONQUIL_E2E_INSIDE:-} ]]; then
    exec bash "$ROOT/scripts/private-session" bash "$0" "$@"
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# The processes of this run already there (the private bus): they are no program's.
before=$(marked_processes E2E_BASE "$E2E_BASE" | sort)

#        program                                  name                   what --help says first
table=("$BUILD_DIR/service/controller/QXService"   QXService              "usage: QXService"
       "$BUILD_DIR/desktop/app/Parvane"            Parvane                "usage: Parvane"
       "$BUILD_DIR/driver/tonquil-audio-driver"    tonquil-audio-driver   "usage: tonquil-audio-driver"
       "$BUILD_DIR/driver/Tavrin"                  Tavrin                 "usage: Tavrin")
version=$(sed -n 's/^project(Tonquil VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")

for ((i = 0; i < ${#table[@]}; i += 3)); do
    program=${table[i]} name=${table[i + 1]} usage=${table[i + 2]}
    for switch in --help -h --version; do
        rc=0
        # No display: a program that tried to open its window would fail, not hang.
        out=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$program" "$switch" 2>"$E2E_BASE/err") || rc=$?
        if ((rc != 0)); then
            fail "$name $switch: exit status $rc ($(head -c 300 "$E2E_BASE/err"))"
            continue
        fi
        if [[ $switch == --version ]]; then
            [[ $out == "$name $version" ]] || fail "$name --version said \"$out\", not \"$name $version\""
        else
            [[ $out == "$usage"* ]] || fail "$name $switch said \"${out:0:80}\""
            grep -qe '--version' <<<"$out" || fail "$name $switch does not mention --version"
        fi
        [[ -s $E2E_BASE/err ]] && fail "$name $switch wrote to stderr: $(head -c 300 "$E2E_BASE/err")"
    done
done
# Nothing was started: no process of this run is left, no device, no bus name, no log.
# left_running: true while a process of this run (other than the private bus) still runs,
# its command lines in $left.
left_running() {
    local p cmdline
    left=
    for p in $(comm -13 <(echo "$before") <(marked_processes E2E_BASE "$E2E_BASE" | sort)); do
        cmdline=$(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null) || continue
        [[ -n $cmdline ]] && left+="$cmdline; "
    done
    [[ -n $left ]]
}
# The look-up's own helpers may take a moment to end on a loaded machine; what was
# started for good is still there at the deadline.
deadline=$((SECONDS + 30))
while left_running && ((SECONDS < deadline)); do sleep 0.1; done
[[ -z $left ]] || fail "processes were left running: $left"
[[ -e $TONQUIL_RUNTIME_DIR/ParvaneAD ]] && fail "a driver device was created"
busctl --user status QXService.AudioController >/dev/null 2>&1 && fail "the daemon's name is owned"
[[ -z $(ls -A "$TONQUIL_DATA_DIR") ]] || fail "data was written: $(ls -A "$TONQUIL_DATA_DIR")"
((failures == 0)) || exit 1
echo "-- every program answered --help, -h and --version and started nothing"
