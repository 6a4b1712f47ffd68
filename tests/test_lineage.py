"""Full column lineage: kinds, name resolution, stars, indirect columns, set
operations, CTEs, statements, script composition, schemas, errors and the
result objects."""

import json
import pickle
import dataclasses
import types

import pytest

from sqlparse_main import (
    ColumnLineage,
    LineageWarning,
    ParseError,
    Schema,
    ScriptLineage,
    Source,
    StatementLineage,
    lineage,
)


def _statement(sql, index=0, **kw):
    return lineage(sql, **kw).statements[index]


def _columns(sql, **kw):
    st = _statement(sql, **kw)
    return [(c.name, [(s.table, s.column, s.kind) for s in c.sources]) for c in st.columns]


def _indirect(sql, **kw):
    return [(s.table, s.column, s.kind) for s in _statement(sql, **kw).indirect]


def _codes(sql, **kw):
    return [w.code for w in _statement(sql, **kw).warnings]


# ---- kinds along one path and across paths ------------------------------------------

KIND_CASES = [
    # a bare column through two renaming layers stays identity
    ("select y from (select x as y from (select a as x from t) p) q", [("t", "a", "identity")]),
    # transformation inside, aggregation outside: aggregation
    ("select sum(a + 1) as s from t", [("t", "a", "aggregation")]),
    # aggregation inside a derived table, arithmetic outside: still aggregation
    ("select s * 2 as d from (select sum(a) as s from t) x", [("t", "a", "aggregation")]),
    # a condition over an aggregate: control wins
    ("select case when s > 0 then 1 end as c from (select sum(a) as s from t) x",
     [("t", "a", "conditional")]),
    # a window ordering over an aggregate: window
    ("select rank() over (order by sum(a)) as r from t group by b", [("t", "a", "window")]),
    # read both as a value and in a condition: the value wins
    ("select case when a > 0 then a end as c from t", [("t", "a", "transformation")]),
    # read as a value and in the window's partition: the value wins
    ("select sum(a) over (partition by a) as c from t", [("t", "a", "aggregation")]),
    # identity beats window and conditional across paths
    ("select coalesce(a, 0) + 0 as c, a from t", [("t", "a", "transformation")]),
    # the first argument of if() is a condition, the others values
    ("select if(a > 1, b, c) as v from t",
     [("t", "a", "conditional"), ("t", "b", "transformation"), ("t", "c", "transformation")]),
    # filter (where ..) of an aggregate is a condition
    ("select count(*) filter (where a = 1) as n from t", [("t", "a", "conditional")]),
    # exists inside a value: every column it reads is conditional
    ("select case when exists (select 1 from u where u.k = t.k) then 1 end as e from t",
     [("u", "k", "conditional"), ("t", "k", "conditional")]),
    # a scalar sub-query: its value flows, its where is conditional
    ("select (select max(u.v) from u where u.k = t.k) as m from t",
     [("u", "v", "aggregation"), ("u", "k", "conditional"), ("t", "k", "conditional")]),
    # literal-only and count(*) columns have no sources
    ("select count(*) as n from t", []),
    # first_value is a window function, not an aggregate
    ("select first_value(a) over (order by b) as f from t",
     [("t", "a", "transformation"), ("t", "b", "window")]),
    # lambda parameters are not columns
    ("select transform(xs, x -> x + k) as ys from t",
     [("t", "xs", "transformation"), ("t", "k", "transformation")]),
]


@pytest.mark.parametrize("sql, sources", KIND_CASES)
def test_kinds_compose_along_paths_and_merge_across_them(sql, sources):
    assert _columns(sql, dialect="trino" if "transform" in sql else "generic")[0][1] == sources


# ---- name resolution -------------------------------------------------------------------

SCHEMA = {"s.a": ["id", "x", "shared"], "s.b": ["id", "y", "shared"]}

RESOLUTION_CASES = [
    # a trailing run of a table's parts qualifies its columns
    ("select cat.s.t.c, s.t.d, t.e from cat.s.t", None, "generic",
     [("c", [("cat.s.t", "c", "identity")]), ("d", [("cat.s.t", "d", "identity")]),
      ("e", [("cat.s.t", "e", "identity")])], []),
    # rule 2: the one source known to hold the column
    ("select x, y from s.a join s.b on a.id = b.id", SCHEMA, "generic",
     [("x", [("s.a", "x", "identity")]), ("y", [("s.b", "y", "identity")])], []),
    # rule 6: both known sources hold it
    ("select shared from s.a join s.b on a.id = b.id", SCHEMA, "generic",
     [("shared", [("s.a", "shared", "identity"), ("s.b", "shared", "identity")])],
     ["ambiguous_column"]),
    # rule 5 with a known base table beside: assumed, with a warning
    ("select z from s.a join s.c on a.id = c.id", SCHEMA, "generic",
     [("z", [("s.c", "z", "identity")])], ["assumed_source"]),
    # rule 5 beside a derived table only: certain, no warning
    ("select z from (select 1 as one) d join s.c on true", None, "generic",
     [("z", [("s.c", "z", "identity")])], []),
    # rule 7: every source known, none holds it
    ("select nope from s.a join s.b on a.id = b.id", SCHEMA, "generic",
     [("nope", [("s.a", "nope", "identity"), ("s.b", "nope", "identity")])],
     ["unknown_column"]),
    # rule 3: a select-list alias, in a dialect that allows it
    ("select a + 1 as b, b * 2 as c from t", None, "snowflake",
     [("b", [("t", "a", "transformation")]), ("c", [("t", "a", "transformation")])], []),
    # ... but not in one that does not: the table's column
    ("select a + 1 as b, b * 2 as c from t", None, "postgres",
     [("b", [("t", "a", "transformation")]), ("c", [("t", "b", "transformation")])], []),
    # a qualifier naming no table is a struct column
    ("select addr.city from t", None, "bigquery", [("city", [("t", "addr", "transformation")])], []),
    # alias then nested field
    ("select o.addr.city from t o", None, "bigquery",
     [("city", [("t", "addr", "transformation")])], []),
    # a correlated reference reaches the enclosing query
    ("select (select max(v) from s.a where a.id = b.y) as m from s.b", SCHEMA, "generic",
     [("m", [("s.a", "v", "aggregation"), ("s.a", "id", "conditional"),
             ("s.b", "y", "conditional")])], ["unknown_column"]),
    # quoted names keep their case where the dialect does
    ('select "Col", col from t', None, "postgres",
     [("Col", [("t", "Col", "identity")]), ("col", [("t", "col", "identity")])], []),
    # backticked BigQuery path splits into parts
    ("select id from `p.d.t`", None, "bigquery", [("id", [("p.d.t", "id", "identity")])], []),
]


@pytest.mark.parametrize("sql, schema, dialect, columns, codes", RESOLUTION_CASES)
def test_names_resolve_by_the_rules(sql, schema, dialect, columns, codes):
    assert _columns(sql, schema=schema, dialect=dialect) == columns
    assert _codes(sql, schema=schema, dialect=dialect) == codes


def test_unknown_qualifier_when_no_source_can_hold_the_struct():
    st = _statement("select q.c from s.a", schema=SCHEMA)
    assert [(s.table, s.column, s.ambiguous) for s in st.columns[0].sources] == [("q", "c", True)]
    assert [w.code for w in st.warnings] == ["unknown_qualifier"]
    assert st.source_tables == ("s.a",)


def test_cte_hides_table_and_inner_cte_hides_outer():
    sql = ("with t as (select a from base1) "
           "select * from (with t as (select b as a from base2) select a from t) x")
    assert _columns(sql) == [("a", [("base2", "b", "identity")])]


def test_using_column_comes_from_the_left_and_star_lists_it_once():
    schema = {"l": ["k", "a"], "r": ["k", "b"]}
    assert _columns("select * from l join r using (k)", schema=schema) == [
        ("k", [("l", "k", "identity")]), ("a", [("l", "a", "identity")]),
        ("b", [("r", "b", "identity")])]
    assert _columns("select k from l full join r using (k)", schema=schema) == [
        ("k", [("l", "k", "identity"), ("r", "k", "identity")])]


# ---- stars -----------------------------------------------------------------------------

STAR_CASES = [
    ("select * from t", {"t": ["a", "b"]}, [("a", [("t", "a", "identity")]),
                                            ("b", [("t", "b", "identity")])], []),
    ("select * from t", None, [("*", [("t", "*", "identity")])], ["star_without_schema"]),
    ("select * exclude (a) from t", {"t": ["a", "b"]}, [("b", [("t", "b", "identity")])], []),
    ("select * rename (a as z) from t", {"t": ["a", "b"]},
     [("z", [("t", "a", "identity")]), ("b", [("t", "b", "identity")])], []),
    ("select * replace (a * 2 as a) from t", {"t": ["a", "b"]},
     [("a", [("t", "a", "transformation")]), ("b", [("t", "b", "identity")])], []),
    # a named column read through a derived star over an unknown table
    ("select a from (select * from t) d", None, [("a", [("t", "a", "identity")])],
     ["star_without_schema"]),
    # a qualified star covers its source only
    ("select u.* from t join u on t.k = u.k", {"u": ["k", "v"]},
     [("k", [("u", "k", "identity")]), ("v", [("u", "v", "identity")])], []),
]


@pytest.mark.parametrize("sql, schema, columns, codes", STAR_CASES)
def test_stars_expand_known_columns(sql, schema, columns, codes):
    assert _columns(sql, schema=schema, dialect="snowflake") == columns
    assert _codes(sql, schema=schema, dialect="snowflake") == codes


# ---- indirect columns ------------------------------------------------------------------

INDIRECT_CASES = [
    ("select t.a from t join u on t.k = u.k where u.f = 1 group by t.a having sum(t.b) > 0 "
     "order by t.a",
     [("t", "k", "join"), ("u", "k", "join"), ("u", "f", "filter"), ("t", "a", "group_by"),
      ("t", "b", "filter"), ("t", "a", "sort")]),
    # an order by in a derived table without a limit picks no rows
    ("select a from (select a from t order by b) d", []),
    # ... with a limit it does
    ("select a from (select a from t order by b limit 5) d", [("t", "b", "sort")]),
    # window orderings are not sort
    ("select row_number() over (order by b) as r from t", []),
    # a semi-join's sub-query: its columns filter, its own join stays join
    ("select a from t where k in (select u.k from u join v on u.i = v.i)",
     [("t", "k", "filter"), ("u", "k", "filter"), ("u", "i", "join"), ("v", "i", "join")]),
    # group by position
    ("select upper(a), count(*) from t group by 1", [("t", "a", "group_by")]),
    # an outer filter on a derived column traces to the base columns
    ("select n from (select a + b as n from t) d where n > 0",
     [("t", "a", "filter"), ("t", "b", "filter")]),
]


@pytest.mark.parametrize("sql, indirect", INDIRECT_CASES)
def test_indirect_columns_by_clause(sql, indirect):
    st = _statement(sql)
    assert [(s.table, s.column, s.kind) for s in st.indirect] == indirect
    for c in st.columns:  # never mixed into sources
        assert all(s.kind not in ("join", "filter", "group_by", "sort") for s in c.sources)


# ---- set operations and recursive CTEs ------------------------------------------------


def test_set_operations():
    assert _columns("select a from t union all select b from u") == [
        ("a", [("t", "a", "identity"), ("u", "b", "identity")])]
    sql = "select a from t intersect select b from u"
    assert _columns(sql) == [("a", [("t", "a", "identity")])]
    assert _indirect(sql) == [("u", "b", "filter")]
    assert _codes("select a, c from t union select b from u") == ["set_operation_width"]


def test_recursive_reference_stands_for_the_cte_columns():
    sql = ("with recursive r (n, m) as (select id, 0 from t union all "
           "select r.n, r.m + x.w from r join x on x.p = r.n) select n, m from r")
    assert _columns(sql) == [("n", [("t", "id", "identity")]),
                             ("m", [("x", "w", "transformation")])]
    assert _indirect(sql) == [("x", "p", "join"), ("t", "id", "join")]


# ---- statements ------------------------------------------------------------------------

STATEMENT_CASES = [
    ("insert into w (p, q) select a, b from t", None, "generic", "insert", "w",
     [("p", [("t", "a", "identity")]), ("q", [("t", "b", "identity")])], []),
    # columns beyond the target's are dropped
    ("insert into w (p) select a, b from t", None, "generic", "insert", "w",
     [("p", [("t", "a", "identity")])], ["insert_width"]),
    # static partition column takes no output, the schema names the rest
    ("insert overwrite table w partition (dt = '1') select a from t", {"w": ["p", "dt"]}, "hive",
     "insert", "w", [("p", [("t", "a", "identity")])], []),
    # dynamic partition takes the last query column
    ("insert overwrite table w partition (dt) select a, d from t", {"w": ["p", "dt"]}, "hive",
     "insert", "w", [("p", [("t", "a", "identity")]), ("dt", [("t", "d", "identity")])], []),
    ("create table w as select a from t", None, "generic", "create_table_as", "w",
     [("a", [("t", "a", "identity")])], []),
    ("create view v (z) as select a from t", None, "generic", "create_view", "v",
     [("z", [("t", "a", "identity")])], []),
    ("update w set p = t.a from t where t.k = w.k", None, "postgres", "update", "w",
     [("p", [("t", "a", "identity")])], []),
    ("delete from w where k = 1", None, "generic", "delete", "w", [], []),
    ("grant select on t to r", None, "generic", "other", None, [], []),
    # select .. into before a set operation still creates the table
    ("select a into #t from x union all select b from y", None, "tsql", "create_table_as", "#t",
     [("a", [("x", "a", "identity"), ("y", "b", "identity")])], []),
    ("merge into w using s on w.k = s.k when matched then update set p = s.a "
     "when not matched then insert (k, p) values (s.k, s.b)", None, "generic", "merge", "w",
     [("p", [("s", "a", "identity"), ("s", "b", "identity")]), ("k", [("s", "k", "identity")])],
     []),
]


@pytest.mark.parametrize("sql, schema, dialect, kind, target, columns, codes", STATEMENT_CASES)
def test_statement_kinds_targets_and_columns(sql, schema, dialect, kind, target, columns, codes):
    st = _statement(sql, schema=schema, dialect=dialect)
    assert (st.kind, st.target) == (kind, target)
    assert st.target_tables == ((target,) if target else ())
    assert _columns(sql, schema=schema, dialect=dialect) == columns
    assert [w.code for w in st.warnings] == codes


def test_delete_conditions_are_indirect():
    assert _indirect("delete from w using t where w.k = t.k and t.f") == [
        ("w", "k", "filter"), ("t", "k", "filter"), ("t", "f", "filter")]


# Statements that hold others: the ones writing tables are answered one by
# one; one that only reads (an unload) stays other.
HELD_CASES = [
    ("hive", "from src s insert overwrite table a select s.x, s.y "
             "insert into table b select s.z where s.k > 1",
     [("insert", "a", [("x", [("src", "x")]), ("y", [("src", "y")])], [], "insert overwrite"),
      ("insert", "b", [("z", [("src", "z")])], [("src", "k", "filter")], "insert into")]),
    ("oracle", "insert all into a (x) values (c1) into b (y) values (c2) select c1, c2 from src",
     [("insert", "a", [("x", [("src", "c1")])], [], "into a"),
      ("insert", "b", [("y", [("src", "c2")])], [], "into b")]),
    ("oracle", "insert first when amount > 100 then into big (id) values (oid) "
               "when region = 'x' then into xs (id) values (oid) "
               "else into small (id) values (oid) select oid, amount, region from orders",
     [("insert", "big", [("id", [("orders", "oid")])], [("orders", "amount", "filter")], "into big"),
      ("insert", "xs", [("id", [("orders", "oid")])],
       [("orders", "region", "filter"), ("orders", "amount", "filter")], "into xs"),
      ("insert", "small", [("id", [("orders", "oid")])],
       [("orders", "amount", "filter"), ("orders", "region", "filter")], "into small")]),
    ("oracle", "insert all when a > 1 then into p (x) values (a) when b > 1 then into q (x) values (b) "
               "select a, b from s",
     [("insert", "p", [("x", [("s", "a")])], [("s", "a", "filter")], "into p"),
      ("insert", "q", [("x", [("s", "b")])], [("s", "b", "filter")], "into q")]),
    ("tsql", "create procedure p as begin insert into a select x from b; "
             "begin update c set y = z from c; end end",
     [("insert", "a", [("x", [("b", "x")])], [], "insert into a"),
      ("update", "c", [("y", [("c", "z")])], [], "update c")]),
    ("snowflake", "copy into t from (select $1 from @st)", [("other", None, [], [], "copy")]),
    # Data-modifying CTEs: the inner statement first, then the one reading its RETURNING rows.
    ("postgres", "with moved as (delete from a where a.x > 1 returning a.x, a.y as z) "
                 "insert into b select x, z from moved",
     [("delete", "a", [], [("a", "x", "filter")], "delete from a"),
      ("insert", "b", [("x", [("a", "x")]), ("z", [("a", "y")])], [("a", "x", "filter")], "with moved")]),
    ("postgres", "with u as (update t set v = s.w from s where t.id = s.id returning t.id, t.v) "
                 "select id, v from u",
     [("update", "t", [("v", [("s", "w")])], [("t", "id", "filter"), ("s", "id", "filter")], "update t"),
      ("select", None, [("id", [("t", "id")]), ("v", [("t", "v")])],
       [("t", "id", "filter"), ("s", "id", "filter")], "with u")]),
    ("postgres", "with k as (select id from keep), "
                 "i as (insert into t (a) select id from k returning a) select count(*) from i",
     [("insert", "t", [("a", [("keep", "id")])], [], "insert into t"),
      ("select", None, [("_col_0", [])], [], "with k")]),
    # T-SQL: a statement in FROM answered first; OUTPUT reads the row after / before the change.
    ("tsql", "insert into tbl1 select id from (delete tbl2 output deleted.id where tbl2.k = 1) as x",
     [("delete", "tbl2", [], [("tbl2", "k", "filter")], "delete tbl2"),
      ("insert", "tbl1", [("id", [("tbl2", "id")])], [("tbl2", "k", "filter")], "insert into tbl1")]),
    # OUTPUT .. INTO a table writes it, answered after the statement.
    ("tsql", "update t set a = s.b output inserted.a, deleted.c into audit (new_a, old_c) "
             "from s where t.id = s.id",
     [("update", "t", [("a", [("s", "b")])], [("t", "id", "filter"), ("s", "id", "filter")], "update t"),
      ("insert", "audit", [("new_a", [("t", "a")]), ("old_c", [("t", "c")])],
       [("t", "id", "filter"), ("s", "id", "filter")], "output inserted.a")]),
    ("tsql", "delete from t output deleted.a into @log where t.k = 1",
     [("delete", "t", [], [("t", "k", "filter")], "delete from t")]),
    # No RETURNING: the CTE gives no columns, the write is still answered.
    ("postgres", "with d as (delete from a where a.k = 1) select 1 as one",
     [("delete", "a", [], [("a", "k", "filter")], "delete from a"),
      ("select", None, [("one", [])], [], "with d")]),
]


@pytest.mark.parametrize("dialect, sql, statements", HELD_CASES)
def test_statements_held_inside_another_are_answered_one_by_one(dialect, sql, statements):
    result = lineage(sql, dialect=dialect)
    got = [(st.kind, st.target, [(c.name, [(s.table, s.column) for s in c.sources])
                                  for c in st.columns],
            [(s.table, s.column, s.kind) for s in st.indirect], sql[st.start:st.end])
           for st in result.statements]
    assert [g[:4] for g in got] == [w[:4] for w in statements]
    for g, w in zip(got, statements):
        assert g[4].lower().startswith(w[4])  # each with its own span


def test_a_data_modifying_cte_composes_into_the_statement_holding_it():
    result = lineage("with i as (insert into stage (a) select x * 2 from src returning a) "
                     "insert into final select a from i", dialect="postgres")
    assert [(c.target, c.name, [(s.table, s.column, s.kind) for s in c.sources])
            for c in result.composed] == [("final", "a", [("src", "x", "transformation")])]
    assert [st.source_tables for st in result.statements] == [("src",), ("src", "stage")]


def test_output_into_composes_through_the_table_the_statement_wrote():
    result = lineage("insert into t (a) output inserted.a into log (v) select x + 1 from src", dialect="tsql")
    assert [(c.target, c.name, [(s.table, s.column, s.kind) for s in c.sources])
            for c in result.composed] == [("log", "v", [("src", "x", "transformation")])]


def test_a_script_composes_through_a_multi_insert():
    result = lineage("from src insert into a select x insert into b select y; "
                     "insert into c select x from a", dialect="hive")
    assert [(c.target, c.name, [(s.table, s.column) for s in c.sources])
            for c in result.composed] == [("c", "x", [("src", "x")])]


# ---- scripts ---------------------------------------------------------------------------


def test_composition_follows_earlier_writes_only():
    sql = ("insert into out1 select a from stage;"
           "create table stage as select x * 2 as a from src;"
           "insert into out2 select sum(a) from stage;")
    result = lineage(sql)
    assert [(c.target, c.name, [(s.table, s.column, s.kind) for s in c.sources])
            for c in result.composed] == [("out2", "_col_0", [("src", "x", "aggregation")])]


def test_table_created_in_the_script_has_known_columns():
    result = lineage("create table s (a int, b int); select * from s;")
    assert [c.name for c in result.statements[1].columns] == ["a", "b"]
    assert result.statements[1].warnings == ()


def test_spans_and_warning_positions():
    sql = "select 1;\n  select *\n  from t"
    second = lineage(sql).statements[1]
    assert (second.start, second.start_line, second.start_column) == (12, 2, 3)
    assert sql[second.start:second.end] == "select *\n  from t"
    assert [(w.code, w.line, w.column) for w in second.warnings] == [
        ("star_without_schema", 2, 10)]


# ---- errors ----------------------------------------------------------------------------


def test_parse_error_raises_or_is_collected():
    sql = "select a from t; select a from t where; select b from u"
    with pytest.raises(ParseError):
        lineage(sql)
    result = lineage(sql, errors="collect")
    assert [s.error is None for s in result.statements] == [True, False, True]
    assert isinstance(result.statements[1].error, ParseError)
    assert [c.name for c in result.statements[2].columns] == ["b"]


@pytest.mark.parametrize("kwargs, error, text", [
    ({"errors": "ignore"}, ValueError, "errors"),
    ({"dialect": "nosuch"}, ValueError, "nosuch"),
    ({"schema": ["t"]}, TypeError, "mapping"),
    ({"schema": {"t": 5}}, TypeError, "'t'"),
    ({"schema": {"t": ["a", 1]}}, TypeError, "'t'"),
    ({"schema": {"db": {"t": {"a": "int"}, "u": 3}}}, ValueError, "'db'"),
    ({"schema": {"a.b.c.d": ["x"]}}, ValueError, "a.b.c.d"),
    ({"default_schema": 3}, TypeError, "default_schema"),
])
def test_bad_arguments_name_what_was_wrong(kwargs, error, text):
    with pytest.raises(error, match=text):
        lineage("select a from t", **kwargs)


BAD_SCHEMAS = [
    (["t"], TypeError, "mapping"),
    ({"t": 5}, TypeError, "'t'"),
    ({"t": ["a", 1]}, TypeError, "'t'"),
    ({"t": ("a", None)}, TypeError, "'t'"),
    ({"t": {"a": "int", 2: "int"}}, TypeError, "'t'"),
    ({"": ["a"]}, TypeError, "''"),
    ({"db": {"": ["a"]}}, TypeError, "db.''"),
    ({3: ["a"]}, TypeError, "3"),
    ({"db": {"t": {"a": "int"}, "u": 3}}, ValueError, "'db'"),
    ({"a.b.c.d": ["x"]}, ValueError, "a.b.c.d"),
    ({"a": {"b": {"c.d": ["x"]}}}, ValueError, "a.b.c.d"),
    ({"a.b.c": {"t": ["x"]}}, ValueError, "nested deeper"),
]


# Every bad shape is refused alike, whichever way the schema comes in.
@pytest.mark.parametrize("schema, error, text", BAD_SCHEMAS)
@pytest.mark.parametrize("way", ["dict", "mapping", "Schema"])
def test_bad_schemas_name_the_offending_entry(schema, error, text, way):
    if way == "mapping" and isinstance(schema, dict):
        schema = types.MappingProxyType(schema)
    with pytest.raises(error, match=text):
        if way == "Schema":
            Schema(schema)
        else:
            lineage("select a from t", schema=schema)


SCHEMA_SHAPES = [
    {"db.t": ["a", "b"]},
    {"db.t": ("a", "b")},
    {"db.t": {"a": "int", "b": "text"}},
    {"db": {"t": {"a": "int", "b": "text"}}},
    {"db": {"t": ["a", "b"]}},
    {"DB": {"T": ["a", "b"]}},
    {'"db".`t`': ["a", "b"]},
    {"[db]": {"t": ["a", "b"]}},
    {"db.t": ["x"], "DB.T": ["a", "b"]},  # a later entry replaces an earlier one
    types.MappingProxyType({"db": types.MappingProxyType({"t": ["a", "b"]})}),
]


@pytest.mark.parametrize("schema", SCHEMA_SHAPES)
@pytest.mark.parametrize("wrap", [lambda m: m, Schema])
def test_schema_shapes_are_equivalent(schema, wrap):
    assert [c.name for c in _statement("select * from db.t", schema=wrap(schema)).columns] == ["a", "b"]


# A plain dict is converted in C++, table by table as the text names them; a
# Schema whole once; any other mapping by the Python walk: all agree.
@pytest.mark.parametrize("sql", [
    "select * from t",
    "select * from t join u using (k); insert into w select * from t",
    "select t.a, u.b, v.zz from t, u, db.v",
    "select * from db.v x join db.v y on x.a = y.a",
    "select * from nosuch",
])
@pytest.mark.parametrize("schema", [
    {"t": ["k", "a", "\u00e9", "a\udcff"], "u": {"k": "int", "b": "text"},
     "db": {"v": ["a", "zz"], "w": []}},
    {"T": ["k"], "t": ["k", "a"], "u": ("b",), "db.v": {"A": "int"}},
])
def test_schema_ways_agree(sql, schema):
    want = lineage(sql, schema=types.MappingProxyType(schema))
    assert lineage(sql, schema=schema) == want
    assert lineage(sql, schema=Schema(schema)) == want


def test_default_catalog_and_schema_match_unqualified_names():
    schema = {"cat": {"db": {"t": ["a", "b"]}}}
    st = _statement("select * from t", schema=schema, default_catalog="cat", default_schema="db")
    assert [(c.name, c.sources[0].table) for c in st.columns] == [("a", "cat.db.t"),
                                                                    ("b", "cat.db.t")]
    assert _statement("select * from t", schema=schema).columns[0].name == "*"
    built = Schema(schema, default_catalog="cat", default_schema="db")
    assert _statement("select * from t", schema=built) == st
    assert _statement("select * from t", schema=built, default_catalog="cat") == st
    with pytest.raises(ValueError, match="default_schema"):
        lineage("select * from t", schema=built, default_schema="other")
    with pytest.raises(TypeError, match="default_catalog"):
        Schema(schema, default_catalog=1)


def test_schema_object_is_a_snapshot_and_immutable():
    mapping = {"t": ["a", "b"]}
    built = Schema(mapping)
    mapping["t"].append("c")
    mapping["u"] = ["x"]
    assert [c.name for c in _statement("select * from t", schema=built).columns] == ["a", "b"]
    assert _statement("select * from u", schema=built).columns[0].name == "*"
    assert len(built) == 1 and "<1 table>" in repr(built)
    with pytest.raises(AttributeError):
        built.default_schema = "x"
    with pytest.raises(AttributeError):
        built._core = None


def test_deep_nesting_is_no_crash():
    depth = 200
    sql = "select a from " + "(select a from " * depth + "t" + ") x" * depth
    assert _columns(sql) == [("a", [("t", "a", "identity")])]
    sql = "select " + "(" * 3000 + "a" + ")" * 3000 + " from t"
    with pytest.raises(ParseError):
        lineage(sql)


@pytest.mark.parametrize("sql, width, indirect", [
    (" union all ".join(f"select a from t{i}" for i in range(5000)), 5000, 0),
    ("select " + " + ".join(f"t0.c{i}" for i in range(5000)) + " from t0", 5000, 0),
    ("select t0.a from t0 " + " ".join(f"join t{i} on t{i}.a = t{i - 1}.a" for i in range(1, 3000)),
     1, 3000),
])
def test_long_chains_are_traced_whole(sql, width, indirect):
    st = _statement(sql)
    assert st.warnings == ()
    assert len(st.columns[0].sources) == width
    assert len(st.indirect) == indirect


# ---- result objects --------------------------------------------------------------------


def test_results_are_immutable_hashable_and_pickle():
    result = lineage("select a, b + 1 as c from t where d > 0; select * from u",
                     errors="collect")
    again = lineage("select a, b + 1 as c from t where d > 0; select * from u",
                    errors="collect")
    assert result == again and hash(result) == hash(again)
    assert pickle.loads(pickle.dumps(result)) == result
    st = result.statements[0]
    with pytest.raises(dataclasses.FrozenInstanceError):
        st.kind = "insert"
    with pytest.raises(dataclasses.FrozenInstanceError):
        st.columns[0].sources[0].kind = "x"
    assert isinstance(st, StatementLineage) and isinstance(result, ScriptLineage)
    assert isinstance(st.columns[0], ColumnLineage) and isinstance(st.indirect[0], Source)
    assert isinstance(result.statements[1].warnings[0], LineageWarning)
    assert "Source(table='t', column='a', kind='identity'" in repr(st.columns[0].sources[0])
    data = json.loads(json.dumps(result.to_dict()))
    assert data["statements"][0]["columns"][1] == {
        "name": "c", "position": 1,
        "sources": [{"table": "t", "column": "b", "kind": "transformation", "ambiguous": False}]}
    assert data["statements"][0]["indirect"] == [
        {"table": "t", "column": "d", "kind": "filter", "ambiguous": False}]
    assert data["statements"][1]["warnings"][0]["code"] == "star_without_schema"


# The binding builds the results without calling __init__: rebuilding each
# object through its class gives an equal object of the same hash.
def _rebuilt(obj):
    if isinstance(obj, tuple):
        return tuple(_rebuilt(o) for o in obj)
    if dataclasses.is_dataclass(obj):
        return type(obj)(*(_rebuilt(getattr(obj, f.name)) for f in dataclasses.fields(obj)))
    return obj


@pytest.mark.parametrize("sql", [
    "select a, b + 1 as c from t where d > 0; select * from u",
    "insert into x select t.a, sum(u.b) from t join u on t.k = u.k group by t.a",
    "create table y as select a from t; select a from y",
    "select a from t where; select b from t",
])
def test_built_results_equal_results_built_through_init(sql):
    result = lineage(sql, errors="collect")
    again = _rebuilt(result)
    assert again == result and hash(again) == hash(result) and repr(again) == repr(result)
    assert dataclasses.replace(result) == result


def test_collected_error_result_pickles_and_compares():
    result = lineage("select a from t where", errors="collect")
    back = pickle.loads(pickle.dumps(result))
    assert back == result
    assert result.to_dict()["statements"][0]["error"].startswith("Expecting")


# ---- pivot and unpivot -----------------------------------------------------------------

PIVOT_CASES = [
    # the other columns stay, each IN value is an aggregate chosen by the pivot column
    ("select * from s pivot (sum(amount) for q in ('Q1' as q1, 'Q2')) p",
     {"s": ["region", "q", "amount"]},
     [("region", [("s", "region", "identity")]),
      ("q1", [("s", "amount", "aggregation"), ("s", "q", "conditional")]),
      ("Q2", [("s", "amount", "aggregation"), ("s", "q", "conditional")])]),
    # unknown source columns: a star column stands for the others
    ("select p.region, p.q1 from s pivot (max(amount) for q in ('Q1' as q1)) p", None,
     [("region", [("s", "region", "identity")]),
      ("q1", [("s", "amount", "aggregation"), ("s", "q", "conditional")])]),
    # unpivot: the value column is fed by the IN list, the name column by nothing
    ("select * from t unpivot (v for k in (a, b))", {"t": ["id", "a", "b"]},
     [("id", [("t", "id", "identity")]), ("k", []),
      ("v", [("t", "a", "identity"), ("t", "b", "identity")])]),
]


@pytest.mark.parametrize("sql, schema, columns", PIVOT_CASES)
def test_pivot_and_unpivot_columns(sql, schema, columns):
    assert _columns(sql, schema=schema, dialect="snowflake") == columns
    assert _codes(sql, schema=schema, dialect="snowflake") == []


# DuckDB's statement form; GROUP BY keeps only the grouping columns beside the pivot's.
CITIES = {"cities": ["country", "name", "year", "population"], "monthly": ["id", "jan", "feb"]}
PIVOT_STATEMENT_CASES = [
    ("pivot cities on year in (2000, 2010) using sum(population) group by country",
     [("country", [("cities", "country", "identity")]),
      ("2000", [("cities", "population", "aggregation"), ("cities", "year", "conditional")]),
      ("2010", [("cities", "population", "aggregation"), ("cities", "year", "conditional")])],
     [("cities", "country", "group_by")]),
    ("select * from (pivot cities on year in (2000) using sum(population) as p, max(population) as m) x",
     [("country", [("cities", "country", "identity")]), ("name", [("cities", "name", "identity")]),
      ("2000_p", [("cities", "population", "aggregation"), ("cities", "year", "conditional")]),
      ("2000_m", [("cities", "population", "aggregation"), ("cities", "year", "conditional")])], []),
    # without USING the pivot counts rows: only the pivot column chooses them
    ("pivot cities on year in (2000) group by country",
     [("country", [("cities", "country", "identity")]), ("2000", [("cities", "year", "conditional")])],
     [("cities", "country", "group_by")]),
    ("unpivot monthly on jan, feb into name month value sales",
     [("id", [("monthly", "id", "identity")]), ("month", []),
      ("sales", [("monthly", "jan", "identity"), ("monthly", "feb", "identity")])], []),
    # without INTO the columns are name and value
    ("unpivot monthly on jan, feb",
     [("id", [("monthly", "id", "identity")]), ("name", []),
      ("value", [("monthly", "jan", "identity"), ("monthly", "feb", "identity")])], []),
]


@pytest.mark.parametrize("sql, columns, indirect", PIVOT_STATEMENT_CASES)
def test_duckdb_pivot_statements(sql, columns, indirect):
    assert _columns(sql, schema=CITIES, dialect="duckdb") == columns
    assert _indirect(sql, schema=CITIES, dialect="duckdb") == indirect
    assert _codes(sql, schema=CITIES, dialect="duckdb") == []


@pytest.mark.parametrize("sql, names", [
    ("select transform (a, b) using 'cat' as (x string, y string) from t where c > 1", ["x", "y"]),
    ("select transform (a, b) using 'cat' as x, y from t where c > 1", ["x", "y"]),
    # without AS the program gives key and value
    ("select transform (a, b) using 'cat' from t where c > 1", ["key", "value"]),
])
def test_script_transform_feeds_every_output_from_every_argument(sql, names):
    every = [("t", "a", "transformation"), ("t", "b", "transformation")]
    assert _columns(sql, dialect="spark") == [(n, every) for n in names]
    assert _indirect(sql, dialect="spark") == [("t", "c", "filter")]


def test_a_pivot_over_values_not_listed_warns():
    assert _codes("pivot cities on year using sum(population)", schema=CITIES,
                  dialect="duckdb") == ["unsupported_construct"]


def test_group_by_and_having_may_name_select_aliases():
    assert _indirect("select upper(name) as n, count(*) from t group by n having n <> 'x'",
                     dialect="postgres") == [("t", "name", "group_by"), ("t", "name", "filter")]


def test_merge_star_sets_the_columns_of_the_source():
    sql = ("merge into t using (select id, v * 2 as v from s) x on t.id = x.id "
           "when matched then update set * when not matched then insert *")
    assert _columns(sql, dialect="databricks") == [("id", [("s", "id", "identity")]),
                                                    ("v", [("s", "v", "transformation")])]
    assert _codes("merge into t using s on t.id = s.id when matched then update set *",
                  dialect="databricks") == ["unsupported_construct"]


def test_pipe_operators_read_the_relation_before_them():
    sql = ("select a, b, d from t |> where a > 1 |> extend b * 2 as c "
           "|> aggregate sum(c) as s group by d |> select d, s")
    assert _columns(sql, dialect="bigquery") == [("d", [("t", "d", "identity")]),
                                                  ("s", [("t", "b", "aggregation")])]
    assert _indirect(sql, dialect="bigquery") == [("t", "a", "filter"), ("t", "d", "group_by")]
    assert _columns("select a from t |> as x |> select x.a as z", dialect="bigquery") == [
        ("z", [("t", "a", "identity")])]


def test_pipe_drop_rename_and_the_from_alias():
    sql = "from (select a as x, b as y from t) as s |> drop x |> rename y as z |> select s.z as w, z"
    assert _columns(sql, dialect="bigquery") == [("w", [("t", "b", "identity")]),
                                                  ("z", [("t", "b", "identity")])]


PIPE_SCHEMA = {"foo": ["a", "b"], "bar": ["a", "c"], "u": ["x", "y"]}
PIPE_CASES = [
    # union: by position, or by name; intersect / except only choose rows
    ("from foo |> union all (select x, y from u), (select a, c from bar)",
     [("a", [("foo", "a", "identity"), ("u", "x", "identity"), ("bar", "a", "identity")]),
      ("b", [("foo", "b", "identity"), ("u", "y", "identity"), ("bar", "c", "identity")])], []),
    ("from foo |> union all by name (select c as b, a from bar)",
     [("a", [("foo", "a", "identity"), ("bar", "a", "identity")]),
      ("b", [("foo", "b", "identity"), ("bar", "c", "identity")])], []),
    ("from foo |> except distinct (select x, y from u where x > 1)",
     [("a", [("foo", "a", "identity")]), ("b", [("foo", "b", "identity")])],
     [("u", "x", "filter"), ("u", "y", "filter")]),
    # join: every column of both sides, the condition indirect
    ("from foo as f |> left join bar as r on f.a = r.a |> where c > 1",
     [("a", [("foo", "a", "identity")]), ("b", [("foo", "b", "identity")]),
      ("a", [("bar", "a", "identity")]), ("c", [("bar", "c", "identity")])],
     [("foo", "a", "join"), ("bar", "a", "join"), ("bar", "c", "filter")]),
    ("from foo |> join bar using (a)",
     [("a", [("foo", "a", "identity")]), ("b", [("foo", "b", "identity")]),
      ("c", [("bar", "c", "identity")])], [("foo", "a", "join"), ("bar", "a", "join")]),
    # set: the column keeps its place with a new value
    ("from foo |> set a = a * b, b = 1 |> select a, b",
     [("a", [("foo", "a", "transformation"), ("foo", "b", "transformation")]), ("b", [])], []),
]


@pytest.mark.parametrize("sql, columns, indirect", PIPE_CASES)
def test_pipe_joins_set_operations_and_set(sql, columns, indirect):
    assert _columns(sql, schema=PIPE_SCHEMA, dialect="bigquery") == columns
    assert _indirect(sql, schema=PIPE_SCHEMA, dialect="bigquery") == indirect
    assert _codes(sql, schema=PIPE_SCHEMA, dialect="bigquery") == []


@pytest.mark.parametrize("sql, columns, codes", [
    ("select id, (jsonb_each_text(w.cfg)).* from w",
     [("id", [("w", "id", "identity")]), ("key", [("w", "cfg", "transformation")]),
      ("value", [("w", "cfg", "transformation")])], []),
    ("select ((json_array_elements(a))).* from t", [("value", [("t", "a", "transformation")])], []),
    # a composite column or an unknown function: its fields are not known
    ("select (c).* from t", [], ["unsupported_construct"]),
    ("select (f(x)).* from t", [], ["unsupported_construct"]),
])
def test_record_expansion_of_generators_that_name_their_columns(sql, columns, codes):
    assert _columns(sql, dialect="postgres") == columns
    assert _codes(sql, dialect="postgres") == codes


@pytest.mark.parametrize("dialect, sql, columns", [
    # an array of an earlier source, named by its table where the dialect reads paths so
    ("bigquery", "select v from t, t.arr as v", [("v", [("t", "arr", "transformation")])]),
    ("redshift", "with e as (select json_parse(x) as inv from src) select v, i from e, e.inv as v at i",
     [("v", [("src", "x", "transformation")]), ("i", [("src", "x", "transformation")])]),
    ("redshift", "with e as (select json_parse(x) as inv from src) "
                 "select k, v from e, unpivot e.inv as v at k",
     [("k", [("src", "x", "transformation")]), ("v", [("src", "x", "transformation")])]),
    # elsewhere t.arr is table arr of schema t
    ("postgres", "select t.a, arr.b from t, t.arr", [("a", [("t", "a", "identity")]),
                                                    ("b", [("t.arr", "b", "identity")])]),
])
def test_nested_arrays_and_objects_of_an_earlier_source(dialect, sql, columns):
    assert _columns(sql, dialect=dialect) == columns
    assert _codes(sql, dialect=dialect) == []


def test_pipe_union_of_other_widths_warns():
    assert _codes("from foo |> union all (select x from u)", schema=PIPE_SCHEMA,
                  dialect="bigquery") == ["set_operation_width"]


def test_table_and_stream_calls_read_the_named_table():
    assert _columns("select a from stream(live.events)", dialect="databricks") == [
        ("a", [("live.events", "a", "identity")])]


@pytest.mark.parametrize("sql, dialect, columns", [
    ("select x, y from t lateral view inline(arrays_zip(a, b)) z as x, y", "hive",
     [("x", [("t", "a", "transformation")]), ("y", [("t", "b", "transformation")])]),
    ("select p, v from t lateral view posexplode(a) z as p, v", "hive",
     [("p", [("t", "a", "transformation")]), ("v", [("t", "a", "transformation")])]),
    ("select x.k, y from t, unnest(t.a, t.b) as x(k, y)", "trino",
     [("k", [("t", "a", "transformation")]), ("y", [("t", "b", "transformation")])]),
    ("select v.f from t, unnest(t.arr) as v", "bigquery", [("f", [("t", "arr", "transformation")])]),
    ("select n from unnest([1, 2]) as n", "bigquery", [("n", [])]),
])
def test_generators_map_arrays_to_columns(sql, dialect, columns):
    assert _columns(sql, dialect=dialect) == columns


def test_composition_through_a_star_over_unknown_columns():
    result = lineage("create view v as select * from t; select a, upper(b) as b from v")
    assert result.statements[1].warnings == ()
    assert [(c.name, [(s.table, s.column, s.kind) for s in c.sources]) for c in result.composed] == [
        ("a", [("t", "a", "identity")]), ("b", [("t", "b", "transformation")])]


@pytest.mark.parametrize("sql, dialect, columns", [
    ("select value, f.index from t, lateral flatten(input => t.v) f", "snowflake",
     [("value", [("t", "v", "transformation")]), ("index", [])]),
    ("select col from t, explode(t.arr)", "databricks", [("col", [("t", "arr", "transformation")])]),
    ("select key, value from t, json_each(t.j)", "postgres",
     [("key", [("t", "j", "transformation")]), ("value", [("t", "j", "transformation")])]),
])
def test_generators_with_named_output_columns(sql, dialect, columns):
    assert _columns(sql, dialect=dialect) == columns
    assert _codes(sql, dialect=dialect) == []


def test_merge_insert_values_read_the_source_only():
    sql = ("merge into t using u on t.k = u.k when matched then update set a = b "
           "when not matched then insert (a) values (c)")
    assert _columns(sql) == [("a", [("t", "b", "identity"), ("u", "b", "identity"),
                                    ("u", "c", "identity")])]
    assert _codes(sql) == ["ambiguous_column"]


def test_redshift_nested_array_in_from_reads_the_column():
    sql = "select c.name, o.key from cust c, c.orders as o"
    assert _columns(sql, dialect="redshift") == [
        ("name", [("cust", "name", "identity")]), ("key", [("cust", "orders", "transformation")])]


# A create .. as that does not start with "create" was once read as T-SQL's
# select .. into (the two share a kind), through a pointer of the wrong type.
@pytest.mark.parametrize("sql, dialect, target, names", [
    ("define dynamic table db.t as select a, b from s", "snowflake", "db.t", ["a", "b"]),
    ("select a, b into db.t from s", "tsql", "db.t", ["a", "b"]),
    ("create table db.t as select a, b from s", "generic", "db.t", ["a", "b"]),
])
def test_create_table_as_and_select_into_are_told_apart_by_the_tree(sql, dialect, target, names):
    (st,) = lineage(sql, dialect=dialect).statements
    assert (st.kind, st.target, [c.name for c in st.columns]) == ("create_table_as", target, names)
