"""Analyser speed: Analyze(tree).analyze_sql() calls per second on realistic
parse trees of growing size, and microseconds per tree node (flat when the
time grows linearly with the tree).

Usage: PYTHONPATH=python:<build dir> python bench/bench_analyze.py
"C++ us" is the core analyser on a tree converted once; "Python us" is the
whole Python call (conversion of the tree and of the triples included).

A second table times sub-queries nested 50 to 400 deep on every path: the
core alone, the Python tree path (Analyze(tree).analyze_sql() on a parse()
tree) and the text path (VarnelParseMain()._parse_sql), each with its ratio
to 50 levels (8 for linear growth). "same alias" nests
`select a from (...) x` with one alias and unqualified columns; "own
aliases" is nested() with qualified columns.
"""

from __future__ import annotations


import _sqlparse_core as core
from sqlparse_main import Analyze, VarnelParseMain, parse

from _timing import nested, nodes, per_call


def single(columns):
    return {
        "select": [{"value": f"o.c{i}", "name": f"n{i}"} if i % 3 else {"value": f"o.c{i}"} for i in range(columns)],
        "from": {"value": "sales.orders", "name": "o"},
        "where": {"eq": ["o.status", {"literal": "PAID"}]},
    }


def subquery(columns):
    inner = {"select": [{"value": f"c{i}"} for i in range(columns)], "from": "db.t"}
    return {"select": [{"value": f"s.c{i}", "name": f"x{i}"} for i in range(columns)], "from": {"value": inner, "name": "s"}}


def union(branches, columns=5):
    return {"union_all": [{"select": [{"value": f"c{i}"} for i in range(columns)], "from": f"db.t{b}"} for b in range(branches)]}


def cases():
    yield "single table, 3 columns", single(3)
    yield "sub-query, 3 columns", subquery(3)
    yield "union of 2 branches", union(2, 2)
    for n in (100, 500, 2000):
        yield f"single table, {n} columns", single(n)
    for n in (100, 500, 2000):
        yield f"sub-query, {n} columns", subquery(n)
    for n in (10, 50, 200):
        yield f"union of {n} branches", union(n)
    for n in (25, 50, 100, 200):
        yield f"{n} nested sub-queries", nested(n)


def nested_text(depth, same_alias):
    """Query text of `depth` nested sub-queries (the shape of nested() when
    not `same_alias`)."""
    sql = "select a from db.t"
    for i in range(depth):
        sql = f"select a from ({sql}) x" if same_alias else f"select s{i}.a from ({sql}) s{i}"
    return sql


def depth_table():
    print()
    print(f"{'nesting':<16}{'depth':>6}{'C++ us':>10}{'x':>6}{'tree us':>10}{'x':>6}{'text us':>10}{'x':>6}")
    for label, same_alias in (("same alias", True), ("own aliases", False)):
        base = None
        for depth in (50, 100, 200, 400):
            sql = nested_text(depth, same_alias)
            tree = parse(sql)
            repeat = max(1, 20_000 // nodes(tree))
            # Best of five short runs: the ratios mean little on a busy machine.
            times = (
                min(core._bench_analyze(tree, repeat) / repeat * 1e6 for _ in range(5)),
                min(per_call(lambda: Analyze(tree).analyze_sql(), 0.06) for _ in range(5)),
                min(per_call(lambda: VarnelParseMain()._parse_sql(sql), 0.06) for _ in range(5)),
            )
            base = base or times
            cells = "".join(f"{t:>10.0f}{t / b:>6.1f}" for t, b in zip(times, base))
            print(f"{label:<16}{depth:>6}{cells}")


def main():
    print(f"{'tree':<28}{'nodes':>7}{'triples':>8}{'C++ us':>10}{'calls/s':>10}{'ns/node':>9}{'Python us':>11}")
    for label, tree in cases():
        size = nodes(tree)
        triples = len(Analyze(tree).analyze_sql())
        repeat = max(1, 100_000 // size)
        us = core._bench_analyze(tree, repeat) / repeat * 1e6
        py_us = per_call(lambda: Analyze(tree).analyze_sql())
        print(f"{label:<28}{size:>7}{triples:>8}{us:>10.1f}{1e6 / us:>10.0f}{us * 1000 / size:>9.1f}{py_us:>11.1f}")
    depth_table()


if __name__ == "__main__":
    main()
