#!/usr/bin/env python3
"""lineage_many on 1 and 2 threads against a loop over lineage().

The TPC-DS statements of ``tpc.jsonl`` (Spark dialect ones, repeated
``--repeat`` times), analysed with the TPC-DS schema made into a ``Schema``
once; each figure the best of ``--rounds`` whole passes, the ways taking turns
within each round, so that the ratios come from the same run.

    PYTHONPATH=python:build/dev python bench/bench_lineage_many.py [--rounds N]
"""

import argparse
import json
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.append(str(ROOT / "python"))  # after PYTHONPATH, so a build named there wins

import sqlparse_main  # noqa: E402

CORPUS = ROOT.parent / "shared" / "sql-corpus"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--corpus", default=str(CORPUS), help="folder of tpc.jsonl and tpcds-schema.json")
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--repeat", type=int, default=4, help="passes over the statements per batch")
    args = ap.parse_args()
    with open(Path(args.corpus) / "tpc.jsonl", encoding="utf-8") as f:
        rows = [json.loads(line) for line in f if line.strip()]
    with open(Path(args.corpus) / "tpcds-schema.json", encoding="utf-8") as f:
        schema = sqlparse_main.Schema(json.load(f))
    texts = [r["sql"] for r in rows if r["id"].startswith("tpcds") and r["dialect"] == "sparksql"]
    texts *= args.repeat
    ways = [
        ("loop over lineage()", lambda: [sqlparse_main.lineage(
            t, dialect="spark", schema=schema, errors="collect") for t in texts]),
        ("lineage_many, 1 thread", lambda: sqlparse_main.lineage_many(
            texts, dialect="spark", schema=schema, threads=1)),
        ("lineage_many, 2 threads", lambda: sqlparse_main.lineage_many(
            texts, dialect="spark", schema=schema, threads=2)),
    ]
    best = {name: float("inf") for name, _ in ways}
    for _ in range(args.rounds):
        for name, fn in ways:
            start = time.perf_counter()
            fn()
            best[name] = min(best[name], time.perf_counter() - start)
    base = best[ways[0][0]]
    print(f"{len(texts)} TPC-DS statements (spark), Schema made once, best of {args.rounds} passes")
    print(f"{'way':26s} {'ms/query':>9s} {'queries/s':>10s} {'x loop':>7s}")
    for name, seconds in best.items():
        per = seconds / len(texts)
        print(f"{name:26s} {per * 1e3:9.4f} {1 / per:10.0f} {base / seconds:7.2f}")


if __name__ == "__main__":
    main()
