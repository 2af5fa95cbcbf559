# Per-thread CPU and wake-ups of a process, for the bench scripts (sourced).
#   before=$(threads_sample PID); sleep S; after=$(threads_sample PID)
#   threads_report "$before" "$after" "$(getconf CLK_TCK)" S
# Wake-ups are voluntary context switches: each is a wait that ended (a timer,
# an event, an answer, a lock that was held).

# One line per thread of process $1: id, name, CPU ticks, voluntary context switches.
threads_sample() {
    local task name ticks switches
    for task in /proc/"$1"/task/*; do
        name=$(tr ' ' _ 2>/dev/null <"$task/comm") || continue
        ticks=$(sed 's/.*) //' "$task/stat" 2>/dev/null | awk '{print $12 + $13}') || continue
        switches=$(awk '/^voluntary_ctxt_switches/{print $2}' "$task/status" 2>/dev/null) || continue
        echo "${task##*/} $name $ticks $switches"
    done
}

# The difference of two samples, busiest threads first (threads present in both):
# name, CPU % of one core, wake-ups per second.
threads_report() {
    awk -v hz="$3" -v s="$4" 'NR == FNR {t[$1] = $3; w[$1] = $4; next}
        ($1 in t) {printf "  %-16s %6.2f %%  %7.1f/s\n", $2, 100 * ($3 - t[$1]) / hz / s, ($4 - w[$1]) / s}' \
        <(echo "$1") <(echo "$2") | sort -k2 -rn
}
