#!/usr/bin/env python3
"""How much real warehouse SQL ``sql_parser.parse_script`` accepts.

Runs the parser over ``dialects.jsonl`` (each row with its own dialect) and
``tpc.jsonl`` of the shared SQL corpus and prints the accepted rows per
dialect, per statement kind and per TPC set, then the share of 4,000 random
token strings (``token_soup``) the parser accepts, which should stay small.
A row is accepted when ``parse_script`` returns without error; whether the
first statement's ``.kind`` is the row's kind is counted beside it, not
against acceptance.

    PYTHONPATH=python:build/dev python tools/check_parser_acceptance.py
        [--corpus DIR] [--sqlglot] [--floor FILE] [--write-floor FILE]
        [--soup-limit PCT] [--rejected]

``--sqlglot`` adds sqlglot's counts on the same rows (run it with a Python
that has sqlglot, such as the bench venv; a row sqlglot can only keep as an
opaque ``Command`` counts as not parsed). ``--floor`` compares with recorded
counts and ``--write-floor`` records them. Exits with 1 when a dialect, the
overall count or the TPC count falls below the floor, when the soup share is
above ``--soup-limit``, or when the parser raises anything but ``ParseError``.
"""

import argparse
import json
import logging
import sys
from collections import defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
# Appended, not prepended: a build or package named on PYTHONPATH comes first.
sys.path.append(str(ROOT / "python"))
sys.path.insert(0, str(Path(__file__).resolve().parent))

from token_soup import soup  # noqa: E402

SHOWN = 20  # unexpected exceptions listed; one fault can hit thousands of inputs
DEFAULT_CORPUS = ROOT.parent / "shared" / "sql-corpus"

# The corpus spells kinds with hyphens, the parser with underscores.
KIND_NAMES = {"create-table-as": "create_table_as", "create-view": "create_view"}

# sqlglot has no `ansi` (its default dialect reads standard SQL) and calls
# Spark SQL `spark`.
SQLGLOT_DIALECTS = {"ansi": "", "generic": "", "sparksql": "spark"}

TPC_SETS = {
    "tpch-sqlglot": "TPC-H",
    "tpcds-sqlglot": "TPC-DS select",
    "tpcds-sqllineage": "TPC-DS insert (Spark)",
}


def load_corpus(directory):
    """The rows of dialects.jsonl and of tpc.jsonl, as two lists of dicts."""
    directory = Path(directory)

    def read(name):
        with open(directory / name, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    return read("dialects.jsonl"), read("tpc.jsonl")


def corpus_kind(kind):
    """The parser's name for a corpus kind."""
    return KIND_NAMES.get(kind, kind)


def tpc_set(row):
    """The TPC set a tpc.jsonl row belongs to, named for the table."""
    prefix = row["id"].split("/", 1)[0]
    return TPC_SETS.get(prefix, prefix)


def run_parser(parse_script, parse_error, rows):
    """One outcome dict per row: ok, kind_ok, statements, error, unexpected.

    ``unexpected`` is set when the parser raised something other than
    ``parse_error``: bad input must end in a clear parse error.
    """
    outcomes = []
    for row in rows:
        out = {"ok": False, "kind_ok": False, "statements": [], "error": "", "unexpected": ""}
        try:
            statements = parse_script(row["sql"], dialect=row["dialect"])
        except parse_error as e:
            out["error"] = str(e).splitlines()[0] if str(e) else type(e).__name__
        except Exception as e:  # noqa: BLE001 - any other exception is a finding
            out["unexpected"] = f"{type(e).__name__}: {e}"
        else:
            out["ok"] = True
            out["statements"] = statements
            out["kind_ok"] = bool(statements) and statements[0].kind == corpus_kind(row["kind"])
        outcomes.append(out)
    return outcomes


def sqlglot_accepter():
    """A function (sql, dialect) -> bool for sqlglot, or None when absent."""
    try:
        import sqlglot
        from sqlglot import exp
    except ImportError:
        return None
    logging.getLogger("sqlglot").setLevel(logging.CRITICAL)  # no fallback warnings

    def accepts(sql, dialect):
        try:
            tree = sqlglot.parse_one(sql, read=SQLGLOT_DIALECTS.get(dialect, dialect))
        except Exception:  # noqa: BLE001 - sqlglot raises several types
            return False
        return tree is not None and tree.find(exp.Command) is None

    accepts.version = sqlglot.__version__
    return accepts


def tally(keys, oks, kind_oks=None):
    """{key: [rows, accepted, kind agreements]} in first-seen key order."""
    table = defaultdict(lambda: [0, 0, 0])
    for i, key in enumerate(keys):
        cell = table[key]
        cell[0] += 1
        cell[1] += bool(oks[i])
        cell[2] += bool(kind_oks[i]) if kind_oks is not None else 0
    return table


def pct(part, whole):
    return f"{100.0 * part / whole:5.1f}%" if whole else "    -"


def print_table(title, keys, ours, glot):
    """Rows, accepted and % per key, kind agreement and sqlglot beside."""
    mine = tally(keys, [o["ok"] for o in ours], [o["kind_ok"] for o in ours])
    theirs = tally(keys, glot) if glot is not None else None
    head = f"{title:<22} {'rows':>5} {'ours':>5} {'%':>6} {'kind=':>6} {'%kind':>6}"
    if theirs is not None:
        head += f" {'sqlglot':>7} {'%':>6}"
    print(head)
    total = [0, 0, 0, 0]
    for key in sorted(mine):
        rows, acc, kind = mine[key]
        line = f"{key:<22} {rows:>5} {acc:>5} {pct(acc, rows)} {kind:>6} {pct(kind, acc)}"
        total[:3] = [total[0] + rows, total[1] + acc, total[2] + kind]
        if theirs is not None:
            g = theirs[key][1]
            total[3] += g
            line += f" {g:>7} {pct(g, rows)}"
        print(line)
    rows, acc, kind, g = total
    line = f"{'all':<22} {rows:>5} {acc:>5} {pct(acc, rows)} {kind:>6} {pct(kind, acc)}"
    if theirs is not None:
        line += f" {g:>7} {pct(g, rows)}"
    print(line)
    print()


def counts(rows, outcomes, tpc_outcomes):
    """The floor record of a run: accepted rows per dialect, overall, TPC."""
    per_dialect = defaultdict(int)
    for row, out in zip(rows, outcomes):
        per_dialect[row["dialect"]] += out["ok"]
    return {
        "dialects": dict(sorted(per_dialect.items())),
        "overall": sum(o["ok"] for o in outcomes),
        "tpc": sum(o["ok"] for o in tpc_outcomes),
    }


def below_floor(current, floor):
    """Lines naming each dialect, and overall or tpc, that fell below the floor."""
    fell = []
    for dialect, need in sorted(floor.get("dialects", {}).items()):
        have = current["dialects"].get(dialect, 0)
        if have < need:
            fell.append(f"{dialect}: {have} accepted, floor {need}")
    for key in ("overall", "tpc"):
        if key in floor and current[key] < floor[key]:
            fell.append(f"{key}: {current[key]} accepted, floor {floor[key]}")
    return fell


def soup_accepted(parse_script, parse_error, texts):
    """How many soup texts parse, and the unexpected exceptions met."""
    accepted, unexpected = 0, []
    for text in texts:
        try:
            parse_script(text, dialect="generic")
        except parse_error:
            continue
        except Exception as e:  # noqa: BLE001 - any other exception is a finding
            unexpected.append((text, f"{type(e).__name__}: {e}"))
            continue
        accepted += 1
    return accepted, unexpected


def import_parser():
    """parse_script and ParseError of the sql_parser package, or exit."""
    try:
        from sql_parser import ParseError, parse_script
    except ImportError as e:
        sys.exit(f"cannot import sql_parser.parse_script ({e}); set PYTHONPATH=python:build/<dir>")
    return parse_script, ParseError


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--corpus", default=str(DEFAULT_CORPUS), help="folder of dialects.jsonl and tpc.jsonl")
    ap.add_argument("--sqlglot", action="store_true", help="also count what sqlglot parses")
    ap.add_argument("--floor", metavar="FILE", help="fail when counts fall below this record")
    ap.add_argument("--write-floor", metavar="FILE", help="record the current counts")
    ap.add_argument("--soup-limit", type=float, default=5.0, metavar="PCT",
                    help="most token-soup strings (in %%) the parser may accept (default 5)")
    ap.add_argument("--rejected", action="store_true", help="list each rejected row with its error")
    args = ap.parse_args()

    if args.floor and not Path(args.floor).exists():
        sys.exit(f"no floor file {args.floor}; record one with --write-floor")
    parse_script, parse_error = import_parser()
    glot = None
    if args.sqlglot:
        glot = sqlglot_accepter()
        if glot is None:
            sys.exit("--sqlglot: sqlglot is not importable from this Python")

    rows, tpc_rows = load_corpus(args.corpus)
    ours = run_parser(parse_script, parse_error, rows)
    tpc_ours = run_parser(parse_script, parse_error, tpc_rows)
    glot_oks = tpc_glot_oks = None
    if glot is not None:
        glot_oks = [glot(r["sql"], r["dialect"]) for r in rows]
        tpc_glot_oks = [glot(r["sql"], r["dialect"]) for r in tpc_rows]
        print(f"sqlglot {glot.version}")

    print_table("dialect", [r["dialect"] for r in rows], ours, glot_oks)
    print_table("kind", [r["kind"] for r in rows], ours, glot_oks)
    print_table("TPC", [tpc_set(r) for r in tpc_rows], tpc_ours, tpc_glot_oks)

    current = counts(rows, ours, tpc_ours)
    print(f"overall: {current['overall']} of {len(rows)} accepted ({pct(current['overall'], len(rows)).strip()}); "
          f"TPC: {current['tpc']} of {len(tpc_rows)}")

    texts = soup()
    soup_ok, soup_unexpected = soup_accepted(parse_script, parse_error, texts)
    soup_share = 100.0 * soup_ok / len(texts)
    line = f"token soup: {soup_ok} of {len(texts)} accepted ({soup_share:.1f}%, limit {args.soup_limit:g}%)"
    if glot is not None:
        glot_soup = sum(glot(t, "generic") for t in texts)
        line += f"; sqlglot {glot_soup} ({100.0 * glot_soup / len(texts):.1f}%)"
    print(line)

    failed = False
    if args.rejected:
        print("\nrejected rows:")
        for row, out in zip(rows + tpc_rows, ours + tpc_ours):
            if not out["ok"]:
                print(f"  {row['id']} [{row['dialect']}]: {out['unexpected'] or out['error']}")
    unexpected = [(r["id"], o["unexpected"]) for r, o in zip(rows + tpc_rows, ours + tpc_ours) if o["unexpected"]]
    unexpected += [(repr(t), msg) for t, msg in soup_unexpected]
    if unexpected:
        failed = True
        print(f"\n{len(unexpected)} inputs raised something other than ParseError (first {SHOWN}):")
        for where, msg in unexpected[:SHOWN]:
            print(f"  {where[:120]}: {msg[:200]}")
    if soup_share > args.soup_limit:
        failed = True
        print(f"token soup: {soup_share:.1f}% accepted, above the limit of {args.soup_limit:g}%")

    if args.write_floor:
        with open(args.write_floor, "w", encoding="utf-8") as f:
            json.dump(current, f, indent=2)
            f.write("\n")
        print(f"floor written to {args.write_floor}")
    if args.floor:
        with open(args.floor, encoding="utf-8") as f:
            fell = below_floor(current, json.load(f))
        if fell:
            failed = True
            print("\nbelow the floor:")
            for line in fell:
                print(f"  {line}")
        else:
            print(f"floor {args.floor}: no count fell")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
