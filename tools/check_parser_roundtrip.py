#!/usr/bin/env python3
"""Printed SQL parses back to the same tree, over the shared SQL corpus.

For every statement ``st`` of every corpus row that ``parse_script`` accepts
(``dialects.jsonl`` and ``tpc.jsonl``), ``st.sql()`` must parse, with the row's
dialect, to exactly one statement whose ``to_dict(spans=False)`` equals
``st.to_dict(spans=False)``, types included (1, 1.0 and True differ).

    PYTHONPATH=python:build/dev python tools/check_parser_roundtrip.py
        [--corpus DIR] [--known FILE] [--write-known]

Prints the round-trip rate per dialect. Rows that fail and are listed in the
known-differences file (JSON lines ``{"id": ..., "reason": ...}``, by default
``tools/parser_roundtrip_known.jsonl``) are expected; any other failure is
printed and the exit status is 1. ``--write-known`` rewrites the file with
the current failures, keeping the reasons already given and marking new ones
"TODO".
"""

import argparse
import json
import sys
from collections import defaultdict
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from check_parser_acceptance import DEFAULT_CORPUS, import_parser, load_corpus, pct  # noqa: E402

DEFAULT_KNOWN = Path(__file__).resolve().parent / "parser_roundtrip_known.jsonl"


def first_difference(a, b, path="$"):
    """None when a and b are equal with equal types, else where and how they differ."""
    if type(a) is not type(b):
        return f"{path}: {type(a).__name__} {a!r:.60} vs {type(b).__name__} {b!r:.60}"
    if isinstance(a, dict):
        if a.keys() != b.keys():
            return f"{path}: keys {sorted(map(str, a.keys() ^ b.keys()))} on one side only"
        for key in a:
            diff = first_difference(a[key], b[key], f"{path}.{key}")
            if diff:
                return diff
        return None
    if isinstance(a, list):
        if len(a) != len(b):
            return f"{path}: {len(a)} items vs {len(b)}"
        for i, (x, y) in enumerate(zip(a, b)):
            diff = first_difference(x, y, f"{path}[{i}]")
            if diff:
                return diff
        return None
    return None if a == b else f"{path}: {a!r:.60} vs {b!r:.60}"


def roundtrip_failure(parse_script, parse_error, statement, dialect):
    """Why the statement does not survive printing and parsing, or None."""
    try:
        printed = statement.sql()
    except Exception as e:  # noqa: BLE001 - a failing printer is the finding
        return f"sql() raised {type(e).__name__}: {e}"
    try:
        again = parse_script(printed, dialect=dialect)
    except parse_error as e:
        return f"printed SQL does not parse: {str(e).splitlines()[0] if str(e) else ''}"
    except Exception as e:  # noqa: BLE001
        return f"parsing the printed SQL raised {type(e).__name__}: {e}"
    if len(again) != 1:
        return f"printed SQL gives {len(again)} statements"
    diff = first_difference(statement.to_dict(spans=False), again[0].to_dict(spans=False))
    return f"tree differs at {diff}" if diff else None


def check_rows(parse_script, parse_error, rows):
    """Per dialect [statements, round-tripped], and {row id: failure} for failing rows."""
    per_dialect = defaultdict(lambda: [0, 0])
    failures = {}
    for row in rows:
        try:
            statements = parse_script(row["sql"], dialect=row["dialect"])
        except Exception:  # noqa: BLE001 - acceptance is the other tool's business
            continue
        cell = per_dialect[row["dialect"]]
        for k, statement in enumerate(statements):
            why = roundtrip_failure(parse_script, parse_error, statement, row["dialect"])
            cell[0] += 1
            if why is None:
                cell[1] += 1
            elif row["id"] not in failures:
                failures[row["id"]] = f"statement {k}: {why}"
    return per_dialect, failures


def read_known(path):
    """{id: reason} of the known-differences file; empty when it is absent."""
    path = Path(path)
    if not path.exists():
        return {}
    known = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.strip():
                entry = json.loads(line)
                known[entry["id"]] = entry.get("reason", "")
    return known


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--corpus", default=str(DEFAULT_CORPUS), help="folder of dialects.jsonl and tpc.jsonl")
    ap.add_argument("--known", default=str(DEFAULT_KNOWN), help="known differences, JSON lines of id and reason")
    ap.add_argument("--write-known", action="store_true", help="record the current failures in --known")
    args = ap.parse_args()

    parse_script, parse_error = import_parser()
    rows, tpc_rows = load_corpus(args.corpus)
    per_dialect, failures = check_rows(parse_script, parse_error, rows + tpc_rows)

    print(f"{'dialect':<12} {'statements':>10} {'round-trip':>10} {'%':>6}")
    total, same = 0, 0
    for dialect in sorted(per_dialect):
        n, ok = per_dialect[dialect]
        total, same = total + n, same + ok
        print(f"{dialect:<12} {n:>10} {ok:>10} {pct(ok, n)}")
    print(f"{'all':<12} {total:>10} {same:>10} {pct(same, total)}")
    print(f"{len(failures)} rows with a statement that does not round-trip")

    known = read_known(args.known)
    if args.write_known:
        with open(args.known, "w", encoding="utf-8") as f:
            for row_id in failures:
                f.write(json.dumps({"id": row_id, "reason": known.get(row_id, "TODO")}) + "\n")
        print(f"{len(failures)} known differences written to {args.known}")
        return 0

    new = {row_id: why for row_id, why in failures.items() if row_id not in known}
    fixed = [row_id for row_id in known if row_id not in failures]
    if fixed:
        print(f"\n{len(fixed)} known differences no longer fail (remove them from {args.known}):")
        for row_id in fixed:
            print(f"  {row_id}")
    if new:
        print(f"\n{len(new)} failures not in {args.known}:")
        for row_id, why in new.items():
            print(f"  {row_id}: {why}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
