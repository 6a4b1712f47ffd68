"""The front end's own work: the call order, the reshaping of triples into
records, and the fast path. The parser and analyser are replaced by test
doubles bound in the package, as a caller may rebind them."""

import pickle

import pytest

import _sqlparse_core as _core
import sqlparse_main
from sqlparse_main import VarnelParseMain, VarnelVar


class _Recorder:
    def __init__(self, triples):
        self.triples = triples
        self.calls = []

    def parse(self, text):
        self.calls.append(("parse", text))
        return {"tree-of": text}

    def analyzer(self):
        recorder = self

        class FakeAnalyze:
            def __init__(self, tree):
                recorder.calls.append(("Analyze", tree))

            def analyze_sql(self, *args, **kwargs):
                recorder.calls.append(("analyze_sql", args, kwargs))
                return recorder.triples

        return FakeAnalyze


@pytest.fixture
def doubles(monkeypatch):
    def install(triples):
        rec = _Recorder(triples)
        monkeypatch.setattr(sqlparse_main, "parse", rec.parse)
        monkeypatch.setattr(sqlparse_main, "Analyze", rec.analyzer())
        return rec

    return install


@pytest.mark.parametrize(
    "table, database, table_part",
    [
        ("orders", None, "orders"),
        ("sales.orders", "sales", "orders"),
        ("cat.sch.orders", "cat", "sch"),  # the third piece is dropped
        (".orders", "", "orders"),
        ("sales.", "sales", ""),
        ("", None, ""),
        ("a..b", "a", ""),
    ],
)
def test_table_name_split(doubles, table, database, table_part):
    doubles([(table, "a", "x")])
    (record,) = VarnelParseMain()._parse_sql("q")
    assert record == VarnelVar(database=database, table=table_part, src="a", tgt="x")
    assert list(record.to_dict()) == ["database", "table", "src", "tgt"]


def test_call_order_and_clean_text(doubles):
    rec = doubles([("t", "a", "a")])
    VarnelParseMain()._parse_sql(sql="SELECT /*+ hint */ a FROM t -- note")
    assert rec.calls == [
        ("parse", "SELECT  a FROM t "),
        ("Analyze", {"tree-of": "SELECT  a FROM t "}),
        ("analyze_sql", (), {}),
    ]


def test_several_statements_reach_the_parser_as_one_text(doubles):
    rec = doubles([])
    VarnelParseMain()._parse_sql("select a from t; select b from u")
    assert rec.calls[0] == ("parse", "select a from t; select b from u")


def test_members_pass_unchanged_and_order_is_kept(doubles):
    star = ["*"]
    doubles([("t", star, star), ("db.u", "b", "y"), ("t", star, star)])
    records = VarnelParseMain()._parse_sql("q")
    assert [r.src for r in records] == [star, "b", star]  # no sorting, no dedupe
    assert records[0].src is star


def test_no_triples_gives_an_empty_list(doubles):
    doubles([])
    assert VarnelParseMain()._parse_sql("q") == []


@pytest.mark.parametrize("bad", [[("t", "a")], [("t", "a", "b", "c")]])
def test_triples_of_the_wrong_size_raise_unpacking_errors(doubles, bad):
    doubles(bad)
    with pytest.raises(ValueError):
        VarnelParseMain()._parse_sql("q")


def test_parser_errors_pass_unchanged(monkeypatch):
    class Boom(Exception):
        pass

    def parse(text):
        raise Boom(text)

    monkeypatch.setattr(sqlparse_main, "parse", parse)
    with pytest.raises(Boom):
        VarnelParseMain()._parse_sql("select")


def test_argument_count():
    fe = VarnelParseMain()
    with pytest.raises(TypeError):
        fe._parse_sql()
    with pytest.raises(TypeError):
        fe._parse_sql("a", "b")
    with pytest.raises(TypeError):
        VarnelParseMain("x")


def test_rebound_record_class_is_used(doubles, monkeypatch):
    doubles([("db.t", "a", "x")])

    class Rec(dict):
        def __init__(self, **kw):
            super().__init__(**kw)

    monkeypatch.setattr(sqlparse_main, "VarnelVar", Rec)
    assert VarnelParseMain()._parse_sql("q") == [{"database": "db", "table": "t", "src": "a", "tgt": "x"}]


def test_re_hint_is_static_and_takes_sql_by_name():
    assert VarnelParseMain._re_hint("a -- b") == "a "
    assert VarnelParseMain()._re_hint(sql="a -- b") == "a "
    with pytest.raises(TypeError):
        VarnelParseMain._re_hint(None)


# ---- end to end through the default components --------------------------------

def test_overview_example_end_to_end():
    records = VarnelParseMain()._parse_sql("select s.a as x from (select a from db.t) s -- c")
    assert records == [VarnelVar(database="db", table="t", src="a", tgt="x")]


class _SlowFrontEnd(VarnelParseMain):
    # A rebound _re_hint sends _parse_sql down the Python path.
    @staticmethod
    def _re_hint(sql):
        return VarnelParseMain._re_hint(sql)


def test_fast_path_equals_the_python_path():
    queries = [
        "SELECT a FROM t",
        "select a, b.c from (select a, c from db.x) b",
        "select s.* from (select p, q as r from cat.sch.t) s",
        "select a from t1 union all select a from t2",
        "select 1 from t",
        # tables alternate between records, names kept and renamed in turn
        "select a.x, b.y as y2, a.z as z, b.w from db.t1 a join db2.t2 b on a.k = b.k",
        "select a.x, b.x, a.x as x3 from db.t1 a join db.t1x b on a.k = b.k",
        "select s.a, s.b as c from (select a, b from p.q.r union all select a, b from p.q) s",
    ]
    fast = [VarnelParseMain()._parse_sql(q) for q in queries]
    slow = [_SlowFrontEnd()._parse_sql(q) for q in queries]
    assert fast == slow
    # Built in C++ or by the constructor, a record looks and travels the same.
    for f_records, s_records in zip(fast, slow):
        assert [repr(r) for r in f_records] == [repr(r) for r in s_records]
        assert [list(r.to_dict().items()) for r in f_records] == [list(r.to_dict().items()) for r in s_records]
        assert pickle.loads(pickle.dumps(f_records)) == s_records
    assert fast[0] == [VarnelVar(database=None, table="t", src="a", tgt="a")]
    assert [(r.database, r.table) for r in fast[5]] == [("db", "t1"), ("db2", "t2"), ("db", "t1"), ("db2", "t2")]


# A star over a sub-query that selects a qualified star: the inner expansion
# removes the shared "*" record before the outer one would.
DERIVED_STARS = [
    ("select s.* from (select t.* from t) s", []),
    ("select s.* from (select a, u.* from t) s", [VarnelVar(database=None, table="t", src="a", tgt="a")]),
    ("select s.* from (select a, u.* from db.t) s -- note",
     [VarnelVar(database="db", table="t", src="a", tgt="a")]),
    ("select * from (select * from (select t.* from t) s) x", []),
    ("select x.* from (select * from (select t.* from t) s) x", []),
]


@pytest.mark.parametrize("sql,want", DERIVED_STARS, ids=[c[0] for c in DERIVED_STARS])
def test_star_over_derived_star_on_both_paths(sql, want):
    assert VarnelParseMain()._parse_sql(sql) == want
    assert _SlowFrontEnd()._parse_sql(sql) == want
    assert sqlparse_main.parse_sql_many([sql]) == [want]


def test_fast_path_records_take_later_fields():
    (record,) = VarnelParseMain()._parse_sql("select a from db.t")
    record.add(extra=[1], src="b")
    record.note = 1
    assert repr(record) == "VarnelVar(database='db', table='t', src='b', tgt='a', extra=[1], note=1)"
    assert record.to_dict() == {"database": "db", "table": "t", "src": "b", "tgt": "a", "extra": [1], "note": 1}


def test_patched_record_constructor_is_called(monkeypatch):
    calls = []
    stock = VarnelVar.__init__

    def counting(self, **fields):
        calls.append(fields)
        stock(self, **fields)

    monkeypatch.setattr(VarnelVar, "__init__", counting)
    records = VarnelParseMain()._parse_sql("select a, b as c from db.t")
    assert calls == [r.to_dict() for r in records] == [
        {"database": "db", "table": "t", "src": "a", "tgt": "a"},
        {"database": "db", "table": "t", "src": "b", "tgt": "c"},
    ]


def test_fast_path_records_are_built_as_the_constructor_builds_them(monkeypatch):
    # The constructor stores the fields as __dict__, past any class attribute
    # of the same name; so does the fast path.
    monkeypatch.setattr(VarnelVar, "database", property(lambda self: "from the property"), raising=False)
    (fast,) = VarnelParseMain()._parse_sql("select a from db.t")
    (slow,) = _SlowFrontEnd()._parse_sql("select a from db.t")
    assert vars(fast) == vars(slow) == {"database": "db", "table": "t", "src": "a", "tgt": "a"}
    assert fast.database == slow.database == "from the property"


def test_plain_record_builder_wants_a_class():
    from sqlparse_main.front_end import _split_table

    with pytest.raises(TypeError, match="must be a class"):
        _core.lineage_records_of_text("select a from t", VarnelVar(), True, _split_table)
    with pytest.raises(TypeError, match="must be a class"):
        _core.lineage_of_texts(["select a from t"], 1, lambda **kw: kw, True, _split_table)


def test_unsupported_shape_prints_one_line_then_raises(capsys):
    with pytest.raises(sqlparse_main.UnsupportedFromShape, match="No active exception to reraise") as info:
        VarnelParseMain()._parse_sql("select a from t1, t2")
    assert capsys.readouterr().out == "['t1', 't2']\n"
    assert info.value.node == ["t1", "t2"]
    assert isinstance(info.value, RuntimeError)


def test_parse_error_reaches_the_caller():
    with pytest.raises(sqlparse_main.ParseError) as info:
        VarnelParseMain()._parse_sql("select a from")
    assert isinstance(info.value, ValueError)
    assert info.value.line == 1
