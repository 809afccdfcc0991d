#!/usr/bin/env bash
# The vendor web server beside slow clients: ordinary requests for the
# high-score list page while 0, 100 and 1000 connections stay open that send
# nothing or trickle a request head a byte a second, and how long a SIGTERM
# takes to stop the server with 1000 of them open. The 0 row is the peer the
# others are measured against.
#
#   bash bench/slowclients_bench.sh [REQUESTS]   (default 200 a row)
#
# Builds the server and bench/slow_clients into build/. Prints a table of
# latency from connect to the end of the answer, and the time to exit.
set -euo pipefail
shopt -s inherit_errexit
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
requests=${1:-200}
held=1000

command -v curl >/dev/null || { echo "curl is missing; bash scripts/deps.sh installs it" >&2; exit 1; }
work=$(mktemp -d)
server_pid=
holder_pid=
cleanup() {
    [[ -n "$holder_pid" ]] && kill -TERM "$holder_pid" 2>/dev/null && wait "$holder_pid" 2>/dev/null
    [[ -n "$server_pid" ]] && kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The build's output is kept and shown only when it fails.
source scripts/quiet.sh
quietly "$work/build.log" bash scripts/build.sh build
# A build folder configured without the benchmarks still gets this one.
quietly "$work/build.log" cmake --build build --target slow_clients -j 2
server=$root/build/server/pegsquare-server
bench=$root/build/bench/slow_clients

# Both the server and slow_clients raise their soft descriptor limit to the
# hard one; 1000 slow connections and the server's own bound of 10000 want
# more than a few thousand.
hard=$(ulimit -Hn)
if [[ "$hard" != unlimited ]] && ((hard < 4096)); then
    echo "note: the hard limit on open files is $hard, below 4096: the server lowers its connection bound" \
        "to fit, and slow_clients may not get $held connections" >&2
fi

# The server on any free port; its first line says which.
exec {ready}< <(exec "$server" --listen 127.0.0.1 --port 0 --db "$work/scores.db" \
    --content "$work/content" 2>"$work/server.log")
server_pid=$!
read -r -t 15 -u "$ready" line || { echo "server did not start:" >&2; cat "$work/server.log" >&2; exit 1; }
base=${line##* }
port=${base##*:}
echo "pegsquare-server at $base"

# A few scores, so the list page has rows; within the default posting burst.
for i in 1 2 3 4 5; do
    curl -fsS -o /dev/null "$base/cgi-bin/pegsquare.cgi?name=Player%20$i&date=12/9/26&score=$((i * 7))"
done
echo "list page: $(curl -fsS "$base/counter/pegsquare.shtml" | wc -c) bytes"

# One row: "slow p50 p99 max failed closed" from slow_clients' lines.
row() {
    local slow=$1 out
    out=$("$bench" "$port" "$slow" "$requests")
    awk -v slow="$slow" '
        /^slow connections:/ { closed = substr($5, 2) }
        /^ordinary requests:/ { failed = $5 }
        /^latency ms:/ { p50 = $4; p99 = $8; max = $10 }
        END { print slow, p50, p99, max, failed, closed }
    ' <<<"$out"
}

echo
echo "$requests ordinary requests a row, one at a time, each on a new connection; loopback, $(nproc) cores"
echo "slow connections: half send nothing, half a partial head and then a byte a second"
rows=$(
    for slow in 0 100 "$held"; do
        row "$slow"
    done
)
printf '%-18s %10s %10s %10s %8s %14s %16s\n' "slow connections" "p50 ms" "p99 ms" "max ms" "failed" "p99 / 0 row" "closed by server"
awk '
    NR == 1 { base = $3 }
    {
        ratio = (base + 0 > 0 && $3 != "-") ? sprintf("%.2f", $3 / base) : "-"
        printf "%-18s %10s %10s %10s %8s %14s %16s\n", $1, $2, $3, $4, $5, ratio, $6
    }
' <<<"$rows"

# SIGTERM with the slow connections open. slow_clients holds them until it
# is signalled or the server has closed every one, and says when all are open.
# The server closes the idle ones at once but lets a head under way finish
# within its head timeout, so the trickling half bounds how long this takes.
exec {holding}< <(exec "$bench" "$port" "$held" 0 hold)
holder_pid=$!
read -r -t 60 -u "$holding" line || { echo "slow_clients did not open its connections" >&2; exit 1; }
echo
echo "slow_clients: $line"
start=$(date +%s%N)
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
end=$(date +%s%N)
server_pid=
echo "SIGTERM with $held slow connections open: the server exited (status $status) after" \
    "$(( (end - start) / 1000000 )) ms"
# The server is gone, so every connection is closed and slow_clients ends.
kill -TERM "$holder_pid" 2>/dev/null || true
wait "$holder_pid"
holder_pid=
# Its summary says how many of them the server closed before it exited.
while read -r -t 5 -u "$holding" line; do
    if [[ "$line" == "slow connections:"* ]]; then
        echo "slow_clients: $line"
    fi
done
