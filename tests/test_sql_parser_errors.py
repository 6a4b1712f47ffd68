"""Errors: exact positions and messages, the nesting limit, malformed and huge inputs."""

import pickle
import random
import threading

import pytest

from sql_parser import ParseError, parse

POSITIONS = [
    # sql, expecting, found, offset, line, column
    ("", "SELECT or WITH", "end of text", 0, 1, 1),
    ("   ", "SELECT or WITH", "end of text", 0, 1, 1),
    ("hello world", "SELECT or WITH", "hello worl", 0, 1, 1),
    ("select", "an expression", "end of text", 6, 1, 7),
    ("select a from", "a table name or a sub-query", "end of text", 13, 1, 14),
    ("select a from t where", "an expression", "end of text", 21, 1, 22),
    ("select a from t\nwhere", "an expression", "end of text", 21, 2, 6),
    ("select A, B, C frum dual", "end of text", "dual", 20, 1, 21),
    ("select a,, b from t", "an expression", ", b from t", 9, 1, 10),
    ("select a as 'b' from t", "an alias", "'b' from t", 12, 1, 13),
    ("select * from coverage-summary.x", "end of text", "-summary.x", 22, 1, 23),
    ("select a from t1 left semi join t2", "OUTER or JOIN", "semi join ", 22, 1, 23),
    ("select 'abc", "a string closed by '", "'abc", 7, 1, 8),
    ('select "abc', 'a name closed by "', '"abc', 7, 1, 8),
    ("select [abc", "a name closed by ]", "[abc", 7, 1, 8),
    ("select 'a\\'b' from t", "valid backslash escapes", "'a\\'b' fro", 7, 1, 8),
    ("select é, 名前 +", "an expression", "end of text", 14, 1, 15),
    ("select a,\n  b\nfrom t\nwhere ~", "an expression", "end of text", 28, 4, 8),
    ("select a\tfrom\n(", "SELECT", "end of text", 15, 2, 2),
    ("select a from t order by a union select b from u", "end of text", "union sele", 27, 1, 28),
    ("select a from t\nunion\nselect\n", "an expression", "end of text", 28, 3, 7),
    ("select cast(a as mytype) from t", "a type name", "mytype) fr", 17, 1, 18),
    ("select a\x00 from t", "end of text", "\\x00 from t", 8, 1, 9),
    ("select a from t where a = (1", '",", or ")"'.replace('",", or', '"," or'), "end of text", 28, 1, 29),
]


@pytest.mark.parametrize("sql, expecting, found, offset, line, column", POSITIONS)
def test_error_positions(sql, expecting, found, offset, line, column):
    with pytest.raises(ParseError) as info:
        parse(sql)
    e = info.value
    assert (e.expecting, e.found, e.offset, e.line, e.column) == (expecting, found, offset, line, column)
    assert str(e) == f'Expecting {expecting}, found "{found}" (at char {offset}), (line:{line}, col:{column})'
    assert "\n" not in str(e)


def test_error_offset_counts_characters_not_bytes():
    sql = "select 'ü', '\ud800' 名 +"
    with pytest.raises(ParseError) as info:
        parse(sql)
    assert (info.value.offset, info.value.found) == (len(sql) - 1, "+")


def test_error_is_a_value_error_that_pickles_and_compares():
    with pytest.raises(ValueError) as info:
        parse("select a from t where")
    e = info.value
    assert isinstance(e, ParseError)
    copy = pickle.loads(pickle.dumps(e))
    assert copy == e and str(copy) == str(e) and (copy.line, copy.column, copy.offset) == (1, 22, 21)
    assert hash(copy) == hash(e)
    other = ParseError(e.message, e.line, e.column, e.offset + 1)
    assert other != e


def test_non_str_argument_is_a_type_error():
    with pytest.raises(TypeError):
        parse(b"select a")
    with pytest.raises(TypeError):
        parse(None)


LIMIT = 1000
NESTINGS = {
    "parentheses": lambda n: "select " + "(" * n + "a" + ")" * n,
    "sub-queries": lambda n: "select " + "(select " * n + "a" + ")" * n,
    "from sub-queries": lambda n: "select a from " + "(select a from " * n + "t" + ") x" * n,
    "case": lambda n: "select " + "case when a then " * n + "b" + " end" * n,
    "calls": lambda n: "select " + "f(" * n + "a" + ")" * n,
    "left-nested minus": lambda n: "select a" + " - a" * n,
    "mixed set operations": lambda n: "select a" + "".join(
        " union select a" if i % 2 else " union all select a" for i in range(n)),
}


@pytest.mark.parametrize("kind", sorted(NESTINGS))
def test_nesting_limit(kind):
    make = NESTINGS[kind]
    parse(make(LIMIT - 1))
    parse(make(LIMIT))
    for n in (LIMIT + 1, 100 * LIMIT):
        with pytest.raises(ParseError) as info:
            parse(make(n))
        assert info.value.expecting == f"at most {LIMIT} nested levels"


def test_deep_nesting_in_threads():
    results = []

    def work():
        try:
            parse(NESTINGS["sub-queries"](LIMIT))
            results.append("ok")
        except Exception as e:  # pragma: no cover - reported below
            results.append(repr(e))

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == ["ok"] * 4


def test_random_text_gives_a_tree_or_a_parse_error():
    rng = random.Random(7)
    alphabet = list("selctfromwhe ()'\"`[],.*+-/%|&~:=<>!;#\n\t0123456789\x00\ud800é名") + [
        "select ", " from ", " where ", " union ", " join ", " case ", " end ", " over ", " as "]
    for _ in range(5000):
        text = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 30)))
        for sql in (text, "select " + text):
            try:
                assert isinstance(parse(sql), dict)
            except ParseError:
                pass


def test_random_bytes_decoded_leniently():
    rng = random.Random(11)
    for _ in range(2000):
        data = bytes(rng.randrange(256) for _ in range(rng.randint(0, 40)))
        try:
            parse(data.decode("utf-8", "surrogateescape"))
        except ParseError:
            pass


def test_large_query_parses_in_linear_time():
    n = 200_000
    sql = "select " + ", ".join(f"c{i} + {i} as x{i}" for i in range(n)) + " from t where " + \
        " and ".join(f"c{i} in ('a', 'b')" for i in range(n))
    assert len(sql) > 5_000_000
    tree = parse(sql)
    assert len(tree["select"]) == n and len(tree["where"]["and"]) == n


def test_huge_unterminated_string():
    with pytest.raises(ParseError) as info:
        parse("select '" + "x" * 10_000_000)
    assert info.value.offset == 7
