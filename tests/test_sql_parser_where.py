"""WHERE and operators: keys, precedence, flattening, NULL tests, unary minus."""

import pytest

from parser_helpers import same, expr
from sql_parser import ParseError, parse


CASES = [
    ("a = b", {"eq": ["a", "b"]}),
    ("a == b", {"eq": ["a", "b"]}),
    ("a <> b", {"neq": ["a", "b"]}),
    ("a != b", {"neq": ["a", "b"]}),
    ("a <= b", {"lte": ["a", "b"]}),
    ("a >= b", {"gte": ["a", "b"]}),
    ("a % b * c", {"mul": [{"mod": ["a", "b"]}, "c"]}),
    ("a + b + c + d", {"add": ["a", "b", "c", "d"]}),
    ("(a + b) + c", {"add": ["a", "b", "c"]}),
    ("a + (b + c)", {"add": ["a", "b", "c"]}),
    ("a - b - c", {"sub": [{"sub": ["a", "b"]}, "c"]}),
    ("a + b - c", {"sub": [{"add": ["a", "b"]}, "c"]}),
    ("a - b + c", {"add": [{"sub": ["a", "b"]}, "c"]}),
    ("a + b * c", {"add": ["a", {"mul": ["b", "c"]}]}),
    ("a * b / c", {"div": [{"mul": ["a", "b"]}, "c"]}),
    ("a || b || c", {"concat": [{"concat": ["a", "b"]}, "c"]}),
    ("a || b * c", {"mul": [{"concat": ["a", "b"]}, "c"]}),
    ("a = b < c", {"eq": ["a", {"lt": ["b", "c"]}]}),
    ("a = 1 = b", {"eq": [{"eq": ["a", 1]}, "b"]}),
    ("a | b & c", {"binary_or": ["a", {"binary_and": ["b", "c"]}]}),
    ("a & b = c", {"eq": [{"binary_and": ["a", "b"]}, "c"]}),
    ("~a + 1", {"binary_not": {"add": ["a", 1]}}),
    ("a and b and (c or d) or e", {"or": [{"and": ["a", "b", {"or": ["c", "d"]}]}, "e"]}),
    ("not a and b", {"and": [{"not": "a"}, "b"]}),
    ("not a = b", {"not": {"eq": ["a", "b"]}}),
    ("a in (1, 2)", {"in": ["a", [1, 2]]}),
    ("a not in ('x', 'y')", {"nin": ["a", {"literal": ["x", "y"]}]}),
    ("a in (select b from u) = true", {"in": ["a", {"eq": [{"select": {"value": "b"}, "from": "u"}, True]}]}),
    ("a like 'x%'", {"like": ["a", {"literal": "x%"}]}),
    ("a not like 'x%'", {"not_like": ["a", {"literal": "x%"}]}),
    ("a rlike 'x'", {"rlike": ["a", {"literal": "x"}]}),
    ("a not rlike 'x'", {"not_rlike": ["a", {"literal": "x"}]}),
    ("a similar to 'x'", {"similar_to": ["a", {"literal": "x"}]}),
    ("a not similar to 'x'", {"not_similar_to": ["a", {"literal": "x"}]}),
    ("a between 1 and 10 and b = 2", {"and": [{"between": ["a", 1, 10]}, {"eq": ["b", 2]}]}),
    ("a not between b + 1 and c * 2", {"not_between": ["a", {"add": ["b", 1]}, {"mul": ["c", 2]}]}),
    ("a is null", {"missing": "a"}),
    ("a is not null", {"exists": "a"}),
    ("a = null", {"missing": "a"}),
    ("null = a", {"missing": "a"}),
    ("a <> null", {"exists": "a"}),
    ("a = (null)", {"eq": ["a", None]}),
    ("a > null", {"gt": ["a", None]}),
    ("a is true", {"eq": ["a", True]}),
    ("a is not b", {"is_not": ["a", "b"]}),
    ("a is not null and not b is null", {"and": [{"exists": "a"}, {"not": {"missing": "b"}}]}),
    ("a::int", {"cast": ["a", {"int": {}}]}),
    ("a collate nocase", {"collate": ["a", "nocase"]}),
    ("exists (select 1)", {"exists": {"select": {"value": 1}}}),
    ("a = any (select b from u)", {"eq": ["a", {"any": {"select": {"value": "b"}, "from": "u"}}]}),
    # Unary minus: a negative number before a literal, neg otherwise.
    ("-a", {"neg": "a"}),
    ("- 1", -1),
    ("-(1)", {"neg": 1}),
    ("-a * b", {"neg": {"mul": ["a", "b"]}}),
    ("-1 * a", {"neg": {"mul": [1, "a"]}}),
    ("- a * b + c", {"add": [{"neg": {"mul": ["a", "b"]}}, "c"]}),
    ("3 - -2", {"sub": [3, -2]}),
    ("a - -b", {"sub": ["a", {"neg": "b"}]}),
    ("a + -1", {"add": ["a", -1]}),
    ("-1 + b", {"add": [-1, "b"]}),
    ("a + (-1)", {"add": ["a", -1]}),
    ("2*-3", {"mul": [2, -3]}),
    ("a / -b * c", {"mul": [{"div": ["a", {"neg": "b"}]}, "c"]}),
    ("a + +1", {"add": ["a", 1]}),
    ("-9223372036854775808", -9223372036854775808),
]


@pytest.mark.parametrize("sql, tree", CASES)
def test_operator_shapes(sql, tree):
    assert same(expr(sql), tree), expr(sql)


def test_where_clause():
    assert same(parse("select a from t where a = 1 and b = 2 or c = 3"),
                {"select": {"value": "a"}, "from": "t",
                 "where": {"or": [{"and": [{"eq": ["a", 1]}, {"eq": ["b", 2]}]}, {"eq": ["c", 3]}]}})


@pytest.mark.parametrize("sql", [
    "- - a", "not not a", "+b", "a > all (select b from u)", "a ilike 'x'", "a regexp 'x'",
    "a is not distinct from b", "a = not b", "a between 1", "a like 'x' escape '!'", "1 + ~a",
])
def test_operator_rejects(sql):
    with pytest.raises(ParseError):
        parse("select " + sql + " from t")


def test_long_flat_chains_stay_flat():
    n = 20000
    tree = expr(" or ".join(f"a{i} = {i}" for i in range(n)))
    assert len(tree["or"]) == n and tree["or"][-1] == {"eq": [f"a{n-1}", n - 1]}
    assert len(expr(" + ".join(["x"] * n))["add"]) == n
