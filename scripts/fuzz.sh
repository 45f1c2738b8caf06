#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang in build/fuzz, replays
# every seed and every crasher kept as a regression case, then fuzzes each
# target for a bounded time. Inputs found on the way go to a temporary folder:
# the committed corpus only changes by hand. Exits non-zero on any finding.
#
#   CORVANE_FUZZ_SECONDS   fuzzing time per target (default 15)
#   CORVANE_FUZZ_BUILD_DIR build folder (default build/fuzz)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${CORVANE_FUZZ_BUILD_DIR:-$here/build/fuzz}"
seconds="${CORVANE_FUZZ_SECONDS:-15}"
fuzz_src="$here/tests/fuzz"
targets=(query answer sequence dialog framing)

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Only a machine without clang's libFuzzer runtime skips; a build that fails
# once the runtime is there is a failure like any other.
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! command -v clang++ >/dev/null 2>&1 ||
    ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o "$work/probe" 2>/dev/null; then
    echo "fuzz: clang++ with libFuzzer (clang, libclang-rt-14-dev) not available: fuzz targets SKIPPED"
    exit 0
fi

echo "fuzz: building the targets in $build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON >/dev/null
cmake --build "$build" --target corvane_fuzzers -j "$(nproc)"

mkdir -p "$build/fuzz-logs" "$build/fuzz-findings"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$fuzz_src/lsan.supp"

failed=()
started=$SECONDS
for target in "${targets[@]}"; do
    binary="$build/tests/fuzz/${target}_fuzzer"
    if [ ! -x "$binary" ]; then
        echo "fuzz: $target: no such target in this tree"
        continue
    fi
    options=(-max_len=2048 -timeout=20 -rss_limit_mb=4096)
    case "$target" in
        sequence) options=(-max_len=4096 -timeout=20 -rss_limit_mb=4096) ;;
        framing) options=(-max_len=140000 -timeout=20 -rss_limit_mb=4096) ;;
        dialog) options=(-max_len=8192 -timeout=20 -rss_limit_mb=4096 -dict="$fuzz_src/dialog.dict") ;;
    esac

    inputs=()
    for folder in "$fuzz_src/corpus/$target" "$fuzz_src/regressions/$target"; do
        [ -d "$folder" ] || continue
        while IFS= read -r -d '' file; do
            inputs+=("$file")
        done < <(find "$folder" -type f ! -name '.*' -print0 | sort -z)
    done
    log="$build/fuzz-logs/$target-replay.log"
    if [ ${#inputs[@]} -gt 0 ] && ! "$binary" "${options[@]}" "${inputs[@]}" >"$log" 2>&1; then
        echo "fuzz: $target: FAILED replaying the corpus and regression cases (log: $log)"
        tail -n 40 "$log"
        failed+=("$target")
        continue
    fi
    echo "fuzz: $target: replayed ${#inputs[@]} seeds and regression cases"

    # New inputs go to the first folder, a temporary one; the committed
    # corpus is only read. The regression cases were replayed above and are
    # left out here: some are slow by nature (tens of thousands of queries).
    mkdir -p "$work/$target"
    seed_folders=()
    [ -d "$fuzz_src/corpus/$target" ] && seed_folders+=("$fuzz_src/corpus/$target")
    log="$build/fuzz-logs/$target-fuzz.log"
    if ! "$binary" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-findings/$target-" \
        "$work/$target" "${seed_folders[@]}" >"$log" 2>&1; then
        echo "fuzz: $target: FINDING (log: $log)"
        grep -E 'invariant broken|ERROR:|SUMMARY:|Test unit written' "$log" || tail -n 40 "$log"
        echo "fuzz: minimise it with $binary -minimize_crash=1 -runs=10000 <file>, fix the fault," \
            "and keep the input under tests/fuzz/regressions/$target/"
        failed+=("$target")
        continue
    fi
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    coverage="$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)"
    echo "fuzz: $target: ${runs:-?} runs in ${seconds} s, $coverage, no finding"
done

echo "fuzz: done in $((SECONDS - started)) s after the build"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: FAILED: ${failed[*]}"
    exit 1
fi
