"""parse_script's statements: SQL printed back from the tree, the tree as
dicts, character spans, and the binding's errors.

The printer's contract is that its text parses, in the same dialect, to the
same tree; the exact texts below also pin what is printed (keywords in upper
case, parentheses only where the tree has them)."""

import threading

import pytest

import _sqlparse_core
from sql_parser import ParseError, Statement, parse_script


def reparsed(statement, dialect):
    """The one statement that the printed SQL parses to."""
    again = parse_script(statement.sql(), dialect=dialect)
    assert len(again) == 1, statement.sql()
    return again[0]


def assert_round_trip(sql, dialect="generic"):
    statements = parse_script(sql, dialect=dialect)
    assert statements, sql
    for st in statements:
        again = reparsed(st, dialect)
        assert again.to_dict(spans=False) == st.to_dict(spans=False), st.sql()
        # Printing is a fixed point after one round.
        assert again.sql() == st.sql()


# (dialect, written, printed)
PRINTED = [
    ("generic", "select a, b as c from t where x = 1", "SELECT a, b AS c FROM t WHERE x = 1"),
    ("generic", "select (a + b) * c from t", "SELECT (a + b) * c FROM t"),
    ("generic", "select a + b * c", "SELECT a + b * c"),
    ("generic", "select ((a))", "SELECT ((a))"),
    ("generic", 'select "Order Id", t."x""y" from db.sch.t t1', 'SELECT "Order Id", t."x""y" FROM db.sch.t t1'),
    ("generic", "select count(distinct a), count(*) from t group by all",
     "SELECT count(DISTINCT a), count(*) FROM t GROUP BY ALL"),
    ("generic", "select sum(x) over (partition by a order by b desc nulls last rows between unbounded preceding and current row) from t",
     "SELECT sum(x) OVER (PARTITION BY a ORDER BY b DESC NULLS LAST ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW) FROM t"),
    ("generic", "select trim(both 'x' from y), extract(year from d), substring(s from 2 for 3)",
     "SELECT trim(both 'x' from y), extract(year from d), substring(s from 2 for 3)"),
    ("generic", "select cast(a as decimal(15, 4)), a::int, try_cast(b as varchar)",
     "SELECT CAST(a AS decimal(15, 4)), a :: int, TRY_CAST(b AS varchar)"),
    ("generic", "select case when a then 1 else 2 end, case x when 1 then 'a' end",
     "SELECT CASE WHEN a THEN 1 ELSE 2 END, CASE x WHEN 1 THEN 'a' END"),
    ("generic", "select * from a left join b on a.id = b.id cross join c",
     "SELECT * FROM a LEFT JOIN b ON a.id = b.id CROSS JOIN c"),
    ("generic", "select x from (select 1 as x) s join (t1 join t2 using (k)) on true",
     "SELECT x FROM (SELECT 1 AS x) s JOIN (t1 JOIN t2 USING (k)) ON true"),
    ("generic", "with c (a) as (select 1) select a from c union all (select 2) order by 1 limit 5 offset 2",
     "WITH c (a) AS (SELECT 1) SELECT a FROM c UNION ALL (SELECT 2) ORDER BY 1 LIMIT 5 OFFSET 2"),
    ("generic", "select a from t where b in (1, 2) and c not in (select d from u) and not exists (select 1)",
     "SELECT a FROM t WHERE b IN (1, 2) AND c NOT IN (SELECT d FROM u) AND NOT EXISTS (SELECT 1)"),
    ("generic", "select x between 1 and 2, y is not null, z like 'a%' escape '!', (a, b), (a,)",
     "SELECT x BETWEEN 1 AND 2, y IS NOT null, z LIKE 'a%' ESCAPE '!', (a, b), (a,)"),
    ("generic", "select date '2020-01-01', interval '1' day, -x, not y",
     "SELECT date '2020-01-01', INTERVAL '1' day, - x, NOT y"),
    ("duckdb", "select * exclude (a, b) replace (c + 1 as c), {'k': v}, [1, 2][1], list_transform(l, x -> x + 1) from t",
     "SELECT * EXCLUDE (a, b) REPLACE (c + 1 AS c), {'k' : v}, [1, 2][1], list_transform(l, x -> x + 1) FROM t"),
    ("snowflake", "select v:a.b[0]::string, f.value from t, lateral flatten(input => t.v) f",
     "SELECT v:a.b[0] :: string, f.value FROM t, LATERAL flatten(input => t.v) f"),
    ("bigquery", "select struct<a int64>(1), array<string>['x'], e from t, unnest(arr) as e with offset as o",
     "SELECT struct<a: int64>(1), array<string>['x'], e FROM t, unnest(arr) AS e WITH OFFSET AS o"),
    ("tsql", "select top (10) percent [a b] = x from t with (nolock)",
     "SELECT TOP (10) PERCENT x AS [a b] FROM t with (nolock)"),
    ("hive", "insert overwrite table t partition (p = 1, q) select a, b from s lateral view explode(m) e as k, v",
     "INSERT OVERWRITE TABLE t PARTITION (p = 1, q) SELECT a, b FROM s LATERAL VIEW explode(m) e AS k, v"),
    ("generic", "create or replace view v (a, b) as select 1, 2",
     "CREATE OR REPLACE VIEW v (a, b) AS SELECT 1, 2"),
    ("generic", "update t set a = 1, (b, c) = (2, 3) from u where t.id = u.id",
     "UPDATE t SET a = 1, (b, c) = (2, 3) FROM u WHERE t.id = u.id"),
    ("generic", "delete from t using u where t.id = u.id",
     "DELETE FROM t USING u WHERE t.id = u.id"),
    ("generic", "merge into t using s on t.id = s.id when matched and s.d then delete "
     "when matched then update set a = s.a when not matched then insert (id, a) values (s.id, s.a)",
     "MERGE INTO t USING s ON t.id = s.id WHEN MATCHED AND s.d THEN DELETE "
     "WHEN MATCHED THEN UPDATE SET a = s.a WHEN NOT MATCHED THEN INSERT (id, a) VALUES (s.id, s.a)"),
]


@pytest.mark.parametrize("dialect,written,printed", PRINTED)
def test_printed_sql(dialect, written, printed):
    (st,) = parse_script(written, dialect=dialect)
    assert st.sql() == printed
    assert_round_trip(written, dialect)


# Constructs whose printed text must parse back to the same tree; the text
# itself is not pinned.
ROUND_TRIP = [
    ("generic", "select a from t where x = any (select y from u) and z > all (array[1, 2])"),
    ("generic", "select string_agg(distinct x, ',' order by y) filter (where z) over w from t window w as (partition by k)"),
    ("generic", "select percentile_cont(0.5) within group (order by x) from t"),
    ("generic", "select first_value(x) ignore nulls over (order by y range between 1 preceding and 2 following) from t"),
    ("generic", "select a from t group by grouping sets ((a, b), (a), ()), rollup (c), cube (d)"),
    ("generic", "select a from t group by a with rollup having count(*) > 1"),
    ("generic", "select distinct on (a) a, b from t order by a, b desc fetch first 3 rows only"),
    ("generic", "select * from t1 natural join t2 full outer join t3 using (k) as j"),
    ("generic", "select * from (values (1, 'a'), (2, 'b')) as v (n, s)"),
    ("generic", "values (1), (2)"),
    ("generic", "table t"),
    ("generic", "select a from t intersect select a from u except select a from w"),
    ("generic", "select a collate \"C\", b at time zone 'UTC', c || d, e -> 'f', g ->> 0 from t"),
    ("generic", "select x::numeric(10, 2)[], cast(y as timestamp with time zone) from t"),
    ("generic", "select row(1, 2), struct(1 as a, 2 as b), map {'a': 1} from t"),
    ("generic", "select a[1:2], a[:3], (x).f, (x).*, 7 . f, f(x).y from t"),
    ("generic", "select f(a => 1, b := 2), g(select 1), h((select 2)) from t"),
    ("generic", "select position('a' in s), overlay(s placing 'x' from 2 for 1) from t"),
    ("generic", "select current_date, current_timestamp, localtime from t"),
    ("generic", "select x from t where a is distinct from b and c similar to 'd' and e not ilike any ('f', 'g')"),
    ("generic", "select (x, y) -> x + y, f((s,) -> s + 1), ?, $1, :name, @var from t"),
    ("generic", "select * from t for system_time as of '2020-01-01' as x"),
    ("generic", "insert into t (a, b) values (1, 2), (3, default)"),
    ("generic", "insert into t select * from u"),
    ("generic", "create table t as select 1 as a"),
    ("generic", "with x as (select 1) insert into t select * from x"),
    ("generic", "grant select on t to u"),
    ("postgres", "select a from only t tablesample system (10) where b ~ 'x' and c @> d"),
    ("postgres", "select * from generate_series(1, 3) with ordinality as g (n, i), lateral (select n) s"),
    ("postgres", "insert into t as x (a) values (1) on conflict (a) do update set a = excluded.a returning *"),
    ("postgres", "select x from t where y = e'a\\nb' and z = $$raw$$"),
    ("mysql", "select a from t limit 10, 20"),
    ("mysql", "insert into t values row(1, 2), (3, 4), 5"),
    ("redshift", "select coalesce(from family like '%x%', false) from animals"),
    ("mysql", "select group_concat(x order by y separator ',') from t"),
    ("mysql", 'select "str", `name` from `db`.`t`'),
    ("bigquery", "select * except (a) from `p.d.t` where b in unnest(@arr)"),
    ("bigquery", "select struct(1 as a), array(select 1), safe_cast(x as int64), '''x''' from t"),
    ("snowflake", "select * from t at(timestamp => '2020-01-01'::timestamp) asof join u match_condition (t.ts >= u.ts) on t.k = u.k"),
    ("snowflake", "select * from t pivot (sum(v) for k in ('a', 'b')) as p"),
    ("duckdb", "pivot db.t as x on k, upper(m) in ('a' as aa, 'b') using sum(v) as s, max(v) group by g order by g limit 3"),
    ("duckdb", "select * from (pivot (select * from t) on k using count(*)) p"),
    ("duckdb", "unpivot t on (a, b) as ab, c into name k value v1, v2"),
    ("duckdb", "unpivot t on columns(* exclude (id))"),
    ("oracle", "select pkg.f@remote(1), g@remote() from t@remote"),
    ("tsql", "select r.c.value('.', 'int') from @x.nodes('/root/row') r(c) cross apply t.x.nodes('/a') as n(c)"),
    ("bigquery", "from a |> union all by name (select 1 as x), (select 2 as x) |> intersect distinct (select 3)"),
    ("bigquery", "from a as x |> left outer join b on x.k = b.k |> join c using (k) |> cross join d"),
    ("bigquery", "from a |> set x = x * 2, y = 'z' |> call tvf(1)"),
    ("spark", "select transform (a, b) using 'cat' as (x string, y int) from t where a > 1"),
    ("spark", "select transform (a) row format delimited fields terminated by '\\t' using 'python s.py' "
              "as k, v row format delimited fields terminated by ',' from t"),
    ("spark", "select transform (a) using 'cat' from t"),
    ("spark", "select e.id, c from t as e lateral view outer explode(arr) x c"),
    ("spark", "select * from p pivot (sum(a) as s for name, age in (('J', 30) as c1, ('M', 40) as c2))"),
    ("snowflake", "select * from t unpivot include nulls (v for k in (a, b))"),
    ("snowflake", "select * ilike '%id%' from t qualify row_number() over (order by x) = 1"),
    ("duckdb", "from t select a where b"),
    ("duckdb", "select [x * 2 for x in xs if x > 1], [a, b] from t using sample 10%"),
    ("clickhouse", "with 10 as n, t2 as (select 1) select n from t2"),
    ("snowflake", "select * from t match_recognize (partition by a order by b pattern (x+) define x as x.v > 0) m"),
    ("tsql", "select j.a from t cross apply openjson(t.doc) with (a int '$.a') as j"),
    ("duckdb", "select * from 'data.parquet'"),
    ("duckdb", "select a from t union all by name select a from u"),
    ("tsql", "select convert(varchar(10), d, 120), x into #tmp from t option (recompile)"),
    ("tsql", "select a from t order by a offset 5 rows fetch next 10 rows only"),
    ("clickhouse", "select a from t final sample 0.1 array join arr as x prewhere b where c limit 2 by a settings max_threads = 1"),
    ("oracle", "select level, prior a from t start with b is null connect by nocycle prior id = parent_id"),
    ("spark", "select * from t lateral view outer posexplode(arr) p as pos, val distribute by a sort by b"),
    ("databricks", "select * from t |> where a > 1 |> aggregate sum(b) as s group by c |> order by s"),
]


@pytest.mark.parametrize("dialect,sql", ROUND_TRIP)
def test_round_trip(dialect, sql):
    assert_round_trip(sql, dialect)


def test_every_statement_of_a_script_round_trips():
    script = "select 1; insert into t select 2;; update t set a = 1; create view v as select 3"
    statements = parse_script(script)
    assert [s.kind for s in statements] == ["select", "insert", "update", "create_view"]
    for st in statements:
        assert reparsed(st, "generic").to_dict(spans=False) == st.to_dict(spans=False)


def test_statements_print_and_convert_on_many_threads_at_once():
    # sql() and to_dict() release the GIL while they read the shared script.
    statements = parse_script("; ".join(sql for _, sql in ROUND_TRIP if _ == "generic"))
    expected = [(st.sql(), st.to_dict()) for st in statements]
    results = []

    def run():
        results.append([(st.sql(), st.to_dict()) for st in statements])

    threads = [threading.Thread(target=run) for _ in range(6)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [expected] * len(threads)


# ---- to_dict -------------------------------------------------------------------


def test_to_dict_shape_of_a_select():
    (st,) = parse_script('select t.a as x, "Q" from db.t')
    tree = st.to_dict(spans=False)
    assert tree["type"] == "select_statement"
    assert tree["kind"] == "select"
    body = tree["query"]["body"]
    assert body["type"] == "select"
    first, second = body["items"]
    assert first == {
        "type": "select_item",
        "expr": {"type": "column", "name": ["t", "a"]},
        "alias": "x",
        "as_keyword": True,
    }
    # A quoted identifier keeps its quote; no alias, no as_keyword.
    assert second == {"type": "select_item", "expr": {"type": "column", "name": [{"value": "Q", "quote": '"'}]}}
    (table,) = body["from"]
    assert table == {"type": "named_table", "name": ["db", "t"]}


def test_to_dict_keys_come_type_first_and_leave_out_what_was_not_written():
    (st,) = parse_script("select cast(a as int) from t join u on true")
    tree = st.to_dict(spans=True)

    def walk(node):
        if isinstance(node, dict):
            if "type" in node:
                keys = list(node)
                assert keys[0] == "type"
                if "span" in node:
                    assert keys[1] == "span"
            for key, value in node.items():
                assert value not in (None, False, "", [], {}), (key, node)
                walk(value)
        elif isinstance(node, list):
            for item in node:
                walk(item)

    walk(tree)
    body = tree["query"]["body"]
    cast = body["items"][0]["expr"]
    assert cast["type"] == "cast" and cast["style"] == "cast"
    assert cast["data_type"]["name"] == "int"
    join = body["from"][0]
    assert join["type"] == "join" and join["join_type"] == "join"
    assert join["on"] == {"type": "literal", "span": join["on"]["span"], "literal_kind": "boolean", "text": "true"}


def test_to_dict_of_statement_kinds():
    cases = {
        "insert into t (a) select 1": ("insert", "insert"),
        "create table t as select 1": ("create_table_as", "create_table_as"),
        "create or replace table t as select 1": ("create_table_as", "create_table_as"),
        # T-SQL's select .. into makes a table, from a SELECT statement's tree.
        "select a into t2 from t": ("create_table_as", "select_statement"),
        "create view v as select 1": ("create_view", "create_view"),
        "merge into t using s on t.k = s.k when matched then delete": ("merge", "merge"),
        "update t set a = 1": ("update", "update"),
        "delete from t": ("delete", "delete"),
        "drop table t": ("other", "other"),
    }
    for sql, (kind, type_name) in cases.items():
        (st,) = parse_script(sql)
        tree = st.to_dict(spans=False)
        assert (st.kind, tree["kind"], tree["type"]) == (kind, kind, type_name), sql


# ---- spans ---------------------------------------------------------------------


def find_nodes(node, type_name):
    if isinstance(node, dict):
        if node.get("type") == type_name:
            yield node
        for value in node.values():
            yield from find_nodes(value, type_name)
    elif isinstance(node, list):
        for item in node:
            yield from find_nodes(item, type_name)


@pytest.mark.parametrize("prefix", ["", "/* ünïcödé 😀 */ ", "select '日本語';\n"])
def test_spans_are_character_offsets(prefix):
    text = prefix + "select 'é😀', Zoë from \"Tä\" where x = 'ß'"
    st = parse_script(text)[-1]
    assert text[st.start:st.end] == st.text
    assert st.text.startswith("select 'é😀'") and st.text.endswith("'ß'")
    tree = st.to_dict()
    assert tree["span"] == [st.start, st.end]
    literals = [text[s:e] for s, e in (n["span"] for n in find_nodes(tree, "literal"))]
    assert literals == ["'é😀'", "'ß'"]
    (column,) = [n for n in find_nodes(tree, "column") if n["name"] == ["Zoë"]]
    assert text[column["span"][0]:column["span"][1]] == "Zoë"
    (table,) = find_nodes(tree, "named_table")
    assert text[table["span"][0]:table["span"][1]] == '"Tä"'


def test_statement_offsets_text_and_repr():
    text = "select 1 ;\n  insert into t select 'ä' ; "
    first, second = parse_script(text)
    assert (first.start, first.end, first.text) == (0, 8, "select 1")
    assert text[second.start:second.end] == second.text == "insert into t select 'ä'"
    assert repr(first) == "<Statement select 0:8>"
    assert isinstance(first, Statement)
    assert parse_script("") == [] and parse_script(" ; ;") == []


def test_statements_outlive_their_list():
    statements = parse_script("select a from t; select b from u")
    last = statements[-1]
    del statements
    assert last.sql() == "SELECT b FROM u"


# ---- errors --------------------------------------------------------------------


def test_unknown_dialect_lists_the_names():
    with pytest.raises(ValueError) as info:
        parse_script("select 1", dialect="nosuch")
    assert not isinstance(info.value, ParseError)
    message = str(info.value)
    assert "nosuch" in message
    for name in ("bigquery", "snowflake", "tsql", "duckdb", "generic"):
        assert name in message
    with pytest.raises(ValueError):
        _sqlparse_core._bench_parse_script(["select 1"], "nosuch")


def test_dialect_names_ignore_case():
    assert parse_script("select 1", dialect="BigQuery")[0].kind == "select"


def test_parse_error_position_is_in_characters():
    text = "select 'é' from t;\nselect é from where"
    with pytest.raises(ParseError) as info:
        parse_script(text)
    e = info.value
    assert e.offset == text.index("where")
    assert (e.line, e.column) == (2, len("select é from ") + 1)
    assert e.found.startswith("where")


def test_text_must_be_str():
    with pytest.raises(TypeError):
        parse_script(b"select 1")  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        parse_script(None)  # type: ignore[arg-type]


def nested(depth):
    return "select " + "(" * depth + "1" + ")" * depth


def test_deep_nesting_is_a_parse_error_not_a_crash():
    with pytest.raises(ParseError) as info:
        parse_script(nested(1001))
    assert "1000 nested levels" in str(info.value)
    with pytest.raises(ParseError):
        parse_script("select " + "- " * 5000 + "1")
    with pytest.raises(ParseError):
        parse_script("select " + "case when " * 1001 + "1" + " then 1 end" * 1001)
    with pytest.raises(ParseError):
        parse_script("select * from " + "(select * from " * 1001 + "t" + ")" * 1001)


def deepest_accepted(make):
    """The largest depth (up to 1000) whose text parses, and its statement."""
    low, high, found = 1, 1000, None
    while low <= high:
        mid = (low + high) // 2
        try:
            (st,) = parse_script(make(mid))
            low, found = mid + 1, (mid, st)
        except ParseError:
            high = mid - 1
    return found


def test_deepest_accepted_tree_prints_and_converts():
    depth, st = deepest_accepted(nested)
    assert depth > 100
    assert st.sql() == "SELECT " + "(" * depth + "1" + ")" * depth
    tree = st.to_dict(spans=False)
    inner = tree["query"]["body"]["items"][0]["expr"]
    for _ in range(depth):
        assert inner["type"] == "paren"
        inner = inner["inner"]
    assert inner["text"] == "1"


@pytest.mark.parametrize(
    "make",
    [
        lambda d: "select * from " + "(select * from " * d + "t" + ") x" * d,
        lambda d: "select " + "case when " * d + "1" + " then 1 end" * d,
        lambda d: "select " + "f(" * d + "1" + ")" * d,
        lambda d: "select " + "not " * d + "1",
    ],
)
def test_deepest_trees_of_each_shape_round_trip(make):
    depth, st = deepest_accepted(make)
    again = reparsed(st, "generic")
    # Compared as JSON text: Python's == recurses too deep on these trees.
    assert _sqlparse_core._to_json(again.to_dict(spans=False)) == _sqlparse_core._to_json(st.to_dict(spans=False))


def test_long_operator_chains_print_without_recursion():
    # A left-nested chain is as deep as it is long; generated SQL writes
    # thousands of OR terms.
    terms = 5000
    (st,) = parse_script("select * from t where " + " or ".join(f"a = {i}" for i in range(terms)))
    assert st.sql().count(" OR ") == terms - 1
    again = reparsed(st, "generic")
    assert _sqlparse_core._to_json(again.to_dict(spans=False)) == _sqlparse_core._to_json(st.to_dict(spans=False))
    # Deeper than a tree converts to Python: printed still, converted never.
    (st,) = parse_script("select 1" + " + 1" * 100_000)
    assert len(st.sql()) == len("SELECT 1") + 4 * 100_000
    with pytest.raises(RecursionError):
        st.to_dict()


def test_small_thread_stack_gives_an_error_not_a_crash():
    # A thread with a small stack runs out before the nesting limit: the
    # parser, the printer and the conversion must each stop with an error.
    outcome = []

    def run():
        try:
            for st in parse_script(nested(990)):
                st.sql()
                st.to_dict()
            outcome.append("ok")
        except (ParseError, RuntimeError, RecursionError) as e:
            outcome.append(type(e).__name__)

    old = threading.stack_size(256 * 1024)
    try:
        t = threading.Thread(target=run)
        t.start()
        t.join()
    finally:
        threading.stack_size(old)
    assert outcome and outcome[0] in ("ok", "ParseError", "RuntimeError", "RecursionError")


def test_bench_parse_script_counts_statements():
    texts = ["select 1; select 2", "insert into t select 3", ""]
    assert _sqlparse_core._bench_parse_script(texts, "generic") == 3
    with pytest.raises(ParseError):
        _sqlparse_core._bench_parse_script(["select from from"], "generic")
