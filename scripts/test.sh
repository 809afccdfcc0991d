#!/usr/bin/env bash
# Installs what is missing, builds Pegsquare twice (plain, and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs the whole test
# suite on both. Ends with CTest's summary of the plain build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
jobs=$(nproc)

echo "== Sanitizer build (ASan + UBSan) =="
bash scripts/build.sh build-asan -DPEGSQUARE_SANITIZE=ON -DPEGSQUARE_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

if [[ -x scripts/fuzz.sh ]]; then
    echo "== Short fuzzing run =="
    bash scripts/fuzz.sh
fi

echo "== Plain build =="
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$jobs"
