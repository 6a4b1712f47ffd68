#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (coverage instrumentation,
# AddressSanitizer with leak checking, UndefinedBehaviorSanitizer) and runs
# each one for a fixed time, one after the other, on one core.
#
#   tools/run_fuzz.sh [seconds-per-target=60] [target ...]
#
# Needs clang and its runtime (Debian: apt-get install -y clang libclang-rt-14-dev).
# The seed corpus of a target is fuzz/corpus/<target>/ (read only); inputs the
# fuzzer finds go to build/fuzz/corpus/<target>/, which is kept between runs so
# that the total fuzzing time adds up. A crash, a sanitizer report, a failed
# property, a leak or a hang (over FUZZ_TIMEOUT seconds per input) stops that
# target; its input is saved under build/fuzz/artifacts/ and the script exits
# non-zero after running the remaining targets.
#
# Environment: FUZZ_BUILD_DIR (default build/fuzz), FUZZ_JOBS (build jobs, 2),
# FUZZ_TIMEOUT (per input, 30 s: the instrumented build is ~40 times slower
# than a release build), FUZZ_RSS_MB (4096), FUZZ_MAX_LEN (8192).
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

SECONDS_PER_TARGET=${1:-60}
shift || true
BUILD=${FUZZ_BUILD_DIR:-$ROOT/build/fuzz}
JOBS=${FUZZ_JOBS:-2}

CXX_BIN=${CXX:-}
if [ -z "$CXX_BIN" ] || ! "$CXX_BIN" --version 2>/dev/null | grep -qi clang; then
  CXX_BIN=$(command -v clang++ || true)
fi
if [ -z "$CXX_BIN" ]; then
  echo "run_fuzz: clang++ not found (apt-get install -y clang libclang-rt-14-dev)" >&2
  exit 2
fi

if [ $# -gt 0 ]; then
  TARGETS=("$@")
else
  TARGETS=()
  for src in fuzz/fuzz_*.cc; do
    TARGETS+=("$(basename "$src" .cc)")
  done
fi

cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DCMAKE_CXX_COMPILER="$CXX_BIN" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSANITIZE=fuzzer-no-link,address,undefined \
  -DSQLPARSE_DEV_TARGETS=ON -DSQLPARSE_FUZZ=ON >"$BUILD.configure.log" 2>&1 ||
  { cat "$BUILD.configure.log"; exit 2; }
ninja -C "$BUILD" -j"$JOBS" "${TARGETS[@]}" || exit 2

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

STATUS=0
SUMMARY=()
for target in "${TARGETS[@]}"; do
  seeds="$ROOT/fuzz/corpus/$target"
  work="$BUILD/corpus/$target"
  artifacts="$BUILD/artifacts/$target"
  mkdir -p "$work" "$artifacts" "$seeds"
  if [ "$target" = fuzz_syntax ] || [ "$target" = fuzz_lineage ]; then
    if [ -d "$ROOT/../shared/sql-corpus" ] && [ -z "$(ls -A "$work")" ]; then
      # Seeds from the shared SQL corpus: a dialect byte (and for the lineage
      # a schema byte), then the statement.
      python3 "$ROOT/fuzz/syntax_seeds.py" "$ROOT/../shared/sql-corpus" "$work" "$target" || true
    fi
  fi
  dict=()
  [ -f "$ROOT/fuzz/$target.dict" ] && dict=(-dict="$ROOT/fuzz/$target.dict")
  log="$BUILD/$target.log"
  echo "== $target: ${SECONDS_PER_TARGET}s"
  "$BUILD/$target" "$work" "$seeds" "${dict[@]}" \
    -max_total_time="$SECONDS_PER_TARGET" \
    -timeout="${FUZZ_TIMEOUT:-30}" \
    -rss_limit_mb="${FUZZ_RSS_MB:-4096}" \
    -max_len="${FUZZ_MAX_LEN:-8192}" \
    -artifact_prefix="$artifacts/" \
    -print_final_stats=1 >"$log" 2>&1
  rc=$?
  execs=$(grep -a 'stat::number_of_executed_units' "$log" | awk '{print $2}' | tail -1)
  cov=$(grep -aE '^#[0-9]+' "$log" | tail -1 | grep -oE 'cov: [0-9]+' || true)
  if [ $rc -ne 0 ]; then
    STATUS=1
    echo "!! $target failed (exit $rc); last lines of $log:"
    tail -60 "$log"
    ls -1 "$artifacts"
  fi
  SUMMARY+=("$target: ${SECONDS_PER_TARGET}s, ${execs:-?} executions, ${cov:-cov: ?}, exit $rc")
done

echo "== fuzz summary"
printf '%s\n' "${SUMMARY[@]}"
exit $STATUS
