#!/usr/bin/env bash
# Builds the extension with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the whole pytest suite against it, then the C++ concurrency test
# under the same sanitizers with the leak check on. Any sanitizer report, in
# the test process or in a subprocess it starts, fails the script.
#
#   tools/run_sanitized_tests.sh [pytest arguments...]
#
# Uses the system gcc (its libasan is preloaded into Python, which is not
# built with ASan itself). Python allocates through malloc here
# (PYTHONMALLOC=malloc), so ASan also watches the objects the binding
# touches. CPython keeps much memory alive until exit by design, so the leak
# check is off for the Python run; the C++ programs below, the fuzz targets
# (tools/run_fuzz.sh) and the regression replays cover leaks in the core.
#
# Environment: ASAN_BUILD_DIR (default build/asan), ASAN_JOBS (build jobs, 2).
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${ASAN_BUILD_DIR:-$ROOT/build/asan}
JOBS=${ASAN_JOBS:-2}
PYTHON=${PYTHON:-python3}

# The extension needs nanobind at configure time (a pip install builds in an
# isolated environment, so a venv made by pip install '.[test]' lacks it).
if ! "$PYTHON" -m nanobind --cmake_dir >/dev/null 2>&1; then
  echo "run_sanitized_tests: installing nanobind for $PYTHON"
  "$PYTHON" -m pip install -q nanobind || { echo "nanobind is needed: pip install nanobind" >&2; exit 2; }
fi
"$PYTHON" -c "import pytest" 2>/dev/null || { echo "pytest is needed: pip install pytest" >&2; exit 2; }

mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DCMAKE_CXX_COMPILER="${CXX:-g++}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPython_EXECUTABLE="$(command -v "$PYTHON")" \
  -DSANITIZE=address,undefined \
  -DSQLPARSE_DEV_TARGETS=ON >"$BUILD/configure.log" 2>&1 ||
  { cat "$BUILD/configure.log"; exit 2; }
ninja -C "$BUILD" -j"$JOBS" || exit 2
ls "$BUILD"/_sqlparse_core*.so >/dev/null 2>&1 || { echo "run_sanitized_tests: the extension was not built; see $BUILD/configure.log" >&2; exit 2; }

LOGS="$BUILD/sanitizer-logs"
rm -rf "$LOGS"
mkdir -p "$LOGS"

ASAN_RT=$("${CXX:-g++}" -print-file-name=libasan.so)
if [ ! -e "$ASAN_RT" ]; then
  echo "run_sanitized_tests: libasan.so not found (apt-get install -y libasan8 or gcc)" >&2
  exit 2
fi

COMMON_ASAN="abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$LOGS/ubsan"

# libstdc++ is preloaded too: ASan hooks __cxa_throw when it starts, and
# Python itself does not link the C++ runtime (the extension brings it later).
CXX_RT=$("${CXX:-g++}" -print-file-name=libstdc++.so)

# Sanitized frames are several times larger than release ones, and every
# recursive walk stops early (with its ordinary "too deep" error) when its
# thread's stack runs low; a 1 GB stack limit lets the tests of the nesting
# limits reach the counts they test. Threads get the same default size.
ulimit -s 1048576 2>/dev/null || echo "warning: could not raise the stack limit"

echo "== pytest under ASan+UBSan ($BUILD)"
LD_PRELOAD="$ASAN_RT:$CXX_RT" \
  ASAN_OPTIONS="$COMMON_ASAN:detect_leaks=0:log_path=$LOGS/asan" \
  PYTHONMALLOC=malloc \
  PYTHONPATH="$ROOT/python:$BUILD" \
  SQLPARSE_SANITIZED=1 \
  "$PYTHON" -m pytest -q -p no:cacheprovider "$@"
PYTEST_RC=$?

CXX_RC=0
if [ -x "$BUILD/concurrency_test" ]; then
  echo "== concurrency_test under ASan+UBSan+LSan"
  ASAN_OPTIONS="$COMMON_ASAN:detect_leaks=1:log_path=$LOGS/asan-cxx" \
    "$BUILD/concurrency_test" 2 8
  CXX_RC=$?
fi

REPORTS=$(find "$LOGS" -type f | sort)
if [ -n "$REPORTS" ]; then
  echo "!! sanitizer reports:"
  for f in $REPORTS; do
    echo "---- $f"
    cat "$f"
  done
  exit 1
fi
if [ $PYTEST_RC -ne 0 ] || [ $CXX_RC -ne 0 ]; then
  echo "!! pytest exit $PYTEST_RC, concurrency_test exit $CXX_RC"
  exit 1
fi
echo "sanitized run clean"
