"""End-to-end throughput of ``VarnelParseMain()._parse_sql``.

Prints three tables:

1. queries per second and microseconds per query on realistic queries
   (single table, sub-queries, unions), against sqlglot's column lineage of
   every output column of the same queries when sqlglot is importable;
2. time against select-list width (10 to 2,000 columns);
3. time against sub-query nesting depth (10 to 200 levels).

Tables 2 and 3 show whether the time grows linearly with the query's size:
the last column is the time per column or per level, which stays flat when
the growth is linear.

Run (sqlglot only in a benchmark environment, never a dependency):

    python -m venv /tmp/benchvenv && /tmp/benchvenv/bin/pip install sqlglot
    PYTHONPATH=python:build/dev /tmp/benchvenv/bin/python bench/bench_parse_sql.py
"""

from __future__ import annotations

import argparse
import time

from sqlparse_main import VarnelParseMain

REALISTIC = {
    "single table": [
        "select order_id, customer_id, amount from sales.orders where amount > 100",
        "select customer_id, sum(amount) as total, count(*) as n from sales.orders "
        "where order_ts >= '2023-01-01' group by customer_id having sum(amount) > 1000 "
        "order by total desc limit 100",
        "select /*+ MAPJOIN(b) */ uid, city, country from dim.user_geo -- enrich\nwhere city is not null",
        "SELECT device_id, max(temperature) AS max_temp, avg(humidity) AS avg_hum "
        "FROM iot.sensor_readings GROUP BY device_id",
    ],
    "sub-query": [
        "select s.a as x, s.b from (select a, b from db.t where c = 1) s",
        "select o.order_id, o.total from (select order_id, sum(amount) as total "
        "from sales.order_items group by order_id) o where o.total > 10",
        "select s.* from (select order_id, amount, status from sales.orders) s",
        "select u.id, u.name from (select v.id, v.name from (select id, name from crm.users) v) u",
    ],
    "union": [
        "select user_id from app.events union all select user_id from web.page_views",
        "select a, b from db.t1 union select a, b from db.t2 union select a, b from db.t3",
        "select id from (select id from s1.t union all select id from s2.t) x order by id",
    ],
}


def _time_per_call(func, items, min_seconds):
    """Seconds per call of func(item), over repeated passes for min_seconds."""
    calls = 0
    start = time.perf_counter()
    while True:
        for item in items:
            func(item)
        calls += len(items)
        elapsed = time.perf_counter() - start
        if elapsed >= min_seconds:
            return elapsed / calls


def _sqlglot_lineage():
    try:
        import sqlglot
        from sqlglot.lineage import lineage
    except ImportError:
        return None

    def all_columns(sql):
        # Parsed once; then the lineage of every output column, no schema.
        expression = sqlglot.parse_one(sql)
        for column in expression.named_selects:
            lineage(column, expression, None)

    return all_columns


def _check(func, queries):
    ok = []
    for q in queries:
        try:
            func(q)
            ok.append(q)
        except Exception:
            pass
    return ok


def realistic_table(seconds):
    front = VarnelParseMain()
    glot = _sqlglot_lineage()
    print("## Realistic queries (one core)")
    print()
    header = "| kind | queries | _parse_sql q/s | µs/query |"
    rule = "|---|---:|---:|---:|"
    if glot:
        header += " sqlglot.lineage µs/query | speed-up |"
        rule += "---:|---:|"
    print(header)
    print(rule)
    all_queries = [q for qs in REALISTIC.values() for q in qs]
    for kind, queries in list(REALISTIC.items()) + [("all", all_queries)]:
        ours = _time_per_call(front._parse_sql, queries, seconds)
        row = f"| {kind} | {len(queries)} | {1 / ours:,.0f} | {ours * 1e6:.1f} |"
        if glot:
            usable = _check(glot, queries)
            if usable:
                ours_same = _time_per_call(front._parse_sql, usable, seconds)
                theirs = _time_per_call(glot, usable, seconds)
                row += f" {theirs * 1e6:,.0f} | {theirs / ours_same:,.0f}x |"
            else:
                row += " n/a | n/a |"
        print(row)
    print()


def width_table(seconds):
    front = VarnelParseMain()
    print("## Select-list width (time should grow linearly)")
    print()
    print("| columns | µs/query | µs/column |")
    print("|---:|---:|---:|")
    for n in (10, 100, 500, 1000, 2000):
        cols = ", ".join(f"c{i}" for i in range(n))
        sql = f"select {cols} from db.wide"
        assert len(front._parse_sql(sql)) == n
        t = _time_per_call(front._parse_sql, [sql], seconds)
        print(f"| {n} | {t * 1e6:,.1f} | {t * 1e6 / n:.2f} |")
    print()


def depth_table(seconds):
    front = VarnelParseMain()
    print("## Sub-query nesting depth (time should grow linearly)")
    print()
    print("| levels | µs/query | µs/level |")
    print("|---:|---:|---:|")
    for n in (10, 50, 100, 200):
        sql = "select a from db.t"
        for i in range(n):
            sql = f"select s{i}.a from ({sql}) s{i}"
        (record,) = front._parse_sql(sql)
        assert (record.database, record.table, record.src) == ("db", "t", "a")
        t = _time_per_call(front._parse_sql, [sql], seconds)
        print(f"| {n} | {t * 1e6:,.1f} | {t * 1e6 / n:.2f} |")
    print()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seconds", type=float, default=1.0, help="minimum time per measurement")
    args = ap.parse_args()
    realistic_table(args.seconds)
    width_table(args.seconds)
    depth_table(args.seconds)


if __name__ == "__main__":
    main()
