# Sourced by the other scripts. quietly LOG COMMAND… runs COMMAND with its
# output kept in LOG; when the command fails the log is printed to standard
# error, so a failed step always shows why it failed.
quietly() {
    local log=$1; shift
    mkdir -p "$(dirname "$log")"
    local status=0
    "$@" >"$log" 2>&1 || status=$?
    if ((status != 0)); then
        echo "== $* failed (exit $status); its output:" >&2
        cat "$log" >&2
    fi
    return "$status"
}
