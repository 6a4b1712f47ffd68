#!/usr/bin/env python3
"""The classic ``parse()`` of this build against another build of the module.

The gate for the classic parser is "no slower than before": build an older
commit in a second worktree, then time both builds on the same texts in one
run. Each build runs in its own child process (two builds of one module
cannot share a process); the children alternate, and each figure is the best
round over all of a build's children, so load on the machine affects both
alike. Times are CPU time of the child.

Texts: the analytic queries of bench_parser.py and every shared text the
classic parse() of *this* build accepts (bench_classic_mode.shared_texts). Paths: the C++ tree only
(``_parse_tree_only``) and ``parse()`` to Python objects.

    git worktree add --detach /tmp/wt/base <commit>
    cmake -S /tmp/wt/base -B /tmp/wt/base/build/rel -G Ninja && ninja -C /tmp/wt/base/build/rel
    PYTHONPATH=python:build/dev python bench/bench_parser_baseline.py \\
        --baseline /tmp/wt/base/python:/tmp/wt/base/build/rel [--seconds S]
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]

# Runs in the child: times one path over the texts, prints the best round.
CHILD = r"""
import json, sys, time
import _sqlparse_core
from sql_parser import parse
texts = json.load(open(sys.argv[1], encoding="utf-8"))
func = {"tree": _sqlparse_core._parse_tree_only, "python": parse}[sys.argv[2]]
seconds = float(sys.argv[3])
def one_round(repeat):
    start = time.process_time()
    for _ in range(repeat):
        for t in texts:
            func(t)
    return time.process_time() - start
repeat = 1
while one_round(repeat) < 0.05:
    repeat *= 2
best = float("inf")
deadline = time.process_time() + seconds
while time.process_time() < deadline:
    best = min(best, one_round(repeat))
print(best / repeat)
"""


def child_time(pythonpath, texts_file, path, seconds):
    env = dict(os.environ, PYTHONPATH=pythonpath)
    out = subprocess.run([sys.executable, "-c", CHILD, texts_file, path, str(seconds)], env=env,
                         capture_output=True, text=True, check=True)
    return float(out.stdout.strip())


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--baseline", required=True, help="PYTHONPATH of the other build (python:build dirs)")
    ap.add_argument("--current", default=os.environ.get("PYTHONPATH", ""),
                    help="PYTHONPATH of this build (default: this process's)")
    ap.add_argument("--seconds", type=float, default=1.0, help="timing per child")
    ap.add_argument("--children", type=int, default=3, help="children per build and path")
    ap.add_argument("--shared", type=Path, default=ROOT.parent / "shared")
    args = ap.parse_args()

    sys.path.insert(0, str(ROOT / "python"))
    sys.path.insert(0, str(ROOT / "bench"))
    from bench_classic_mode import shared_texts  # the shared texts the classic parser accepts
    from bench_parser import QUERIES

    sets = [("bench_parser queries", list(QUERIES)), ("shared accepted texts", shared_texts(args.shared))]
    print(f"{'texts':<38} {'path':<10} {'baseline':>12} {'this build':>12} {'ratio':>7}")
    with tempfile.TemporaryDirectory() as tmp:
        for name, texts in sets:
            texts_file = str(Path(tmp) / "texts.json")
            Path(texts_file).write_text(json.dumps(texts), encoding="utf-8")
            size = sum(len(t.encode("utf-8")) for t in texts)
            label = f"{name} ({len(texts)}, {size // 1024} KiB)"
            for path in ("tree", "python"):
                base = cur = float("inf")
                for _ in range(args.children):
                    base = min(base, child_time(args.baseline, texts_file, path, args.seconds))
                    cur = min(cur, child_time(args.current, texts_file, path, args.seconds))
                b, c = size / base / 1e6, size / cur / 1e6
                print(f"{label:<38} {path:<10} {b:>7.2f} MB/s {c:>7.2f} MB/s {c / b:>7.2f}")
                label = ""


if __name__ == "__main__":
    main()
