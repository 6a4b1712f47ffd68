#!/usr/bin/env python3
"""Speed of the full column lineage against its peers, and how its cost grows.

First table: the TPC-DS statements of ``tpc.jsonl``, each analysed with the
TPC-DS schema, one thread, each figure the best of ``--rounds`` whole passes,
the tools taking turns within each round:

* ours: ``sqlparse_main.lineage(sql, dialect=..., schema=schema)`` per statement;
* ours with a ``sqlparse_main.Schema`` made once (no per-call schema
  conversion), and ours with no schema;
* sqlglot: ``sqlglot.lineage.lineage(None, sql, schema, dialect=...)``, which
  qualifies and scopes the query once and returns the lineage of every output
  column (one call per output column repeats that work for each column);
* openlineage-sql: ``openlineage_sql.parse([sql], dialect="hive")`` (it takes
  no schema).

A peer that is not importable is left out. All tools are timed on the
statements every one of them analyses (the rejects of each are counted), so
the ratios compare the same work from the same run. A line after the table
times sqlglot's two full ways on the first few statements.

Second table: generated queries, one dimension grown at a time (select-list
width, joins, CTE chain, union branches, nesting depth): time per query and
per unit of the dimension.

    PYTHONPATH=python:build/dev /work/benchvenv/bin/python bench/bench_lineage_peers.py [--rounds N]
"""

import argparse
import json
import logging
import sys
from pathlib import Path

from _timing import per_call

ROOT = Path(__file__).resolve().parents[1]
sys.path.append(str(ROOT / "python"))  # after PYTHONPATH, so a build named there wins

import sqlparse_main  # noqa: E402

CORPUS = ROOT.parent / "shared" / "sql-corpus"
OUR_DIALECTS = {"sparksql": "spark", "ansi": "ansi"}
SQLGLOT_DIALECTS = {"sparksql": "spark", "ansi": None}


def best_seconds(fn, rounds, min_time):
    return min(per_call(fn, min_time) for _ in range(rounds)) / 1e6


def tpcds_rows(corpus):
    with open(Path(corpus) / "tpc.jsonl", encoding="utf-8") as f:
        rows = [json.loads(line) for line in f if line.strip()]
    return [r for r in rows if r["id"].startswith("tpcds")]


def accepted(rows, fn):
    kept = []
    for row in rows:
        try:
            fn(row)
        except Exception:  # noqa: BLE001 - a rejected statement is left out of that pass
            continue
        kept.append(row)
    return kept


def each(fn, rows):
    def run():
        for row in rows:
            fn(row)
    return run


def tools(schema):
    """(name, fn(row)) for ours and every importable peer."""
    built = sqlparse_main.Schema(schema)
    out = [
        ("sqlparse_main.lineage", lambda r: sqlparse_main.lineage(
            r["sql"], dialect=OUR_DIALECTS[r["dialect"]], schema=schema)),
        ("  schema=Schema(..) made once", lambda r: sqlparse_main.lineage(
            r["sql"], dialect=OUR_DIALECTS[r["dialect"]], schema=built)),
        ("  no schema (as openlineage-sql)", lambda r: sqlparse_main.lineage(
            r["sql"], dialect=OUR_DIALECTS[r["dialect"]])),
    ]
    try:
        import sqlglot
        import sqlglot.lineage

        logging.getLogger("sqlglot").setLevel(logging.CRITICAL)
        out.append((f"sqlglot {sqlglot.__version__} lineage(None, ..)", lambda r: sqlglot.lineage.lineage(
            None, r["sql"], schema, dialect=SQLGLOT_DIALECTS[r["dialect"]])))
    except ImportError:
        pass
    try:
        import openlineage_sql

        version = getattr(openlineage_sql, "__version__", "")
        out.append((f"openlineage-sql {version} parse".replace("  ", " "),
                    lambda r: openlineage_sql.parse([r["sql"]], dialect="hive")))
    except ImportError:
        pass
    return out


def sqlglot_per_column(rows, schema, args):
    """sqlglot's two full ways side by side: one lineage(None, ..) call, or
    one lineage(column, ..) call per output column."""
    import sqlglot.lineage

    def dialect(r):
        return SQLGLOT_DIALECTS[r["dialect"]]

    names = {r["id"]: list(sqlglot.lineage.lineage(None, r["sql"], schema, dialect=dialect(r))) for r in rows}

    def all_at_once():
        for r in rows:
            sqlglot.lineage.lineage(None, r["sql"], schema, dialect=dialect(r))

    def per_column():
        for r in rows:
            for name in names[r["id"]]:
                sqlglot.lineage.lineage(name, r["sql"], schema, dialect=dialect(r))

    once = min(per_call(all_at_once, args.min_time) for _ in range(args.rounds)) / 1e3 / len(rows)
    each_column = min(per_call(per_column, args.min_time) for _ in range(args.rounds)) / 1e3 / len(rows)
    columns = sum(len(v) for v in names.values()) / len(rows)
    print(f"sqlglot on the first {len(rows)} statements ({columns:.1f} output columns each): "
          f"lineage(None, ..) {once:.1f} ms/query, lineage(column, ..) per column {each_column:.1f} ms/query")


# ---- generated queries -----------------------------------------------------------


def wide(n):
    return "select " + ", ".join(f"c{i} + 1 as o{i}" for i in range(n)) + " from db.t"


def joins(n):
    tables = " ".join(f"join db.t{i} as j{i} on j{i}.id = j{i - 1}.id" if i else "" for i in range(1, n + 1))
    return "select " + ", ".join(f"j{i}.a{i}" for i in range(1, n + 1)) + " from db.t0 as j0 " + tables


def cte_chain(n):
    ctes = ["c0 as (select a, b from db.t)"] + [f"c{i} as (select a + 1 as a, b from c{i - 1} where b > {i})"
                                                 for i in range(1, n)]
    return "with " + ", ".join(ctes) + f" select a, b from c{n - 1}"


def unions(n):
    return " union all ".join(f"select a, b + {i} as b from db.t{i}" for i in range(n))


def nesting(n):
    q = "select a, b from db.t"
    for i in range(n):
        q = f"select s{i}.a, s{i}.b from ({q}) as s{i}"
    return q


GROWTH = [
    ("select-list width", wide, (10, 100, 500, 2000)),
    ("joins", joins, (10, 50, 100, 200)),
    ("CTE chain", cte_chain, (10, 50, 100, 200)),
    ("union branches", unions, (10, 100, 250, 500)),
    ("nesting depth", nesting, (10, 50, 100, 200)),
]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--corpus", default=str(CORPUS), help="folder of tpc.jsonl and tpcds-schema.json")
    ap.add_argument("--rounds", type=int, default=5, help="timings per figure, the best is kept")
    ap.add_argument("--min-time", type=float, default=0.3, help="least seconds of one timing")
    ap.add_argument("--sqlglot-per-column", type=int, default=10, metavar="N",
                    help="also time sqlglot one call per output column on the first N statements (0: not)")
    args = ap.parse_args()

    with open(Path(args.corpus) / "tpcds-schema.json", encoding="utf-8") as f:
        schema = json.load(f)
    rows = tpcds_rows(args.corpus)
    ways = [(name, fn, accepted(rows, fn)) for name, fn in tools(schema)]
    # Every tool on the statements all of them analyse, interleaved round by
    # round so that a busy spell of the machine hits all of them alike.
    common_ids = set.intersection(*({r["id"] for r in way_rows} for _, _, way_rows in ways))
    common = [r for r in rows if r["id"] in common_ids]
    best = [float("inf")] * len(ways)
    for _ in range(args.rounds):
        for k, (_, fn, _) in enumerate(ways):
            best[k] = min(best[k], per_call(each(fn, common), args.min_time) / 1e6 / len(common))
    print(f"{len(rows)} TPC-DS statements with the TPC-DS schema, {len(common)} that every tool analyses; "
          f"one core, best of {args.rounds} interleaved passes")
    print(f"{'tool':<40} {'rejects':>8} {'ms/query':>9} {'queries/s':>10} {'x ours':>8}")
    for (name, _, way_rows), seconds in zip(ways, best):
        print(f"{name:<40} {len(rows) - len(way_rows):>8} {seconds * 1e3:>9.3f} {1 / seconds:>10.0f} "
              f"{seconds / best[0]:>8.1f}")
    if args.sqlglot_per_column and any(name.startswith("sqlglot") for name, _, _ in ways):
        sqlglot_per_column(common[: args.sqlglot_per_column], schema, args)

    print()
    print("how the cost of sqlparse_main.lineage grows (generated queries, no schema)")
    print(f"{'dimension':<20} {'n':>6} {'KB':>8} {'ms/query':>10} {'us/unit':>9}")
    for label, make, sizes in GROWTH:
        for n in sizes:
            sql = make(n)
            result = sqlparse_main.lineage(sql)  # must analyse, not fail
            assert result.statements[0].error is None and result.statements[0].columns, label
            seconds = best_seconds(lambda: sqlparse_main.lineage(sql), args.rounds, args.min_time)
            print(f"{label:<20} {n:>6} {len(sql) / 1e3:>8.1f} {seconds * 1e3:>10.3f} {seconds / n * 1e6:>9.2f}")


if __name__ == "__main__":
    main()
