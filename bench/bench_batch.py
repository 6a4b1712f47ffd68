"""Throughput of parse_sql_many on 1 and 2 threads against the plain loop.

    PYTHONPATH=python:build/dev python bench/bench_batch.py [--queries N] [--repeat R]

Builds a corpus of analytic queries (aliases, sub-queries at several depths,
qualified stars, unions, WHERE / GROUP BY / ORDER BY, comments and hints, a
few failing ones), checks that every way gives the same results, and prints a
table of wall and CPU seconds (best of the rounds), queries per second, MB
per second and the speed-up over one thread. The machine should be otherwise
idle: on a shared machine other processes take cores from the 2-thread run.
"""

from __future__ import annotations

import argparse
import contextlib
import io
import os
import random
import time

import sqlparse_main
from sqlparse_main.batch import parse_sql_many

TABLES = ["sales.orders", "sales.customers", "hr.employees", "dw.fact_events", "web_logs", "inventory"]
COLUMNS = ["id", "amount", "created_at", "region", "customer_id", "status", "price", "qty", "name", "dept"]


def make_query(rng: random.Random) -> str:
    def cols(k: int, qualifier: str = "") -> str:
        picked = rng.sample(COLUMNS, k)
        q = qualifier + "." if qualifier else ""
        return ", ".join(f"{q}{c}" + (f" as {c}_{i}" if rng.random() < 0.4 else "") for i, c in enumerate(picked))

    table = rng.choice(TABLES)
    kind = rng.random()
    where = f" where {rng.choice(COLUMNS)} > {rng.randint(1, 999)} and status = 'ok'" if rng.random() < 0.6 else ""
    tail = f" order by {rng.choice(COLUMNS)} desc limit {rng.randint(1, 100)}" if rng.random() < 0.3 else ""
    if kind < 0.3:
        q = f"select {cols(rng.randint(2, 8))} from {table}{where}{tail}"
    elif kind < 0.5:
        q = f"select {cols(rng.randint(2, 6), 'o')} from {table} o{where}"
    elif kind < 0.7:
        inner = f"select {cols(rng.randint(3, 8))} from {table}{where}"
        q = f"select s.{rng.choice(COLUMNS)} as x, s.* from ({inner}) s{tail}"
    elif kind < 0.8:
        inner = f"select * from {table}"
        mid = f"select q.* from ({inner}) q"
        q = f"select r.* from ({mid}) r"
    elif kind < 0.9:
        c = rng.choice(COLUMNS)
        q = f"select {c} from {table} union all select {c} from {rng.choice(TABLES)}{where}"
    elif kind < 0.95:
        q = (
            f"select /*+ MAPJOIN(b) */ region, sum(amount) as total -- per region\n"
            f"from {table}\n{where}\ngroup by region having sum(amount) > 10"
        )
    elif kind < 0.98:
        q = f"select a.{rng.choice(COLUMNS)} from {table} a join {rng.choice(TABLES)} b on a.id = b.id"
    else:
        q = f"select {cols(2)} from {table} as left"  # a parse error
    return q


def loop(sqls):
    front = sqlparse_main.VarnelParseMain()
    out = []
    with contextlib.redirect_stdout(io.StringIO()):
        for sql in sqls:
            try:
                out.append(front._parse_sql(sql))
            except Exception as exc:
                out.append(exc)
    return out


def best_times(repeat, ways):
    """Best time of each way; the ways take turns in every round, so that a
    busy spell on a shared machine hits them alike."""
    best = [float("inf")] * len(ways)
    cpu = [float("inf")] * len(ways)
    results = [None] * len(ways)
    for _ in range(repeat):
        for k, fn in enumerate(ways):
            c0, t0 = time.process_time(), time.perf_counter()
            results[k] = fn()
            best[k] = min(best[k], time.perf_counter() - t0)
            cpu[k] = min(cpu[k], time.process_time() - c0)
    return best, cpu, results


def same(a, b):
    if isinstance(a, BaseException) or isinstance(b, BaseException):
        return type(a) is type(b) and a.args == b.args
    return a == b


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--queries", type=int, default=4000)
    ap.add_argument("--repeat", type=int, default=20)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    sqls = [make_query(rng) for _ in range(args.queries)]
    megabytes = sum(len(s.encode()) for s in sqls) / 1e6

    (t_loop, t1, t2), cpu, (r_loop, r1, r2) = best_times(
        args.repeat,
        [
            lambda: loop(sqls),
            lambda: parse_sql_many(sqls, threads=1),
            lambda: parse_sql_many(sqls, threads=2),
        ],
    )
    assert all(same(a, b) and same(a, c) for a, b, c in zip(r_loop, r1, r2)), "results differ"
    failures = sum(isinstance(r, BaseException) for r in r_loop)

    print(f"{len(sqls)} queries, {megabytes:.2f} MB, {failures} failing; best of {args.repeat}; {os.cpu_count()} cores")
    print(f"{'way':<34}{'seconds':>10}{'cpu s':>8}{'queries/s':>12}{'MB/s':>8}{'vs 1 thread':>13}")
    rows = [
        ("loop over _parse_sql", t_loop),
        ("parse_sql_many, 1 thread", t1),
        ("parse_sql_many, 2 threads", t2),
    ]
    for (name, t), c in zip(rows, cpu):
        print(f"{name:<34}{t:>10.4f}{c:>8.3f}{len(sqls) / t:>12.0f}{megabytes / t:>8.2f}{t1 / t:>12.2f}x")
    print(f"2 threads vs 1: {t1 / t2:.2f}x; 2 threads vs the loop: {t_loop / t2:.2f}x")


if __name__ == "__main__":
    main()
