#!/usr/bin/env python3
"""Speed of SQL text to the typed syntax tree on the shared corpus, in MB/s.

The texts are the rows of ``dialects.jsonl`` and ``tpc.jsonl`` that
``sql_parser.parse_script`` accepts, each parsed with its own dialect. Rows:

* typed, C++ only: ``_sqlparse_core._bench_parse_script`` builds the typed
  tree of every text and no Python objects;
* typed to Python: ``parse_script`` on the same texts;
* classic, C++ only and to Python: ``_parse_tree_only`` and the classic
  ``sql_parser.parse`` on the texts the classic parser accepts (the baseline);
* both ways in C++ on the texts both parsers accept, the fair comparison;
* with ``--sqlglot``, ``sqlglot.parse_one`` on the texts of the first row it
  parses (run from a Python that has sqlglot, such as the bench venv).

One thread; each figure is the best of ``--rounds`` timings of a whole pass.

    PYTHONPATH=python:build/dev python bench/bench_syntax.py [--rounds N] [--sqlglot]
"""

import argparse
import json
import logging
import sys
from collections import defaultdict
from pathlib import Path

from _timing import per_call

ROOT = Path(__file__).resolve().parents[1]
sys.path.append(str(ROOT / "python"))  # after PYTHONPATH, so a build named there wins

import _sqlparse_core  # noqa: E402
import sql_parser  # noqa: E402

DEFAULT_CORPUS = ROOT.parent / "shared" / "sql-corpus"
SQLGLOT_DIALECTS = {"ansi": "", "generic": "", "sparksql": "spark"}


def corpus_rows(directory):
    rows = []
    for name in ("dialects.jsonl", "tpc.jsonl"):
        with open(Path(directory) / name, encoding="utf-8") as f:
            rows += [json.loads(line) for line in f if line.strip()]
    return rows


def accepted(rows, parse):
    """The rows parse(row) does not raise on."""
    kept = []
    for row in rows:
        try:
            parse(row)
        except Exception:  # noqa: BLE001 - any rejection leaves the row out
            continue
        kept.append(row)
    return kept


def by_dialect(rows):
    """[(dialect, [text, ...]), ...] so that the C++ call takes one dialect at a time."""
    groups = defaultdict(list)
    for row in rows:
        groups[row["dialect"]].append(row["sql"])
    return sorted(groups.items())


def size(rows):
    return sum(len(row["sql"].encode("utf-8")) for row in rows)


def best_seconds(fn, rounds, min_time):
    """Seconds per call of fn, best of `rounds` timings."""
    return min(per_call(fn, min_time) for _ in range(rounds)) / 1e6


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--corpus", default=str(DEFAULT_CORPUS), help="folder of dialects.jsonl and tpc.jsonl")
    ap.add_argument("--rounds", type=int, default=5, help="timings per figure, the best is kept")
    ap.add_argument("--min-time", type=float, default=0.3, help="least seconds of one timing")
    ap.add_argument("--sqlglot", action="store_true", help="add sqlglot.parse_one on the same texts")
    args = ap.parse_args()

    if not hasattr(sql_parser, "parse_script") or not hasattr(_sqlparse_core, "_bench_parse_script"):
        sys.exit("this build has no parse_script / _bench_parse_script")
    parse_script, bench_script = sql_parser.parse_script, _sqlparse_core._bench_parse_script
    classic, classic_tree = sql_parser.parse, _sqlparse_core._parse_tree_only

    rows = corpus_rows(args.corpus)
    typed_rows = accepted(rows, lambda r: parse_script(r["sql"], dialect=r["dialect"]))
    classic_rows = accepted(rows, lambda r: classic(r["sql"]))
    typed_ids = {row["id"] for row in typed_rows}
    both_rows = [row for row in classic_rows if row["id"] in typed_ids]
    if not typed_rows:
        sys.exit("parse_script accepts no corpus text")

    def typed_cpp(groups):
        return lambda: sum(bench_script(texts, dialect) for dialect, texts in groups)

    def typed_python(groups):
        def run():
            for dialect, texts in groups:
                for text in texts:
                    parse_script(text, dialect=dialect)
        return run

    def each(func, texts):
        def run():
            for text in texts:
                func(text)
        return run

    typed_groups, both_groups = by_dialect(typed_rows), by_dialect(both_rows)
    ways = [
        ("typed, C++ only (_bench_parse_script)", typed_rows, typed_cpp(typed_groups)),
        ("typed to Python (parse_script)", typed_rows, typed_python(typed_groups)),
        ("classic, C++ only (_parse_tree_only)", classic_rows, each(classic_tree, [r["sql"] for r in classic_rows])),
        ("classic to Python (sql_parser.parse)", classic_rows, each(classic, [r["sql"] for r in classic_rows])),
        ("typed, C++ only, texts both accept", both_rows, typed_cpp(both_groups)),
        ("classic, C++ only, texts both accept", both_rows, each(classic_tree, [r["sql"] for r in both_rows])),
    ]
    if args.sqlglot:
        import sqlglot
        from sqlglot import exp

        logging.getLogger("sqlglot").setLevel(logging.CRITICAL)

        def glot(row):
            tree = sqlglot.parse_one(row["sql"], read=SQLGLOT_DIALECTS.get(row["dialect"], row["dialect"]))
            if tree is None or tree.find(exp.Command) is not None:
                raise ValueError("opaque command")

        glot_rows = accepted(typed_rows, glot)
        ways.append((f"sqlglot.parse_one {sqlglot.__version__}", glot_rows, each(glot, glot_rows)))

    statements = typed_cpp(typed_groups)()
    print(f"{len(rows)} corpus texts; parse_script accepts {len(typed_rows)} ({statements} statements), "
          f"the classic parser {len(classic_rows)}, both {len(both_rows)}; one core, best of {args.rounds}")
    print(f"{'way':<40} {'texts':>6} {'KB':>8} {'MB/s':>8}")
    for name, way_rows, fn in ways:
        if not way_rows:
            print(f"{name:<40} {0:>6} {'-':>8} {'-':>8}")
            continue
        seconds = best_seconds(fn, args.rounds, args.min_time)
        nbytes = size(way_rows)
        print(f"{name:<40} {len(way_rows):>6} {nbytes / 1e3:>8.1f} {nbytes / seconds / 1e6:>8.2f}")


if __name__ == "__main__":
    main()
