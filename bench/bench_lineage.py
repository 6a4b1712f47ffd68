#!/usr/bin/env python3
"""Speed of the full column lineage on the shared corpus and examples.

Rows, each on the texts that parse in their own dialect:

* parse only: ``_sqlparse_core._bench_parse_script`` (the typed tree, no
  Python objects), the floor under the lineage figures;
* lineage, Schema made once: ``lineage(sql, schema=Schema(...))`` with the
  schema converted before the timing;
* lineage(): the Python call with the schema as a plain dict.

TPC texts get their schemas. One thread; each figure is the best of
``--rounds`` passes over the texts.

    PYTHONPATH=python:build/dev python bench/bench_lineage.py [--rounds N]
"""

import argparse
import json
import sys
import time
from collections import defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.append(str(ROOT / "python"))  # after PYTHONPATH, so a build named there wins

import _sqlparse_core  # noqa: E402
from sqlparse_main import Schema, lineage  # noqa: E402

SHARED = ROOT.parent / "shared"


def load(rounds_note=""):
    sets = {}
    corpus = SHARED / "sql-corpus"
    schemas = {"tpch": json.loads((corpus / "tpch-schema.json").read_text()),
               "tpcds": json.loads((corpus / "tpcds-schema.json").read_text())}
    rows = []
    for line in (corpus / "tpc.jsonl").read_text().splitlines():
        r = json.loads(line)
        schema = next((s for p, s in schemas.items() if r["id"].startswith(p)), None)
        rows.append((r["sql"], r["dialect"], schema))
    sets["TPC-H/DS"] = rows
    sets["dialects"] = [(r["sql"], r["dialect"], None) for r in map(
        json.loads, (corpus / "dialects.jsonl").read_text().splitlines())]
    sets["lineage examples"] = [(r["sql"], r["dialect"], r["schema"]) for r in map(
        json.loads, (SHARED / "lineage-examples.jsonl").read_text().splitlines())]
    for name, rows in sets.items():
        ok = []
        for sql, dialect, schema in rows:
            try:
                lineage(sql, dialect=dialect, schema=schema)
            except Exception:  # texts the parser does not take yet
                continue
            ok.append((sql, dialect, schema))
        sets[name] = ok
    return sets


def best(fn, rounds):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    sets = load()
    print(f"{'texts':<18}{'n':>6}{'MB':>8}  {'parse MB/s':>11}{'Schema MB/s':>17}"
          f"{'lineage() MB/s':>16}{'lineage() ms/text':>19}")
    for name, rows in sets.items():
        size = sum(len(sql.encode()) for sql, _, _ in rows) / 1e6
        by_dialect = defaultdict(list)
        for sql, dialect, _ in rows:
            by_dialect[dialect].append(sql)
        prepared = [(sql, dialect, Schema(schema or {})) for sql, dialect, schema in rows]

        def parse_only():
            for dialect, texts in by_dialect.items():
                _sqlparse_core._bench_parse_script(texts, dialect)

        def core():
            for sql, dialect, schema in prepared:
                lineage(sql, dialect=dialect, schema=schema)

        def full():
            for sql, dialect, schema in rows:
                lineage(sql, dialect=dialect, schema=schema)

        t_parse, t_core, t_full = (best(f, args.rounds) for f in (parse_only, core, full))
        print(f"{name:<18}{len(rows):>6}{size:>8.2f}  {size / t_parse:>11.1f}{size / t_core:>17.1f}"
              f"{size / t_full:>16.1f}{t_full / len(rows) * 1e3:>19.3f}")


if __name__ == "__main__":
    main()
