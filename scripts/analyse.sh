#!/usr/bin/env bash
# Program-wide checks, slower than the test suite. Each step says what it
# runs, fails on any finding and shows the finding; the script runs every
# step it was asked for and exits non-zero when any of them failed.
#
#   analyse.sh [--gcc] [--clang] [--tidy] [--cppcheck] [--valgrind]
#
# With no option it runs them all.
#   --gcc       the GCC build with -Werror (the build every other step but
#               --clang reads: its compile database and its test programs)
#   --clang     the same program built with Clang 14 and -Werror
#   --tidy      clang-tidy with /.clang-tidy over our sources
#   --cppcheck  cppcheck (warning, performance, portability) over our sources
#   --valgrind  memcheck over every test program that starts no Qt test main
#
# Waived findings live in scripts/analysis/, each with its reason.
#
#   ANALYSE_BUILD        GCC build folder (default build-analyse)
#   ANALYSE_CLANG_BUILD  Clang build folder (default build-analyse-clang)
#   ANALYSE_JOBS         parallel jobs (default 2)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/quiet.sh

gcc_build=${ANALYSE_BUILD:-build-analyse}
clang_build=${ANALYSE_CLANG_BUILD:-build-analyse-clang}
jobs=${ANALYSE_JOBS:-2}
waivers=scripts/analysis

steps=()
for arg in "$@"; do
    case "$arg" in
        --gcc | --clang | --tidy | --cppcheck | --valgrind) steps+=("${arg#--}") ;;
        -h | --help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "analyse.sh: unknown option $arg (see --help)" >&2; exit 2 ;;
    esac
done
((${#steps[@]} > 0)) || steps=(gcc clang tidy cppcheck valgrind)

bash scripts/deps.sh --analyse

# Configures DIR with -Werror (plus the given options; a folder configured
# otherwise is set to these, so no step reads a build made without them) and
# builds everything; -k 0 so one failing file does not hide the warnings of
# the others. A file with a warning never produces an object, so a later
# incremental run reports it again instead of forgetting it.
werror_build() {
    local dir=$1; shift
    quietly "$dir/analyse-configure.log" cmake -S "$root" -B "$dir" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_FLAGS=-Werror -DCMAKE_CXX_FLAGS=-Werror "$@" || return 1
    if ! quietly "$dir/analyse-build.log" cmake --build "$dir" -j "$jobs" -- -k 0; then
        echo "-- warnings and errors:" >&2
        grep -E '(warning|error):' "$dir/analyse-build.log" | sort -u >&2 || true
        return 1
    fi
}

gcc_built=""
gcc_build_once() {
    if [[ -z "$gcc_built" ]]; then
        if werror_build "$gcc_build"; then gcc_built=ok; else gcc_built=failed; fi
    fi
    [[ "$gcc_built" == ok ]]
}

step_gcc() {
    gcc_build_once
}

step_clang() {
    CC=clang CXX=clang++ werror_build "$clang_build" \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
}

# A compile database of our translation units alone: the tracked sources
# that the build compiles, so moc, rcc and other generated files stay out.
# CMake writes one key per line and each entry between a line "{" and a
# line "}" or "},", which is all this reads.
our_db() {
    local db="$gcc_build/analyse-db"
    mkdir -p "$db"
    rm -f "$db/files.txt"
    git ls-files -- '*.cpp' '*.c' | sed "s|^|$root/|" >"$db/tracked.txt"
    awk -v tracked="$db/tracked.txt" '
        BEGIN { while ((getline line < tracked) > 0) keep[line] = 1 }
        /^\{$/ { entry = $0; file = ""; next }
        entry != "" {
            entry = entry "\n" $0
            if ($0 ~ /^  "file": "/) { file = $0; sub(/^  "file": "/, "", file); sub(/",?$/, "", file) }
            if ($0 ~ /^\},?$/) {
                if (file in keep) { sub(/,$/, "", entry); out = out (n++ ? ",\n" : "") entry; print file > list }
                entry = ""
            }
        }
        END { print "[\n" out "\n]" }' list="$db/files.txt" \
        "$gcc_build/compile_commands.json" >"$db/compile_commands.json"
    [[ -s "$db/files.txt" ]] || { echo "no sources of ours in $gcc_build/compile_commands.json" >&2; return 1; }
}

# Findings as "FILE:LINE:COL: warning|error: … [check]" lines, minus those
# that scripts/analysis/clang-tidy.waivers waives: a line "GLOB CHECK" there
# waives CHECK in the files that match GLOB (relative to the root).
unwaived_findings() {
    local log=$1 file check waived glob wcheck
    grep -E '^[^ :]+:[0-9]+:[0-9]+: (warning|error): .*\[[^]]+\]$' "$log" | sort -u |
        while IFS= read -r line; do
            file=${line%%:*}
            file=${file#"$root/"}
            check=${line##*[}
            check=${check%]}
            waived=""
            while read -r glob wcheck; do
                [[ -z "$glob" || "$glob" == \#* ]] && continue
                # shellcheck disable=SC2053
                if [[ "$file" == $glob && "$check" == "$wcheck" ]]; then waived=yes; break; fi
            done <"$waivers/clang-tidy.waivers"
            [[ -n "$waived" ]] || echo "$line"
        done
}

step_tidy() {
    gcc_build_once || { echo "clang-tidy needs the GCC build" >&2; return 1; }
    local log="$gcc_build/analyse-tidy.log" status=0 findings
    our_db || return 1
    # Batches of eight files per clang-tidy, two at a time. A file that does
    # not compile makes clang-tidy fail; findings are read from the output.
    xargs -n 8 -P "$jobs" clang-tidy -p "$gcc_build/analyse-db" --quiet \
        <"$gcc_build/analyse-db/files.txt" >"$log" 2>&1 || status=$?
    findings=$(unwaived_findings "$log")
    if [[ -n "$findings" ]]; then
        echo "-- clang-tidy findings (full output in $log):" >&2
        echo "$findings" >&2
        return 1
    fi
    if ((status != 0)); then
        echo "-- clang-tidy failed (exit $status); its output:" >&2
        cat "$log" >&2
        return 1
    fi
}

step_cppcheck() {
    gcc_build_once || { echo "cppcheck needs the GCC build" >&2; return 1; }
    our_db || return 1
    mkdir -p "$gcc_build/analyse-cppcheck"
    # Only our own -I folders are in the database (Qt, GoogleTest and the
    # rest come in as -isystem), so cppcheck reads our headers and takes the
    # libraries from its own descriptions of them.
    quietly "$gcc_build/analyse-cppcheck.log" cppcheck \
        --project="$gcc_build/analyse-db/compile_commands.json" \
        --enable=warning,performance,portability \
        --library=qt --library=googletest --library=posix --library=sqlite3 \
        --suppressions-list="$waivers/cppcheck.supp" \
        --inline-suppr --error-exitcode=1 -j "$jobs" -q \
        --template='{file}:{line}: {severity} [{id}] {message}' \
        --cppcheck-build-dir="$gcc_build/analyse-cppcheck"
}

# The test programs CTest runs that do not link the Qt test main (the one
# that starts a QApplication), found from CTest and the build graph so a new
# test is checked without a list to keep.
plain_tests() {
    local build_abs="$root/$gcc_build" listing target inputs
    # Listing starts the Qt tests to discover their cases; what they say
    # meanwhile is kept with the listing and shown only when it fails.
    if ! listing=$(ctest --test-dir "$gcc_build" -N -V 2>&1); then
        echo "ctest cannot list the tests:" >&2
        echo "$listing" >&2
        return 1
    fi
    sed -n "s|^[0-9]*: Test command: $build_abs/\(tests/[^ ]*\).*|\1|p" <<<"$listing" | sort -u |
        while read -r target; do
            # Read whole, not piped into grep -q: that stops reading at the
            # first match, and under pipefail the writer's SIGPIPE would
            # count the test as plain.
            inputs=$(ninja -C "$gcc_build" -t query "$target")
            [[ "$inputs" == *libpeg_test_main_qt.a* ]] || echo "$target"
        done
}

step_valgrind() {
    gcc_build_once || { echo "valgrind needs the GCC build" >&2; return 1; }
    local failed=0 tests test name dir log
    # The steps run as conditions, where a failed command does not end them:
    # an empty list must not pass as clean.
    tests=$(plain_tests) || return 1
    [[ -n "$tests" ]] || { echo "no test programs without the Qt test main found" >&2; return 1; }
    for test in $tests; do
        name=$(basename "$test")
        dir="$root/$gcc_build/$(dirname "$test")"
        log="$root/$gcc_build/analyse-valgrind-$name.log"
        echo "   $name"
        # Run where CTest runs it, with the environment it gives the tests.
        if ! (cd "$dir" && export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy &&
            quietly "$log" valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
                --show-leak-kinds=definite,possible --errors-for-leak-kinds=definite,possible \
                --suppressions="$root/$waivers/valgrind.supp" --num-callers=30 "./$name"); then
            failed=1
        # A forked child (a test of how a process ends) reports in the same
        # log, but its errors do not reach the test's exit status.
        elif grep -E '^==[0-9]+== ERROR SUMMARY: [1-9]' "$log" >/dev/null; then
            echo "== errors in a child process of $name; its log:" >&2
            cat "$log" >&2
            failed=1
        fi
    done
    ((failed == 0))
}

failed=()
for step in "${steps[@]}"; do
    echo "== $step =="
    start=$SECONDS
    if "step_$step"; then
        echo "-- $step: clean ($((SECONDS - start)) s)"
    else
        echo "-- $step: FAILED ($((SECONDS - start)) s)"
        failed+=("$step")
    fi
done
if ((${#failed[@]} > 0)); then
    echo "analyse.sh: findings in: ${failed[*]}" >&2
    exit 1
fi
echo "analyse.sh: all clean (${steps[*]})"
