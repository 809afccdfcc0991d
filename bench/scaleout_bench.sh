#!/usr/bin/env bash
# What spreading the vendor web server over several processes costs and
# buys, measured in one run on this machine with wrk on loopback:
#
#   a. SQLite, one server process, wrk talking to it directly;
#   b. PostgreSQL, 1 server process behind nginx;
#   c. PostgreSQL, 2 server processes behind nginx;
#   d. PostgreSQL, 4 server processes behind nginx.
#
# For each, the score postings and the high-score list page: requests per
# second, p50 and p99 latency, and the CPU time per request spent by the
# server processes, by PostgreSQL and by nginx.
#
#   bash bench/scaleout_bench.sh [SECONDS] [CONNECTIONS]   (defaults 8 and 32)
#
# nginx balances plain TCP with its stream module and names each client to
# the servers in a PROXY protocol line: the game's request lines hold
# unescaped blanks, which nginx's HTTP proxy refuses, so that is how a
# balanced deployment has to run. wrk keeps its connections open, so nginx
# spreads connections over the processes (least_conn), not single requests.
# Each setup first gets 2 s of list requests that are not measured (a
# process opens its database connections when first busy, which belongs to
# starting up), then the list page and the postings are measured, in that
# order. The end of the output sums up each server process's log: requests
# served by answer class, so the balance between processes shows, and any
# line it wrote for the operator.
#
# The PostgreSQL setups run in a throw-away cluster made by pg_virtualenv,
# a fresh database for each setup, each first filled with the same 100
# scores as setup a. pg_virtualenv turns fsync off to speed up test suites;
# it is turned back on here, since the SQLite setup syncs every commit
# (synchronous=FULL) and a deployment would: otherwise the postings would
# compare a durable database with one that is not.
#
# wrk's latency percentiles are its own, which it corrects for coordinated
# omission: a request that stalls for far longer than the mean interval
# between requests on a connection is counted as if the requests that
# interval would have sent had waited too. A single stall of a second thus
# shows in the p99 as hundreds of slow requests would.
#
# Reading the figures on a small machine: wrk, nginx, the servers and
# PostgreSQL all share this machine's cores (two, on the machine this was
# written on), so more server processes cannot add capacity here; they only
# split the same cores more ways, and requests per second will not rise from
# b to d, nor is b expected to reach a, which has neither a balancer nor a
# database server in its path. The figure that says what more machines
# would buy is the CPU time per request: with the servers on machines of
# their own, the load one server machine carries is bounded by its cores
# over the server column, and the database machine's by its cores over the
# PostgreSQL column, the one part all servers share.
#
# What the CPU columns count: utime + stime from /proc/PID/stat (process
# totals, so every thread is in), read just before and just after each wrk
# run, divided by the requests wrk reports.
#   server:     the server processes of the setup.
#   PostgreSQL: the postmaster and the children it has at each reading
#               (backends, WAL writer, checkpointer, autovacuum…), plus the
#               cutime + cstime the postmaster gains, which is where a
#               child that exits during the run leaves its time, once the
#               postmaster has reaped it. Not counted: work PostgreSQL does
#               after the run (autovacuum of the new rows, a later
#               checkpoint), and a child that exits within the instant
#               between reading the children and reading the postmaster may
#               be counted twice or not at all.
#   nginx:      the master and its workers.
# Not counted anywhere: wrk itself, and kernel work not charged to any of
# these processes (some of the loopback traffic's, in softirq context).
#
# Installs wrk, nginx and its stream module from Debian when missing and
# builds the server into build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
self=$root/bench/$(basename "$0")
cd "$root"

# Run again by pg_virtualenv for the PostgreSQL setups:
#   scaleout_bench.sh --inside SECONDS CONNECTIONS WORK
inside=
if [[ "${1:-}" == "--inside" ]]; then
    inside=1
    shift
fi
seconds=${1:-8}
connections=${2:-32}
threads=2
warmup=2
server=$root/build/server/pegsquare-server
nginx=$(command -v nginx || echo /usr/sbin/nginx)
stream_module=/usr/lib/nginx/modules/ngx_stream_module.so

# --- pieces both halves use ---------------------------------------------

source scripts/quiet.sh

server_pids=()
server_fds=()
server_bases=()
nginx_pid=
nginx_base=
postmaster=

# start_server LOG DB [options…]: one more server process on a free port,
# found in its first line; its errors and access log go to LOG.
start_server() {
    local log=$1 db=$2; shift 2
    local fd line
    exec {fd}< <(exec "$server" --listen 127.0.0.1 --port 0 --db "$db" --content "$work/content" \
        --post-rate 0 --list-per-client 0 --trusted-proxy 127.0.0.1 "$@" 2>"$log")
    server_pids+=("$!")
    # Kept open until the process stops, so a later line to its standard
    # output cannot kill it with SIGPIPE.
    server_fds+=("$fd")
    if ! read -r -t 30 -u "$fd" line; then
        echo "server did not start:" >&2
        cat "$log" >&2
        return 1
    fi
    server_bases+=("${line##* }")
}

stop_servers() {
    local pid fd
    for pid in "${server_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${server_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    for fd in "${server_fds[@]}"; do
        exec {fd}<&-
    done
    server_pids=()
    server_fds=()
    server_bases=()
}

# fill BASE: the 100 scores every setup starts with, so the list page is
# as long as it gets.
fill() {
    local i
    for i in $(seq 1 100); do
        curl -fsS -o /dev/null "$1/cgi-bin/pegsquare.cgi?name=Player%20$i&date=12/9/26&score=$((i * 7))"
    done
}

# start_nginx PORT…: nginx balancing plain connections over the servers on
# these ports, with a configuration of its own. Its port is picked by
# binding to port 0 and releasing it; should another program take it
# meanwhile, nginx fails to start and the next port is tried.
start_nginx() {
    local attempt port tries upstreams="" p
    for p in "$@"; do
        upstreams+="        server 127.0.0.1:$p;"$'\n'
    done
    mkdir -p "$work/nginx/logs"
    for attempt in 1 2 3 4 5; do
        port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        cat >"$work/nginx/nginx.conf" <<CONF
load_module $stream_module;
worker_processes auto;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
$( [[ $(id -u) -eq 0 ]] && echo "user root;" )
events { worker_connections 1024; }
stream {
    upstream pegsquare {
        least_conn;
$upstreams    }
    server {
        listen 127.0.0.1:$port;
        proxy_pass pegsquare;
        # Each server learns the client from this line, and believes it
        # because 127.0.0.1 is its --trusted-proxy.
        proxy_protocol on;
    }
}
CONF
        "$nginx" -e "$work/nginx/logs/error.log" -p "$work/nginx" -c "$work/nginx/nginx.conf" \
            2>>"$work/nginx/start.log" &
        nginx_pid=$!
        for tries in $(seq 1 100); do
            if curl -fsS -o /dev/null "http://127.0.0.1:$port/counter/pegsquare.shtml" 2>/dev/null; then
                nginx_base="http://127.0.0.1:$port"
                return 0
            fi
            kill -0 "$nginx_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -QUIT "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
        nginx_pid=
    done
    echo "nginx did not start:" >&2
    cat "$work/nginx/start.log" "$work/nginx/logs/error.log" >&2 2>/dev/null || true
    return 1
}

stop_nginx() {
    if [[ -n "$nginx_pid" ]]; then
        kill -QUIT "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
        nginx_pid=
    fi
}

# stat_ticks PID → "utime stime cutime cstime" in clock ticks; fails when
# the process is gone. The command name may hold blanks and parentheses,
# so the fields are counted from the last ")".
stat_ticks() {
    local line
    { read -r line <"/proc/$1/stat"; } 2>/dev/null || return 1
    local -a f
    read -r -a f <<<"${line##*) }"
    echo "${f[11]} ${f[12]} ${f[13]} ${f[14]}"
}

# tree_ticks PID… → CPU ticks of these processes, their reaped children
# and their live children. The children are read before their parent: one
# that is reaped in between then shows up in the parent's cutime.
tree_ticks() {
    local total=0 pid child u s cu cs children
    for pid in "$@"; do
        children=$(cat "/proc/$pid/task/$pid/children" 2>/dev/null || true)
        for child in $children; do
            if read -r u s cu cs < <(stat_ticks "$child"); then
                total=$((total + u + s))
            fi
        done
        if read -r u s cu cs < <(stat_ticks "$pid"); then
            total=$((total + u + s + cu + cs))
        fi
    done
    echo "$total"
}

cpu_sample() {
    local servers postgres="-" balancer="-"
    servers=$(tree_ticks "${server_pids[@]}")
    [[ -n "$postmaster" ]] && postgres=$(tree_ticks "$postmaster")
    [[ -n "$nginx_pid" ]] && balancer=$(tree_ticks "$nginx_pid")
    echo "$servers $postgres $balancer"
}

# measure SETUP WORKLOAD URL [wrk options…]: one wrk run and the CPU time
# spent on it; appends "setup|workload|requests/s|p50 ms|p99 ms|non-2xx|
# socket errors|requests|server ticks|PostgreSQL ticks|nginx ticks|wrk's
# socket error line" to the results, "-" where a setup has no such process.
measure() {
    local setup=$1 workload=$2 url=$3; shift 3
    local before after out
    before=$(cpu_sample)
    out=$(wrk -t "$threads" -c "$connections" -d "${seconds}s" --latency "$@" "$url")
    after=$(cpu_sample)
    awk -v setup="$setup" -v workload="$workload" -v before="$before" -v after="$after" '
        function ms(text) {
            if (text ~ /us$/) return text / 1000
            if (text ~ /ms$/) return text + 0
            if (text ~ /m$/) return text * 60000
            if (text ~ /s$/) return text * 1000
            return text + 0
        }
        / requests in / { requests = $1 }
        /^Requests\/sec:/ { rps = $2 }
        $1 == "50%" { p50 = ms($2) }
        $1 == "99%" { p99 = ms($2) }
        /Non-2xx/ { bad = $NF }
        /Socket errors:/ {
            detail = $0; sub(/^ *Socket errors: */, "", detail)
            gsub(/[^0-9 ]/, " "); for (i = 1; i <= NF; i++) errors += $i
        }
        END {
            split(before, b, " "); split(after, a, " ")
            for (i = 1; i <= 3; i++) used[i] = b[i] == "-" ? "-" : a[i] - b[i]
            printf "%s|%s|%.0f|%.2f|%.2f|%d|%d|%d|%s|%s|%s|%s\n", setup, workload, rps, p50, p99, bad, errors,
                   requests, used[1], used[2], used[3], detail
        }
    ' <<<"$out" >>"$work/results"
    tail -n 1 "$work/results" | awk -F'|' '{ printf "  %-10s %8s requests/s, p50 %s ms, p99 %s ms\n", $2, $3, $4, $5 }'
}

# run_setup SETUP DB PROCESSES: the servers, nginx before them unless DB is
# SQLite's, the 100 scores, then the list page and the postings.
run_setup() {
    local setup=$1 db=$2 processes=$3 i target
    local logs=$work/logs/${setup%%.*}
    mkdir -p "$logs"
    # The first process makes the tables; the others start once it has.
    for i in $(seq 1 "$processes"); do
        start_server "$logs/server$i.log" "$db"
    done
    fill "${server_bases[0]}"
    if [[ "$db" == postgresql:* ]]; then
        start_nginx "${server_bases[@]##*:}"
        target=$nginx_base
    else
        target=${server_bases[0]}
    fi
    echo "$setup: $processes process(es), wrk at $target"
    # Not measured: each process opens its database connections when first
    # busy, and that belongs to starting up, not to the steady state.
    quietly "$logs/warmup.log" wrk -t "$threads" -c "$connections" -d "${warmup}s" "$target/counter/pegsquare.shtml"
    measure "$setup" "list page" "$target/counter/pegsquare.shtml"
    measure "$setup" "posting" "$target" -s "$work/post.lua"
    stop_nginx
    stop_servers
}

# --- the PostgreSQL setups, in pg_virtualenv's cluster --------------------

if [[ -n "$inside" ]]; then
    work=$3
    echo $$ >"$work/inside.pid"
    cleanup_inside() {
        stop_nginx
        stop_servers
        rm -f "$work/inside.pid"
    }
    trap cleanup_inside EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    data=$(psql -Atc 'show data_directory')
    read -r postmaster <"$data/postmaster.pid"
    kill -0 "$postmaster"
    echo "PostgreSQL $(psql -Atc 'show server_version') at ${PGHOST}:${PGPORT}, postmaster $postmaster;" \
        "$(psql -Atc "select string_agg(name || ' ' || setting || coalesce(unit, ''), ', ' order by name)
                      from pg_settings where name in ('shared_buffers', 'synchronous_commit', 'fsync', 'max_connections')")"
    for setup in "b. PostgreSQL, 1 process|1" "c. PostgreSQL, 2 processes|2" "d. PostgreSQL, 4 processes|4"; do
        processes=${setup##*|}
        name=pegsquare_$processes
        createdb "$name"
        run_setup "${setup%|*}" "postgresql:///$name" "$processes"
    done
    exit 0
fi

# --- setup a, then the others through pg_virtualenv, then the table -------

bash scripts/deps.sh --bench
# The build's output is kept in build/ and shown only when it fails.
quietly build/server-bench-build.log bash scripts/build.sh build
[[ -f "$stream_module" ]] || { echo "nginx's stream module is missing: $stream_module" >&2; exit 1; }

work=$(mktemp -d)
virtualenv_pid=
cleanup() {
    stop_servers
    if [[ -n "$virtualenv_pid" ]]; then
        # The inner run stops its servers and nginx; pg_virtualenv then
        # drops its cluster.
        [[ -f "$work/inside.pid" ]] && kill -TERM "$(cat "$work/inside.pid")" 2>/dev/null
        wait "$virtualenv_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
: >"$work/results"

cat >"$work/post.lua" <<'LUA'
-- Every request posts a different score under a different name, on
-- behalf of one of 20000 players (addresses named in X-Forwarded-For,
-- which the server believes of 127.0.0.1 only because it is told to), as
-- real postings come: a few from each address, not all from one.
local n = 0
request = function()
    n = n + 1
    local c = n % 20000
    local headers = { ["X-Forwarded-For"] = "10.1." .. math.floor(c / 250) .. "." .. (c % 250) }
    return wrk.format("GET", "/cgi-bin/pegsquare.cgi?name=Bench%20" .. n .. "&date=12/9/26&score=" .. (n % 100000),
                      headers)
end
LUA

clk_tck=$(getconf CLK_TCK)
echo "wrk: $threads threads, $connections connections, ${seconds}s per run after ${warmup}s unmeasured, loopback," \
    "$(nproc) cores;" \
    "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "posting limit off (--post-rate 0): the benchmark posts as fast as it can, for 20000 addresses in X-Forwarded-For"
echo "list cap off (--list-per-client 0): the 100 scores from one address are all listed"

measuring=$SECONDS
run_setup "a. SQLite, 1 process, direct" "$work/scores.db" 1

# -t: a cluster in a temporary folder even as root, so that this run cannot
# collide with another pg_virtualenv's "regress" cluster in /etc/postgresql.
pg_virtualenv -t -o fsync=on bash "$self" --inside "$seconds" "$connections" "$work" &
virtualenv_pid=$!
wait "$virtualenv_pid"
virtualenv_pid=

echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
awk -F'|' -v hz="$clk_tck" '
    function cpu(ticks, requests) { return ticks == "-" ? "-" : sprintf("%.3f", ticks * 1000 / hz / requests) }
    {
        if (!($1 in seen)) { seen[$1] = 1; order[++setups] = $1 }
        key = $1 SUBSEP $2
        rps[key] = $3; requests[key] = $8
        total = 0
        for (i = 9; i <= 11; i++) if ($i != "-") total += $i
        all[key] = total * 1000 / hz / $8
        printf "%-30s %-10s %10s %8s %8s %8d %7d | %8s %10s %8s %8.3f\n", $1 == last ? "" : $1, $2, $3, $4, $5,
               $6, $7, cpu($9, $8), cpu($10, $8), cpu($11, $8), all[key]
        last = $1
        if ($6 + $7) problems = problems sprintf("\n  %s, %s: %d non-2xx answers; socket errors: %s", $1, $2, $6,
                                                 $12 == "" ? "none" : $12)
    }
    BEGIN {
        printf "%-30s %-10s %10s %8s %8s %8s %7s | %-40s\n", "", "", "", "", "", "", "socket", "CPU ms per request"
        printf "%-30s %-10s %10s %8s %8s %8s %7s | %8s %10s %8s %8s\n", "setup", "requests", "requests/s", "p50 ms",
               "p99 ms", "non-2xx", "errors", "server", "PostgreSQL", "nginx", "together"
    }
    END {
        print ""
        a = order[1]
        for (s = 1; s <= setups; s++) {
            n = order[s]
            printf "%-30s / a: requests/s %.2f (postings), %.2f (list page); CPU per request %.2f (postings), %.2f (list page)\n",
                   n, rps[n SUBSEP "posting"] / rps[a SUBSEP "posting"],
                   rps[n SUBSEP "list page"] / rps[a SUBSEP "list page"],
                   all[n SUBSEP "posting"] / all[a SUBSEP "posting"],
                   all[n SUBSEP "list page"] / all[a SUBSEP "list page"]
        }
        if (problems) print "\nWARNING: requests that failed (wrk counts a request as a timeout after 2 s):" problems
    }
' "$work/results"

# What the servers logged: requests each process served, answers by class,
# and the lines for the operator ("pegsquare-server: …"), alike ones counted
# together; any other line (a message's continuation, a database notice)
# is counted and the first few shown.
echo
echo "server logs:"
for dir in "$work"/logs/*; do
    for log in "$dir"/server*.log; do
        awk -v name="$(basename "$dir") $(basename "$log" .log)" '
            $5 ~ /^[1-5][0-9][0-9]$/ && NF == 6 { served++; class[substr($5, 1, 1) "xx"]++; next }
            /^pegsquare-server: / {
                problems++
                key = substr($0, 1, 150)
                if (!(key in said)) order[++kinds] = key
                said[key]++
                next
            }
            { other++; if (other <= 3) lines = lines "\n    (other) " $0 }
            END {
                printf "  %s: %d requests", name, served
                for (c in class) printf ", %s %d", c, class[c]
                printf "; %d line(s) for the operator, %d other line(s)\n", problems, other
                for (k = 1; k <= kinds && k <= 5; k++) printf "    %d× %s\n", said[order[k]], order[k]
                if (lines != "") print substr(lines, 2)
            }
        ' "$log"
    done
done
echo
echo "measured in $((SECONDS - measuring)) s"
