#!/usr/bin/env bash
# Faults the vendor web server must survive, with figures. Not run by CI: it
# takes minutes. Two parts:
#
#  Kills. Each round starts the server on a fresh port over the same score
#  database, lets CONNECTIONS clients post scores as fast as they can, and
#  kills the server with SIGKILL at a random moment. The server is then
#  started again on that database and stopped cleanly, and every posting that
#  was answered 200 must be in the database, which must pass SQLite's
#  integrity check. A posting the server confirmed is one the player was told
#  is safe; losing it to a crash is a bug.
#
#  Full disk. The database lives on a small tmpfs (or, where tmpfs cannot be
#  mounted, under a tiny --max-db-mb limit). Postings go on until the server
#  refuses one; every posting answered 200 must still be stored, the refusal
#  should be 503 (try later), and the list page should still be served. The
#  tmpfs is then grown and postings must be answered 200 again.
#
#   bash bench/server_faults.sh [ROUNDS] [CONNECTIONS]   (defaults 20 and 32;
#                                                          ROUNDS=… and
#                                                          CONNECTIONS=… work too)
#
# Builds the server into build/ (configuring it with scripts/build.sh the
# first time). Needs python3 with its sqlite3 module.
# Exits 1 when a confirmed posting is missing, the database is damaged, the
# server does not come back, or the full-disk part goes wrong.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${1:-${ROUNDS:-20}}
connections=${2:-${CONNECTIONS:-32}}
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "ROUNDS must be a positive whole number, not '$rounds'" >&2; exit 2; }
[[ "$connections" =~ ^[1-9][0-9]*$ ]] || { echo "CONNECTIONS must be a positive whole number, not '$connections'" >&2; exit 2; }

bash scripts/deps.sh
if ! python3 -c 'import sqlite3, http.client' 2>/dev/null; then
    echo "python3 with its sqlite3 module is needed (Debian: apt-get install python3)" >&2
    exit 2
fi

work=$(mktemp -d)
build_log=$work/build.log
# Only the server is built once build/ is configured: a test elsewhere that
# does not compile at the moment should not stop a fault run.
if [[ -f build/build.ninja ]]; then
    build=(cmake --build build -j "$(nproc)" --target pegsquare-server)
else
    build=(bash scripts/build.sh build)
fi
if ! "${build[@]}" >"$build_log" 2>&1; then
    cat "$build_log" >&2
    echo "the build failed" >&2
    exit 1
fi
server=$root/build/server/pegsquare-server

server_pid=
poster_pid=
mounted=
cleanup() {
    if [[ -n "$poster_pid" ]]; then kill -TERM "$poster_pid" 2>/dev/null || true; wait "$poster_pid" 2>/dev/null || true; fi
    if [[ -n "$server_pid" ]]; then kill -KILL "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    if [[ -n "$mounted" ]]; then umount "$mounted" || echo "could not unmount $mounted" >&2; fi
    rm -rf "$work"
}
trap cleanup EXIT

# Without a posting rate limit the clients measure the server, not the limit.
# Servers that do not know the option have no limit at all.
rate_args=()
if "$server" --help | grep -q -e '--post-rate'; then
    rate_args=(--post-rate 0)
fi

cat >"$work/clients.py" <<'PY'
import http.client, signal, sqlite3, sys, threading, time, urllib.parse

def base36(n):
    digits = "0123456789abcdefghijklmnopqrstuvwxyz"
    text = ""
    while True:
        n, r = divmod(n, 36)
        text = digits[r] + text
        if n == 0:
            return text

def post(host, port, name, score):
    """One posting on a connection of its own; the status, or None when no
    answer came (refused, reset, timed out)."""
    query = urllib.parse.urlencode({"name": name, "date": "12/9/26", "score": str(score)}, safe="/")
    conn = http.client.HTTPConnection(host, port, timeout=10)
    try:
        conn.request("GET", "/cgi-bin/pegsquare.cgi?" + query, headers={"Connection": "close"})
        response = conn.getresponse()
        response.read()
        return response.status
    except (OSError, http.client.HTTPException):
        return None
    finally:
        conn.close()

def address(base):
    url = urllib.parse.urlsplit(base)
    return url.hostname, url.port

def flood(base, round_no, clients, out):
    """Posts from CLIENTS threads until SIGTERM; writes the names answered 200."""
    host, port = address(base)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    answered = [[] for _ in range(clients)]
    others = [{} for _ in range(clients)]
    def client(c):
        seq = 0
        while not stop.is_set():
            # Unique and short: K<round>c<client>n<sequence> in base 36.
            name = "K%sc%sn%s" % (base36(round_no), base36(c), base36(seq))
            status = post(host, port, name, (c * 7919 + seq) % 100000)
            seq += 1
            if status == 200:
                answered[c].append(name)
            else:
                others[c][status] = others[c].get(status, 0) + 1
                if status is None:
                    # The server is gone; do not spin while it is.
                    stop.wait(0.01)
    threads = [threading.Thread(target=client, args=(c,)) for c in range(clients)]
    for t in threads:
        t.start()
    print("posting", flush=True)
    while not stop.wait(0.05):
        pass
    for t in threads:
        t.join()
    names = [n for part in answered for n in part]
    with open(out, "w") as f:
        f.write("".join(n + "\n" for n in names))
    merged = {}
    for part in others:
        for k, v in part.items():
            merged[k] = merged.get(k, 0) + v
    print("answered200 %d other %s" % (len(names), " ".join(
        "%s:%d" % ("no-answer" if k is None else k, v) for k, v in sorted(merged.items(), key=lambda kv: str(kv[0]))) or "-"),
        flush=True)

def fill(base, prefix, limit, stop_on_refusal, out):
    """Posts one after another, up to LIMIT postings or, if asked, until the
    first one not answered 200. Appends the names answered 200 to OUT."""
    host, port = address(base)
    first_refusal = None
    ok = 0
    sent = 0
    with open(out, "a") as f:
        for seq in range(limit):
            # Long names fill the disk sooner.
            name = (prefix + base36(seq)).ljust(32, "x")
            status = post(host, port, name, seq % 100000)
            sent += 1
            if status == 200:
                ok += 1
                f.write(name + "\n")
            elif first_refusal is None:
                first_refusal = "no-answer" if status is None else str(status)
                if stop_on_refusal:
                    break
    print("sent %d answered200 %d first_refusal %s" % (sent, ok, first_refusal or "none"), flush=True)

def check(db, names_file):
    """Prints: confirmed found missing integrity; the first missing names on stderr."""
    with open(names_file) as f:
        confirmed = [line.rstrip("\n") for line in f if line.strip()]
    conn = sqlite3.connect(db)
    try:
        stored = {row[0] for row in conn.execute("SELECT name FROM scores")}
        integrity = "; ".join(row[0] for row in conn.execute("PRAGMA integrity_check"))
    finally:
        conn.close()
    missing = [n for n in confirmed if n not in stored]
    for n in missing[:20]:
        print("missing: " + n, file=sys.stderr)
    print("%d %d %d %s" % (len(confirmed), len(confirmed) - len(missing), len(missing), integrity.replace(" ", "_")))

mode = sys.argv[1]
if mode == "flood":
    flood(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
elif mode == "fill":
    fill(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5] == "stop", sys.argv[6])
elif mode == "check":
    check(sys.argv[2], sys.argv[3])
else:
    sys.exit("unknown mode " + mode)
PY

# start_server DB LOG [options…] — starts the server on a free port; sets
# server_pid, server_fd and base.
start_server() {
    local db=$1 log=$2 line; shift 2
    exec {server_fd}< <(exec "$server" --listen 127.0.0.1 --port 0 --db "$db" --content "$work/content" "$@" 2>>"$log")
    server_pid=$!
    if ! read -r -t 30 -u "$server_fd" line; then
        echo "the server did not start; its log ends:" >&2
        tail -n 20 "$log" >&2
        return 1
    fi
    base=${line##* }
}

# stop_server SIGNAL — sends SIGNAL and waits; returns the server's status.
stop_server() {
    local status=0
    kill "-$1" "$server_pid"
    wait "$server_pid" || status=$?
    server_pid=
    exec {server_fd}<&-
    return "$status"
}

failed=0
mkdir -p "$work/content" "$work/kills"
db=$work/kills/scores.db

echo "kills: $rounds rounds, $connections posting clients, SIGKILL after 0.2–2 s, $(nproc) cores${rate_args[*]:+, ${rate_args[*]}}"
printf '%6s %8s %11s %8s %8s  %s\n' round "kill at" "answered200" found missing "other answers"
total_answered=0 total_found=0 total_missing=0
for round in $(seq 1 "$rounds"); do
    log=$work/kills/server-$round.log
    start_server "$db" "$log" "${rate_args[@]}"

    exec {poster_fd}< <(exec python3 "$work/clients.py" flood "$base" "$round" "$connections" "$work/kills/answered-$round")
    poster_pid=$!
    if ! read -r -t 30 -u "$poster_fd" line || [[ "$line" != posting ]]; then
        echo "the posting clients did not start" >&2
        exit 1
    fi
    delay_ms=$((RANDOM % 1801 + 200))
    delay=$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))
    sleep "$delay"
    stop_server KILL || true

    kill -TERM "$poster_pid"
    read -r -t 60 -u "$poster_fd" summary || { echo "the posting clients did not stop" >&2; exit 1; }
    wait "$poster_pid" || { echo "the posting clients failed" >&2; exit 1; }
    poster_pid=
    exec {poster_fd}<&-
    answered=$(awk '{ print $2 }' <<<"$summary")
    others=${summary#* other }

    # The server must come back on the database it was killed over, serve
    # the list, and stop cleanly.
    restart_log=$work/kills/restart-$round.log
    if ! start_server "$db" "$restart_log"; then
        echo "round $round: the server did not start again after the kill" >&2
        exit 1
    fi
    list_status=$(curl -sS -o /dev/null -w '%{http_code}' "$base/counter/pegsquare.shtml")
    if ! stop_server TERM; then
        echo "round $round: the restarted server did not stop cleanly; its log ends:" >&2
        tail -n 20 "$restart_log" >&2
        failed=1
    fi
    if [[ "$list_status" != 200 ]]; then
        echo "round $round: after the restart the list page answered $list_status" >&2
        failed=1
    fi

    read -r confirmed found missing integrity < <(python3 "$work/clients.py" check "$db" "$work/kills/answered-$round")
    if [[ "$confirmed" != "$answered" ]]; then
        echo "round $round: the clients counted $answered answers but wrote $confirmed names" >&2
        failed=1
    fi
    printf '%6s %7ss %11d %8d %8d  %s\n' "$round" "$delay" \
        "$confirmed" "$found" "$missing" "$others"
    if ((missing > 0)); then failed=1; fi
    if [[ "$integrity" != ok ]]; then
        echo "round $round: integrity check: $integrity" >&2
        failed=1
    fi
    total_answered=$((total_answered + confirmed))
    total_found=$((total_found + found))
    total_missing=$((total_missing + missing))
done
rows=$(python3 -c 'import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); print(c.execute("SELECT count(*) FROM scores").fetchone()[0])' "$db")
printf '%6s %8s %11d %8d %8d  (%s rows in the database)\n' total "" "$total_answered" "$total_found" "$total_missing" "$rows"

echo
fulldir=$work/full
mkdir -p "$fulldir"
full_args=(--max-db-mb 0)
if [[ $(id -u) -eq 0 ]] && mount -t tmpfs -o size=2m pegsquare-faults "$fulldir"; then
    mounted=$fulldir
    echo "full disk: the database on a 2 MiB tmpfs"
else
    full_args=(--max-db-mb 1)
    echo "full disk: tmpfs cannot be mounted here (needs root); the database is held to --max-db-mb 1 instead"
fi
full_db=$fulldir/scores.db
full_log=$work/full-server.log
start_server "$full_db" "$full_log" "${full_args[@]}" "${rate_args[@]}"

read -r _ sent _ ok _ refusal < <(python3 "$work/clients.py" fill "$base" F 200000 stop "$work/full-answered")
echo "  postings until the first refusal: $sent sent, $ok answered 200, first refusal: $refusal"
if [[ "$refusal" == none ]]; then
    echo "  the database never filled up" >&2
    failed=1
elif [[ "$refusal" != 503 ]]; then
    echo "  the first refusal was $refusal where 503 (try later) was expected" >&2
    failed=1
fi
read -r _ sent _ ok _ refusal < <(python3 "$work/clients.py" fill "$base" G 50 go "$work/full-answered")
echo "  while full: $sent more postings, $ok answered 200"
list_status=$(curl -sS -o /dev/null -w '%{http_code}' "$base/counter/pegsquare.shtml")
echo "  while full: the list page answered $list_status"
[[ "$list_status" == 200 ]] || failed=1

if [[ -n "$mounted" ]]; then
    mount -o remount,size=16m "$mounted"
    read -r _ sent _ ok _ refusal < <(python3 "$work/clients.py" fill "$base" H 200 go "$work/full-answered")
    echo "  after growing the tmpfs to 16 MiB: $sent postings, $ok answered 200, first refusal: $refusal"
    if ((ok != sent)); then
        echo "  postings were still refused after room was made" >&2
        failed=1
    fi
fi
if ! stop_server TERM; then
    echo "  the server did not stop cleanly; its log ends:" >&2
    tail -n 20 "$full_log" >&2
    failed=1
fi
read -r confirmed found missing integrity < <(python3 "$work/clients.py" check "$full_db" "$work/full-answered")
echo "  answered 200: $confirmed, found in the database: $found, missing: $missing, integrity: $integrity"
if ((missing > 0)) || [[ "$integrity" != ok ]]; then failed=1; fi

echo
if ((failed)); then
    echo "FAILED: see the lines above"
    exit 1
fi
echo "all confirmed postings survived"
