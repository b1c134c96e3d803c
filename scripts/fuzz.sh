#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in their own folder and
# runs each for SECONDS (default 20) from its seed corpus in fuzz/corpus/.
# Prints executions, coverage and the outcome per target; exits non-zero when
# any target found a crash, a leak, a time-out or ran out of memory.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]   run (all targets when none named)
#   scripts/fuzz.sh --seeds                 rebuild fuzz/corpus/ from the simulator
#
# ORVA_FUZZ_BUILD_DIR (default build-fuzz) and ORVA_FUZZ_JOBS (default nproc)
# change where and how wide it builds. New inputs found during a run go to
# build-fuzz/corpus/<target>/ (never into the committed seeds); a crashing
# input is kept as build-fuzz/artifacts/<target>/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR="${ORVA_FUZZ_BUILD_DIR:-build-fuzz}"
JOBS="${ORVA_FUZZ_JOBS:-$(nproc)}"
TARGETS_ALL=(fragments_fuzz receive_loop_fuzz stream_records_fuzz identity_fuzz rights_names_fuzz adpcm_fuzz
             decoder_fuzz local_log_fuzz connect_history_fuzz images_fuzz backup_files_fuzz log_status_fuzz
             setup_database_fuzz setup_edit_fuzz firmware_fuzz)

configure() {
  if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is missing (scripts/install-deps.sh installs it)" >&2
    exit 2
  fi
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORVA_FUZZ=ON -DORVA_BUILD_TESTS=OFF -DORVA_BUILD_BENCH=OFF >/dev/null
}

if [ "${1:-}" = "--seeds" ]; then
  configure
  cmake --build "$BUILD_DIR" -j "$JOBS" --target make_fuzz_corpus
  rm -rf fuzz/corpus
  ASAN_OPTIONS="detect_leaks=0" "$BUILD_DIR/bin/make_fuzz_corpus" fuzz/corpus
  du -sh fuzz/corpus
  exit 0
fi

SECONDS_EACH="${1:-20}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=("${TARGETS_ALL[@]}")

configure
cmake --build "$BUILD_DIR" -j "$JOBS" --target "${TARGETS[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"

failed=0
printf '%-22s %10s %8s %8s %8s  %s\n' target execs exec/s cov corpus result
for target in "${TARGETS[@]}"; do
  work="$BUILD_DIR/corpus/$target"
  artifacts="$BUILD_DIR/artifacts/$target"
  log="$BUILD_DIR/logs/$target.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds=("fuzz/corpus/$target")
  set +e
  "$BUILD_DIR/bin/$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2560 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "${seeds[@]}" >"$log" 2>&1
  status=$?
  set -e
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  units=$(grep -o 'corp: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  result=ok
  skips=$(grep -c ': setup: ' "$log" || true)
  [ "${skips:-0}" != "0" ] && result="ok ($skips inputs skipped: the login did not come about, see log)"
  if [ $status -ne 0 ]; then
    result="FAILED (exit $status; $(grep -m1 -oE 'ERROR: [A-Za-z]+: [a-z-]+|deadly signal|out-of-memory|timeout' "$log" || echo see log)) log: $log"
    failed=1
  fi
  printf '%-22s %10s %8s %8s %8s  %s\n' "$target" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${units:-?}" "$result"
done
exit $failed
