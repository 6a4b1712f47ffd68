#!/usr/bin/env python3
"""The classic reference grammar against parse() (classic mode + render).

For two sets of texts -- the analytic queries of bench_parser.py and every
shared text parse() accepts -- prints MB/s of query text for:

  * the C++ tree only (no Python objects): the reference grammar
    (``_classic_reference_tree_only``) and parse() (``_parse_tree_only``);
  * to Python objects: ``_classic_reference_parse`` and ``sql_parser.parse``.

The reference grammar is the one parse() read before it became the statement
grammar's classic mode plus the renderer; it is built into developer builds
only (-DSQLPARSE_CLASSIC_REFERENCE=ON). The two paths are timed in
alternating rounds of the same run (best round of each), so load on the
machine affects both alike; times are the process's CPU time. The last
column is parse()'s speed relative to the reference (above 1 faster).

    PYTHONPATH=python:build/dev python bench/bench_classic_mode.py [--seconds S] [--shared DIR]
"""

import argparse
import json
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))
sys.path.insert(0, str(ROOT / "bench"))

import _sqlparse_core  # noqa: E402
from bench_parser import QUERIES  # noqa: E402
from sql_parser import ParseError, parse  # noqa: E402

OLD_TREE = getattr(_sqlparse_core, "_classic_reference_tree_only", None)
OLD_PARSE = getattr(_sqlparse_core, "_classic_reference_parse", None)
NEW_TREE = _sqlparse_core._parse_tree_only
NEW_PARSE = parse


def shared_texts(shared):
    """Distinct texts of the shared data that parse() accepts."""
    files = [shared / "parser-conformance.jsonl", shared / "analysis-examples.jsonl"]
    files += sorted((shared / "sql-corpus").glob("*.jsonl"))
    seen = {}
    for path in files:
        if not path.exists():
            continue
        for line in path.read_text(encoding="utf-8").splitlines():
            if line.strip():
                sql = json.loads(line).get("sql")
                if isinstance(sql, str):
                    seen.setdefault(sql, None)
    accepted = []
    for sql in seen:
        try:
            parse(sql)
        except ParseError:
            continue
        accepted.append(sql)
    return accepted


def one_round(func, texts, repeat):
    start = time.process_time()
    for _ in range(repeat):
        for t in texts:
            func(t)
    return time.process_time() - start


def compare(old, new, texts, seconds):
    """(old MB/s, new MB/s): alternating rounds, the best round of each."""
    size = sum(len(t.encode("utf-8")) for t in texts)
    repeat = 1
    while one_round(old, texts, repeat) < 0.05:  # rounds of about 50 ms or more
        repeat *= 2
    best_old = best_new = float("inf")
    deadline = time.process_time() + seconds
    while time.process_time() < deadline:
        best_old = min(best_old, one_round(old, texts, repeat))
        best_new = min(best_new, one_round(new, texts, repeat))
    return size * repeat / best_old / 1e6, size * repeat / best_new / 1e6


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--seconds", type=float, default=4.0, help="time per comparison")
    ap.add_argument("--shared", type=Path, default=ROOT.parent / "shared")
    args = ap.parse_args()
    if OLD_PARSE is None:
        raise SystemExit("needs the classic reference grammar: build with -DSQLPARSE_CLASSIC_REFERENCE=ON")

    sets = [("bench_parser queries", list(QUERIES)), ("shared accepted texts", shared_texts(args.shared))]
    print(f"{'texts':<38} {'path':<14} {'reference':>15} {'parse()':>13} {'ratio':>7}")
    for name, texts in sets:
        for t in texts:  # both must give the same tree before anything is timed
            if OLD_PARSE(t) != NEW_PARSE(t):
                raise SystemExit(f"the two paths differ on: {t!r}")
        label = f"{name} ({len(texts)}, {sum(len(t.encode()) for t in texts) // 1024} KiB)"
        for path, old, new in (("C++ tree", OLD_TREE, NEW_TREE), ("to Python", OLD_PARSE, NEW_PARSE)):
            o, n = compare(old, new, texts, args.seconds)
            print(f"{label:<38} {path:<14} {o:>10.2f} MB/s {n:>8.2f} MB/s {n / o:>7.2f}")
            label = ""


if __name__ == "__main__":
    main()
