#!/usr/bin/env bash
# Installs what is missing, builds Pegsquare and starts the game, with the
# local vendor web server on loopback when it has been built.
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

server_pid=
if [[ -x build/server/pegsquare-server ]]; then
    build/server/pegsquare-server --listen 127.0.0.1 --port 8080 --data build/server-data &
    server_pid=$!
    trap '[[ -n "$server_pid" ]] && kill "$server_pid" 2>/dev/null' EXIT
fi

build/pegsquare
