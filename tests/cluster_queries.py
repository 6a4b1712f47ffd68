"""A generated query log for the cluster tests: every kind of text a real log
holds (selects, joins, CTEs, DML, scripts, parse errors, empty texts, nulls),
written as Parquet files, and the schema its tables have."""

import os
import random

SCHEMA = {f"db.t{k}": [f"c{j}" for j in range(6)] + ["id", "day"] for k in range(10)}

_TEMPLATES = [
    "select c1, c2 + 1 as x from db.t{a} where day > {n}",
    "select t.c0, u.c3 from db.t{a} t join db.t{b} u on t.id = u.id",
    "with w as (select id, sum(c4) as s from db.t{a} group by id) select * from w where s > {n}",
    "insert into db.t{b} (id, c0) select id, max(c1) from db.t{a} group by id",
    "create table tmp{n} as select id, c2 from db.t{a}; insert into db.t{b} (id, c5) select id, c2 from tmp{n}",
    "update db.t{a} set c1 = c2 where id = {n}",
    "select * from db.t{a} order by c0 limit {n}",
    "select c9, nope from db.t{a}",  # unknown columns: warnings
    "selec c1 from db.t{a}",  # parse error
    "select c1 from db.t{a}; selec; select c2 from db.t{b}",  # a script with a broken statement
    "merge into db.t{a} t using db.t{b} s on t.id = s.id when matched then update set c0 = s.c0",
    "",
    "   -- just a comment",
    None,
    "select 'naïve ☃' as label, c0 from db.t{a}",
]


def texts(count, seed=7):
    rng = random.Random(seed)
    out = []
    for i in range(count):
        template = _TEMPLATES[i % len(_TEMPLATES)] if i < len(_TEMPLATES) else rng.choice(_TEMPLATES)
        out.append(None if template is None else
                   template.format(a=rng.randrange(10), b=rng.randrange(10), n=i))
    return out


def write_log(directory, count=100_000, files=8):
    """The log as `files` Parquet files of (query_id, user, sql); returns the
    pyarrow Table it holds, in file order."""
    import pyarrow as pa
    import pyarrow.parquet as pq

    sql = texts(count)
    table = pa.table({
        "query_id": pa.array(range(count), pa.int64()),
        "user": [f"user{i % 13}" for i in range(count)],
        "sql": pa.array(sql, pa.string()),
    })
    per_file = -(-count // files)
    os.makedirs(directory, exist_ok=True)
    for k in range(files):
        pq.write_table(table.slice(k * per_file, per_file),
                       os.path.join(directory, f"part-{k:03d}.parquet"))
    return table


def sorted_rows(table):
    """The table's rows in one order whatever order they came in."""
    keys = [n for n in table.column_names if n != "warnings"]
    return table.sort_by([(n, "ascending") for n in keys])


def log_with_edges(directory):
    """Writes the log to `directory` and gives the single-process kernel's
    edges of it, sorted: what every cluster must give."""
    from sqlparse_main.arrow import lineage_edges

    table = write_log(directory)
    want = lineage_edges(table, "sql", id_cols=["query_id", "user"], schema=SCHEMA)
    return directory, sorted_rows(want)
