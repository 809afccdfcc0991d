#!/usr/bin/env bash
# Runs the program benchmarks from an existing build and prints one table
# of figures, each with the peer measured in the same run and the ratio:
# start-up to the first painted main window, resident memory, the tally
# file's load and save, and the GUI thread's stalls during the online
# operations against a slow loopback server.
#
#   bash bench/program_bench.sh BUILD_DIR [--offscreen] [STARTUP_RUNS] [GAMES] [INSTALLER_KIB] [KIB_PER_SECOND]
#
# Builds nothing: BUILD_DIR must hold bench/program_bench (cmake --build
# BUILD_DIR --target program_bench). The windows go to a private Xvfb
# display (the first free one, found by Xvfb itself) unless --offscreen is
# given or Xvfb is missing, then to Qt's offscreen platform. Sound goes to
# SDL's dummy driver unless SDL_AUDIODRIVER says otherwise. Exits non-zero
# when a benchmark failed, a GUI stall reached 50 ms, or the list page
# arriving kept the GUI thread 16 ms or more.
set -euo pipefail

if (($# < 1)); then
    sed -n '8p' "$0" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
shift
offscreen=0
if [[ "${1:-}" == "--offscreen" ]]; then
    offscreen=1
    shift
fi
runs=${1:-15}
games=${2:-10}
installer_kib=${3:-1536}
rate=${4:-64}

bench=$build/bench/program_bench
if [[ ! -x "$bench" ]]; then
    echo "no $bench: build it first with: cmake --build $build -j2 --target program_bench" >&2
    exit 1
fi

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    if [[ -n "$xvfb_pid" ]]; then
        kill -TERM "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
if [[ -z "${XDG_RUNTIME_DIR:-}" ]]; then
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR=$work/runtime
fi
display="offscreen"
if ((offscreen == 0)) && command -v Xvfb >/dev/null; then
    # Xvfb picks a free display and writes its number on the descriptor.
    exec {xready}< <(exec Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 1280x1024x24 2>"$work/xvfb.log")
    xvfb_pid=$!
    if read -r -t 15 -u "$xready" number; then
        export DISPLAY=":$number"
        export QT_QPA_PLATFORM=xcb
        display="Xvfb $DISPLAY"
    else
        echo "Xvfb did not start; using the offscreen platform:" >&2
        cat "$work/xvfb.log" >&2
        kill -TERM "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    fi
fi
if [[ "$display" == "offscreen" ]]; then
    export QT_QPA_PLATFORM=offscreen
fi

echo "program benchmarks: $bench"
echo "display $display; sound driver $SDL_AUDIODRIVER; $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo

failed=0
step() {
    local name=$1
    shift
    echo "== $name"
    if "$bench" "$@" >"$work/$name.out" 2>"$work/$name.err"; then
        :
    else
        echo "   ($name exited with status $?)"
        failed=1
    fi
    grep -v $'^FIGURE\t' "$work/$name.out" || true
    cat "$work/$name.err" >&2
    grep $'^FIGURE\t' "$work/$name.out" >>"$work/figures" || true
    echo
}

step startup startup "$runs"
step memory memory "$games"
mkdir -p "$work/tally"
step tally tally "$work/tally" 1
step stall stall "$installer_kib" "$rate"

echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
awk -F'\t' '
    BEGIN { printf "%-40s %12s %-4s  %-28s %12s %8s\n", "figure", "value", "", "peer", "peer value", "ratio" }
    { printf "%-40s %12.2f %-4s  %-28s %12.2f %8s\n", $2, $3, $4, $5, $6, $7 }
' "$work/figures"
exit "$failed"
