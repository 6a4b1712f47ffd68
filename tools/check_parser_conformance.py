#!/usr/bin/env python3
"""Runs sql_parser.parse over a JSON-lines file of reference parse results.

Each line is {"sql": ..., "tree": ...} or {"sql": ..., "error": ...}. A row
passes when our tree equals the reference exactly (key order and types
included: a boolean is not 1 and an integer is not 1.0), when both reject
the text, or when the row is one of the deliberate differences listed below.

    python tools/check_parser_conformance.py [path-to-jsonl]

Prints one line per row and ends with "N passed, M failed"; exits with 1 when
any row differs without being listed.
"""

import json
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))

from sql_parser import ParseError, parse  # noqa: E402

DEFAULT_DATA = ROOT.parent / "shared" / "parser-conformance.jsonl"

# Why each deliberate difference exists: the reference release's result is
# plainly wrong there and our parser gives the sound tree instead.
NATURAL = "natural join keyed like the other joins"
NEGATIVE = "minus before a number is a negative number, before anything else neg"
KEEP_OPERANDS = "similar to and is not keep both operands"
NULL_TEXT = "'null' is a literal and a quoted \"null\" a name"
TYPE_COLUMN = "a type name not followed by ( or a string is a column"
SUBSCRIPT = "subscripts and array literals raise; distinct top n reads as top n distinct"
EMPTY_OVER = "over () is kept as an empty map"
NULL_ITEM = "a NULL select item keeps its place as {value: null}"
SET_OPS = "intersect, except and minus are accepted"
UNICODE = "unquoted names may contain any Unicode letter"

# One entry per differing row: the SQL text and the decision it follows.
DELIBERATE = {
    "select a from t1 natural join t2": NATURAL,
    "select a from t1 natural left join t2 on t1.a = t2.a": NATURAL,
    "select 2*-3 from t": NEGATIVE,
    "select a*-b from t": NEGATIVE,
    "select a / -b from t": NEGATIVE,
    "select a + -1 from t": NEGATIVE,
    "select 1 + -1 from t": NEGATIVE,
    "select a + (-1) from t": NEGATIVE,
    "select a+-1 from t": NEGATIVE,
    "select a + - 1 from t": NEGATIVE,
    "select x from t where a > -1 + b": NEGATIVE,
    "select a from t where a similar to 'x'": KEEP_OPERANDS,
    "select a from t where a is not b": KEEP_OPERANDS,
    "select a from t where a = 'null'": NULL_TEXT,
    "select 'null' from t": NULL_TEXT,
    'select "null" from t': NULL_TEXT,
    'select a as "null" from t': NULL_TEXT,
    'select a from "null"': NULL_TEXT,
    "select date as d from t": TYPE_COLUMN,
    "select date, timestamp from t": TYPE_COLUMN,
    "select text from t": TYPE_COLUMN,
    "select string, int, float from t": TYPE_COLUMN,
    "select a from t where int = 1": TYPE_COLUMN,
    "select convert(int, a) from t": TYPE_COLUMN,
    "select array[1,2] from t": SUBSCRIPT,
    "select a[1] from t": SUBSCRIPT,
    "select distinct top 5 a from t": SUBSCRIPT,
    "select sum(x) over () from t": EMPTY_OVER,
    "select NULL from t": NULL_ITEM,
    "select a, null from t": NULL_ITEM,
    "select TRUE, False, NuLL from t": NULL_ITEM,
    "select a from t intersect select a from u": SET_OPS,
    "select a from t except select a from u": SET_OPS,
    "select a from t minus select a from u": SET_OPS,
    "select 名前 from 表": UNICODE,
}


def same(a, b):
    """Equality that also requires equal types and equal key order."""
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return a == b


def short(value, limit=100):
    text = json.dumps(value, ensure_ascii=False)
    return text if len(text) <= limit else text[: limit - 3] + "..."


def first_difference(ours, theirs, path="$"):
    """(path, ours, theirs) at the first place the two trees differ."""
    if type(ours) is not type(theirs):
        return path, ours, theirs
    if isinstance(ours, dict):
        if list(ours) != list(theirs):
            return path + " keys", list(ours), list(theirs)
        for k in ours:
            if not same(ours[k], theirs[k]):
                return first_difference(ours[k], theirs[k], f"{path}.{k}")
    if isinstance(ours, list):
        if len(ours) != len(theirs):
            return path + " length", len(ours), len(theirs)
        for i, (x, y) in enumerate(zip(ours, theirs)):
            if not same(x, y):
                return first_difference(x, y, f"{path}[{i}]")
    return path, ours, theirs


def check_row(row):
    """('match' | 'deliberate' | 'DIFFERS', detail)."""
    sql = row["sql"]
    try:
        ours = parse(sql)
        error = None
    except ParseError as e:
        ours, error = None, str(e)
    if "error" in row:
        if error is not None:
            return "match", "rejected"
        outcome = "DIFFERS", f"accepted, reference rejects: {short(ours)}"
    elif error is not None:
        outcome = "DIFFERS", f"rejected: {error}"
    elif same(ours, row["tree"]):
        return "match", ""
    else:
        path, a, b = first_difference(ours, row["tree"])
        outcome = "DIFFERS", f"at {path}: ours {short(a)}, reference {short(b)}"
    reason = DELIBERATE.get(sql)
    if reason is not None:
        return "deliberate", f"{reason}; {outcome[1]}"
    return outcome


def main(argv):
    path = Path(argv[1]) if len(argv) > 1 else DEFAULT_DATA
    passed = failed = 0
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip():
                continue
            row = json.loads(line)
            status, detail = check_row(row)
            sql = json.dumps(row["sql"], ensure_ascii=False)
            if status == "DIFFERS":
                failed += 1
                print(f"{number}: DIFFERS {sql}: {detail}")
            elif status == "deliberate":
                passed += 1
                print(f"{number}: deliberate ({detail}) {sql}")
            else:
                passed += 1
                print(f"{number}: match {sql}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
