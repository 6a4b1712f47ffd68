#!/usr/bin/env bash
# Builds the C++ concurrency test with ThreadSanitizer and runs it: several
# std::threads call comment stripping, the parser, the analyser and the whole
# pipeline on shared and distinct inputs. Any data race or other report
# fails the script.
#
#   tools/run_tsan.sh [seconds=3] [threads=8]
#
# With TSAN_HANDOFF=1 it also runs the copy-on-write hand-off scenario
# (concurrency_test handoff).
#
# Environment: TSAN_BUILD_DIR (default build/tsan), TSAN_JOBS (build jobs, 2),
# CXX (default g++; clang++ works too).
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${TSAN_BUILD_DIR:-$ROOT/build/tsan}
JOBS=${TSAN_JOBS:-2}
SECS=${1:-3}
THREADS=${2:-8}

mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DCMAKE_CXX_COMPILER="${CXX:-g++}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSANITIZE=thread \
  -DSQLPARSE_DEV_TARGETS=ON >"$BUILD/configure.log" 2>&1 ||
  { cat "$BUILD/configure.log"; exit 2; }
ninja -C "$BUILD" -j"$JOBS" concurrency_test || exit 2

LOGS="$BUILD/tsan-logs"
rm -rf "$LOGS"
mkdir -p "$LOGS"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4:log_path=$LOGS/tsan"

# ThreadSanitizer needs the classic address-space layout; kernels with more
# mmap randomisation than it knows make it fail at start, so run without
# address randomisation when setarch is there.
RUN=()
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
  RUN=(setarch "$(uname -m)" -R)
fi

"${RUN[@]}" "$BUILD/concurrency_test" "$SECS" "$THREADS"
RC=$?
if [ "${TSAN_HANDOFF:-0}" = 1 ] && [ $RC -eq 0 ]; then
  "${RUN[@]}" "$BUILD/concurrency_test" handoff
  RC=$?
fi

REPORTS=$(find "$LOGS" -type f | sort)
if [ -n "$REPORTS" ]; then
  echo "!! ThreadSanitizer reports:"
  for f in $REPORTS; do
    echo "---- $f"
    cat "$f"
  done
  exit 1
fi
if [ $RC -ne 0 ]; then
  echo "!! concurrency_test exit $RC"
  exit 1
fi
echo "tsan run clean"
