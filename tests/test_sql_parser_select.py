"""SELECT list: items, aliases, stars, DISTINCT, TOP, NULL items, clause order."""

import pytest

from parser_helpers import same
from sql_parser import ParseError, parse



CASES = [
    ("select a from t", {"select": {"value": "a"}, "from": "t"}),
    ("select a, b from t", {"select": [{"value": "a"}, {"value": "b"}], "from": "t"}),
    ("select a as x, b y, c from t",
     {"select": [{"value": "a", "name": "x"}, {"value": "b", "name": "y"}, {"value": "c"}], "from": "t"}),
    ('select a "b" from t', {"select": {"value": "a", "name": "b"}, "from": "t"}),
    ("select a as b.c from t", {"select": {"value": "a", "name": "b.c"}, "from": "t"}),
    ("select * from t", {"select": "*", "from": "t"}),
    ("select *, * from t", {"select": ["*", "*"], "from": "t"}),
    ("select a, * from t", {"select": [{"value": "a"}, "*"], "from": "t"}),
    ("select t.*, a.b.* from t", {"select": [{"value": "t.*"}, {"value": "a.b.*"}], "from": "t"}),
    ('select "t3".* from t3', {"select": {"value": "t3.*"}, "from": "t3"}),
    ("select distinct a from t", {"select": {"value": {"distinct": {"value": "a"}}}, "from": "t"}),
    ("select distinct a as x, b from t",
     {"select": {"value": {"distinct": [{"value": "a", "name": "x"}, {"value": "b"}]}}, "from": "t"}),
    ("select distinct * from t", {"select": {"value": {"distinct": {"value": "*"}}}, "from": "t"}),
    ("select distinct(a), b from t",
     {"select": {"value": {"distinct": [{"value": "a"}, {"value": "b"}]}}, "from": "t"}),
    ("select top 10 a from t", {"top": 10, "select": {"value": "a"}, "from": "t"}),
    ("select top (5) * from t", {"top": 5, "select": "*", "from": "t"}),
    ("select top 10 with ties a from t", {"top": {"ties": True, "value": 10}, "select": {"value": "a"}, "from": "t"}),
    ("select top 10 percent with ties a from t",
     {"top": {"ties": True, "percent": 10}, "select": {"value": "a"}, "from": "t"}),
    ("select top 10 percent a from t", {"top": {"percent": 10}, "select": {"value": "a"}, "from": "t"}),
    ("select top 5 distinct a from t", {"top": 5, "select": {"value": {"distinct": {"value": "a"}}}, "from": "t"}),
    ("select distinct top 5 a from t", {"top": 5, "select": {"value": {"distinct": {"value": "a"}}}, "from": "t"}),
    ("select top from t", {"select": {"value": "top"}, "from": "t"}),
    # NULL items keep their place.
    ("select null from t", {"select": {"value": None}, "from": "t"}),
    ("select null as x, a", {"select": [{"value": None, "name": "x"}, {"value": "a"}]}),
    ("select a, null from t", {"select": [{"value": "a"}, {"value": None}], "from": "t"}),
    ("select 1", {"select": {"value": 1}}),
    ("select 2 x from t", {"select": {"value": 2, "name": "x"}, "from": "t"}),
    # Clause keys come in a fixed order, offset before limit.
    ("select a from t where a > 1 group by a having sum(b) > 2 order by a desc limit 3 offset 1",
     {"select": {"value": "a"}, "from": "t", "where": {"gt": ["a", 1]}, "groupby": {"value": "a"},
      "having": {"gt": [{"sum": "b"}, 2]}, "orderby": {"value": "a", "sort": "desc"}, "offset": 1, "limit": 3}),
    ("select a from t group by a as g, b", {"select": {"value": "a"}, "from": "t",
                                            "groupby": [{"value": "a", "name": "g"}, {"value": "b"}]}),
    ("select a from t group by (a)", {"select": {"value": "a"}, "from": "t", "groupby": {"value": "a"}}),
    ("select a from t order by a, b desc, c ASC",
     {"select": {"value": "a"}, "from": "t",
      "orderby": [{"value": "a"}, {"value": "b", "sort": "desc"}, {"value": "c", "sort": "asc"}]}),
    ("select a from t offset 5", {"select": {"value": "a"}, "from": "t", "offset": 5}),
    ("select a from t limit null", {"select": {"value": "a"}, "from": "t"}),
    ("select a from t where null", {"select": {"value": "a"}, "from": "t"}),
]


@pytest.mark.parametrize("sql, tree", CASES)
def test_select_shapes(sql, tree):
    assert same(parse(sql), tree), parse(sql)


@pytest.mark.parametrize("sql", [
    "select all a from t",
    "select a as 'b' from t",
    "select a as left from t",
    "select a from t limit 5, 10",
    "select a from t limit all",
    "select a from t order by a nulls first",
    "select a into x from t",
    "select from t",
    "select a,, b from t",
])
def test_select_rejects(sql):
    with pytest.raises(ParseError):
        parse(sql)


def test_key_order_is_exact():
    tree = parse("select a from t limit 10 offset 5")
    assert list(tree) == ["select", "from", "offset", "limit"]
    assert list(parse("select top 3 a as x from t")["select"]) == ["value", "name"]
