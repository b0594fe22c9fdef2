#!/bin/bash
# Builds everything below the GUI with sanitizers and runs its tests:
# AddressSanitizer with UndefinedBehaviorSanitizer (clang, which also builds
# the fuzz targets, each then run for a bounded time from its seeds), and
# ThreadSanitizer for the threaded code (loops, connection, speaker,
# settings, server): only those test programs are built and run. Each phase
# prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
asan=${ASAN_BUILD:-build-asan}
tsan=${TSAN_BUILD:-build-tsan}
fuzz_seconds=${FUZZ_SECONDS:-20}
jobs=$(nproc)
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVAR_BUILD_GUI=OFF -DTOLVAR_BUILD_BENCHMARKS=OFF)
if command -v ccache >/dev/null 2>&1; then
    common+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
started=$SECONDS
took() {
    echo "-- $1: $((SECONDS - started)) s"
    started=$SECONDS
}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
[ -f "$asan/build.ninja" ] || cmake -S . -B "$asan" "${common[@]}" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOLVAR_BUILD_FUZZERS=ON
cmake --build "$asan" -j "$jobs"
took "building"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$asan" --output-on-failure -j "$jobs" --timeout 300
took "testing"

echo "== Fuzzing, $fuzz_seconds s per target"
for fuzzer in "$asan"/bin/*_fuzzer; do
    name=$(basename "$fuzzer")
    corpus="$asan/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    for dir in fuzz/*/; do
        if grep -q "$name" "$dir/CMakeLists.txt" && [ -d "$dir/seeds" ]; then
            seeds+=("$dir/seeds")
        fi
    done
    log="$asan/corpus/$name.log"
    if ! "$fuzzer" "$corpus" "${seeds[@]}" -max_total_time="$fuzz_seconds" -max_len=4096 \
            -artifact_prefix="$asan/corpus/$name-" -print_final_stats=1 >"$log" 2>&1; then
        tail -n 60 "$log" >&2
        echo "$name found a failing input (saved beside $corpus)" >&2
        exit 1
    fi
    echo "$name: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs, no failures"
done
took "fuzzing"

echo "== ThreadSanitizer"
threaded=(kit_tests app_tests net_tests xml_tests server_tests)
[ -f "$tsan/build.ninja" ] || cmake -S . -B "$tsan" "${common[@]}" -DTOLVAR_SANITIZE=thread
cmake --build "$tsan" -j "$jobs" --target "${threaded[@]}"
took "building"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$tsan" --output-on-failure -j "$jobs" --timeout 300 \
    -R "^($(IFS='|'; echo "${threaded[*]}"))(-[0-9]+)?\$"
took "testing"
