"""Path query: document order, full paths and their properties, positions,
each node once, the path helpers of Analyze."""

import pytest

import _sqlparse_core as core
from sqlparse_main import Analyze, find
from sqlparse_main.analyze import PathMatch

NESTED = {"a": {"name": 1, "x": [{"name": 2}, {"y": {"name": 3}}]}, "name": 4}
QUERY = {
    "select": [{"value": "a"}, {"value": {"distinct": [{"value": "b"}]}, "name": "c"}, {"value": "t.d"}],
    "from": [
        {"value": {"select": {"value": "x", "name": "y"}, "from": {"value": "t0", "name": "inner"}}, "name": "s"},
        {"join": {"value": "t2", "name": "j"}, "on": {"eq": ["s.a", "j.a"]}},
    ],
}

CASES = [
    # A descendant step gives a node's own value under the key before the
    # matches nested in its children, children in map / list order.
    ("own match first", NESTED, "$..name",
     [(4, "name"), (1, "a.name"), (2, "a.x.[0].name"), (3, "a.x.[1].y.name")]),
    ("child then descendant", NESTED, "$.a..name", [(1, "a.name"), (2, "a.x.[0].name"), (3, "a.x.[1].y.name")]),
    ("position step", NESTED, "$.a.x.[1].y.name", [(3, "a.x.[1].y.name")]),
    ("bare position step", NESTED, "$.a.x.0.name", [(2, "a.x.[0].name")]),
    ("position on a map is a key", {"[0]": 5, "0": 6}, "$.[0]", [(5, "[0]")]),
    ("missing key", NESTED, "$.b", []),
    ("position out of range", NESTED, "$.a.x.[2]", []),
    ("child of a leaf", NESTED, "$.name.x", []),
    ("root", {"k": 1}, "$", [({"k": 1}, "")]),
    ("select values in select-list order, nested ones after their entry", QUERY, "$.select..value",
     [("a", "select.[0].value"), ({"distinct": [{"value": "b"}]}, "select.[1].value"),
      ("b", "select.[1].value.distinct.[0].value"), ("t.d", "select.[2].value")]),
    # The outer alias (from.[0].name) is the from entry's own "name": it comes
    # before the alias inside its sub-query although "value" precedes "name".
    ("from names: outer alias before the nested ones, join aliases", QUERY, "$..from..name",
     [("s", "from.[0].name"), ("y", "from.[0].value.select.name"), ("inner", "from.[0].value.from.name"),
      ("j", "from.[1].join.name")]),
    ("every from, nested ones included", QUERY, "$..from",
     [(QUERY["from"], "from"), ({"value": "t0", "name": "inner"}, "from.[0].value.from")]),
    ("select is a string: no values", {"select": "*"}, "$.select..value", []),
]


@pytest.mark.parametrize("label,tree,path,want", CASES, ids=[c[0] for c in CASES])
def test_find(label, tree, path, want):
    got = find(tree, path)
    assert [(m.value, m.full_path) for m in got] == want


@pytest.mark.parametrize("label,tree,path,want", CASES, ids=[c[0] for c in CASES])
def test_full_path_properties(label, tree, path, want):
    for m in find(tree, path):
        if m.full_path:
            # "$." + full path finds the same node again ...
            assert find(tree, "$." + m.full_path, 1) == m.value
            # ... and a match under a key ends with that key.
            key = path.rsplit(".", 1)[-1]
            if not key.startswith("[") and not key.isdigit() and key != "$":
                assert m.full_path.endswith(key)


def test_first():
    assert find(NESTED, "$..name", 1) == 4
    assert find(NESTED, "$..nothing", 1) is None
    assert find({"a": {"name": ""}}, "$.a.name", 1) == ""  # an empty string is still found


def test_a_node_reached_by_two_routes_is_reported_once():
    # "inner" lies below both "from" entries: reported once, in its first place.
    tree = {"from": {"value": {"from": {"value": "t", "name": "inner"}}, "name": "outer"}}
    got = find(tree, "$..from..name")
    assert [(m.value, m.full_path) for m in got] == [("outer", "from.name"), ("inner", "from.value.from.name")]


def test_matches_are_plain_objects():
    m = find({"a": 1}, "$.a")[0]
    assert m == PathMatch(1, "a") and repr(m) == "PathMatch(value=1, full_path='a')"
    assert m != PathMatch(1, "b")


@pytest.mark.parametrize("bad", ["", "a.b", "$.", "$.a.", "$...a"])
def test_malformed_paths(bad):
    with pytest.raises(ValueError):
        find(NESTED, bad)


def test_non_json_tree_is_a_type_error():
    with pytest.raises(TypeError, match="not JSON serializable"):
        find({"a": {1, 2}}, "$.a")


def test_first_other_than_one_is_refused():
    with pytest.raises(ValueError):
        find(NESTED, "$..name", 2)


def test_deep_tree_is_searched_without_recursion():
    tree = {"name": "leaf"}
    for _ in range(5000):
        tree = {"x": [tree]}
    got = find(tree, "$..name")
    assert len(got) == 1 and got[0].full_path == "x.[0]." * 5000 + "name"


def test_linear_work_on_wide_select_lists():
    tree = {"select": [{"value": f"c{i}", "name": f"n{i}"} for i in range(2000)], "from": "t"}
    got = find(tree, "$.select..value")
    assert len(got) == 2000 and got[1999].full_path == "select.[1999].value"


@pytest.mark.parametrize("depth, steps", [(40, 5), (80, 8), (200, 12)])
def test_first_match_after_repeated_descendant_steps(depth, steps):
    # Every "..union_all" reaches each deeper level again from each context:
    # the full match list grows combinatorially with the steps (a fuzzed
    # tree of 635 nodes took minutes); the first match is found at once.
    tree = {"x": "found"}
    for _ in range(depth):
        tree = {"union_all": [tree]}
    steps_text = "union_all.[0]" + "..union_all.[0]" * steps
    assert find(tree, "$." + steps_text + "..x", 1) == "found"
    assert Analyze._one_search_other(tree, steps_text + "..xZ", "Z", "") == "found"
    assert find(tree, "$." + steps_text + "..y", 1) is None


# _one_search_other drops len(one) characters and appends other, without
# checking that the path ends with one.
SEARCH = [
    (QUERY, "from.[0].name", "name", "value", QUERY["from"][0]["value"]),
    (QUERY, "select.[1].value", "value", "name", "c"),
    (QUERY, "select.[0].value", "value", "name", None),  # no alias
    (QUERY, "from.[1].join.name", "name", "value", "t2"),
    (QUERY, "from.[0].nam", "name", "value", None),  # "$.from.[0]" + "value" -> "from.[0]value"
]


@pytest.mark.parametrize("tree,full_path,one,other,want", SEARCH)
def test_one_search_other(tree, full_path, one, other, want):
    assert Analyze._one_search_other(tree, full_path, one, other) == want
    assert Analyze(tree)._one_search_other(tree=tree, full_path=full_path, one=one, other=other) == want
    assert core.one_search_other(tree, full_path, one, other) == want


def test_one_replace_other():
    tree = {"select": {"value": "a"}, "from": {"value": {"select": {"value": "b"}, "from": "inner"}, "name": "s"}}
    a = Analyze(tree)
    # Up to the last "select": the sub-query's from.
    assert a._one_replace_other("from.value.select.value", "select", "from") == "inner"
    # The outermost select list leads to the outermost from.
    assert a._one_replace_other(full_path="select.value", one="select", other="from") == tree["from"]
    # "one" absent: "$." + other.
    assert a._one_replace_other("x.y", "select", "from") == tree["from"]
    with pytest.raises(ValueError, match="empty separator"):
        a._one_replace_other("x", "", "from")
