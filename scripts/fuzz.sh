#!/usr/bin/env bash
# Builds the codec fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in their own build folder and runs each for a
# bounded time, seeded with the golden containers. Exits non-zero when a
# target finds a crash, a leak of bounds or a broken round trip; the input
# that did it is left in the build folder's artifacts/.
#
#   FUZZ_SECONDS   seconds per target (default 9; four targets)
#   FUZZ_BUILD     build folder (default build-fuzz)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/quiet.sh"
build=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-9}
targets=(fuzz_lzrw1kh_block fuzz_container_lzrw1kh fuzz_container_lzh fuzz_lzh_decode)

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (scripts/deps.sh installs it)" >&2
    exit 1
fi

if [[ ! -f "$build/build.ninja" ]]; then
    CXX=clang++ quietly "$build/configure.log" cmake -S "$root/bench/fuzz" -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
quietly "$build/build.log" cmake --build "$build" -j 2

# Seeds: the golden containers, without their 4-byte identifier for the
# container targets (those add it back) and the LZH decode target (which
# reads the same size and stream), and their first block for the block
# target.
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"/{fuzz_lzrw1kh_block,fuzz_container_lzrw1kh,fuzz_container_lzh,fuzz_lzh_decode}
for f in "$root"/tests/data/*.wrzl; do
    name=$(basename "$f")
    tail -c +5 "$f" >"$seeds/fuzz_container_lzrw1kh/$name"
    # First block: its 16-bit length at offset 8, the block after it. One
    # reader cuts it out; a pipe into a reader that stops early could end
    # the writer by SIGPIPE and fail this step by timing alone.
    len=$(od -An -tu2 -j8 -N2 "$f")
    dd if="$f" of="$seeds/fuzz_lzrw1kh_block/$name" iflag=skip_bytes,count_bytes \
        skip=10 count=$((len)) status=none
done
for f in "$root"/tests/data/*.hzl; do
    tail -c +5 "$f" >"$seeds/fuzz_container_lzh/$(basename "$f")"
    cp "$seeds/fuzz_container_lzh/$(basename "$f")" "$seeds/fuzz_lzh_decode/"
done

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/artifacts"
status=0
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    mkdir -p "$corpus"
    echo "-- $t (${seconds}s)"
    if ! "$build/$t" "$corpus" "$seeds/$t" \
        -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
        >"$build/$t.log" 2>&1; then
        echo "fuzz.sh: $t found a problem; see $build/$t.log" >&2
        tail -n 40 "$build/$t.log" >&2
        status=1
    else
        grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/$t.log" | tail -n 2 || true
    fi
done
exit "$status"
