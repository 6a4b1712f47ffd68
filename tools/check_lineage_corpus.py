"""Runs lineage() over a SQL corpus and prints how many statements give lineage.

Usage: python tools/check_lineage_corpus.py [corpus.jsonl] [--schema NAME=FILE ...]

Each corpus row holds "id", "dialect" and "sql". A schema file (table name to
column name to type) applies to the rows whose id starts with NAME, e.g.
--schema tpch=../shared/sql-corpus/tpch-schema.json. Prints, per id prefix,
the statements that parse, those that give output columns, those without
warnings, and the warnings by code, plus the texts that raised. The TPC
corpus gets its two schemas by default.
"""

from __future__ import annotations

import argparse
import collections
import json
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "..", "shared", "sql-corpus")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("corpus", nargs="?", default=os.path.join(CORPUS, "tpc.jsonl"))
    parser.add_argument("--schema", action="append", default=None, metavar="PREFIX=FILE")
    parser.add_argument("-v", "--verbose", action="store_true", help="list statements with warnings")
    parser.add_argument("--require-clean", action="store_true",
                        help="fail unless every statement parses, gives columns and has no warnings")
    args = parser.parse_args(argv)
    if args.schema is None and os.path.basename(args.corpus) == "tpc.jsonl":
        args.schema = [f"tpch={os.path.join(CORPUS, 'tpch-schema.json')}",
                       f"tpcds={os.path.join(CORPUS, 'tpcds-schema.json')}"]

    sys.path.insert(0, os.path.join(ROOT, "python"))
    from sqlparse_main import lineage

    schemas = {}
    for item in args.schema or []:
        prefix, _, path = item.partition("=")
        with open(path, encoding="utf-8") as f:
            schemas[prefix] = json.load(f)

    with open(args.corpus, encoding="utf-8") as f:
        rows = [json.loads(line) for line in f if line.strip()]

    stats = collections.defaultdict(collections.Counter)
    warned = collections.defaultdict(collections.Counter)
    seconds = 0.0
    for row in rows:
        group = row["id"].split("/")[0]
        schema = next((s for p, s in schemas.items() if row["id"].startswith(p)), None)
        c = stats[group]
        c["texts"] += 1
        start = time.perf_counter()
        try:
            result = lineage(row["sql"], dialect=row["dialect"], schema=schema, errors="collect")
        except Exception as e:  # a crash of the analysis is what this check looks for
            c["raised"] += 1
            print(f"RAISED {row['id']}: {type(e).__name__}: {e}")
            continue
        finally:
            seconds += time.perf_counter() - start
        for st in result.statements:
            c["statements"] += 1
            if st.error is not None:
                c["parse errors"] += 1
                continue
            c["parsed"] += 1
            if st.columns:
                c["with columns"] += 1
            if not st.warnings:
                c["no warnings"] += 1
            elif args.verbose:
                print(f"{row['id']}: " + ", ".join(f"{w.code} {w.message}" for w in st.warnings))
            for w in st.warnings:
                warned[group][w.code] += 1

    keys = ["texts", "statements", "parsed", "parse errors", "with columns", "no warnings", "raised"]
    groups = sorted(stats)
    print(f"{'':<24}" + "".join(f"{g:>20}" for g in groups))
    for k in keys:
        print(f"{k:<24}" + "".join(f"{stats[g][k]:>20}" for g in groups))
    codes = sorted({code for g in groups for code in warned[g]})
    for code in codes:
        print(f"{'w ' + code:<24}" + "".join(f"{warned[g][code]:>20}" for g in groups))
    print(f"{sum(s['texts'] for s in stats.values())} texts in {seconds:.3f} s")
    if any(s["raised"] for s in stats.values()):
        return 1
    if args.require_clean:
        unclean = [g for g in groups
                   if not stats[g]["parsed"] == stats[g]["with columns"] == stats[g]["no warnings"] == stats[g]["statements"]]
        if unclean:
            print("not every statement parses, gives columns and has no warnings: " + ", ".join(unclean))
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
