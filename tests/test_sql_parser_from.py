"""FROM: tables, aliases, sub-queries, table functions and every join kind."""

import pytest

from parser_helpers import same
from sql_parser import ParseError, parse


S = {"select": {"value": "a"}}


def q(**rest):
    return {**S, **rest}


CASES = [
    ("select a from db.sch.t", q(**{"from": "db.sch.t"})),
    ("select a from t x", q(**{"from": {"value": "t", "name": "x"}})),
    ("select a from t as x (c1, c2)", q(**{"from": {"value": "t", "name": {"x": ["c1", "c2"]}}})),
    ("select a from t1, t2", q(**{"from": ["t1", "t2"]})),
    ("select a from (select b from u)", q(**{"from": {"value": {"select": {"value": "b"}, "from": "u"}}})),
    ("select a from (select b from u) s",
     q(**{"from": {"value": {"select": {"value": "b"}, "from": "u"}, "name": "s"}})),
    ("select a from generate_series(1,3) g", q(**{"from": {"value": {"generate_series": [1, 3]}, "name": "g"}})),
    ("select a from t1 join t2 on t1.id = t2.id",
     q(**{"from": ["t1", {"join": "t2", "on": {"eq": ["t1.id", "t2.id"]}}]})),
    ("select a from t1 x left outer join t2 as y on x.id = y.id",
     q(**{"from": [{"value": "t1", "name": "x"},
                   {"left outer join": {"name": "y", "value": "t2"}, "on": {"eq": ["x.id", "y.id"]}}]})),
    ("select a from t1 Left   Outer  JOIN t2", q(**{"from": ["t1", {"left outer join": "t2"}]})),
    ("select a from t1 inner join t2 using (id)", q(**{"from": ["t1", {"inner join": "t2", "using": "id"}]})),
    ("select a from t1 join t2 using (id, k)", q(**{"from": ["t1", {"join": "t2", "using": ["id", "k"]}]})),
    ("select a from t1 right join t2", q(**{"from": ["t1", {"right join": "t2"}]})),
    ("select a from t1 full join t2", q(**{"from": ["t1", {"full join": "t2"}]})),
    ("select a from t1 cross join t2 y", q(**{"from": ["t1", {"cross join": {"name": "y", "value": "t2"}}]})),
    ("select a from t1 join (select id from u) on true",
     q(**{"from": ["t1", {"join": {"value": {"select": {"value": "id"}, "from": "u"}}, "on": True}]})),
    ("select a from t1, t2 join t3 on t2.k = t3.k",
     q(**{"from": ["t1", "t2", {"join": "t3", "on": {"eq": ["t2.k", "t3.k"]}}]})),
    ("select a from t1 join t2 on a = b join t3 on c = d",
     q(**{"from": ["t1", {"join": "t2", "on": {"eq": ["a", "b"]}}, {"join": "t3", "on": {"eq": ["c", "d"]}}]})),
    # NATURAL before a join keyword is a natural join; elsewhere a name.
    ("select a from t1 natural join t2", q(**{"from": ["t1", {"natural join": "t2"}]})),
    ("select a from t1 natural left outer join t2",
     q(**{"from": ["t1", {"natural left outer join": "t2"}]})),
    ("select a from t natural", q(**{"from": {"value": "t", "name": "natural"}})),
    ("select a from t as natural", q(**{"from": {"value": "t", "name": "natural"}})),
    ('select a from "null"', q(**{"from": "null"})),
]


@pytest.mark.parametrize("sql, tree", CASES)
def test_from_shapes(sql, tree):
    assert same(parse(sql), tree), parse(sql)


@pytest.mark.parametrize("sql", [
    "select a from",
    "select a from select",
    "select a from t1 join t2 on t1.a = t2.a using (b)",
    "select a from t1 left semi join t2 on t1.a = t2.a",
    "select a from t1 straight_join t2",
    "select * from (with x as (select 1 a) select a from x) z",
    "select a from (t)",
    "select a from t1 join",
])
def test_from_rejects(sql):
    with pytest.raises(ParseError):
        parse(sql)
