#!/bin/sh
# Creates the benchmark venv that holds the peer parsers we compare against.
# They live outside the repository and are never dependencies of the package.
#
#   bench/setup_bench_venv.sh [DIR]        (default /work/benchvenv)
#
# Use it with our modules from a dev build, for example:
#   PYTHONPATH=python:build/dev /work/benchvenv/bin/python tools/check_parser_acceptance.py --sqlglot
set -eu
dir=${1:-/work/benchvenv}
python3 -m venv "$dir"
"$dir/bin/python" -m pip install --quiet --upgrade pip
"$dir/bin/python" -m pip install --quiet \
    sqlglot==30.31.0 openlineage-sql==1.54.0 sqllineage==1.5.9
"$dir/bin/python" -m pip list --format=freeze | grep -Ei '^(sqlglot|openlineage[-_]sql|sqllineage)=='
