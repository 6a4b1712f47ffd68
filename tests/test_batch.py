"""parse_sql_many against the one-by-one _parse_sql loop, and the splitter."""

import contextlib
import io
import pickle
import sys
import threading

import pytest

import _sqlparse_core as core
import sqlparse_main
from sqlparse_main.batch import parse_sql_many
from sqlparse_main.cli import clean_to_raw_offsets

# Successes, parse errors, unsupported FROM shapes and re-dispatch cycles.
CORPUS = [
    "select a from t",
    "select s.a as x from (select a from db.t) s -- c",
    "select a, b from sales.orders",
    "select x from cat.sch.orders",
    "select a from t as left",  # parse error
    "select a from t1, t2",  # FROM list met by an unqualified column
    "select a from (select a from t)",  # unaliased sub-query: a cycle
    "",
    "select /*+ hint */ a from t -- note",
    "select a from t1 join t2 on t1.k = t2.k",
    "select a from t; select b from u",  # one text, whatever the parser makes of it
    "select é as ü from ö",
    "select 'x\ud800' as y from t",  # a lone surrogate
    "select a from t where b = 'it''s'",
    "select count(*) from t",
    "with x as (select a from t) select a from x",
    "select a from t union all select b from u",
]


def one_by_one(sqls):
    """What a plain loop over _parse_sql gives, with failures kept, and the
    text each call wrote to stdout."""
    front = sqlparse_main.VarnelParseMain()
    out, printed = [], []
    for sql in sqls:
        buf = io.StringIO()
        with contextlib.redirect_stdout(buf):
            try:
                out.append(front._parse_sql(sql))
            except Exception as exc:
                out.append(exc)
        printed.append(buf.getvalue())
    return out, printed


ERROR_ATTRIBUTES = ("line", "column", "offset", "node")


def same(a, b):
    if isinstance(a, BaseException) or isinstance(b, BaseException):
        return (
            type(a) is type(b)
            and a.args == b.args
            and all(getattr(a, k, None) == getattr(b, k, None) for k in ERROR_ATTRIBUTES)
        )
    return a == b and [type(r) for r in a] == [type(r) for r in b]


@pytest.mark.parametrize("threads", [1, 2, 3, 8])
def test_same_as_one_by_one_loop(threads):
    expected, _ = one_by_one(CORPUS)
    got = parse_sql_many(CORPUS, threads=threads)
    assert len(got) == len(expected)
    for sql, g, e in zip(CORPUS, got, expected):
        assert same(g, e), sql


def test_corpus_holds_every_kind_of_outcome():
    expected, _ = one_by_one(CORPUS)
    kinds = {type(e).__name__ for e in expected if isinstance(e, BaseException)}
    assert {"ParseError", "UnsupportedFromShape", "RecursionError"} <= kinds
    assert any(isinstance(e, list) and e for e in expected)


def test_nothing_printed_and_line_kept_in_exception(capsys):
    expected, printed = one_by_one(["select a from t1, t2"])
    capsys.readouterr()
    (got,) = parse_sql_many(["select a from t1, t2"])
    assert capsys.readouterr().out == ""
    assert isinstance(got, sqlparse_main.UnsupportedFromShape)
    assert str(got) == "No active exception to reraise"
    assert printed[0] == got.line + "\n"


def test_large_mixed_batch_in_order():
    sqls = [CORPUS[i % len(CORPUS)] for i in range(3000)]
    expected, _ = one_by_one(CORPUS)
    got = parse_sql_many(iter(sqls), threads=2)
    for i, g in enumerate(got):
        assert same(g, expected[i % len(CORPUS)]), i


def test_items_that_are_not_text_fail_as_in_the_loop():
    items = ["select a from t", None, 12, b"select a from t"]
    expected, _ = one_by_one(items)
    got = parse_sql_many(items)
    for g, e in zip(got, expected):
        assert same(g, e)
    assert isinstance(got[1], TypeError)


def test_items_that_are_not_text_leave_stdout_alone(monkeypatch):
    # Redirecting stdout would swallow other threads' output for the while.
    seen = []
    stock = sqlparse_main.VarnelParseMain._parse_sql

    def spy(self, sql):
        seen.append(sys.stdout)
        return stock(self, sql)

    monkeypatch.setattr(sqlparse_main.VarnelParseMain, "_parse_sql", spy)
    got = parse_sql_many(["select a from t", None])
    assert isinstance(got[1], TypeError)
    assert seen == [sys.stdout]


def test_rebound_parser_takes_the_python_path(monkeypatch):
    calls = []

    def fake_parse(text):
        calls.append(text)
        return {"select": {"value": "a"}, "from": "db.t"}

    monkeypatch.setattr(sqlparse_main, "parse", fake_parse)
    got = parse_sql_many(["anything at all", "select /* c */ b"])
    assert calls == ["anything at all", "select  b"]
    assert got[0] == [sqlparse_main.VarnelVar(database="db", table="t", src="a", tgt="a")]


def test_rebound_record_class_builds_every_record(monkeypatch):
    class Rec(dict):
        def __init__(self, **fields):
            super().__init__(**fields)

    monkeypatch.setattr(sqlparse_main, "VarnelVar", Rec)
    expected, _ = one_by_one(CORPUS)
    got = parse_sql_many(CORPUS, threads=2)
    for g, e in zip(got, expected):
        assert same(g, e)
    assert got[1] == [Rec(database="db", table="t", src="a", tgt="x")]


def test_threads_argument():
    assert parse_sql_many([], threads=4) == []
    with pytest.raises(ValueError):
        parse_sql_many(["select a from t"], threads=0)
    with pytest.raises(TypeError):
        parse_sql_many(["select a from t"], threads=1.5)


@pytest.mark.parametrize("threads", [1000, 2**70])
def test_more_threads_than_cores_asked(threads):
    # Past a few per core no more are started, and a count past the machine's
    # word size is no error.
    expected, _ = one_by_one(CORPUS)
    got = parse_sql_many(CORPUS * 40, threads=threads)
    assert all(same(g, expected[i % len(CORPUS)]) for i, g in enumerate(got))


def test_concurrent_callers():
    expected, _ = one_by_one(CORPUS)
    failures = []

    def run():
        for _ in range(20):
            got = parse_sql_many(CORPUS, threads=2)
            if not all(same(g, e) for g, e in zip(got, expected)):
                failures.append(got)

    workers = [threading.Thread(target=run) for _ in range(3)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    assert not failures


def test_results_pickle():
    got = parse_sql_many(["select a from db.t", "select a from t as left", "select a from t1, t2"])
    for g in got:
        back = pickle.loads(pickle.dumps(g))
        assert same(back, g)


# ---- the statement splitter ------------------------------------------------------


def texts(text):
    return [text[s:e] for s, e, *_ in core.split_statements(text)]


@pytest.mark.parametrize(
    "text, expected",
    [
        ("select 1; select 2", ["select 1", "select 2"]),
        ("select 1;", ["select 1"]),
        ("  select 1  ;  ; ;\n\t;  select 2 \n", ["select 1", "select 2"]),
        ("", []),
        (" ; ;; \n", []),
        ("select 'a;b' from t; select 2", ["select 'a;b' from t", "select 2"]),
        ("select 'it''s;' x; y", ["select 'it''s;' x", "y"]),
        ("select '' ; z", ["select ''", "z"]),
        ('select "a;b" from t; z', ['select "a;b" from t', "z"]),
        ('select "a"";b" ; z', ['select "a"";b"', "z"]),
        ("select `a;b` ; z", ["select `a;b`", "z"]),
        ("select [a;b]]c] ; z", ["select [a;b]]c]", "z"]),
        ("select 1 -- a;b\n; z", ["select 1 -- a;b", "z"]),
        ("select 1 # a;b\n; z", ["select 1 # a;b", "z"]),
        ("select 1 /* a;b */; z", ["select 1 /* a;b */", "z"]),
        ("select 1 /* a /* b; */ c; */; z", ["select 1 /* a /* b; */ c; */", "z"]),
        ("select 1; -- only a comment\n; /* and this */", ["select 1"]),
        ("select 1; -- trailing comment", ["select 1"]),
        ("-- head\nselect 1", ["-- head\nselect 1"]),
        ("select 'unterminated; x", ["select 'unterminated; x"]),
        ("select 1 /* open; x", ["select 1 /* open; x"]),
        ("select - 1; select 2 / 3; select 4 * 5", ["select - 1", "select 2 / 3", "select 4 * 5"]),
    ],
)
def test_split(text, expected):
    assert texts(text) == expected


def test_split_positions_in_code_points():
    text = "select 'é';\n  select '😀' ;\nselect\u00a0x"
    spans = core.split_statements(text)
    assert [text[s:e] for s, e, *_ in spans] == ["select 'é'", "select '😀'", "select\u00a0x"]
    assert [(line, col) for _, _, line, col, _, _ in spans] == [(1, 1), (2, 3), (3, 1)]
    data = text.encode()
    assert [data[b:e].decode() for *_, b, e in spans] == [text[s:e] for s, e, *_ in spans]


def test_split_odd_text_never_fails():
    for text in ["\x00;\x00", "\ud800;\udfff", "'" * 1001, "/*" * 500 + ";", "[" * 100 + ";;", "-" * 99]:
        spans = core.split_statements(text)
        assert all(0 <= s < e <= len(text) for s, e, *_ in spans)
    with pytest.raises(TypeError):
        core.split_statements(None)


def test_split_long_text_is_linear():
    text = "select a, 'x;y' from t -- c;\n;" * 100_000
    assert len(core.split_statements(text)) == 100_000


# ---- mapping stripped-text positions back to the statement ------------------------

STRIP_EXAMPLES = [
    "SELECT /*+ MAPJOIN(b) */ a FROM t",
    "SELECT a /* x /* y */ z */ FROM t",
    "SELECT a FROM t /* unterminated",
    "SELECT a -- note\nFROM t",
    "SELECT a -- note /* x\nFROM t",
    "SELECT 'a--b' FROM t",
    "SELECT /* c */* FROM t",
    "x //* c */ y",
    "/x /* c */ y",
    "SELECT 2*/* c */3",
    "/*/ x",
    "\n\n  \nSELECT 1\n\n",
    "",
    "  SELECT a\n\t\n  FROM t  ",
    "SELECT a\r\n-- c\r\nFROM t",
    "SELECT 1 -- c",
    "-- head\n\n  select a\n  from t as left",
]


@pytest.mark.parametrize("raw", STRIP_EXAMPLES)
def test_clean_offsets_point_at_the_same_characters(raw):
    clean = sqlparse_main.VarnelParseMain._re_hint(raw)
    offsets = clean_to_raw_offsets(raw)
    assert offsets is not None and len(offsets) == len(clean) + 1
    for i, c in enumerate(clean):
        assert raw[offsets[i]] == c or (c == "\n" and raw[offsets[i]] == "-")
    assert offsets == sorted(offsets)


def test_clean_offsets_on_random_text():
    import random

    rng = random.Random(5)
    alphabet = "ab /*-\n\t\r;'"
    for _ in range(2000):
        raw = "".join(rng.choice(alphabet) for _ in range(rng.randrange(30)))
        clean = sqlparse_main.VarnelParseMain._re_hint(raw)
        offsets = clean_to_raw_offsets(raw)
        assert offsets is not None, repr(raw)
        assert all(raw[offsets[i]] == c or (c == "\n" and raw[offsets[i]] == "-") for i, c in enumerate(clean))
