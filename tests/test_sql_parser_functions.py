"""Function calls, CASE, CAST and types, window functions, sub-queries in expressions."""

import pytest

from parser_helpers import same
from sql_parser import ParseError, parse


def item(sql):
    return parse("select " + sql + " from t")["select"]


def expr(sql):
    return item(sql)["value"]


CASES = [
    ("count(*)", {"count": "*"}),
    ("COUNT(A)", {"count": "A"}),
    ("f()", {"f": {}}),
    ("f(a, b)", {"f": ["a", "b"]}),
    ("f(g(h(a)))", {"f": {"g": {"h": "a"}}}),
    ("db.F(a)", {"db.f": "a"}),
    ('"MyFunc"(a)', {"myfunc": "a"}),
    ("count(distinct a)", {"count": {"distinct": {"value": "a"}}}),
    ("count(distinct a, b)", {"count": {"distinct": [{"value": "a"}, {"value": "b"}]}}),
    ("f(select max(a) from u)", {"f": {"select": {"value": {"max": "a"}}, "from": "u"}}),
    ("f((select max(a) from u))", {"f": {"select": {"value": {"max": "a"}}, "from": "u"}}),
    ("first_value(a ignore nulls)", {"first_value": "a", "ignore_nulls": True}),
    ("extract(YEAR from d)", {"extract": ["year", "d"]}),
    ("convert(int, a)", {"convert": ["int", "a"]}),
    ("case when a = 1 then 'x' end", {"case": {"when": {"eq": ["a", 1]}, "then": {"literal": "x"}}}),
    ("case when a = 1 then 'x' when a = 2 then 'y' else 'z' end",
     {"case": [{"when": {"eq": ["a", 1]}, "then": {"literal": "x"}},
               {"when": {"eq": ["a", 2]}, "then": {"literal": "y"}}, {"literal": "z"}]}),
    ("case a when 1 then 'x' else 'z' end",
     {"case": [{"when": {"eq": ["a", 1]}, "then": {"literal": "x"}}, {"literal": "z"}]}),
    ("case a when null then 1 end", {"case": {"when": {"eq": ["a", None]}, "then": 1}}),
    ("case when a then null else 1 end", {"case": [{"when": "a"}, 1]}),
    ("case when a then 1 else null end", {"case": [{"when": "a", "then": 1}, None]}),
    ("cast(a as int)", {"cast": ["a", {"int": {}}]}),
    ("cast(a as VARCHAR(10))", {"cast": ["a", {"varchar": 10}]}),
    ("cast(a as decimal(10, 2))", {"cast": ["a", {"decimal": [10, 2]}]}),
    ("cast(a as Double Precision)", {"cast": ["a", {"double_precision": {}}]}),
    ("cast(null as date)", {"cast": [None, {"date": {}}]}),
    ("a::varchar(10)", {"cast": ["a", {"varchar": 10}]}),
    ("(select max(b) from u)", {"select": {"value": {"max": "b"}}, "from": "u"}),
    ("(select c from u order by c limit 1)",
     {"select": {"value": "c"}, "from": "u", "orderby": {"value": "c"}, "limit": 1}),
]


@pytest.mark.parametrize("sql, tree", CASES)
def test_call_shapes(sql, tree):
    assert same(expr(sql), tree), expr(sql)


WINDOWS = [
    ("row_number() over (partition by a order by b desc) as rn",
     {"value": {"row_number": {}}, "over": {"partitionby": "a", "orderby": {"value": "b", "sort": "desc"}},
      "name": "rn"}),
    ("sum(x) over (partition by a, b)", {"value": {"sum": "x"}, "over": {"partitionby": ["a", "b"]}}),
    ("sum(x) over ()", {"value": {"sum": "x"}, "over": {}}),
    ("sum(x) over (order by b rows between unbounded preceding and current row)",
     {"value": {"sum": "x"}, "over": {"orderby": {"value": "b"}, "range": {"max": 0}}}),
    ("sum(x) over (order by b rows between 1 preceding and 2 following)",
     {"value": {"sum": "x"}, "over": {"orderby": {"value": "b"}, "range": {"min": -1, "max": 2}}}),
    ("sum(x) over (range between unbounded preceding and unbounded following)",
     {"value": {"sum": "x"}, "over": {"range": {}}}),
    ("sum(x) over (rows 3 preceding)", {"value": {"sum": "x"}, "over": {"range": {"min": -3, "max": 0}}}),
    ("listagg(x) within group (order by x) over (partition by y) as z",
     {"value": {"listagg": "x"}, "within": {"orderby": {"value": "x"}}, "over": {"partitionby": "y"},
      "name": "z"}),
]


@pytest.mark.parametrize("sql, tree", WINDOWS)
def test_window_items(sql, tree):
    assert same(item(sql), tree), item(sql)


@pytest.mark.parametrize("sql", [
    "left(a, 2)", "right(a, 2)", "cast(a as mytype)", "cast(a int)", "sum(x) over w",
    "sum(x) over (partition by a) + 1", "case end", "case when a then b", "f(a", "sum(a) filter (where b > 1)",
    "count(*", "f(a,)",
])
def test_call_rejects(sql):
    with pytest.raises(ParseError):
        parse("select " + sql + " from t")
