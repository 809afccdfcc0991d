#!/usr/bin/env bash
# Tries the server's systemd unit for real on a machine without systemd as
# PID 1: boots this machine's own system in a throw-away container
# (systemd-nspawn --volatile=yes: /usr read-only from the host, everything
# else in memory), with the unit from server/deploy/ naming the server
# built in build/, and a check unit that takes it through the deployment
# steps of the README: it answers /healthz on port 80, stores and lists a
# posting, runs as its own dynamic user with only CAP_NET_BIND_SERVICE and
# no new privileges, keeps its database and log in its state and log
# folders, and `systemctl reload` reopens a log that was renamed away.
#
#   bash scripts/try-unit.sh        (as root; installs systemd-container)
#
# Prints what the check saw and exits non-zero when a step failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if ! command -v systemd-nspawn >/dev/null; then
    apt-get update -q
    apt-get install -y -q systemd-container
fi
bash scripts/build.sh build >"$root/build/try-unit-build.log" 2>&1 || {
    cat "$root/build/try-unit-build.log" >&2
    exit 1
}
server=$root/build/server/pegsquare-server

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/units" "$work/out"
sed "s#/usr/bin/pegsquare-server#$server#" server/deploy/pegsquare-server.service >"$work/units/pegsquare-server.service"
cat >"$work/units/try-unit.service" <<'UNIT'
[Unit]
Description=Deployment check of pegsquare-server
Requires=pegsquare-server.service
After=pegsquare-server.service
[Service]
Type=oneshot
ExecStart=/bin/bash /try/check.sh
ExecStopPost=/bin/systemctl --no-block poweroff
UNIT
cat >"$work/check.sh" <<'CHECK'
#!/bin/bash
# Runs inside the container; every line of the result is one finding.
exec >/try-out/result.txt 2>&1
failed=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; failed=1; fi; }
get() { curl -fsS --retry 30 --retry-connrefused --retry-max-time 30 "$@"; }
check "healthz answers on port 80" '[[ $(get http://127.0.0.1/healthz) == ok ]]'
check "a posting is stored" 'get -o /dev/null "http://127.0.0.1/cgi-bin/pegsquare.cgi?name=Unit%20Try&date=12/10/26&score=77"'
check "and listed" 'get http://127.0.0.1/counter/pegsquare.shtml | grep -q "Unit Try"'
pid=$(systemctl show -p MainPID --value pegsquare-server)
echo "     runs as: $(ps -o user=,uid= -p "$pid")"
check "a dynamic user" '[[ $(systemctl show -p DynamicUser --value pegsquare-server) == yes && $(ps -o uid= -p "$pid") -ne 0 ]]'
check "only CAP_NET_BIND_SERVICE" 'grep -q "^CapEff:.*0000000000000400$" /proc/$pid/status'
check "no new privileges" 'grep -q "^NoNewPrivs:.*1$" /proc/$pid/status'
check "16384 open files" 'grep -q "^Max open files *16384 *16384" /proc/$pid/limits'
check "the database in its state folder" '[[ -s /var/lib/pegsquare/scores.db ]]'
check "the log in its log folder" 'grep -q "Unit%20Try" /var/log/pegsquare/access.log'
mv /var/log/pegsquare/access.log /var/log/pegsquare/access.log.1
systemctl reload pegsquare-server
reopened=no
for attempt in $(seq 1 200); do
    get -o /dev/null http://127.0.0.1/healthz
    if [[ -s /var/log/pegsquare/access.log ]]; then reopened=yes; break; fi
done
check "reload reopens the log" '[[ $reopened == yes ]]'
check "still running" 'systemctl is-active -q pegsquare-server'
echo "     $(systemd-analyze security pegsquare-server | tail -1)"
echo "result: $([[ $failed == 0 ]] && echo passed || echo failed)"
CHECK

systemd-nspawn --quiet --keep-unit --register=no --volatile=yes --private-network -D / --machine pegsquare-try -b \
    --bind-ro=/dev/null:/etc/systemd/system/systemd-firstboot.service \
    --bind-ro="$work/units/pegsquare-server.service:/etc/systemd/system/pegsquare-server.service" \
    --bind-ro="$work/units/try-unit.service:/etc/systemd/system/try-unit.service" \
    --bind-ro="$work/check.sh:/try/check.sh" --bind="$work/out:/try-out" \
    --bind-ro="$root/build:$root/build" \
    -- --unit=try-unit.service >"$work/boot.log" 2>&1 || true
if [[ ! -s "$work/out/result.txt" ]]; then
    echo "the container did not run the check; its console said:" >&2
    cat "$work/boot.log" >&2
    exit 1
fi
cat "$work/out/result.txt"
grep -q '^result: passed$' "$work/out/result.txt"
