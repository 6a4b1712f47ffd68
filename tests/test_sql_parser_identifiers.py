"""Identifiers: case, quoting styles, escapes, dots in quoted parts, Unicode, reserved words."""

import pytest

from parser_helpers import same
from sql_parser import ParseError, parse


def value(sql):
    return parse("select " + sql + " from t")["select"]["value"]


CASES = [
    ("MyCol", "MyCol"),
    ('"x y"', "x y"),
    ("`x y`", "x y"),
    ("[x y]", "x y"),
    ('"a"."b"', "a.b"),
    ("`a`.`b`", "a.b"),
    ("[a].[b]", "a.b"),
    ("t.\"a\"", "t.a"),
    ("a.b.c.d", "a.b.c.d"),
    ('"my.col"', "my\\.col"),
    ('test."g.g".c', "test.g\\.g.c"),
    ('"a""b"', 'a"b'),
    ("`a``b`", "a`b"),
    ("[a]]b]", "a]b"),
    (r'"a\nb"', "a\nb"),
    ('"null"', "null"),
    ("`select`", "select"),
    ("t.select", "t.select"),
    ("@a", "@a"),
    ("$1", "$1"),
    ("a_b$c", "a_b$c"),
    ("名前", "名前"),
    ("naïve", "naïve"),
    ("count", "count"),
    ("current_date", "current_date"),
]


@pytest.mark.parametrize("sql, name", CASES)
def test_names(sql, name):
    assert same(value(sql), name), value(sql)


def test_comments_and_trailing_text():
    expected = {"select": {"value": "a"}, "from": "t"}
    for sql in ["select a from t;", "  select a from t ;  ", "select a -- c\nfrom t", "select a # c\nfrom t",
                "select a from t -- trailing", "SELECT\ta\r\nFROM\tt", "select a from t;;"]:
        assert same(parse(sql), expected), sql


@pytest.mark.parametrize("sql", [
    "select /* c */ a from t",
    "select a from t where limit = 1",
    "select a as offset from t",
    "select a from t as left",
    "select \ud800 from t",
    "select a\u0301 from t",
])
def test_name_rejects(sql):
    with pytest.raises(ParseError):
        parse(sql)
