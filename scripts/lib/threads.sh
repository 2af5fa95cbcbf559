# Per-thread CPU and wake-ups of processes, for the bench scripts (sourced).
#   before=$(cpu_sample PID...); sleep S; after=$(cpu_sample PID...)
#   read -r ns gone < <(cpu_between "$before" "$after")
#   before=$(threads_sample PID); sleep S; after=$(threads_sample PID)
#   threads_report "$before" "$after" S
# CPU is each thread's run time in nanoseconds (/proc/PID/task/TID/schedstat), not the
# ticks of /proc/PID/stat: a quiet daemon runs for a few ticks in a window of seconds,
# and one tick more or less moved a figure by a quarter. A thread that ends inside the
# window takes its last run time with it, though; for a window in which threads ended
# (a desktop program's worker threads come and go), cpu_between falls back on the
# process's own ticks, which keep what ended threads ran, whenever they say more.
# Wake-ups are voluntary context switches: each is a wait that ended (a timer,
# an event, an answer, a lock that was held).

# One line per thread of the processes named: PID/TID and run time in ns; and one per
# process: PID/ticks and its CPU ticks (utime + stime, ended threads included). A process
# that is gone gives no lines.
cpu_sample() {
    local pid task ns rest ticks
    for pid in "$@"; do
        ticks=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | awk '{print $12 + $13}') && [[ -n $ticks ]] &&
            echo "$pid/ticks $ticks"
        for task in /proc/"$pid"/task/*; do
            read -r ns rest 2>/dev/null <"$task/schedstat" || continue
            echo "$pid/${task##*/} $ns"
        done
    done
}

# The run time between two samples: "NS GONE". A thread of the second sample only
# started in the window and counts whole; GONE is the number of threads of the first
# sample that ended before the second. When GONE is not 0, the processes' ticks stand in
# for the threads' sum if they come to more.
cpu_between() {
    awk -v hz="$(getconf CLK_TCK)" 'NR == FNR {a[$1] = $2; next}
        $1 ~ /\/ticks$/ {if ($1 in a) t += $2 - a[$1]; seen[$1] = 1; next}
        {d += $2 - (($1 in a) ? a[$1] : 0); seen[$1] = 1}
        END {for (k in a) if (!(k in seen) && k !~ /\/ticks$/) gone++
            if (gone && t * 1e9 / hz > d) d = t * 1e9 / hz
            printf "%d %d\n", d, gone}' \
        <(echo "$1") <(echo "$2")
}

# Now, in ns (a window's real length: a loaded machine oversleeps).
now_ns() { date +%s%N; }

# NS of run time over a window of WINDOW_NS, as % of one core.
percent_of() { awk -v d="$1" -v w="$2" 'BEGIN{printf "%.3f", (w > 0) ? 100 * d / w : 0}'; }

# One line per thread of process $1: id, name, run time in ns, voluntary context switches.
threads_sample() {
    local task name ns rest switches
    for task in /proc/"$1"/task/*; do
        name=$(tr ' ' _ 2>/dev/null <"$task/comm") || continue
        read -r ns rest 2>/dev/null <"$task/schedstat" || continue
        switches=$(awk '/^voluntary_ctxt_switches/{print $2}' "$task/status" 2>/dev/null) || continue
        echo "${task##*/} $name $ns $switches"
    done
}

# The difference of two samples over S seconds, busiest threads first (threads present in
# both): name, CPU % of one core, wake-ups per second.
threads_report() {
    awk -v s="$3" 'NR == FNR {t[$1] = $3; w[$1] = $4; next}
        ($1 in t) {printf "  %-16s %6.3f %%  %7.1f/s\n", $2, 100 * ($3 - t[$1]) / 1e9 / s, ($4 - w[$1]) / s}' \
        <(echo "$1") <(echo "$2") | sort -k2 -rn
}
