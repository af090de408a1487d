#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz (or $KESTREL_FUZZ_BUILD_DIR), replays the
# inputs kept in fuzz/regressions/<target>/, then fuzzes each target for SECONDS
# (default 60) from its seeds in fuzz/corpus/<target>/ and prints executions and time.
# A crash leaves its input in <build>/crashes/ and makes the script fail.
# With KESTREL_FUZZ_RUNS=N each target instead runs exactly N inputs from a fixed seed,
# so a run repeats itself (the test suite's smoke run uses this).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
shift || true
BUILD_DIR=${KESTREL_FUZZ_BUILD_DIR:-build-fuzz}
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
    TARGETS=(sessions port_history favorites_import updater service_api)
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
    -DKESTREL_FUZZ=ON -DBUILD_TESTING=OFF -DKESTREL_WINE_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" --target fuzz_all

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
mkdir -p "$BUILD_DIR/crashes"
failed=0
printf '%-18s %12s %8s %10s %s\n' target executions seconds "exec/s" result
for target in "${TARGETS[@]}"; do
    binary="$BUILD_DIR/bin/fuzz_$target"
    log="$BUILD_DIR/fuzz_$target.log"
    regressions=(fuzz/regressions/"$target"/*)
    if [ -e "${regressions[0]}" ] && ! "$binary" "${regressions[@]}" >"$log" 2>&1; then
        printf '%-18s %12s %8s %10s %s\n' "$target" - - - "regression input crashes (see $log)"
        failed=1
        continue
    fi
    corpus="$BUILD_DIR/corpus/$target"
    mkdir -p "$corpus"
    started=$(date +%s)
    result=ok
    if [ -n "${KESTREL_FUZZ_RUNS:-}" ]; then
        budget=(-runs="$KESTREL_FUZZ_RUNS" -seed=1)
    else
        budget=(-max_total_time="$SECONDS_PER_TARGET")
    fi
    if ! "$binary" "${budget[@]}" -print_final_stats=1 -timeout=10 -rss_limit_mb=3072 \
        -artifact_prefix="$BUILD_DIR/crashes/$target-" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
        result="CRASH (see $log and $BUILD_DIR/crashes/)"
        failed=1
    fi
    elapsed=$(($(date +%s) - started))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    runs=${runs:-0}
    printf '%-18s %12s %8s %10s %s\n' "$target" "$runs" "$elapsed" "$((runs / (elapsed > 0 ? elapsed : 1)))" "$result"
done
exit $failed
