#!/usr/bin/env bash
# Installs what is missing, builds Pegsquare and starts the game. When the
# game was built to talk to a vendor server on loopback (the default), that
# server is started first, in the background, with its database and
# published files in build/server-data, and stopped when the game ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/deps.sh
bash scripts/build.sh build

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    cat >&2 <<'MSG'
Pegsquare is built, but there is no display to show its window on
(neither DISPLAY nor WAYLAND_DISPLAY is set).

Start it from a desktop session, or run it on a virtual display:
    xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/play.sh
MSG
    exit 1
fi

# The host the game was built for, from the build's cache.
vendor=$(sed -n 's/^PEGSQUARE_VENDOR_HOST:[A-Z]*=//p' build/CMakeCache.txt)
server=build/server/pegsquare-server
server_pid=
stop_server() {
    if [[ -n "$server_pid" ]]; then
        kill -TERM "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
}
trap stop_server EXIT

if [[ "$vendor" =~ ^127\.0\.0\.1:([0-9]+)$ && -x "$server" ]]; then
    port=${BASH_REMATCH[1]}
    data=build/server-data
    mkdir -p "$data/content/pegsquare"
    # The server prints one line once it is listening; wait for that line
    # (or for its end, if it cannot start) rather than for a fixed time.
    exec {ready}< <(exec "$server" --listen 127.0.0.1 --port "$port" \
        --db "$data/scores.db" --content "$data/content" 2>>"$data/access.log")
    server_pid=$!
    if read -r -t 15 -u "$ready" line && [[ "$line" == *"listening on"* ]]; then
        echo "$line (access log: $data/access.log)"
        # This build trusts the key pair of its own build folder, so an
        # update signed with it can be tried against the local server.
        if [[ -f build/update-key/pegsquare.key ]]; then
            echo "To try the update: server/sample/publish.sh 1.0.2 server/sample/pegsetup.sh" \
                "build/update-key/pegsquare.key $data/content, then Help > Check for Update Now."
        fi
    else
        echo "The local vendor server did not start; the game runs without its online list." >&2
        echo "Its last messages ($data/access.log):" >&2
        tail -n 5 "$data/access.log" >&2 || true
        stop_server
        server_pid=
    fi
elif [[ "$vendor" =~ ^127\.0\.0\.1 ]]; then
    echo "No vendor server was built (PEGSQUARE_BUILD_SERVER=OFF); the game runs without its online list." >&2
fi

build/pegsquare
