"""Normalisation: spaces in keys and strings become "_", exactly as the JSON
round trip (dumps without whitespace, replace, loads) gives."""

import json
import math

import pytest

import _sqlparse_core as core
from sqlparse_main import Analyze


def round_trip(tree):
    text = json.dumps(tree, separators=(",", ":"), ensure_ascii=False)
    return json.loads(text.replace(" ", "_"))


class _ShoutingFloat(float):
    def __repr__(self):
        return "LOUD"


class _ShoutingInt(int):
    def __repr__(self):
        return "LOUD"


CASES = [
    ("spaces in keys and strings", {"left join": {"value": "page views", "name": "p v"}}),
    ("other white space stays", {"a\tb": "x\ny\u00a0z\u3000w"}),
    ("colliding keys: first position, later value", {"a b": 1, "z": 2, "a_b": 3}),
    ("collision the other way round", {"a_b": 1, "a b": 2}),
    ("three-way collision", {"a b": 1, "a_b": 2, "x": 0, "a b ": 3, "a_b_": 4}),
    ("union all key", {"union all": [{"select": {"value": "a"}}], "union_all": []}),
    ("numbers, booleans, null unchanged", {"n": [1, 1.5, -0.0, True, False, None, 10**30]}),
    ("non-string keys as json writes them", {1: "a", True: "b", None: "c", 2.5: "d"}),
    ("number subclass keys by the base repr", {_ShoutingFloat(2.5): "a", _ShoutingInt(7): "b"}),
    ("nested lists", [[["a b"]], "c d", {"e f": ["g h"]}]),
    ("empty containers", {"a": {}, "b": [], "c": ""}),
    ("scalar root", "x y"),
]


@pytest.mark.parametrize("label,tree", CASES, ids=[c[0] for c in CASES])
def test_equals_the_json_round_trip(label, tree):
    got = core.normalize(tree)
    want = round_trip(tree)
    assert got == want
    # Same key order as well (dict equality ignores order).
    assert json.dumps(got) == json.dumps(want)


def test_colliding_keys_keep_first_position_and_later_value():
    assert list(core.normalize({"a b": 1, "z": 2, "a_b": 3}).items()) == [("a_b", 3), ("z", 2)]


def test_nan_and_infinities_survive():
    got = core.normalize({"x": [math.nan, math.inf, -math.inf]})["x"]
    assert math.isnan(got[0]) and got[1:] == [math.inf, -math.inf]


def test_types_are_kept():
    got = core.normalize({"a": [True, 1, 1.0]})["a"]
    assert [type(v) for v in got] == [bool, int, float]


def test_the_input_is_not_changed():
    tree = {"a b": ["c d"]}
    core.normalize(tree)
    assert tree == {"a b": ["c d"]}


def test_deep_tree():
    tree = "a b"
    for _ in range(3000):
        tree = {"k k": [tree]}
    got = core.normalize(tree)
    for _ in range(3000):
        got = got["k_k"][0]
    assert got == "a_b"


def test_analyze_keeps_the_normalised_tree():
    tree = {"select": {"value": "user id", "name": "out col"}, "from": "web.page views"}
    a = Analyze(tree)
    assert a.tree is tree  # stored as it is until the first call
    assert a.analyze_sql() == [("web.page_views", "user_id", "out_col")]
    assert a.tree == round_trip(tree)
    assert tree["from"] == "web.page views"  # the given tree is left alone
    # A second run normalises again (changing nothing) and accumulates.
    assert a.analyze_sql() == [("web.page_views", "user_id", "out_col")]


def test_non_json_tree_fails_at_analyze_sql():
    a = Analyze({"select": {"value": {1, 2}}})
    with pytest.raises(TypeError, match="Object of type set is not JSON serializable"):
        a.analyze_sql()
