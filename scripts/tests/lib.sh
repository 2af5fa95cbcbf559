# Helpers of the script tests (sourced).

# marked_processes VAR VALUE: the pids of the processes started with VAR=VALUE in their
# environment, other than the calling shell. One grep, started without VAR, reads them all.
marked_processes() {
    local file pid
    while IFS= read -r file; do
        pid=${file#/proc/}
        pid=${pid%/environ}
        [[ $pid == "$$" || $pid == "$BASHPID" ]] || echo "$pid"
    done < <(env -u "$1" grep -lzxF "$1=$2" /proc/[0-9]*/environ 2>/dev/null)
    return 0
}
