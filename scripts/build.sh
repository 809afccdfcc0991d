#!/usr/bin/env bash
# build.sh DIR [cmake options…] — configures (once) and builds into DIR.
set -euo pipefail
dir=$1; shift
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/quiet.sh"
if [[ ! -f "$dir/build.ninja" ]]; then
    quietly "$dir/configure.log" cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$dir" -j "$(nproc)"
