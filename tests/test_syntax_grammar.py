"""The statement grammar: constructs of each dialect, dialect conflicts, errors
with positions, nesting limits and token soup.

Each accepted case names node types its tree must contain, so a construct that
parses into the wrong shape (a keyword taken as a column, a join read as an
alias) fails, not only one that does not parse.
"""

import sys
from pathlib import Path

import pytest

from sql_parser import ParseError, parse_script

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tools"))
from token_soup import soup  # noqa: E402


def node_types(tree):
    """Every "type" in a to_dict() tree, as a set."""
    found = set()
    stack = [tree]
    while stack:
        item = stack.pop()
        if isinstance(item, dict):
            if "type" in item:
                found.add(item["type"])
            stack.extend(item.values())
        elif isinstance(item, list):
            stack.extend(item)
    return found


def nodes_of(tree, type_name):
    out = []
    stack = [tree]
    while stack:
        item = stack.pop()
        if isinstance(item, dict):
            if item.get("type") == type_name:
                out.append(item)
            stack.extend(item.values())
        elif isinstance(item, list):
            stack.extend(item)
    return out


# (dialect, sql, statement kind, node types the tree must contain)
ACCEPTED = [
    # dialect operators
    ("postgres", "select a::int, b ~ 'x', c @> d, e -> 'k', e ->> 'k', f || g from t", "select", {"cast", "binary"}),
    ("postgres", "select * from items order by embedding <-> '[3,1,2]' limit 5", "select", {"binary"}),
    ("postgres", "select * from t where a operator(pg_catalog.=) 1", "select", {"binary"}),
    ("mysql", "select !a, a <=> b from t", "select", {"unary", "binary"}),
    ("tsql", "select @i += 2, a !< b from t", "select", {"binary"}),
    # PIVOT / UNPIVOT
    ("snowflake", "select * from t pivot (sum(amount) for month in ('jan', 'feb')) as p", "select", {"pivot", "function"}),
    ("bigquery", "select * from t unpivot (sales for quarter in (q1, q2))", "select", {"unpivot"}),
    ("oracle", "select * from t unpivot ((q, a) for p in ((q1, a1) as 1))", "select", {"unpivot"}),
    # parenthesised queries
    ("generic", "(select a from t) union (select b from u)", "select", {"set_op", "paren_query"}),
    ("generic", "select * from ((select a from t) except (select a from u)) x", "select", {"derived_table", "set_op"}),
    ("generic", "select a from t where a in ((select b from u) union (select c from v))", "select", {"in", "set_op"}),
    # intervals
    ("generic", "select d + interval '90' day, d - interval 3 day, interval '1' year to month from t", "select", {"interval"}),
    ("clickhouse", "select d + interval a.b + c day from t", "select", {"interval"}),
    # cast types
    ("generic", "select cast(a as dec(15,4)), cast(b as array<struct<x:int>>), cast(c as varchar(max)) from t", "select", {"cast"}),
    ("clickhouse", "select cast(a as Nullable(String)), b::Array(Nullable(Int32)) from t", "select", {"cast"}),
    ("postgres", "select a::timestamp with time zone, b::int[] from t", "select", {"cast"}),
    # pattern matching
    ("snowflake", "select * from t where a ilike 'x%' and b like 'a!%' escape '!' and c not rlike 'z' and d like any ('a%', 'b%')", "select", {"binary", "quantified"}),
    ("postgres", "select * from t where a similar to 'x' and b is not distinct from c", "select", {"binary"}),
    # joins
    ("snowflake", "select * from a asof join b match_condition (a.t >= b.t) on a.id = b.id", "select", {"join"}),
    ("clickhouse", "select * from a global any left join b using (id) array join arr as x", "select", {"join"}),
    ("spark", "select * from a left semi join b on a.id = b.id left anti join c on a.id = c.id", "select", {"join"}),
    ("tsql", "select * from a cross apply f(a.x) outer apply (select 1 as y) z", "select", {"join", "table_function"}),
    ("postgres", "select * from a, lateral (select * from b where b.id = a.id) s", "select", {"derived_table"}),
    ("tsql", "select * from a join b join c on b.x = c.x on a.y = b.y", "select", {"join"}),
    # bind parameters
    ("generic", "select * from t where a = ? and b = :name and c = @v and d = $1 and e = ${var}", "select", {"param"}),
    # star modifiers
    ("bigquery", "select * except (a, b) replace (c + 1 as c) from t", "select", {"star"}),
    ("snowflake", "select t.* exclude (a) rename (b as c) from t", "select", {"star"}),
    ("duckdb", "select min(columns(* replace (n + 1 as n))) from t", "select", {"star", "function"}),
    # arrays, structs, subscripts, fields
    ("bigquery", "select [1, 2][offset(0)], struct(1 as x, 'y' as y).x, array<int>[1] from t", "select", {"array", "tuple", "subscript", "field"}),
    ("duckdb", "select {'a': 1, 'b': x}, [f(x) for x in xs if x > 0], a[1:2] from t", "select", {"tuple", "array", "subscript"}),
    ("snowflake", "select v:a.b[0]::string, v:\"c d\" from t", "select", {"variant_path", "cast"}),
    # sampling, Hive clauses, qualify
    ("generic", "select * from t tablesample system (10 percent) repeatable (3)", "select", {"named_table"}),
    ("hive", "select a from t cluster by a", "select", {"select"}),
    ("spark", "select a from t distribute by a sort by a desc", "select", {"select"}),
    ("snowflake", "select a, row_number() over (partition by b order by c) rn from t qualify rn = 1", "select", {"window_spec"}),
    ("hive", "select c from t lateral view outer explode(arr) x as c lateral view posexplode(m) y as p, v", "select", {"lateral_view"}),
    # generators and table functions
    ("bigquery", "select x, o from unnest([1, 2]) as x with offset as o", "select", {"table_function"}),
    ("snowflake", "select f.value from t, lateral flatten(input => t.v) f", "select", {"table_function", "named_arg"}),
    ("postgres", "select * from generate_series(1, 10) with ordinality as g(n, i)", "select", {"table_function"}),
    # grouping
    ("generic", "select a, b, sum(c) from t group by grouping sets ((a, b), (a), ())", "select", {"grouping"}),
    ("generic", "select a, sum(c) from t group by rollup (a), cube (b)", "select", {"grouping"}),
    ("mysql", "select a, sum(c) from t group by a with rollup", "select", {"select"}),
    ("duckdb", "select a, sum(c) from t group by all", "select", {"select"}),
    # aggregates and windows
    ("postgres", "select count(*) filter (where a > 1), percentile_cont(0.5) within group (order by b) from t", "select", {"function"}),
    ("generic", "select sum(a) over w, 1 + rank() over (order by b rows between 1 preceding and current row) from t window w as (partition by c)", "select", {"window_spec"}),
    ("bigquery", "select array_agg(a ignore nulls order by b limit 5), string_agg(c, ',' order by c) from t", "select", {"function"}),
    # WITH
    ("postgres", "with recursive r(n) as (select 1 union all select n + 1 from r where n < 5) select n from r", "select", {"with", "cte"}),
    ("generic", "select * from (with x as (select 1 a) select a from x) s", "select", {"with", "derived_table"}),
    ("clickhouse", "with 5 as k, sum(b) as s select k, s from t", "select", {"with"}),
    # ordering and limits
    ("generic", "select a from t order by a desc nulls last, b nulls first limit 10 offset 5", "select", {"order_item"}),
    ("oracle", "select a from t order by a fetch first 10 rows only", "select", {"fetch"}),
    ("tsql", "select top (10) percent with ties a from t order by a", "select", {"select"}),
    ("postgres", "select distinct on (a) a, b from t order by a, b", "select", {"select"}),
    ("clickhouse", "select a from t limit 3 by a settings max_threads = 2 format JSON", "select", {"select"}),
    # special call forms
    ("generic", "select trim(both 'x' from a), substring(b from 2 for 3), extract(year from c), position('a' in d) from t", "select", {"keyword_arg", "keyword"}),
    ("snowflake", "select f(a => 1, b => 2) from t", "select", {"named_arg"}),
    # literals
    ("postgres", "select date '2020-01-01', numeric '1', E'a\\nb', $$x;y$$, timestamp with time zone '2020-01-01 00:00' from t", "select", {"literal"}),
    ("generic", "select a at time zone 'UTC' from t", "select", {"binary"}),
    # time travel
    ("bigquery", "select * from t for system_time as of timestamp '2020-01-01'", "select", {"named_table"}),
    ("snowflake", "select * from t at (timestamp => '2020-01-01'::timestamp)", "select", {"named_table"}),
    ("databricks", "select * from t version as of 3", "select", {"named_table"}),
    # VALUES, FROM-first, pipes, hints
    ("generic", "select * from (values (1, 'a'), (2, 'b')) as v(id, name)", "select", {"values"}),
    ("spark", "select * from values (1, 2) as t(a, b)", "select", {"values"}),
    ("duckdb", "from t select a where b > 1", "select", {"select"}),
    ("bigquery", "from t |> where a > 1 |> aggregate sum(b) as s group by c |> order by s", "select", {"pipe_op"}),
    ("tsql", "select a from t with (nolock) option (recompile)", "select", {"named_table"}),
    ("tsql", "select a from u option (maxdop 1)", "select", {"named_table"}),
    ("clickhouse", "create view v as select a from t comment 'x'", "create_view", {"create_view"}),
    ("oracle", "insert into t select a from u log errors into e", "insert", {"insert"}),
    ("clickhouse", "select a from t final prewhere b = 1 where c = 2", "select", {"named_table"}),
    # names
    ("bigquery", "select * from my-project.dataset-1.table-2", "select", {"named_table"}),
    ("tsql", "select a from db..t join #tmp on 1 = 1", "select", {"join"}),
    ("snowflake", "select * from identifier('db.t') join identifier($t) on true", "select", {"table_function"}),
    ("snowflake", "select identifier('c'), identifier('f')(1) from t", "select", {"column", "function"}),
    # data-moving statements
    ("spark", "insert overwrite table t partition (dt = '2024-01-01', h) select a, h from s", "insert", {"insert"}),
    ("generic", "insert into t (a, b) values (1, 2), (3, 4)", "insert", {"insert", "values"}),
    ("generic", "create or replace temporary table t as select a from s", "create_table_as", {"create_table_as"}),
    ("tsql", "select a into #t from s", "create_table_as", {"select"}),
    ("generic", "create materialized view v (x) as select a from s", "create_view", {"create_view"}),
    ("generic", "merge into t using s on t.id = s.id when matched and s.d then delete "
     "when matched then update set a = s.a when not matched then insert (id, a) values (s.id, s.a)", "merge", {"merge"}),
    ("postgres", "update t set a = s.b from s where t.id = s.id", "update", {"update"}),
    ("generic", "delete from t where a in (select b from s)", "delete", {"delete"}),
    ("generic", "grant select on t to u", "other", {"other"}),
    ("postgres", "with d as (delete from t where a > 1 returning *) insert into u select * from d", "insert",
     {"cte", "delete", "returning", "star"}),
    ("sqlite", "insert into t default values returning id, a as x", "insert", {"returning", "select_item"}),
    ("tsql", "select x.id from (delete t output deleted.id) as x", "select", {"statement_table", "delete", "returning"}),
    ("duckdb", "pivot t on k in (1, 2) using sum(v) group by g", "select", {"pivot_query", "pivot"}),
    ("redshift", "select k, v from e, unpivot e.obj as v at k", "select", {"named_table"}),
    ("duckdb", "unpivot t on a, b into name k value v", "select", {"pivot_query", "unpivot"}),
    ("spark", "select transform (a, b) using 'cat' as (x int, y string) from t", "select",
     {"script_transform", "column_def"}),
    ("bigquery", "from t |> left join u using (k) |> union all (select 1, 2)", "select", {"pipe_op", "join", "query"}),
]


@pytest.mark.parametrize("dialect, sql, kind, types", ACCEPTED, ids=[f"{c[0]}:{c[1][:40]}" for c in ACCEPTED])
def test_construct_parses_to_its_shape(dialect, sql, kind, types):
    (statement,) = parse_script(sql, dialect=dialect)
    assert statement.kind == kind
    tree = statement.to_dict(spans=False)
    assert types <= node_types(tree), sorted(node_types(tree))
    again = parse_script(statement.sql(), dialect=dialect)
    assert [s.to_dict(spans=False) for s in again] == [tree]


# What the dialect decides: "x", `x`, [x], #x and $$x$$.
CONFLICTS = [
    ('select "a" from t', "postgres", "column"),
    ('select "a" from t', "generic", "column"),
    ('select "a" from t', "mysql", "literal"),
    ('select "a" from t', "bigquery", "literal"),
    ("select [a] from t", "tsql", "column"),
    ("select [a] from t", "duckdb", "array"),
    ("select [a] from t", "generic", "array"),
    ("select `a` from t", "mysql", "column"),
    ("select $$a$$ from t", "postgres", "literal"),
]


@pytest.mark.parametrize("sql, dialect, first_item", CONFLICTS)
def test_dialect_decides_conflicting_readings(sql, dialect, first_item):
    (statement,) = parse_script(sql, dialect=dialect)
    select = nodes_of(statement.to_dict(spans=False), "select")[0]
    assert select["items"][0]["expr"]["type"] == first_item


def test_hash_is_a_comment_in_mysql_and_a_temp_table_in_tsql():
    (mysql,) = parse_script("select a # note\nfrom t", dialect="mysql")
    assert nodes_of(mysql.to_dict(spans=False), "named_table")[0]["name"] == ["t"]
    (tsql,) = parse_script("select a from #t", dialect="tsql")
    assert nodes_of(tsql.to_dict(spans=False), "named_table")[0]["name"] == ["#t"]


def test_quoted_name_with_a_dot_is_one_part():
    (st,) = parse_script('select "a.b", a.b from "s.t"', dialect="postgres")
    tree = st.to_dict(spans=False)
    columns = [c["name"] for c in nodes_of(tree, "column")]
    assert [{"value": "a.b", "quote": '"'}] in columns and ["a", "b"] in columns


# (dialect, sql, line, column, words in the message)
REJECTED = [
    ("generic", "select a from t where", 1, 22, "end of text"),
    ("generic", "select a,\nfrom t where", 2, 13, "end of text"),
    ("generic", "select a from t; select from from", 1, 30, '"from"'),
    ("generic", "select 'abc from t", 1, 8, "closing quote"),
    ("generic", "select a from t /* never closed", 1, 17, "end of the comment"),
    ("generic", "select case when a then 1 from t", 1, 27, "WHEN, ELSE or END"),
    ("generic", "select a from t join u on", 1, 26, "end of text"),
    ("generic", "select f(a from t", 1, 18, "end of text"),
    ("generic", "select a b c from t", 1, 12, '"c"'),
    ("postgres", "select a::int[ from t", 1, 16, '"from"'),
    ("generic", "frobnicate the table", 1, 1, '"frobnicate"'),
    ("tsql", "select [] from t", 1, 8, "may not be empty"),
    ("postgres", 'select a as "" from t', 1, 13, "may not be empty"),
]


@pytest.mark.parametrize("dialect, sql, line, column, words", REJECTED)
def test_error_points_at_the_first_token_that_cannot_continue(dialect, sql, line, column, words):
    with pytest.raises(ParseError) as info:
        parse_script(sql, dialect=dialect)
    e = info.value
    assert (e.line, e.column) == (line, column), str(e)
    assert words in str(e)


def test_error_shows_the_whole_token_and_counts_characters():
    with pytest.raises(ParseError) as info:
        parse_script("select 'é', a from t where a = b c_long_name d", dialect="generic")
    e = info.value
    assert '"c_long_name"' in str(e) and e.offset == len("select 'é', a from t where a = b ")


NESTING = [
    ("parentheses", lambda n: "select " + "(" * n + "1" + ")" * n),
    ("sub-queries in FROM", lambda n: "select a from " + "(select a from " * n + "t" + ") x" * n),
    ("scalar sub-queries", lambda n: "select " + "(select " * n + "1" + ")" * n),
    ("prefix operators", lambda n: "select " + "not " * n + "1"),
    ("calls", lambda n: "select " + "f(" * n + "1" + ")" * n),
    ("CASE", lambda n: "select " + "case when a then " * n + "1" + " end" * n),
]


@pytest.mark.parametrize("name, make", NESTING, ids=[n for n, _ in NESTING])
def test_nesting_limit_is_1000_levels_of_any_construct(name, make):
    assert len(parse_script(make(1000))) == 1
    with pytest.raises(ParseError, match="at most 1000 nested levels"):
        parse_script(make(1001))
    with pytest.raises(ParseError, match="at most 1000 nested levels"):
        parse_script(make(50000))


def test_script_splits_only_on_semicolons_outside_strings_names_and_comments():
    text = "select ';' as \"a;b\" from t -- x;y\n; /* ; */ select 2; ;"
    statements = parse_script(text)
    assert [s.kind for s in statements] == ["select", "select"]
    assert text[statements[0].start:statements[0].end].endswith("from t")
    assert text[statements[1].start:statements[1].end] == "select 2"


def test_unknown_dialect_names_the_accepted_ones():
    with pytest.raises(ValueError, match="snowflake"):
        parse_script("select 1", dialect="sybase")


def test_random_token_soup_is_rejected():
    texts = soup()
    accepted = 0
    for text in texts:
        try:
            parse_script(text)
            accepted += 1
        except ParseError:
            pass
    assert accepted <= 0.05 * len(texts)


# Readings that once went wrong: a comparison after a cast read as a type
# parameter list, a join on no columns, and select .. into told apart from
# create table .. as.
def test_comparison_after_a_cast_is_not_a_type_parameter():
    (st,) = parse_script("select b::int < 5, c::array<int> from t", dialect="postgres")
    items = nodes_of(st.to_dict(spans=False), "select")[0]["items"]
    assert items[0]["expr"]["type"] == "binary" and items[0]["expr"]["op"] == "<"
    assert items[1]["expr"]["type"] == "cast"


def test_join_using_names_at_least_one_column():
    with pytest.raises(ParseError, match="a column name"):
        parse_script("select * from a join b using ()")


@pytest.mark.parametrize("sql, dialect, node_type", [
    ("select a into t from s", "tsql", "select_statement"),
    ("create table t as select a from s", "generic", "create_table_as"),
])
def test_select_into_and_create_table_as_share_a_kind_not_a_shape(sql, dialect, node_type):
    (st,) = parse_script(sql, dialect=dialect)
    assert st.kind == "create_table_as"
    assert st.to_dict(spans=False)["type"] == node_type


def test_positions_of_many_statements_and_errors_are_exact_past_many_lines():
    # Offsets, lines and columns come from an index of the text; check them
    # against counting by hand far into a script with multi-byte characters.
    lines = [f"select 'é{i}' as c{i} from t{i};" for i in range(3000)]
    text = "\n".join(lines) + "\nselect é from"
    with pytest.raises(ParseError) as info:
        parse_script(text)
    e = info.value
    assert (e.line, e.column, e.offset) == (3001, 14, len(text))
    statements = parse_script("\n".join(lines))
    assert len(statements) == 3000
    last = statements[-1]
    assert "\n".join(lines)[last.start:last.end] == lines[-1][:-1]
