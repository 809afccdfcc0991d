#!/usr/bin/env bash
# Load benchmark of the vendor web server against nginx on the same machine,
# in the same run: requests per second and latency for the high-score list
# page and for score posting, measured with wrk on loopback. nginx serves a
# static copy of the very page the server built, with a configuration of its
# own on another loopback port, and is stopped afterwards.
#
#   bash bench/server_bench.sh [SECONDS] [CONNECTIONS] [ROUNDS]   (defaults 10, 32 and 3)
#
# Installs wrk and nginx-light from Debian when missing and builds the
# server into build/. Prints the median of each figure over the rounds,
# and the ratios server / nginx with each round's own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-10}
connections=${2:-32}
rounds=${3:-3}
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

# run NAME URL [wrk options…] → "NAME|requests/s|avg ms|p50 ms|p99 ms|non-2xx"
run() {
    local name=$1 url=$2; shift 2
    local out
    out=$(wrk -t "$threads" -c "$connections" -d "${seconds}s" --latency "$@" "$url")
    awk -v name="$name" '
        function ms(text) {
            if (text ~ /us$/) return text / 1000
            if (text ~ /ms$/) return text + 0
            if (text ~ /m$/) return text * 60000
            if (text ~ /s$/) return text * 1000
            return text + 0
        }
        /^Requests\/sec:/ { rps = $2 }
        $1 == "Latency" && avg == "" { avg = ms($2) }
        $1 == "50%" { p50 = ms($2) }
        $1 == "99%" { p99 = ms($2) }
        /Non-2xx/ { bad = $NF }
        END { printf "%s|%.0f|%.2f|%.2f|%.2f|%s\n", name, rps, avg, p50, p99, bad + 0 }
    ' <<<"$out"
}

# The machine is shared and its speed wanders by a tenth or more from one
# run to the next, so the four runs are repeated in rounds, the server and
# nginx taking turns, and each figure is the median over the rounds.
echo
echo "wrk: $threads threads, $connections connections, ${seconds}s each, loopback, $(nproc) cores, $rounds rounds"
results=""
for round in $(seq 1 "$rounds"); do
    results+=$(
        run "list page, server" "$base/counter/pegsquare.shtml"
        run "list page, nginx static" "$nginx_base/counter/pegsquare.shtml"
        run "posting, server" "$base" -s "$work/post.lua"
        run "posting, nginx static" "$nginx_base" -s "$work/post.lua"
    )$'\n'
done
awk -F'|' -v rounds="$rounds" '
    function median(list,    values, n, i, j, t) {
        n = split(list, values, " ")
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && values[j - 1] + 0 > values[j] + 0; j--) {
                t = values[j]; values[j] = values[j - 1]; values[j - 1] = t
            }
        return n % 2 ? values[(n + 1) / 2] : (values[n / 2] + values[n / 2 + 1]) / 2
    }
    NF >= 6 {
        if (!($1 in rps)) order[++names] = $1
        rps[$1] = rps[$1] " " $2; avg[$1] = avg[$1] " " $3; p50[$1] = p50[$1] " " $4; p99[$1] = p99[$1] " " $5
        bad[$1] += $6
        round[$1]++
    }
    END {
        printf "%-28s %12s %10s %10s %10s\n", "", "requests/s", "avg ms", "p50 ms", "p99 ms"
        for (i = 1; i <= names; i++) {
            n = order[i]
            printf "%-28s %12.0f %10.2f %10.2f %10.2f%s\n", n, median(rps[n]), median(avg[n]), median(p50[n]),
                   median(p99[n]), bad[n] ? "  non-2xx: " bad[n] : ""
        }
        print ""
        split(rps["list page, server"], ls, " "); split(rps["list page, nginx static"], ln, " ")
        split(rps["posting, server"], ps, " "); split(rps["posting, nginx static"], pn, " ")
        lr = ""; pr = ""
        for (r = 1; r <= rounds; r++) {
            if (ln[r] > 0) lr = lr sprintf(" %.2f", ls[r] / ln[r])
            if (pn[r] > 0) pr = pr sprintf(" %.2f", ps[r] / pn[r])
        }
        printf "list page: server / nginx = %.2f (median; rounds:%s)\n", median(lr), lr
        printf "posting:   server / nginx static answer = %.2f (median; rounds:%s)\n", median(pr), pr
    }
' <<<"$results"
