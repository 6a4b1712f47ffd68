#!/usr/bin/env python3
"""The lineage page's build time and size against the analysis it shows.

For TPC-H (22 queries), TPC-DS (99 SELECTs), TPC-DS as 103 Spark inserts and
both TPC-DS sets in one page: the analysis (``lineage_many`` on one thread),
then the page's two steps, each the best of ``--rounds``: the statement
tuples made in Python from the results, and the page built from them in C++
(the graph, its layout and the HTML text); the page's size, boxes and edges. Then
the command line end to end on the TPC-DS queries as files, ``--format jsonl``
against ``--format html``, so the page's cost shows against a whole run.

    PYTHONPATH=python:build/dev python bench/bench_view.py [--rounds N]
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.append(str(ROOT / "python"))  # after PYTHONPATH, so a build named there wins

import sqlparse_main  # noqa: E402
from sqlparse_main import view  # noqa: E402

CORPUS = ROOT.parent / "shared" / "sql-corpus"


def best(fn, rounds):
    times, out = [], None
    for _ in range(rounds):
        start = time.perf_counter()
        out = fn()
        times.append(time.perf_counter() - start)
    return min(times), out


def sets(corpus):
    with open(corpus / "tpc.jsonl", encoding="utf-8") as f:
        rows = [json.loads(line) for line in f if line.strip()]
    schemas = {}
    for name in ("tpch", "tpcds"):
        with open(corpus / f"{name}-schema.json", encoding="utf-8") as f:
            schemas[name] = sqlparse_main.Schema(json.load(f))
    pick = lambda prefix: [r for r in rows if r["id"].startswith(prefix)]  # noqa: E731
    return [
        ("TPC-H", pick("tpch-sqlglot/"), schemas["tpch"]),
        ("TPC-DS selects", pick("tpcds-sqlglot/"), schemas["tpcds"]),
        ("TPC-DS inserts", pick("tpcds-sqllineage/"), schemas["tpcds"]),
        ("TPC-DS both", pick("tpcds-"), schemas["tpcds"]),
    ]


def analyse(rows, schema):
    # One call per dialect; the results in input order.
    out = [None] * len(rows)
    for dialect in sorted({r["dialect"] for r in rows}):
        at = [i for i, r in enumerate(rows) if r["dialect"] == dialect]
        for i, res in zip(at, sqlparse_main.lineage_many([rows[i]["sql"] for i in at], dialect=dialect,
                                                         schema=schema, threads=1)):
            out[i] = res
    return out


def page_rows(corpus, rounds):
    table = []
    for label, rows, schema in sets(corpus):
        names = [r["id"].split("/")[1] for r in rows]
        sqls = [r["sql"] for r in rows]
        t_analysis, results = best(lambda: analyse(rows, schema), rounds)
        t_statements, statements = best(lambda: view.statements_of(results, names, sqls), rounds)
        t_page, page = best(lambda: view.page(statements, label), rounds)
        drawn = view.layout(statements)
        build = t_statements + t_page
        table.append((label, len(rows), len(drawn["tables"]), len(drawn["edges"]), t_analysis * 1e3,
                      t_statements * 1e3, t_page * 1e3, build * 1e3, build / t_analysis,
                      len(page.encode()) / 1024))
    return table


def cli_rows(corpus, rounds):
    rows = [r for r in sets(corpus)[1][1]]
    with tempfile.TemporaryDirectory() as tmp:
        paths = []
        for r in rows:
            p = os.path.join(tmp, r["id"].split("/")[1] + ".sql")
            with open(p, "w", encoding="utf-8") as f:
                f.write(r["sql"])
            paths.append(p)
        schema = str(corpus / "tpcds-schema.json")
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
        out = []
        for fmt in ("jsonl", "html"):
            cmd = [sys.executable, "-m", "sqlparse_main", "-q", "--dialect", "ansi", "--schema", schema,
                   "--format", fmt, *paths]
            t, r = best(lambda: subprocess.run(cmd, capture_output=True, env=env), rounds)
            out.append((fmt, t * 1e3, len(r.stdout) / 1024))
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--corpus", default=str(CORPUS), help="folder of tpc.jsonl and the two schemas")
    ap.add_argument("--rounds", type=int, default=5)
    args = ap.parse_args()
    corpus = Path(args.corpus)
    head = ("set", "scripts", "boxes", "edges", "analysis ms", "statements ms", "page ms", "build ms",
            "build/analysis", "page KB")
    print("| " + " | ".join(head) + " |")
    print("|---|" + "---:|" * (len(head) - 1))
    for row in page_rows(corpus, args.rounds):
        label, *nums = row
        cells = [f"{v:,}" if isinstance(v, int) else f"{v:,.2f}" if v < 1 else f"{v:,.1f}" for v in nums]
        print(f"| {label} | " + " | ".join(cells) + " |")
    print()
    print("| sqlparse-main on the 99 TPC-DS files | wall ms | output KB |")
    print("|---|---:|---:|")
    for fmt, ms, kb in cli_rows(corpus, args.rounds):
        print(f"| --format {fmt} | {ms:,.0f} | {kb:,.0f} |")


if __name__ == "__main__":
    main()
