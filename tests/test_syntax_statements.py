"""parse_script statements: INSERT, CREATE .. AS, CREATE VIEW, MERGE, UPDATE,
DELETE and the statements kept as text, per dialect.

Each case names the statement kind and the table it writes (or the object it
makes), and where it matters the columns the tree keeps for the lineage.
"""

import pytest

from sql_parser import ParseError, parse_script


def one(sql, dialect="generic"):
    statements = parse_script(sql, dialect=dialect)
    assert len(statements) == 1, [s.kind for s in statements]
    return statements[0]


def dotted(name):
    """A name node (a list of parts, each a str or a quoted {"value": ..}) as a.b.c."""
    if name is None:
        return None
    return ".".join(p if isinstance(p, str) else p["value"] for p in name)


def part(p):
    return p if isinstance(p, str) else p["value"]


def target(tree):
    """The dotted name of what the statement writes or makes."""
    kind = tree["kind"]
    if kind == "merge":
        return dotted(tree.get("target"))
    if kind == "update":
        t = tree["target"]
        while t["type"] == "join":
            t = t["left"]
        return dotted(t.get("name"))
    if kind == "create_view":
        return dotted(tree.get("name"))
    if kind == "create_table_as" and tree["type"] == "select_statement":
        return dotted(tree["query"]["body"].get("into"))
    return dotted(tree.get("table"))


# (dialect, sql, kind, target)
KIND_CASES = [
    # queries
    ("generic", "select a from t", "select", None),
    ("generic", "(select a from t) union (select b from u)", "select", None),
    ("generic", "with c as (select 1 as x) select x from c", "select", None),
    ("generic", "values (1, 2), (3, 4)", "select", None),
    ("duckdb", "from t select a", "select", None),
    ("postgres", "table t", "select", None),
    ("duckdb", "pivot t on x using sum(y)", "select", None),
    ("duckdb", "unpivot t on a, b into name k value v", "select", None),
    ("duckdb", "with p as (pivot t on x in (1, 2) using sum(y) group by z) insert into u select * from p",
     "insert", "u"),
    ("tsql", "select a into #tmp from t", "create_table_as", "#tmp"),
    # insert
    ("ansi", "insert into sch.t (a, b) values (1, 2)", "insert", "sch.t"),
    ("ansi", "insert into t select * from u", "insert", "t"),
    ("ansi", "insert into t (select * from u)", "insert", "t"),
    ("ansi", "insert into t (a) with c as (select 1) select * from c", "insert", "t"),
    ("ansi", "with c as (select 1) insert into t select * from c", "insert", "t"),
    ("bigquery", "insert into `p.d.t` select 1", "insert", "p.d.t"),
    ("hive", "insert overwrite table db.t partition (p = '1', q) select a, b, c from u", "insert", "db.t"),
    ("hive", "insert into table t partition (p = 1) if not exists select a from u", "insert", "t"),
    ("hive", "insert overwrite local directory '/tmp/x' stored as orc select * from u", "insert", None),
    ("spark", "insert overwrite t by name select a, b from u", "insert", "t"),
    ("spark", "insert into t table u", "insert", "t"),
    ("spark", "insert into t from u select a where b > 1", "insert", "t"),
    ("spark", "insert into t partition (d = date '2019-01-02') (a, b) values (1, 2)", "insert", "t"),
    ("spark", "insert into t replace where d > '2023-01-01' select * from u", "insert", "t"),
    ("hive", "from u insert into table t select a where b = 2", "insert", "t"),
    ("mysql", "replace into t (a) values (1)", "insert", "t"),
    ("mysql", "replace low_priority t set a = 1, b = 2", "insert", "t"),
    ("mysql", "insert ignore into t values (1) on duplicate key update a = 1", "insert", "t"),
    ("mysql", "insert into t value (1, 2), (3, 4)", "insert", "t"),
    ("sqlite", "insert or replace into t (a) values (1)", "insert", "t"),
    ("sqlite", "insert into t default values returning *", "insert", "t"),
    ("sqlite", "insert into t (a) values (1) on conflict (a) do update set a = excluded.a where a < 10",
     "insert", "t"),
    ("postgres", "insert into t as x (a) values (1) returning a", "insert", "t"),
    ("tsql", "insert top (10) percent into t select * from u", "insert", "t"),
    ("tsql", "insert t with (tablock) output inserted.a, inserted.b into @v values (1, 2)", "insert", "t"),
    ("tsql", "insert into t exec p @x = 1", "insert", "t"),
    ("oracle", "insert into t@remote values (1)", "insert", "t"),
    ("oracle", "insert into t select a from u where b > 0 log errors into e ('x') reject limit 10", "insert", "t"),
    ("clickhouse", "insert into function s3('x', 'CSV') select 1", "insert", None),
    ("snowflake", "insert into identifier($t) values (1)", "insert", None),
    ("generic", "upsert into t (a) values (1)", "insert", "t"),
    ("snowflake", "insert overwrite into t select * from u", "insert", "t"),
    ("mysql", "insert into t (a) values (1) as new on duplicate key update a = new.a", "insert", "t"),
    ("postgres", "insert into t (a) overriding system value values (1)", "insert", "t"),
    # create table .. as
    ("ansi", "create table t as select a from u", "create_table_as", "t"),
    ("ansi", "create table t as (with c as (select 1) select * from c)", "create_table_as", "t"),
    ("postgres", "create temp table if not exists t as select 1 with no data", "create_table_as", "t"),
    ("postgres", "create table t with (fillfactor = 70) tablespace ts as select 1", "create_table_as", "t"),
    ("postgres", "create unlogged table t on commit drop as select 1", "create_table_as", "t"),
    ("snowflake", "create or replace transient table db.s.t as select * from u", "create_table_as", "db.s.t"),
    ("bigquery", "create or replace table d.t options (description = 'x') as (select 1)",
     "create_table_as", "d.t"),
    ("bigquery", "create table d.t like d.u as select * from d.v", "create_table_as", "d.t"),
    ("redshift", "create external table s.t partitioned by (d date) stored as parquet "
                 "location 's3://b/' as select 1", "create_table_as", "s.t"),
    ("hive", "create table t row format delimited fields terminated by ',' stored as textfile "
             "tblproperties ('a' = 'b') as select 1", "create_table_as", "t"),
    ("trino", "create table t (c1, c2) comment 'x' with (format = 'ORC') as select 1, 2",
     "create_table_as", "t"),
    ("athena", "create table t with (partitioned_by = array['d']) as select 1", "create_table_as", "t"),
    ("tsql", "create table [dbo].[t] with (distribution = hash([id]), heap) as select 1 as id",
     "create_table_as", "dbo.t"),
    ("clickhouse", "create table t (x String) engine = Memory as select 1", "create_table_as", "t"),
    ("clickhouse", "create table t on cluster c engine = MergeTree order by x as select 1 as x",
     "create_table_as", "t"),
    ("oracle", "create global temporary table t on commit preserve rows as select * from u",
     "create_table_as", "t"),
    ("databricks", "create or replace table t using delta partitioned by (d) "
                   "location '/x' as select 1 as d", "create_table_as", "t"),
    ("snowflake", "define dynamic table t target_lag = '1 day' warehouse = w as select 1",
     "create_table_as", "t"),
    ("mysql", "create table t (a int) select 1 as a", "create_table_as", "t"),
    # create view
    ("ansi", "create view v as select a from t", "create_view", "v"),
    ("ansi", "create view if not exists s.v as select 1", "create_view", "s.v"),
    ("postgres", "create or replace recursive view v (n) as select 1", "create_view", "v"),
    ("postgres", "create materialized view v using heap with (a = 1) tablespace t as (select 1) with no data",
     "create_view", "v"),
    ("postgres", "create view v with (security_barrier) as select 1 with local check option",
     "create_view", "v"),
    ("mysql", "create algorithm = merge definer = current_user sql security definer view v as select 1",
     "create_view", "v"),
    ("mysql", "create view v as (select a from t) with cascaded check option", "create_view", "v"),
    ("tsql", "create or alter view s.v with schemabinding as select 1 as x", "create_view", "s.v"),
    ("spark", "create or replace global temporary view if not exists v (id comment 'x', n) "
              "comment 'y' tblproperties ('a' = 'b') as select 1, 2", "create_view", "v"),
    ("databricks", "create or refresh private materialized view v (a string comment 'a', "
                   "constraint c expect (a is not null) on violation drop row) as select 'x' as a",
     "create_view", "v"),
    ("databricks", "create materialized view v schedule cron '0 0 * * *' at time zone 'UTC' as select 1",
     "create_view", "v"),
    ("clickhouse", "create materialized view if not exists db.mv on cluster c to db.t (a, b) "
                   "as select a, b from s", "create_view", "db.mv"),
    ("clickhouse", "create materialized view mv engine = MergeTree() order by id populate as select id from s",
     "create_view", "mv"),
    ("redshift", "create materialized view v backup yes auto refresh no as select 1", "create_view", "v"),
    ("redshift", "create view v as select * from t with no schema binding", "create_view", "v"),
    ("bigquery", "create materialized view d.v partition by date(x) cluster by y as select x, y from t",
     "create_view", "d.v"),
    ("hive", "alter view db.v as select a from db.t", "create_view", "db.v"),
    ("snowflake", "create or replace secure view v copy grants as select 1", "create_view", "v"),
    # merge
    ("ansi", "merge into t using u on t.a = u.a when matched then update set a = u.a "
             "when not matched then insert (a) values (u.a)", "merge", "t"),
    ("ansi", "with s as (select 1 as a) merge into t using s on t.a = s.a when matched then delete",
     "merge", "t"),
    ("spark", "merge into t using u on a = b when matched and a > b then update set * "
              "when not matched then insert *", "merge", "t"),
    ("spark", "merge into t using u on a = b when not matched by source then delete", "merge", "t"),
    ("databricks", "merge into t using u on a = b when matched then update set * except (c) "
                   "when not matched then insert * except (c)", "merge", "t"),
    ("snowflake", "merge into t as x using u as y on x.id = y.id when matched then update all by name "
                  "when not matched then insert all by name", "merge", "t"),
    ("postgres", "merge into t w using s on s.k = w.k when not matched by target then insert values (s.k) "
                 "when not matched by source then do nothing", "merge", "t"),
    ("bigquery", "merge d.t using d.u on t.a = u.a when not matched then insert row", "merge", "d.t"),
    ("tsql", "merge top (10) into t using s on t.a = s.a when matched then delete", "merge", "t"),
    ("tsql", "merge s.t with (holdlock) as tgt using (select @a, @b) as src (a, b) on tgt.a = src.a "
             "when matched then update set b = src.b output $action, inserted.*", "merge", "s.t"),
    ("oracle", "merge into t using u on (t.a = u.a) when matched then update set t.b = u.b "
               "where u.c = 1 delete where u.d = 2", "merge", "t"),
    # update
    ("ansi", "update t set a = 1, b = b + 1 where c = 2", "update", "t"),
    ("ansi", "update t as x set x.a = y.a from u y where x.id = y.id", "update", "t"),
    ("postgres", "update t set (a, b) = (select a, b from u where u.id = t.id)", "update", "t"),
    ("postgres", "update only t set arr[1:2] = '{1,2}' where id = 1 returning id", "update", "t"),
    ("postgres", "update t set a = default where current of c", "update", "t"),
    ("mysql", "update low_priority t set a = 7 order by id desc limit 4", "update", "t"),
    ("mysql", "update a join b on a.id = b.id set a.x = b.x where a.x is null", "update", "a"),
    ("mysql", "update a, b set a.x = b.x where a.id = b.id", "update", "a"),
    ("tsql", "update top (5) s.t set a = 1 output inserted.a into @v from s.t join u on t.id = u.id",
     "update", "s.t"),
    ("tsql", "with c as (select 1 as a) update t set a = c.a from c", "update", "t"),
    ("sparksql", "update delta.`/data/e` set a = 'x' where a = 'y'", "update", "delta./data/e"),
    ("tsql", "update t set a += 1, b -= 2", "update", "t"),
    ("tsql", "update t set @x = a = a + 1", "update", "t"),
    ("sqlite", "update or ignore t set a = 1", "update", "t"),
    # delete
    ("ansi", "delete from t where a = 1", "delete", "t"),
    ("postgres", "delete from t as x using u where x.id = u.id returning x.id", "delete", "t"),
    ("tsql", "delete t from t join u on t.id = u.id", "delete", "t"),
    ("tsql", "delete top (10) from t output deleted.* where a = 1", "delete", "t"),
    ("mysql", "delete low_priority quick ignore from t where a = 1 order by b limit 3", "delete", "t"),
    ("bigquery", "delete d.t where true", "delete", "d.t"),
    # kept as text, with the table of create table (cols)
    ("generic", "create table t (a int, b varchar(10) not null)", "other", "t"),
    ("snowflake", "create or replace table t clone u", "other", "t"),
    ("mysql", "create table t like u", "other", "t"),
    ("generic", "grant select on t to role r", "other", None),
    ("postgres", "copy (select 1) to stdout with (format csv)", "other", None),
    ("athena", "unload (select a from t) to 's3://b/' with (format = 'CSV')", "other", None),
    ("bigquery", "export data options (uri = 'gs://b/*.csv') as (select 1)", "other", None),
    ("snowflake", "copy into t from (select $1 from @s)", "other", None),
    ("tsql", "update statistics t", "other", None),
    ("oracle", "insert all into t (a) values (x) into u (b) values (y) select x, y from s", "other", None),
    ("postgres", "explain analyze select 1", "other", None),
    ("bigquery", "create or replace table function d.f(x int64) as select x", "other", None),
    ("sqlite", "create virtual table t using fts5(a)", "other", "t"),
]


@pytest.mark.parametrize("dialect, sql, kind, written", KIND_CASES)
def test_kind_and_target(dialect, sql, kind, written):
    s = one(sql, dialect)
    assert s.kind == kind
    tree = s.to_dict(spans=False)
    if kind != "select" and written is not None:
        assert target(tree) == written, tree
    # The printed statement parses back to the same tree.
    again = one(s.sql(), dialect)
    assert again.to_dict(spans=False) == tree, s.sql()


# (dialect, sql, heads): the leading words of statements kept as text.
HEAD_CASES = [
    ("generic", "create table t (a int)", ["create table"]),
    ("generic", "create or replace temporary function f() returns int as 'select 1'", ["create function"]),
    ("generic", "drop table if exists t", ["drop table"]),
    ("generic", "alter table t add column c int", ["alter table"]),
    ("generic", "grant select on t to u", ["grant"]),
    ("generic", "set x = 1; use db; show tables", ["set", "use", "show tables"]),
    ("postgres", "begin; commit", ["begin", "commit"]),
    ("postgres", "begin transaction; rollback", ["begin", "rollback"]),
    ("redshift", "end transaction", ["end"]),
    ("generic", "truncate table t", ["truncate table"]),
    ("hive", "msck repair table t", ["msck"]),
    ("spark", "refresh table t; cache table t; uncache table t", ["refresh", "cache", "uncache"]),
    ("snowflake", "undrop table t", ["undrop table"]),
    ("tsql", "exec p @a = 1; execute p", ["exec", "execute"]),
    ("tsql", "declare @x int = 1", ["declare"]),
    ("sqlite", "pragma foreign_keys = on; vacuum", ["pragma", "vacuum"]),
    ("postgres", "do $$ begin perform 1; end $$", ["do"]),
    ("mysql", "lock tables t read; unlock tables", ["lock", "unlock"]),
    ("generic", "call p(1, 2)", ["call"]),
    ("generic", "comment on table t is 'x'", ["comment"]),
    ("bigquery", "assert (select 1) = 1 as 'x'", ["assert"]),
    ("bigquery", "create temp table function f() as select 1", ["create table function"]),
    ("clickhouse", "system reload dictionaries", ["system"]),
]


@pytest.mark.parametrize("dialect, sql, heads", HEAD_CASES)
def test_other_heads(dialect, sql, heads):
    statements = parse_script(sql, dialect=dialect)
    assert [s.kind for s in statements] == ["other"] * len(heads)
    assert [s.to_dict(spans=False)["head"] for s in statements] == heads


# (dialect, script, kinds of its statements, kinds inside the first one's body)
BLOCK_CASES = [
    ("bigquery", "begin insert into t select 1; update t set a = 2 where true; end; select 1",
     ["other", "select"], ["insert", "update"]),
    ("tsql", "begin try delete from t; end try begin catch select 1; end catch",
     ["other"], ["delete", "select"]),
    ("tsql", "if @x = 1 begin update t set a = 1; end else begin insert into t values (2); end",
     ["other"], ["update", "insert"]),
    ("tsql", "create procedure p as begin set nocount on; insert into t select * from u; end; select 2",
     ["other", "select"], ["insert"]),
    ("tsql", "while @i < 10 begin set @i = @i + 1; merge into t using u on t.a = u.a "
             "when matched then delete; end", ["other"], ["merge"]),
    ("snowflake", "declare c int default 0; begin create table t as select 1 as a; "
                  "let x := 1; end; select 1", ["other", "select"], ["create_table_as"]),
    ("snowflake", "execute immediate $$ begin select 1; end $$", ["other"], []),
    ("bigquery", "if x > 1 then insert into t values (1); elseif x < 0 then select 1; "
                 "else delete from t where true; end if; select 3",
     ["other", "select"], ["insert", "select", "delete"]),
    ("bigquery", "while x < 3 do set x = x + 1; insert into t values (x); end while",
     ["other"], ["insert"]),
    ("bigquery", "loop set x = x + 1; if x > 3 then leave; end if; end loop", ["other"], []),
    ("bigquery", "for r in (select 1 as a) do insert into t values (r.a); end for", ["other"],
     ["select", "insert"]),
    ("mysql", "create procedure p() begin declare x int; repeat set x = x + 1; until x > 3 end repeat; "
              "update t set a = x; end", ["other"], ["update"]),
    ("oracle", "declare n number; begin select count(*) into n from t; "
               "if n > 0 then delete from t; end if; end;", ["other"], ["select", "delete"]),
    ("oracle", "create or replace procedure p is n number; begin insert into t values (1); end p;",
     ["other"], ["insert"]),
    ("generic", "begin select case when a then 1 else 2 end from t; end", ["other"], ["select"]),
    ("oracle", "create or replace trigger tr before insert on t for each row begin :new.a := 1; end;",
     ["other"], []),
    ("sqlite", "create trigger tr after insert on x begin update t set a = 1; "
               "insert into u values (new.a); end", ["other"], ["update", "insert"]),
    ("snowflake", "create or replace task t warehouse = w schedule = '5 minute' as insert into x select 1",
     ["other"], ["insert"]),
    # Queries inside statements kept as text are read, so the body has them.
    ("postgres", "copy (select a from t) to stdout with (format csv)", ["other"], ["select"]),
    ("athena", "unload (select a from t) to 's3://b/' with (format = 'CSV')", ["other"], ["select"]),
    ("bigquery", "export data options (uri = 'gs://b/*.csv') as (select 1)", ["other"], ["select"]),
    ("snowflake", "copy into t from (select $1 from @s)", ["other"], ["select"]),
    ("spark", "cache table t as select a from u", ["other"], ["select"]),
    ("tsql", "begin insert into t values (1) update t set a = 2 end", ["other"], ["insert", "update"]),
    # A broken inner statement does not break the block.
    ("bigquery", "begin insert into t garbage here; select 1; end", ["other"], ["select"]),
]


@pytest.mark.parametrize("dialect, sql, kinds, body", BLOCK_CASES)
def test_blocks(dialect, sql, kinds, body):
    statements = parse_script(sql, dialect=dialect)
    assert [s.kind for s in statements] == kinds
    tree = statements[0].to_dict(spans=False)
    assert [b["kind"] for b in tree.get("body", [])] == body


COLUMN_CASES = [
    # (dialect, sql, key, expected)
    ("ansi", "insert into t (a, \"B c\") select 1, 2", "columns", ["a", "B c"]),
    ("spark", "insert into t partition (p = 1, q) (a, b) values (1, 2)", "columns", ["a", "b"]),
    ("spark", "insert into t partition (p = 1, q) (a, b) values (1, 2)", "partition", ["p", "q"]),
    ("hive", "insert overwrite table t (a) partition (p) select 1, 2", "partition", ["p"]),
    ("mysql", "insert into t set a = 1, b = 2", "columns", ["a", "b"]),
    ("trino", "create table t (c1, c2) as select 1, 2", "columns", ["c1", "c2"]),
    ("spark", "create view v (a comment 'x', b) as select 1, 2", "columns", ["a", "b"]),
    ("generic", "create table t (a int primary key, b decimal(10, 2) default 0, "
                "constraint pk primary key (a), c text)", "columns", ["a", "b", "c"]),
    ("mysql", "create table t (id int, key k (id), index (id), name varchar(9))", "columns", ["id", "name"]),
    ("redshift", "create table t (like u)", "columns", []),
    ("clickhouse", "create table t (a UInt32, index i a type minmax granularity 1, "
                   "projection p (select a order by a)) engine = MergeTree order by a", "columns", ["a"]),
    ("generic", "create table t (key varchar(10), index int, value int)", "columns", ["key", "index", "value"]),
]


@pytest.mark.parametrize("dialect, sql, key, expected", COLUMN_CASES)
def test_columns(dialect, sql, key, expected):
    tree = one(sql, dialect).to_dict(spans=False)
    items = tree.get(key, [])
    if key == "partition":
        got = [part(p["column"]) for p in items]
    else:
        got = [part(c["name"]) if isinstance(c, dict) and "name" in c else part(c) for c in items]
    assert got == expected


def test_column_types_and_constraints():
    tree = one("create table t (a int not null, b varchar(10) comment 'x', c)").to_dict(spans=False)
    cols = tree["columns"]
    assert [c.get("data_type", {}).get("name") for c in cols] == ["int", "varchar", None]
    assert [c.get("constraints") for c in cols] == ["not null", "comment 'x'", None]


def test_merge_clauses():
    tree = one("merge into t using u on t.a = u.a "
               "when matched and u.d then delete "
               "when matched then update set t.b = u.b, c = 1 "
               "when not matched by source then update set x = 0 "
               "when not matched then insert (a, b) values (u.a, u.b)").to_dict(spans=False)
    clauses = tree["clauses"]
    assert [(c.get("matched", False), c.get("by"), c["action"]) for c in clauses] == [
        (True, None, "delete"), (True, None, "update"), (False, "by source", "update"),
        (False, None, "insert")]
    assert "condition" in clauses[0]
    assert [dotted(a["columns"][0]) for a in clauses[1]["set"]] == ["t.b", "c"]
    assert clauses[3]["columns"] == ["a", "b"] and len(clauses[3]["values"]) == 2


def test_update_assignments():
    tree = one("update t set (a, b) = (1, 2), c = 3", "postgres").to_dict(spans=False)
    sets = tree["set"]
    assert [[dotted(n) for n in a["columns"]] for a in sets] == [["a", "b"], ["c"]]
    assert [a.get("parenthesised", False) for a in sets] == [True, False]


@pytest.mark.parametrize("assign, op", [("+=", "+"), ("*=", "*"), ("/=", "/")])
def test_compound_assignment_is_spelled_out(assign, op):
    # T-SQL a += 1 is a = a + 1: the column also reads itself.
    value = one(f"update t set a {assign} 2", "tsql").to_dict(spans=False)["set"][0]["value"]
    assert value["type"] == "binary" and value["op"] == op
    assert dotted(value["left"]["name"]) == "a"


def test_mysql_insert_set_is_columns_and_values():
    tree = one("insert into t set a = 1, b = c + 1", "mysql").to_dict(spans=False)
    assert tree["columns"] == ["a", "b"]
    rows = tree["source"]["body"]["rows"]
    assert len(rows) == 1 and len(rows[0]["items"]) == 2


def test_hive_multi_insert_shares_from():
    # Each insert's select reads the FROM written once before them.
    # A select without WHERE before the next INSERT does not alias it.
    s = one("from u insert into table t1 select a where b = 1 "
            "insert overwrite table t2 select c insert into t3 select d", "hive")
    tree = s.to_dict(spans=False)
    assert s.kind == "other" and tree["head"] == "from insert"
    assert [dotted(b["table"]) for b in tree["body"]] == ["t1", "t2", "t3"]
    for b in tree["body"]:
        assert dotted(b["source"]["body"]["from"][0]["name"]) == "u"


def test_oracle_insert_all_body():
    # Each INTO is the insert it amounts to: its VALUES select from the query.
    tree = one("insert first when a > 1 then into t1 (x) values (a) into t2 values (a, b) "
               "else into t3 select a, b from s", "oracle").to_dict(spans=False)
    assert tree["head"] == "insert first"
    body = tree["body"]
    assert [dotted(b["table"]) for b in body] == ["t1", "t2", "t3"]
    assert body[0]["columns"] == ["x"]
    selects = [b["source"]["body"] for b in body]
    assert [len(s["items"]) for s in selects] == [1, 2, 1]
    assert selects[2]["items"][0]["expr"]["type"] == "star"
    # ELSE takes the rows no WHEN took.
    assert ["where" in s for s in selects] == [True, True, True]
    assert selects[2]["where"]["type"] == "unary" and selects[2]["where"]["op"] == "not"
    assert selects[2]["where"]["operand"] == selects[0]["where"]
    assert all(s["from"][0]["type"] == "derived_table" for s in selects)


def test_statement_spans_stop_before_semicolon():
    text = "insert into t values (1);\n  update t set a = 2 ;delete from t"
    spans = [(s.start, s.end) for s in parse_script(text)]
    assert [text[a:b] for a, b in spans] == [
        "insert into t values (1)", "update t set a = 2", "delete from t"]


@pytest.mark.parametrize("filler", ["a", "é", "€", "😀", "aé€😀\n"])
def test_spans_and_error_positions_count_characters_far_into_long_texts(filler):
    # Past several 4 KiB chunks of multi-byte characters and newlines.
    pad = "select '" + filler * 3000 + "' as x"
    text = ";\n".join([pad, "select 1", pad, "select b from t"])
    stmts = parse_script(text)
    assert [text[s.start:s.end] for s in stmts] == [pad, "select 1", pad, "select b from t"]
    bad = text + ";\nselect ) from t"
    with pytest.raises(ParseError) as err:
        parse_script(bad)
    at = bad.rindex(")")
    assert err.value.offset == at
    assert (err.value.line, err.value.column) == (bad.count("\n", 0, at) + 1,
                                                  at - bad.rfind("\n", 0, at))


def test_block_span_covers_the_block():
    text = "begin select 1; select 2; end; select 3"
    first = parse_script(text, dialect="bigquery")[0]
    assert text[first.start:first.end] == "begin select 1; select 2; end"


# (sql, the CTE's statement kind, its RETURNING items as printed, what follows them)
RETURNING_CASES = [
    ("with d as (delete from a where x > 1 returning *) insert into b select * from d",
     "delete", ["*"], None),
    ("with u as (update t set v = 1 from s where t.id = s.id returning t.id, v as val) select * from u",
     "update", ["t.id", "v AS val"], None),
    ("with i as (insert into t (a) values (1) on conflict (a) do update set a = excluded.a "
     "returning a, (select 1) as one) select a from i", "insert", ["a", "(SELECT 1) AS one"], None),
    ("with m as (merge into t using s on t.k = s.k when matched then delete returning t.k) "
     "select k from m", "merge", ["t.k"], None),
    ("with a as (select 1 as k), d as (delete from t using a where t.k = a.k returning t.k) "
     "update u set k = 0 where k in (select k from d)", "delete", ["t.k"], None),
    ("with d as (update t set a = 1 where b = 2 returning a order by a limit 1) select * from d",
     "update", ["a"], "order by a limit 1"),
]


@pytest.mark.parametrize("sql, kind, items, rest", RETURNING_CASES)
def test_data_modifying_ctes_hold_their_statement_and_returning_items(sql, kind, items, rest):
    st = one(sql, "postgres")
    tree = st.to_dict(spans=False)
    with_ = tree.get("with") or tree["query"]["with"]
    dml = [c["dml"] for c in with_["ctes"] if "dml" in c]
    assert len(dml) == 1 and dml[0]["kind"] == kind
    assert "query" not in [k for c in with_["ctes"] if "dml" in c for k in c]
    returning = dml[0]["returning"]
    assert len(returning["items"]) == len(items)
    assert ("RETURNING " + ", ".join(items)) in st.sql()
    assert returning.get("rest") == rest
    assert one(st.sql(), "postgres").to_dict(spans=False) == tree


# T-SQL OUTPUT: printed where T-SQL puts it; INTO a table or a table variable.
OUTPUT_CASES = [
    ("delete from t output deleted.a, deleted.b into archive (x, y) where t.k = 1",
     "DELETE FROM t OUTPUT deleted.a, deleted.b INTO archive (x, y) WHERE t.k = 1"),
    ("update t set a = s.b output inserted.a, deleted.a as old into @log from s where t.id = s.id",
     "UPDATE t SET a = s.b OUTPUT inserted.a, deleted.a AS old INTO @log FROM s WHERE t.id = s.id"),
    ("insert into t (a) output inserted.a into log (v) select x from src",
     "INSERT INTO t (a) OUTPUT inserted.a INTO log (v) SELECT x FROM src"),
    ("merge t using s on t.id = s.id when matched then delete output $action, deleted.id option (recompile)",
     "MERGE INTO t USING s ON t.id = s.id WHEN MATCHED THEN DELETE OUTPUT $action, deleted.id "
     "option (recompile)"),
    ("insert into tbl1 select id from (delete tbl2 output deleted.id) as x",
     "INSERT INTO tbl1 SELECT id FROM (DELETE FROM tbl2 OUTPUT deleted.id) AS x"),
    ("select n from (insert into t (a) output inserted.id as n values ('x')) as i join u on u.n = i.n",
     "SELECT n FROM (INSERT INTO t (a) OUTPUT inserted.id AS n VALUES ('x')) AS i JOIN u ON u.n = i.n"),
]


@pytest.mark.parametrize("sql, printed", OUTPUT_CASES)
def test_tsql_output_clauses(sql, printed):
    st = one(sql, "tsql")
    assert st.sql() == printed
    assert one(printed, "tsql").to_dict(spans=False) == st.to_dict(spans=False)
    assert "tail" not in st.to_dict(spans=False) or "output" not in st.to_dict(spans=False)["tail"]


@pytest.mark.parametrize("dialect, sql, kind", [
    # Oracle and MySQL select into variables, never into a table.
    ("oracle", "select a, b into v1, v2 from t", "select"),
    ("oracle", "select a bulk collect into va from t", "select"),
    ("mysql", "select a into v from t", "select"),
    ("tsql", "select a into t2 from t", "create_table_as"),
    ("postgres", "select a into temp t2 from t", "create_table_as"),
])
def test_select_into_tables_or_variables(dialect, sql, kind):
    assert one(sql, dialect).kind == kind


def test_returning_is_parsed_not_kept_as_text():
    tree = one("insert into t values (1) returning id into :v", "oracle").to_dict(spans=False)
    assert "tail" not in tree
    assert tree["returning"]["items"][0]["expr"] == {"type": "column", "name": ["id"]}
    assert tree["returning"]["rest"] == "into :v"


REJECTED = [
    ("generic", "frobnicate the table"),
    ("generic", "insert into"),
    ("generic", "insert into t (a"),
    ("generic", "insert into t 42"),
    ("generic", "insert or sideways into t values (1)"),
    ("generic", "merge into t using u on a = b"),
    ("generic", "merge into t using u on a = b when matched then frobnicate"),
    ("generic", "update t set"),
    ("generic", "update t set a"),
    ("generic", "update t where a = 1"),
    ("generic", "delete from"),
    ("generic", "create table t as"),
    ("generic", "create table t as (select 1"),
    ("generic", "create view v as select 1 select 2"),
    ("generic", "create banana t"),
    ("generic", "drop x"),
    ("generic", "end nonsense"),
    ("generic", "set = 1"),
    ("bigquery", "begin select 1;"),
    ("bigquery", "if x then select 1;"),
    ("generic", "create table t (a int"),
    ("generic", "grant select on t to u)"),
    ("generic", "merge t"),
    # A lexer error inside text kept as Raw is still an error.
    ("generic", "grant select on t to 'abc"),
    ("generic", "insert into t values (1) returning 'x"),
    ("postgres", "insert into t values (1) returning"),
    ("postgres", "with d as (delete from t returning) select * from d"),
    ("postgres", "with d as (delete from t returning a select * from d"),
    ("postgres", "with d as (create table x as select 1) select * from d"),
    ("generic", "set x = 1 /* not closed"),
    ("hive", "insert overwrite local directory '/x select 1"),
    ("generic", "create table t (a int, b int default 'x"),
    ("oracle", "insert all select 1 from dual"),
    ("oracle", "insert all into t values (1)"),
]


@pytest.mark.parametrize("dialect, sql", REJECTED)
def test_rejected(dialect, sql):
    with pytest.raises(ParseError):
        parse_script(sql, dialect=dialect)


def test_deep_blocks_raise_not_crash():
    deep = "begin " * 3000 + "select 1; " + "end; " * 3000
    statements = parse_script(deep, dialect="bigquery")
    assert statements[0].kind == "other"
    nested = "begin insert into t select 1 from (" * 1200
    with pytest.raises(ParseError):
        parse_script(nested, dialect="bigquery")
