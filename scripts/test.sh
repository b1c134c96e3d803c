#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and
# AddressSanitizer + UndefinedBehaviorSanitizer, and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
BUILD_DIR="${ORVA_TEST_BUILD_DIR:-build-test}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVA_WERROR=ON -DORVA_SANITIZE=ON
cmake --build "$BUILD_DIR" -j "$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Leaks inside system libraries (D-Bus, fontconfig) are not ours to fix.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
# Every fuzz target, built with clang in its own folder, runs briefly from its
# seeds (ORVA_FUZZ_SECONDS each; 0 skips them). scripts/fuzz.sh 600 is the long run.
if [ "${ORVA_FUZZ_SECONDS:-20}" != "0" ]; then
  ORVA_FUZZ_BUILD_DIR="${ORVA_FUZZ_BUILD_DIR:-build-fuzz}" scripts/fuzz.sh "${ORVA_FUZZ_SECONDS:-20}"
fi
