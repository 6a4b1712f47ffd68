"""Runs the analyser on the worked analysis examples and compares the outcome.

Usage: python tools/check_analysis_examples.py [examples.jsonl]

Each row has a "tree" (the parse tree, or null when the text does not parse)
and one expected outcome:
  "triples"  the list that Analyze(tree).analyze_sql() returns;
  "records"  the front end's records [database, table, src, tgt], compared
             with the analyser's triples reshaped as the front end does;
  "error"    the exception's class name ("any error" accepts any exception),
             with "stdout" the text written to standard output, if given.
Triples and records are compared in order: the analyser returns the distinct
triples in the order of their first occurrence, and the examples list them so.
Rows with a null tree need the parser: they run through
VarnelParseMain()._parse_sql(sql) when the full pipeline works, and are
reported as skipped otherwise. Prints one line per row and, last,
"N passed, M failed" (skipped rows are counted apart); exits 1 on a failure.
"""

from __future__ import annotations

import contextlib
import io
import json
import os
import sys
from typing import Any, Optional, Tuple

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT = os.path.join(ROOT, "..", "shared", "analysis-examples.jsonl")


def _records(triples):
    out = []
    for name, src, tgt in triples:
        if isinstance(name, str) and "." in name:
            pieces = name.split(".")
            database, table = pieces[0], pieces[1]
        else:
            database, table = None, name
        out.append([database, table, src, tgt])
    return out


def _plain(value):
    # Tuples to lists, so that results compare with JSON data.
    return json.loads(json.dumps(value))


def _pipeline():
    try:
        import sqlparse_main

        front = sqlparse_main.VarnelParseMain()
        front._parse_sql("select a from t")
        return front
    except Exception:  # noqa: BLE001 - any failure means "not available"
        return None


def run_row(row, front) -> Tuple[Optional[bool], str]:
    """(True, "") on a pass, (False, why) on a failure, (None, why) when skipped."""
    from sqlparse_main import Analyze

    tree = row.get("tree")
    if tree is None:
        if front is None or "sql" not in row:
            return None, "needs the parser"
        action = lambda: [[r.database, r.table, r.src, r.tgt] for r in front._parse_sql(row["sql"])]
    else:
        action = lambda: Analyze(tree).analyze_sql()

    out = io.StringIO()
    got: Any = None
    error: Optional[BaseException] = None
    with contextlib.redirect_stdout(out):
        try:
            got = action()
        except Exception as exc:  # noqa: BLE001 - the outcome under test
            error = exc

    if "error" in row:
        want = row["error"]
        if error is None:
            return False, f"expected {want}, got {_plain(got)!r}"
        if want != "any error" and type(error).__name__ != want and not any(
            cls.__name__ == want for cls in type(error).__mro__
        ):
            return False, f"expected {want}, got {type(error).__name__}: {error}"
        if "stdout" in row and out.getvalue() != row["stdout"]:
            return False, f"stdout {out.getvalue()!r}, expected {row['stdout']!r}"
        return True, ""
    if error is not None:
        return False, f"raised {type(error).__name__}: {error}"
    got = _plain(got)
    if tree is not None and "records" in row:
        got = _records(got)
    want = row["records"] if "records" in row else row["triples"]
    if got != want:
        return False, f"got {got!r}, expected {want!r}"
    if out.getvalue():
        return False, f"unexpected stdout {out.getvalue()!r}"
    return True, ""


def main(argv) -> int:
    path = argv[1] if len(argv) > 1 else DEFAULT
    sys.path[:0] = [os.path.join(ROOT, "python")]
    front = _pipeline()
    passed = failed = skipped = 0
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip():
                continue
            row = json.loads(line)
            label = row.get("name") or row.get("sql", "").replace("\n", " ")
            ok, why = run_row(row, front)
            if ok is None:
                skipped += 1
                print(f"SKIP {number}: {label[:90]} ({why})")
            elif ok:
                passed += 1
                print(f"ok   {number}: {label[:90]}")
            else:
                failed += 1
                print(f"FAIL {number}: {label[:90]}\n     {why}")
    if skipped:
        print(f"{skipped} skipped")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
