#!/usr/bin/env bash
# scripts/bench as a user runs it: bad usage is refused with exit status 2, and a short real
# run (its own private environment, the real daemon, driver stand-in and sound server) fills
# every row it was asked for with figures read from the benches it drives, so that a change
# of a bench's output cannot leave the table silently empty. No figure is judged: the
# machine's load moves them.
#   bench_test.sh BUILD_DIR
set -euo pipefail

BUILD_DIR=$1
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
for program in service/controller/QXService driver/tonquil-audio-driver ipc/tests/ipc_benchmark; do
    [[ -x $BUILD_DIR/$program ]] || { echo "SKIP: $BUILD_DIR/$program is not built"; exit 77; }
done

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

#       arguments                      exit  what it says
usage=("--runs 0"                       2    "a positive whole number"
       "--window x"                     2    "a positive whole number"
       "--only record,nosuch"           2    "no figure named 'nosuch'"
       "--server jack"                  2    "--server takes pulseaudio, pipewire or both"
       "--frobnicate"                   2    "unknown argument --frobnicate"
       "--help"                         0    "--bus-rounds N")
for ((i = 0; i < ${#usage[@]}; i += 3)); do
    read -r -a args <<<"${usage[i]}"
    status=0
    out=$(TONQUIL_BUILD_DIR=$BUILD_DIR bash "$ROOT/scripts/bench" "${args[@]}" 2>&1) || status=$?
    [[ $status == "${usage[i + 1]}" ]] || fail "bench ${usage[i]}: exit status $status, not ${usage[i + 1]}"
    [[ $out == *"${usage[i + 2]}"* ]] || fail "bench ${usage[i]} does not say '${usage[i + 2]}': $out"
done

# The rows a short run must fill: the figure's title in the table, and whether a reference
# (and so a ratio) stands beside it.
#      title                                       reference
rows=("daemon CPU recording + live (all threads)"   yes
      "start to bus name published"                 no
      "daemon idle (live play, not recording)"      no
      "playback-device change (UpdateSettings)"     no
      "settings round trip with a device change"    no
      "bus poll round, 11 calls (median)"           yes)
status=0
out=$(TONQUIL_BUILD_DIR=$BUILD_DIR bash "$ROOT/scripts/bench" --runs 1 --window 2 --bus-rounds 50 \
    --only record,start,idle,device,bus 2>&1) || status=$?
[[ $status == 0 ]] || fail "the short run ended with exit status $status"
number='[0-9]+(\.[0-9]+)?'
for ((i = 0; i < ${#rows[@]}; i += 2)); do
    row=$(grep -F "| ${rows[i]} " <<<"$out" || true)
    if [[ -z $row ]]; then
        fail "no row '${rows[i]}'"
        continue
    fi
    IFS='|' read -r _ _ server spread reference ratio _ <<<"$row"
    [[ $server == *pulseaudio* ]] || fail "'${rows[i]}': server column '$server'"
    [[ $spread =~ ^\ *$number\ /\ $number\ /\ $number\ (ms|%)\ *$ ]] || fail "'${rows[i]}': no min / median / max in '$spread'"
    if [[ ${rows[i + 1]} == yes ]]; then
        [[ $reference =~ $number\ (ms|%) ]] || fail "'${rows[i]}': no reference figure in '$reference'"
        [[ $ratio =~ ^\ *$number\x\ *$ ]] || fail "'${rows[i]}': no ratio in '$ratio'"
    fi
done
grep -q "not measured" <<<"$out" && fail "a figure was not measured"
if ((failures)); then
    echo "$out" >&2
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "bench_test: passed"
