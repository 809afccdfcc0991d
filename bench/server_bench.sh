#!/usr/bin/env bash
# Load benchmark of the vendor web server against nginx on the same machine,
# in the same run: requests per second and latency for the high-score list
# page and for score posting, measured with wrk on loopback. nginx serves a
# static copy of the very page the server built, with a configuration of its
# own on another loopback port, and is stopped afterwards.
#
#   bash bench/server_bench.sh [SECONDS] [CONNECTIONS]   (defaults 10 and 32)
#
# Installs wrk and nginx-light from Debian when missing and builds the
# server into build/. Prints a table and the ratios server / nginx.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-10}
connections=${2:-32}
threads=2

bash scripts/deps.sh --bench
# The build's output is kept in build/ and shown only when it fails.
source scripts/quiet.sh
quietly build/server-bench-build.log bash scripts/build.sh build
server=$root/build/server/pegsquare-server
nginx=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d)
server_pid=
nginx_pid=
cleanup() {
    [[ -n "$server_pid" ]] && kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    [[ -n "$nginx_pid" ]] && kill -QUIT "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The server on any free port; its first line says which.
exec {ready}< <(exec "$server" --listen 127.0.0.1 --port 0 --db "$work/scores.db" \
    --content "$work/content" --post-rate 0 --list-per-client 0 --trusted-proxy 127.0.0.1 2>"$work/server.log")
server_pid=$!
read -r -t 15 -u "$ready" line || { echo "server did not start:" >&2; cat "$work/server.log" >&2; exit 1; }
base=${line##* }
echo "pegsquare-server at $base"
echo "posting limit off (--post-rate 0): the benchmark posts as fast as it can, for 20000 addresses in X-Forwarded-For"
echo "list cap off (--list-per-client 0): its 100 scores from that one address are all listed"

# A full list: 100 scores, so the page is as large as it gets.
for i in $(seq 1 100); do
    curl -fsS -o /dev/null "$base/cgi-bin/pegsquare.cgi?name=Player%20$i&date=12/9/26&score=$((i * 7))"
done
mkdir -p "$work/www/counter" "$work/www/cgi-bin"
curl -fsS -o "$work/www/counter/pegsquare.shtml" "$base/counter/pegsquare.shtml"
curl -fsS -o "$work/www/cgi-bin/pegsquare.cgi" \
    "$base/cgi-bin/pegsquare.cgi?name=Reference&date=12/9/26&score=1"
echo "list page: $(stat -c %s "$work/www/counter/pegsquare.shtml") bytes"

# nginx with a configuration of its own. The port is picked by binding to
# port 0 and releasing it; should another program take it meanwhile, nginx
# fails to start and the next port is tried.
start_nginx() {
    local attempt port
    for attempt in 1 2 3 4 5; do
        port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        mkdir -p "$work/nginx/logs"
        cat >"$work/nginx/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
$( [[ $(id -u) -eq 0 ]] && echo "user root;" )
events { worker_connections 1024; }
http {
    access_log $work/nginx/logs/access.log;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    types { text/html shtml cgi; }
    server {
        listen 127.0.0.1:$port;
        root $work/www;
        location /cgi-bin/ { default_type text/html; }
    }
}
CONF
        "$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>>"$work/nginx/start.log" &
        nginx_pid=$!
        local tries
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
start_nginx
echo "nginx at $nginx_base"

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

# run NAME URL [wrk options…] → "NAME rps avg p50 p99"
run() {
    local name=$1 url=$2; shift 2
    local out
    out=$(wrk -t "$threads" -c "$connections" -d "${seconds}s" --latency "$@" "$url")
    awk -v name="$name" '
        /^Requests\/sec:/ { rps = $2 }
        $1 == "Latency" && avg == "" { avg = $2 }
        $1 == "50%" { p50 = $2 }
        $1 == "99%" { p99 = $2 }
        /Non-2xx/ { bad = $NF }
        END { printf "%-28s %12s %10s %10s %10s %s\n", name, rps, avg, p50, p99, (bad ? "non-2xx: " bad : "") }
    ' <<<"$out"
}

echo
echo "wrk: $threads threads, $connections connections, ${seconds}s each, loopback, $(nproc) cores"
printf '%-28s %12s %10s %10s %10s\n' "" "requests/s" "avg" "p50" "p99"
results=$(
    run "list page, server" "$base/counter/pegsquare.shtml"
    run "list page, nginx static" "$nginx_base/counter/pegsquare.shtml"
    run "posting, server" "$base" -s "$work/post.lua"
    run "posting, nginx static" "$nginx_base" -s "$work/post.lua"
)
echo "$results"
echo
awk '
    { rps[NR] = $(NF-3) + 0 }
    END {
        if (rps[2] > 0) printf "list page: server / nginx = %.2f\n", rps[1] / rps[2]
        if (rps[4] > 0) printf "posting:   server / nginx static answer = %.2f\n", rps[3] / rps[4]
    }
' <<<"$(sed 's/non-2xx:.*//' <<<"$results")"
