#!/usr/bin/env bash
# Builds Corvane and runs every test: the release build with warnings as
# errors, then the same tests under AddressSanitizer and UBSan.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/scripts/deps.sh"
corvane_install_missing "${CORVANE_BUILD_DEPS[@]}" "${CORVANE_TEST_DEPS[@]}"

jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

echo "== release build =="
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCORVANE_WERROR=ON -DCORVANE_TESTS=ON >/dev/null
cmake --build "$here/build/release" -j "$jobs"
ctest --test-dir "$here/build/release" --output-on-failure -j "$jobs"

echo "== sanitizer build (ASan+UBSan) =="
cmake -S "$here" -B "$here/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCORVANE_WERROR=ON -DCORVANE_SANITIZE=ON -DCORVANE_TESTS=ON >/dev/null
cmake --build "$here/build/asan" -j "$jobs"
# The end-to-end tests drive the release binary; the sanitizer pass covers the unit tests.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$here/tests/ui/lsan_qt.supp" \
    ctest --test-dir "$here/build/asan" --output-on-failure -j "$jobs" -LE e2e

# Fuzz targets: a short bounded run of each, plus a replay of every corpus and
# every crasher kept as a regression case.
echo "== fuzzing =="
"$here/scripts/fuzz.sh"
