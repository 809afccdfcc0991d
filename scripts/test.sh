#!/usr/bin/env bash
# Installs what is missing, builds Pegsquare twice (plain with warnings as
# errors, and with AddressSanitizer + UndefinedBehaviorSanitizer), runs the
# whole test suite on both, and memcheck and cppcheck on the plain build.
# Ends with CTest's summary of the plain build.
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

echo "== Plain build (warnings are errors) =="
werror=(-DCMAKE_C_FLAGS=-Werror -DCMAKE_CXX_FLAGS=-Werror)
bash scripts/build.sh build "${werror[@]}"

# The quick program-wide checks read that build: memcheck over the test
# programs without Qt, and cppcheck. (clang-tidy and the Clang build take
# far longer; scripts/analyse.sh runs them on request.)
echo "== Memcheck and cppcheck =="
ANALYSE_BUILD=build bash scripts/analyse.sh --valgrind --cppcheck

echo "== Tests of the plain build =="
ctest --test-dir build --output-on-failure -j "$jobs"
