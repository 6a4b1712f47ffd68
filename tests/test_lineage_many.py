"""lineage_many: many scripts on worker threads give, in input order, what
lineage(..., errors="collect") gives each one."""

import pytest

from sqlparse_main import Schema, lineage, lineage_many

SCRIPTS = [
    "select a, b + 1 as c from t where d > 0",
    "insert into x select t.a, sum(u.b) from t join u on t.k = u.k group by t.a",
    "create table y as select * from t; select a from y",
    "select a from t where; select b from t",  # a statement that does not parse
    "select from",
    "",
    "select * from db.t",
    "select q.c from (select c from t) q order by 1",
]

SCHEMA = {"t": ["a", "b", "d", "k"], "db": {"t": {"x": "int", "y": "text"}}}


def _one_by_one(scripts, **kw):
    return [lineage(s, errors="collect", **kw) for s in scripts]


def _same(got, want):
    # Parse errors are exception objects (compared by identity): compare
    # everything else, and the errors by type and text.
    assert len(got) == len(want)
    for g, w in zip(got, want):
        assert [str(s.error) for s in g.statements] == [str(s.error) for s in w.statements]
        assert [type(s.error) for s in g.statements] == [type(s.error) for s in w.statements]
        strip = lambda r: [st.to_dict() for st in r.statements] + [c.to_dict() for c in r.composed]
        assert strip(g) == strip(w)
        if all(s.error is None for s in w.statements):
            assert g == w


@pytest.mark.parametrize("threads", [1, 2, 4, 64])
@pytest.mark.parametrize("kw", [
    {},
    {"schema": SCHEMA},
    {"schema": SCHEMA, "dialect": "snowflake"},
    {"schema": {"cat": {"db": {"t": ["a", "b"]}}}, "default_catalog": "cat",
     "default_schema": "db"},
])
def test_same_answers_as_one_by_one(threads, kw):
    scripts = SCRIPTS * 5
    _same(lineage_many(scripts, threads=threads, **kw), _one_by_one(scripts, **kw))


def test_schema_object_and_generator_input():
    built = Schema(SCHEMA)
    got = lineage_many((s for s in SCRIPTS), schema=built, threads=3)
    _same(got, _one_by_one(SCRIPTS, schema=SCHEMA))


def test_empty_batch():
    assert lineage_many([]) == []
    assert lineage_many([], threads=4, schema=SCHEMA) == []


@pytest.mark.parametrize("sqls, kw, error, text", [
    (["select a from t", 3], {}, TypeError, r"sqls\[1\].*int"),
    ([None], {}, TypeError, r"sqls\[0\]"),
    (["select 1"], {"threads": 0}, ValueError, "threads"),
    (["select 1"], {"threads": 1.5}, TypeError, "threads"),
    (["select 1"], {"threads": True}, TypeError, "threads"),
    (["select 1"], {"dialect": "nosuch"}, ValueError, "nosuch"),
    (["select 1"], {"schema": {"t": 5}}, TypeError, "'t'"),
    (["select 1"], {"default_schema": 3}, TypeError, "default_schema"),
    (5, {}, TypeError, "int"),
])
def test_bad_arguments_name_what_was_wrong(sqls, kw, error, text):
    with pytest.raises(error, match=text):
        lineage_many(sqls, **kw)
