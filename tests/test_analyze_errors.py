"""Analyser failures: the two unsupported FROM shapes (line on stdout, then
UnsupportedFromShape), host errors, resolution cycles and deep nesting."""

import io
import pickle
import sys
import threading

import pytest

from sqlparse_main import Analyze, UnsupportedFromShape, VarnelParseMain

UNSUPPORTED = [
    # (tree, column, node, line)
    ({"select": {"value": "a"}, "from": ["t1", "t2"]}, "a", ["t1", "t2"], "['t1', 't2']"),
    ({"select": {"value": "s.a"}, "from": {"value": ["x", "y"], "name": "s"}}, "a", ["x", "y"], "a ['x', 'y']"),
    ({"select": {"value": "s.a"}, "from": {"name": "s"}}, "a", None, "a None"),
    ({"select": {"value": "s.a", "name": "o"}, "from": {"value": 7, "name": "s"}}, "o", 7, "o 7"),
    ({"select": {"value": "s.a"}, "from": {"value": True, "name": "s"}}, "a", True, "a True"),
    ({"select": {"value": "a"}, "from": [{"value": "t", "name": "x"}, {"join": "u", "on": {"eq": ["x.k", "u.k"]}}]},
     "a", [{"value": "t", "name": "x"}, {"join": "u", "on": {"eq": ["x.k", "u.k"]}}],
     "[{'value': 't', 'name': 'x'}, {'join': 'u', 'on': {'eq': ['x.k', 'u.k']}}]"),
]


@pytest.mark.parametrize("tree,column,node,line", UNSUPPORTED)
def test_unsupported_from_shape(tree, column, node, line, capsys):
    with pytest.raises(UnsupportedFromShape) as info:
        Analyze(tree).analyze_sql()
    exc = info.value
    assert isinstance(exc, RuntimeError)
    assert str(exc) == "No active exception to reraise"
    assert (exc.column, exc.node, exc.line) == (column, node, line)
    assert capsys.readouterr().out == line + "\n"


def test_stdout_is_looked_up_at_call_time(monkeypatch):
    buffer = io.StringIO()
    monkeypatch.setattr(sys, "stdout", buffer)
    with pytest.raises(UnsupportedFromShape):
        Analyze({"select": {"value": "a"}, "from": ["t1", "t2"]}).analyze_sql()
    assert buffer.getvalue() == "['t1', 't2']\n"


def test_no_other_exception_is_reraised():
    # Raised while another exception is being handled: still ours, with the
    # handled one only as context.
    try:
        raise KeyError("elsewhere")
    except KeyError:
        with pytest.raises(UnsupportedFromShape):
            Analyze({"select": {"value": "a"}, "from": ["t1", "t2"]}).analyze_sql()


def test_end_to_end_join_prints_and_raises(capsys):
    with pytest.raises(UnsupportedFromShape):
        VarnelParseMain()._parse_sql("select a from t1 join t2 on t1.k = t2.k")
    assert capsys.readouterr().out == "['t1', {'join': 't2', 'on': {'eq': ['t1.k', 't2.k']}}]\n"


def test_exception_pickles_and_compares():
    exc = UnsupportedFromShape("a", ["x", "y"], "a ['x', 'y']")
    back = pickle.loads(pickle.dumps(exc))
    assert back == exc and type(back) is UnsupportedFromShape
    assert (back.column, back.node, back.line, str(back)) == ("a", ["x", "y"], "a ['x', 'y']", str(exc))
    assert exc != UnsupportedFromShape("a", ["x"], "a ['x']")
    assert hash(back) == hash(exc)


def test_state_keeps_what_was_written_before_the_failure(capsys):
    a = Analyze({"union": [{"select": {"value": "a"}, "from": "t1"}, {"select": {"value": "a"}, "from": ["t2", "t3"]}]})
    with pytest.raises(UnsupportedFromShape):
        a.analyze_sql()
    assert a._var.sqls == [("t1", "a", "a")]
    assert a.tree["union"][0]["from"] == "t1"  # normalised before the failure
    capsys.readouterr()


HOST_ERRORS = [
    ("alias that is a number", {"select": {"value": "a", "name": 5}, "from": "t"}, TypeError, "keywords must be strings"),
    ("alias that is a list", {"select": {"value": "a", "name": ["x"]}, "from": "t"}, TypeError, "keywords must be strings"),
    ("top level is a list", [{"select": {"value": "a"}}], AttributeError, "'list' object has no attribute 'keys'"),
    ("top level is a string", "select", AttributeError, "'str' object has no attribute 'keys'"),
    ("branch that is a string", {"union": ["x"]}, AttributeError, "'str' object has no attribute 'find'"),
    ("qualified star whose alias finds no source", {"select": {"value": "s.*"}, "from": {"name": "s"}},
     AttributeError, "'NoneType' object has no attribute 'find'"),
    ("qualified star over a number", {"select": {"value": "s.*"}, "from": {"name": "s", "value": 3}},
     AttributeError, "'int' object has no attribute 'find'"),
    ("list holding '.' cannot be split", {"select": {"value": [".", "x"]}, "from": "t"},
     AttributeError, "'list' object has no attribute 'split'"),
    ("non-JSON tree", {"select": {"value": object()}}, TypeError, "is not JSON serializable"),
]


@pytest.mark.parametrize("label,tree,error,message", HOST_ERRORS, ids=[c[0] for c in HOST_ERRORS])
def test_host_errors(label, tree, error, message):
    with pytest.raises(error, match=message):
        Analyze(tree).analyze_sql()


# ---- Cycles -------------------------------------------------------------------------

CYCLES = [
    # 3.2: the FROM map has no name -> master None -> re-dispatch: the same step.
    ("unaliased sub-query", {"select": {"value": "a"}, "from": {"value": {"select": {"value": "a"}, "from": "t"}}}),
    # 3.1: the sub-query's "a" gets the empty table "" (not set) and no master;
    # the named case clears the master, 3.2 sets it back to s: the same step.
    ("sub-query over an empty table name", {"select": {"value": "s.a"},
                                           "from": {"value": {"select": {"value": "a"}, "from": ""}, "name": "s"}}),
    # The sub-query's star record has neither table nor master: the star case
    # clears the master, 3.2 sets it back to s.
    ("sub-query star without table or qualifier", {"select": {"value": "s.a"},
                                                   "from": {"value": {"select": "*", "from": ""}, "name": "s"}}),
    ("unaliased union sub-query", {"select": {"value": "a"},
                                   "from": {"value": {"union_all": [{"select": {"value": "a"}, "from": "t"}]}}}),
]


@pytest.mark.parametrize("label,tree", CYCLES, ids=[c[0] for c in CYCLES])
def test_cycles_end_with_recursion_error_naming_the_column(label, tree):
    with pytest.raises(RecursionError, match="column 'a'"):
        Analyze(tree).analyze_sql()


# ---- Deep nesting ---------------------------------------------------------------------

def nested(depth, qualified=True, same_alias=False):
    tree = {"select": {"value": "a"}, "from": "db.t"}
    for i in range(depth):
        alias = "s" if same_alias else f"s{i}"
        tree = {"select": {"value": f"{alias}.a" if qualified else "a"}, "from": {"value": tree, "name": alias}}
    return tree


@pytest.mark.parametrize("qualified", [True, False])
@pytest.mark.parametrize("depth", [1, 999, 1000])
def test_nesting_up_to_the_limit(depth, qualified):
    assert Analyze(nested(depth, qualified)).analyze_sql() == [("db.t", "a", "a")]


@pytest.mark.parametrize("depth", [1001, 1500])
def test_nesting_beyond_the_limit(depth):
    with pytest.raises(RecursionError, match="nested deeper than 1000"):
        Analyze(nested(depth)).analyze_sql()


def test_same_alias_at_every_depth_is_not_exponential():
    # Every level's alias walk meets every deeper "s": each sub-query is
    # analysed once per top-level call and reused.
    assert Analyze(nested(300, same_alias=True)).analyze_sql() == [("db.t", "a", "a")]


def test_level_argument():
    tree = {"select": {"value": "a"}, "from": "t"}
    assert Analyze(tree).analyze_sql(1000) == [("t", "a", "a")]
    with pytest.raises(RecursionError):
        Analyze(tree).analyze_sql(1001)
    with pytest.raises(RecursionError):
        Analyze(nested(2)).analyze_sql(999)  # its sub-queries reach level 1001


def test_small_thread_stack_gives_an_error_not_a_crash():
    # The tree is converted on this thread; the analysis runs on a thread
    # whose stack is too small for 1000 levels.
    import _sqlparse_core

    core = _sqlparse_core.Analyze(nested(1000, qualified=False))
    out = []

    def run():
        try:
            out.append(core.analyze_sql())
        except RecursionError as exc:
            out.append(exc)

    old = threading.stack_size(512 * 1024)
    try:
        t = threading.Thread(target=run)
        t.start()
        t.join()
    finally:
        threading.stack_size(old)
    assert isinstance(out[0], RecursionError)


def test_deeply_nested_qualified_stars():
    # Each level selects "sK.*" over the next; the innermost selects a. The
    # expansion recurses once per level; paths stay relative to the outer
    # tree, so at the second level the lookup finds nothing: an error, never
    # a crash.
    tree = {"select": [{"value": "a"}], "from": "t"}
    for i in range(400):
        tree = {"select": {"value": f"s{i}.*"}, "from": {"value": tree, "name": f"s{i}"}}
    with pytest.raises(Exception):
        Analyze(tree).analyze_sql()
