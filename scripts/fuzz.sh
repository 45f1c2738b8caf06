#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang in build/fuzz, replays
# every seed and every crasher kept as a regression case, then fuzzes each
# target. Exits non-zero on any finding.
#
#   scripts/fuzz.sh [TARGET...]
#       The CI run: CORVANE_FUZZ_SECONDS (default 15) per target. Inputs found
#       on the way go to a temporary folder; the kept corpus stays as it is.
#   scripts/fuzz.sh --minutes N [TARGET...]
#       A campaign: N minutes per target, then what it found is merged into
#       the kept corpus tests/fuzz/corpus/TARGET, minimised against it
#       (libFuzzer's -set_cover_merge=1 keeps only inputs that add coverage).
#       Commit the grown corpora. The machine is shared: run it under nice.
#
#   CORVANE_FUZZ_BUILD_DIR build folder (default build/fuzz)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${CORVANE_FUZZ_BUILD_DIR:-$here/build/fuzz}"
fuzz_src="$here/tests/fuzz"

# The targets, one a line: name, longest input in bytes, then optional words:
# a dictionary in tests/fuzz (NAME.dict), and "edges" for a target whose
# inputs are slow by nature, so a campaign keeps only the inputs that reach
# new code, not those that merely run known code more often. A target added
# to tests/fuzz/CMakeLists.txt joins the CI run and the campaigns with its
# line here.
target_table="
query     2048
answer    2048
sequence  4096
flood     4096  edges
dialog    8192  dialog.dict
logview   2100
framing   140000
attribution_text      4096
attribution_sequence  4096
blocklist 1024  blocklist.dict
name_road 2048  name_road.dict
app_rules  4096
"

usage() {
    echo "usage: $0 [--minutes N] [TARGET...]" >&2
    exit 2
}

minutes=""
if [ "${1:-}" = "--minutes" ]; then
    minutes="${2:-}"
    [[ "$minutes" =~ ^[1-9][0-9]*$ ]] || usage
    shift 2
fi
if [ -n "$minutes" ]; then
    seconds=$((minutes * 60))
else
    seconds="${CORVANE_FUZZ_SECONDS:-15}"
fi
chosen=("$@")
for name in "${chosen[@]}"; do
    grep -qE "^$name " <<<"$target_table" || {
        echo "fuzz: no target $name" >&2
        usage
    }
done

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

# The files of the given folders, for a replay.
files_in() {
    local folder
    for folder in "$@"; do
        [ -d "$folder" ] || continue
        find "$folder" -type f ! -name '.*' -print0 | sort -z
    done
}

# Replays every seed and regression case of a target; false on a finding.
replay() {
    local target="$1" binary="$2" log="$build/fuzz-logs/$1-replay.log"
    shift 2
    local inputs=()
    while IFS= read -r -d '' file; do
        inputs+=("$file")
    done < <(files_in "$fuzz_src/corpus/$target" "$fuzz_src/regressions/$target")
    if [ ${#inputs[@]} -gt 0 ] && ! "$binary" "$@" "${inputs[@]}" >"$log" 2>&1; then
        echo "fuzz: $target: FAILED replaying the corpus and regression cases (log: $log)"
        tail -n 40 "$log"
        return 1
    fi
    echo "fuzz: $target: replayed ${#inputs[@]} seeds and regression cases"
}

# Fuzzes a target for $seconds from its kept corpus; new inputs go to
# $work/TARGET, the first folder, so the kept corpus is only read. The
# regression cases were replayed and are left out: some are slow by nature.
explore() {
    local target="$1" binary="$2" log="$build/fuzz-logs/$1-fuzz.log"
    shift 2
    local seeds=()
    [ -d "$fuzz_src/corpus/$target" ] && seeds+=("$fuzz_src/corpus/$target")
    mkdir -p "$work/$target"
    if ! "$binary" "$@" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-findings/$target-" \
        "$work/$target" "${seeds[@]}" >"$log" 2>&1; then
        echo "fuzz: $target: FINDING (log: $log)"
        grep -E 'invariant broken|ERROR:|SUMMARY:|Test unit written' "$log" || tail -n 40 "$log"
        echo "fuzz: minimise it with $binary -minimize_crash=1 -runs=10000 <file>, fix the fault," \
            "and keep the input under tests/fuzz/regressions/$target/"
        return 1
    fi
    local runs rate coverage
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    # libFuzzer's own average is a whole number, 0 for the flood target; one
    # decimal says how slow a slow target is.
    rate="$(awk -v runs="${runs:-0}" -v seconds="$seconds" \
        'BEGIN { printf(runs >= 10 * seconds ? "%.0f" : "%.1f", runs / seconds) }')"
    coverage="$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)"
    echo "fuzz: $target: ${runs:-?} runs in $seconds s, $rate exec/s, $coverage, no finding"
}

# Adds to the kept corpus the inputs found that bring coverage it lacks: the
# greedy set cover keeps fewer of them than a plain merge for the same
# coverage, and every kept input costs replay time in each CI run.
keep_found() {
    local target="$1" binary="$2" log="$build/fuzz-logs/$1-merge.log"
    shift 2
    local corpus="$fuzz_src/corpus/$target" before after
    mkdir -p "$corpus"
    before="$(files_in "$corpus" | tr -cd '\0' | wc -c)"
    if ! "$binary" "$@" -set_cover_merge=1 "$corpus" "$work/$target" >"$log" 2>&1; then
        echo "fuzz: $target: FAILED merging into $corpus (log: $log)"
        tail -n 20 "$log"
        return 1
    fi
    after="$(files_in "$corpus" | tr -cd '\0' | wc -c)"
    echo "fuzz: $target: corpus $before -> $after inputs"
}

failed=()
started=$SECONDS
while read -r -u 3 target max_len words; do
    [ -n "$target" ] || continue
    if [ ${#chosen[@]} -gt 0 ] && [[ " ${chosen[*]} " != *" $target "* ]]; then
        continue
    fi
    binary="$build/tests/fuzz/${target}_fuzzer"
    if [ ! -x "$binary" ]; then
        echo "fuzz: $target: no such target in this tree"
        continue
    fi
    options=(-max_len="$max_len" -timeout=20 -rss_limit_mb=4096)
    merge_options=()
    for word in $words; do
        case "$word" in
        *.dict) options+=(-dict="$fuzz_src/$word") ;;
        edges) merge_options+=(-use_counters=0) ;;
        *) echo "fuzz: $target: unknown word $word in the target table" >&2 && exit 2 ;;
        esac
    done
    if ! replay "$target" "$binary" "${options[@]}" ||
        ! explore "$target" "$binary" "${options[@]}"; then
        failed+=("$target")
        continue
    fi
    if [ -n "$minutes" ] && ! keep_found "$target" "$binary" "${options[@]}" "${merge_options[@]}"; then
        failed+=("$target")
    fi
done 3<<<"$target_table"

echo "fuzz: done in $((SECONDS - started)) s after the build"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: FAILED: ${failed[*]}"
    exit 1
fi
