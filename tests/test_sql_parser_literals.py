"""Literals: strings and escapes, numbers, booleans, NULL, dates, intervals, merging."""

import pytest

from parser_helpers import same, expr
from sql_parser import ParseError, parse


CASES = [
    ("'abc'", {"literal": "abc"}),
    ("'it''s'", {"literal": "it's"}),
    ("''", {"literal": ""}),
    ("'null'", {"literal": "null"}),
    (r"'a\nb'", {"literal": "a\nb"}),
    (r"'C:\temp'", {"literal": "C:\temp"}),
    (r"'\x41\101\u00e9\U0001F600'", {"literal": "AA\u00e9\U0001F600"}),
    (r"'a\\b'", {"literal": "a\\b"}),
    (r"'\d'", {"literal": "\\d"}),
    ("'héllo'", {"literal": "héllo"}),
    ("1", 1),
    ("2.5", 2.5),
    ("1.0", 1.0),
    ("5.", 5.0),
    (".5", 0.5),
    ("1e3", 1000),
    ("1.5e3", 1500.0),
    ("1e-3", 0.001),
    ("+6", 6),
    ("-4.5", -4.5),
    ("9223372036854775808", 9223372036854775808),
    ("123456789012345678901234567890", 123456789012345678901234567890),
    ("1e30", 10**30),
    ("0x1F", {"hex": "1F"}),
    ("2x", {"mul": [2, "x"]}),
    ("2.0f", {"mul": [2.0, "f"]}),
    ("true", True),
    ("FALSE", False),
    ("date '2020-01-01'", {"date": {"literal": "2020-01-01"}}),
    ("TIMESTAMP '2020-01-01 00:00:00'", {"timestamp": {"literal": "2020-01-01 00:00:00"}}),
    ("date('2020-01-01')", {"date": {"literal": "2020-01-01"}}),
    ("date", "date"),
    ("interval 3 day", {"interval": [3, "day"]}),
    ("interval 2 HOURS", {"interval": [2, "hour"]}),
    ("interval '3 days'", {"interval": [3, "day"]}),
    ("interval '1w, 1h'", {"add": [{"interval": [1, "week"]}, {"interval": [1, "hour"]}]}),
    ("a + interval 1 hour", {"add": ["a", {"interval": [1, "hour"]}]}),
    # Literal merging: all-literal operand lists become one literal map.
    ("('a', 'b')", {"literal": ["a", "b"]}),
    ("(1, 2)", [1, 2]),
    ("(true, false)", [True, False]),
    ("(true, 'x')", {"literal": [True, "x"]}),
    ("'a' || 'b'", {"concat": {"literal": ["a", "b"]}}),
    ("1 = 'x'", {"eq": {"literal": [1, "x"]}}),
    ("f(1, 'x')", {"f": {"literal": [1, "x"]}}),
    ("f('x', b)", {"f": [{"literal": "x"}, "b"]}),
    ("f(1, null)", {"f": [1, None]}),
    ("f(null)", {"f": {}}),
    ("(('x', 'y'), ('z', 'w'))", {"literal": [["x", "y"], ["z", "w"]]}),
    ("((1, 2), (3, 4))", [[1, 2], [3, 4]]),
    ("'x' between 'a' and 'b'", {"between": {"literal": ["x", "a", "b"]}}),
]


@pytest.mark.parametrize("sql, tree", CASES)
def test_literal_shapes(sql, tree):
    assert same(expr(sql), tree), expr(sql)


@pytest.mark.parametrize("sql", [
    "N'abc'", "E'abc'", "x'ab'", "'a' 'b'", r"'a\'b'", r"'\x4'", r"'\N{DASH}'",
    "interval '3' day", "interval 3 fortnights", "interval", "1" * 4301, "1e4300",
])
def test_literal_rejects(sql):
    with pytest.raises(ParseError):
        parse("select " + sql + " from t")


def test_number_types_are_exact():
    values = [item["value"] for item in parse("select 1, 1.0, true, 10.00 from t")["select"]]
    assert [type(v) for v in values] == [int, float, bool, float]
