"""Runs lineage() on the worked lineage examples and compares the answers.

Usage: python tools/check_lineage_examples.py [examples.jsonl] [--known FILE] [-v]

Each row holds the SQL, its dialect and schema, and per statement the kind,
the target, the output columns with their sources (table, column, kind) in
order, the indirect columns in order and the warning codes; scripts also hold
the composed lineage. Every part is compared. Rows listed in the known file
(tools/lineage_examples_known.jsonl: {"id": .., "reason": ..}) are expected to
differ and are reported apart. Prints the differences, then the pass count per
topic; exits 1 when a row outside the known list differs.
"""

from __future__ import annotations

import argparse
import collections
import json
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT = os.path.join(ROOT, "..", "shared", "lineage-examples.jsonl")
KNOWN = os.path.join(ROOT, "tools", "lineage_examples_known.jsonl")


def _sources(items):
    return [[s.table, s.column, s.kind] for s in items]


def _actual(result):
    statements = []
    for st in result.statements:
        statements.append({
            "kind": st.kind,
            "target": st.target,
            "columns": [{"name": c.name, "sources": _sources(c.sources)} for c in st.columns],
            "indirect": _sources(st.indirect),
            "warnings": [w.code for w in st.warnings],
        })
    composed = [{"target": c.target, "name": c.name, "sources": _sources(c.sources)}
                for c in result.composed]
    return statements, composed


def _differences(row, result):
    """Lines naming each part of the answer that differs from the row."""
    out = []
    statements, composed = _actual(result)
    expected = row["statements"]
    if len(statements) != len(expected):
        out.append(f"statements: expected {len(expected)}, got {len(statements)}")
    for i, (want, got) in enumerate(zip(expected, statements)):
        for key in ("kind", "target", "columns", "indirect"):
            w = want.get(key) if key != "columns" else [
                {"name": c["name"], "sources": [list(s[:3]) for s in c["sources"]]}
                for c in want["columns"]]
            if key == "indirect":
                w = [list(s[:3]) for s in want.get("indirect", [])]
            if w != got[key]:
                out.append(f"statement {i} {key}:\n      expected {json.dumps(w)}\n"
                           f"      got      {json.dumps(got[key])}")
        if sorted(want.get("warnings", [])) != sorted(got["warnings"]):
            out.append(f"statement {i} warnings: expected {want.get('warnings')}, "
                       f"got {got['warnings']}")
    want_composed = [{"target": c["target"], "name": c["name"],
                      "sources": [list(s[:3]) for s in c["sources"]]}
                     for c in (row.get("composed") or [])]
    if want_composed != composed:
        out.append(f"composed:\n      expected {json.dumps(want_composed)}\n"
                   f"      got      {json.dumps(composed)}")
    return out


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("examples", nargs="?", default=DEFAULT)
    parser.add_argument("--known", default=KNOWN, help="ids expected to differ, with reasons")
    parser.add_argument("-v", "--verbose", action="store_true", help="print known differences too")
    args = parser.parse_args(argv)

    sys.path.insert(0, os.path.join(ROOT, "python"))
    from sqlparse_main import lineage

    known = {}
    if os.path.exists(args.known):
        with open(args.known, encoding="utf-8") as f:
            for line in f:
                if line.strip():
                    entry = json.loads(line)
                    known[entry["id"]] = entry.get("reason", "")

    with open(args.examples, encoding="utf-8") as f:
        rows = [json.loads(line) for line in f if line.strip()]

    per_topic = collections.defaultdict(lambda: [0, 0])
    failed, known_failed, fixed = [], [], []
    for row in rows:
        topic = per_topic[row["topic"]]
        topic[1] += 1
        try:
            result = lineage(row["sql"], dialect=row["dialect"], schema=row.get("schema"))
            diffs = _differences(row, result)
        except Exception as e:  # reported as a difference, never a crash of the check
            diffs = [f"raised {type(e).__name__}: {e}"]
        if not diffs:
            topic[0] += 1
            if row["id"] in known:
                fixed.append(row["id"])
            continue
        if row["id"] in known:
            known_failed.append(row["id"])
            if not args.verbose:
                continue
        else:
            failed.append(row["id"])
        print(f"DIFF {row['id']} ({row['dialect']}){' [known]' if row['id'] in known else ''}")
        print(f"    {row['sql']!r}")
        for d in diffs:
            print(f"    {d}")

    print()
    width = max(len(t) for t in per_topic)
    for name in sorted(per_topic):
        passed, total = per_topic[name]
        print(f"{name:<{width}}  {passed:>3}/{total}")
    total_passed = sum(p for p, _ in per_topic.values())
    print(f"{total_passed} passed, {len(failed)} failed, {len(known_failed)} known "
          f"({len(rows)} examples)")
    for ident in fixed:
        print(f"known entry now passes: {ident}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
