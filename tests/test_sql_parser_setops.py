"""Set operations and WITH: flat chains, right nesting, ORDER BY/LIMIT wrapping, CTEs."""

import pytest

from parser_helpers import same
from sql_parser import ParseError, parse


def sel(c, t):
    return {"select": {"value": c}, "from": t}


A, B, C = sel("a", "t"), sel("a", "u"), sel("a", "v")

CASES = [
    ("select a from t union select a from u", {"union": [A, B]}),
    ("select a from t union all select a from u union all select a from v", {"union_all": [A, B, C]}),
    ("select a from t union select a from u union all select a from v", {"union": [A, {"union_all": [B, C]}]}),
    ("select a from t union all select a from u union select a from v", {"union_all": [A, {"union": [B, C]}]}),
    ("select a from t intersect select a from u intersect select a from v", {"intersect": [A, B, C]}),
    ("select a from t except select a from u", {"except": [A, B]}),
    ("select a from t minus select a from u", {"except": [A, B]}),
    ("select a from t union select a from u intersect select a from v", {"union": [A, {"intersect": [B, C]}]}),
    ("select a from t intersect select a from u union select a from v", {"union": [{"intersect": [A, B]}, C]}),
    ("select a from t except select a from u union select a from v", {"except": [A, {"union": [B, C]}]}),
    ("select a from t union select a from u order by a",
     {"from": {"union": [A, B]}, "orderby": {"value": "a"}}),
    ("select a from t union all select a from u order by a desc limit 10 offset 2",
     {"from": {"union_all": [A, B]}, "orderby": {"value": "a", "sort": "desc"}, "offset": 2, "limit": 10}),
    ("select a from t except select a from u limit 1", {"from": {"except": [A, B]}, "limit": 1}),
    ("select * from (select a from t union select a from u) x",
     {"select": "*", "from": {"value": {"union": [A, B]}, "name": "x"}}),
    ("select a from t minus", sel("a", {"value": "t", "name": "minus"})),
    ("with x as (select a from t) select a from x",
     {"select": {"value": "a"}, "from": "x", "with": {"name": "x", "value": A}}),
    ("with x as (select a from t), y as (select a from u) select a from x",
     {"select": {"value": "a"}, "from": "x", "with": [{"name": "x", "value": A}, {"name": "y", "value": B}]}),
    ("with x as (select a from t) select a from x order by a limit 1",
     {"select": {"value": "a"}, "from": "x", "orderby": {"value": "a"}, "limit": 1,
      "with": {"name": "x", "value": A}}),
    ("with x as (select a from t) select a from t union select a from u",
     {"union": [A, B], "with": {"name": "x", "value": A}}),
    ("with x as (select a from t) select a from t union select a from u order by a",
     {"from": {"union": [A, B]}, "orderby": {"value": "a"}, "with": {"name": "x", "value": A}}),
    ("with x as (with y as (select a from t) select a from y) select a from x",
     {"select": {"value": "a"}, "from": "x",
      "with": {"name": "x", "value": {"select": {"value": "a"}, "from": "y", "with": {"name": "y", "value": A}}}}),
]


@pytest.mark.parametrize("sql, tree", CASES)
def test_set_operation_shapes(sql, tree):
    assert same(parse(sql), tree), parse(sql)


@pytest.mark.parametrize("sql", [
    "(select a from t) union (select a from u)",
    "select a from t order by a union select a from u",
    "select a from t limit 1 union select a from u",
    "select a from t union",
    "select a from t intersect all select a from u",
    "with recursive x as (select 1) select * from x",
    "with x (c1, c2) as (select a, b from t) select * from x",
    "with x as (select 1)",
    "with x as select 1 select a from x",
])
def test_set_operation_rejects(sql):
    with pytest.raises(ParseError):
        parse(sql)


def test_alternating_chain_nests_to_the_right():
    ops = ["union", "union all"] * 50
    sql = "select a from t0" + "".join(f" {op} select a from t{i + 1}" for i, op in enumerate(ops))
    node = parse(sql)
    for depth in range(100):
        key = "union" if depth % 2 == 0 else "union_all"
        assert list(node) == [key] and len(node[key]) == 2
        assert node[key][0] == {"select": {"value": "a"}, "from": f"t{depth}"}
        node = node[key][1]
    assert node == {"select": {"value": "a"}, "from": "t100"}
