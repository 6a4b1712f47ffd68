"""The documented limits: the largest text, nesting and width that work, and
the clear error just past each of them.

| what                                   | works up to              | past it                          |
|----------------------------------------|--------------------------|----------------------------------|
| query text size                        | no fixed limit (memory); | -                                |
|                                        | 200 MB tested            |                                  |
| nesting in the SQL text (parentheses,  | 1000 levels              | sql_parser.ParseError "Expecting |
| sub-queries, CASE, prefix operators,   |                          | at most 1000 nested levels, ..." |
| left-nested operator chains)           |                          |                                  |
| sub-queries analysed inside each other | 1000 levels              | RecursionError "sub-queries      |
|                                        |                          | nested deeper than 1000 levels"  |
| depth of a tree handed to Analyze from | 20000 nested containers  | RecursionError "tree nested      |
| Python                                 |                          | deeper than 20000 levels"        |
| select-list width                      | no fixed limit; 100,000  | -                                |
|                                        | columns in about 2 s     |                                  |
"""

import os
import threading

import pytest

import sqlparse_main
import sql_parser

SANITIZED = bool(os.environ.get("SQLPARSE_SANITIZED"))
MAX_NESTING = 1000
MAX_SUBQUERY_LEVELS = 1000
MAX_TREE_DEPTH = 20000


def on_big_stack(fn, *args):
    """Runs fn(*args) on a thread with a 256 MB stack and returns its result or
    raises its exception. The nesting limits are counts, but every recursive
    walk also stops early, with the same error, when its thread's stack runs
    low; a sanitizer build's frames are several times larger, so the deepest
    cases run here to test the counts rather than the stack of the main
    thread."""
    box = {}

    def run():
        try:
            box["result"] = fn(*args)
        except BaseException as exc:  # noqa: BLE001 - re-raised below
            box["error"] = exc

    old = threading.stack_size(256 << 20)
    try:
        t = threading.Thread(target=run)
        t.start()
    finally:
        threading.stack_size(old)
    t.join()
    if "error" in box:
        raise box["error"]
    return box["result"]


@pytest.fixture(scope="module")
def front():
    return sqlparse_main.VarnelParseMain()


def records(result):
    return [(r.database, r.table, r.src, r.tgt) for r in result]


# ---- text size -----------------------------------------------------------------


def test_large_text_mostly_comments(front):
    size = (20 if SANITIZED else 200) << 20
    text = "/* " + "x" * size + " */ select s.a as x from (select a from db.t) s"
    assert records(front._parse_sql(text)) == [("db", "t", "a", "x")]


def test_large_text_many_comment_lines(front):
    text = "-- comment line\n" * (1 << 20) + "select a from db.t"  # 16 MB
    assert records(front._parse_sql(text)) == [("db", "t", "a", "a")]


def test_large_literal_and_identifier(front):
    literal = "select a as x from db.t where b = '" + "y" * (20 << 20) + "'"
    assert records(front._parse_sql(literal)) == [("db", "t", "a", "x")]
    name = "c" * (4 << 20)
    assert records(front._parse_sql("select %s from db.t" % name)) == [("db", "t", name, name)]


# ---- nesting in the text --------------------------------------------------------------


def test_operator_chain_limit():
    ok = "select " + " - ".join(["a"] * (MAX_NESTING + 1)) + " from t"
    assert on_big_stack(sql_parser.parse, ok)["from"] == "t"
    with pytest.raises(sql_parser.ParseError, match="at most 1000 nested levels"):
        on_big_stack(sql_parser.parse, "select " + " - ".join(["a"] * (MAX_NESTING + 2)) + " from t")


def test_parenthesis_nesting_limit():
    ok = "select " + "(" * MAX_NESTING + "a" + ")" * MAX_NESTING + " from t"
    assert on_big_stack(sql_parser.parse, ok)["from"] == "t"
    deep = "select " + "(" * (MAX_NESTING + 1) + "a" + ")" * (MAX_NESTING + 1) + " from t"
    with pytest.raises(sql_parser.ParseError, match=r"^Expecting at most 1000 nested levels, found"):
        on_big_stack(sql_parser.parse, deep)


def test_far_too_deep_text_is_a_parse_error_not_a_crash():
    text = "select " + "(" * 1_000_000 + "a"
    with pytest.raises(sql_parser.ParseError, match="at most 1000 nested levels"):
        sql_parser.parse(text)
    with pytest.raises(sql_parser.ParseError, match="at most 1000 nested levels"):
        sql_parser.parse("select " + " - ".join(["a"] * 100_000) + " from t")


def _nested_subqueries(levels):
    q = "select a from db.t"
    for i in range(levels):
        q = "select s%d.a from (%s) s%d" % (i, q, i)
    return q


def test_subquery_nesting_in_text(front):
    assert records(on_big_stack(front._parse_sql, _nested_subqueries(MAX_NESTING))) == [("db", "t", "a", "a")]
    with pytest.raises(sql_parser.ParseError, match="at most 1000 nested levels"):
        on_big_stack(front._parse_sql, _nested_subqueries(MAX_NESTING + 1))


# ---- trees from Python ------------------------------------------------------------------


def _analyze(tree):
    return sqlparse_main.Analyze(tree).analyze_sql()


def _subquery_chain(levels):
    tree = {"select": {"value": "a"}, "from": "db.t"}
    for i in range(levels):
        tree = {"select": {"value": "s%d.a" % i}, "from": {"value": tree, "name": "s%d" % i}}
    return tree


def test_subquery_levels_in_analysis():
    assert on_big_stack(_analyze, _subquery_chain(MAX_SUBQUERY_LEVELS)) == [("db.t", "a", "a")]
    with pytest.raises(RecursionError, match="sub-queries nested deeper than 1000 levels"):
        on_big_stack(_analyze, _subquery_chain(MAX_SUBQUERY_LEVELS + 1))


def test_far_too_many_subquery_levels():
    with pytest.raises(RecursionError, match="nested deeper than"):
        sqlparse_main.Analyze(_subquery_chain(2500)).analyze_sql()


def _with_nested_lists(depth):
    # The root map is one level; `depth - 1` lists below it.
    inner = "a"
    for _ in range(depth - 1):
        inner = [inner]
    return {"select": {"value": "a"}, "from": "t", "x": inner}


def test_tree_depth_limit():
    assert on_big_stack(_analyze, _with_nested_lists(MAX_TREE_DEPTH)) == [("t", "a", "a")]
    with pytest.raises(RecursionError, match="tree nested deeper than 20000 levels"):
        on_big_stack(_analyze, _with_nested_lists(MAX_TREE_DEPTH + 1))


def test_far_too_deep_tree_and_cycles_are_errors():
    deep = []
    for _ in range(200_000):
        deep = [deep]
    with pytest.raises(RecursionError):
        sqlparse_main.Analyze({"select": deep}).analyze_sql()
    cyclic = {"select": {"value": "a"}}
    cyclic["from"] = cyclic
    with pytest.raises(ValueError, match="Circular reference detected"):
        sqlparse_main.Analyze(cyclic).analyze_sql()


# ---- width ------------------------------------------------------------------------------


def test_wide_select_list(front):
    width = 20_000 if SANITIZED else 100_000
    text = "select " + ", ".join("c%d" % i for i in range(width)) + " from db.t"
    got = records(front._parse_sql(text))
    assert len(got) == width
    assert got[0] == ("db", "t", "c0", "c0")
    assert got[-1] == ("db", "t", "c%d" % (width - 1), "c%d" % (width - 1))


def test_wide_union(front):
    branches = 2000 if SANITIZED else 10_000
    text = " union all ".join("select c%d from db.t%d" % (i, i) for i in range(branches))
    got = records(front._parse_sql(text))
    assert len(got) == branches
    assert got[0] == ("db", "t0", "c0", "c0")


def test_small_thread_stack_stops_early_with_the_same_error():
    # A thread with a small stack gets the nesting error before the count.
    text = "select " + "(" * MAX_NESTING + "a" + ")" * MAX_NESTING + " from t"
    old = threading.stack_size(512 << 10)
    box = {}

    def run():
        try:
            box["result"] = sql_parser.parse(text)
        except BaseException as exc:  # noqa: BLE001 - checked below
            box["error"] = exc

    try:
        t = threading.Thread(target=run)
        t.start()
    finally:
        threading.stack_size(old)
    t.join()
    assert "result" in box or (
        isinstance(box["error"], sql_parser.ParseError) and "at most 1000 nested levels" in str(box["error"])
    )
