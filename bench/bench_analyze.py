"""Analyser speed: Analyze(tree).analyze_sql() calls per second on realistic
parse trees of growing size, and microseconds per tree node (flat when the
time grows linearly with the tree).

Usage: PYTHONPATH=python:<build dir> python bench/bench_analyze.py
"C++ us" is the core analyser on a tree converted once; "Python us" is the
whole Python call (conversion of the tree and of the triples included).
"""

from __future__ import annotations


import _sqlparse_core as core
from sqlparse_main import Analyze

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


def main():
    print(f"{'tree':<28}{'nodes':>7}{'triples':>8}{'C++ us':>10}{'calls/s':>10}{'ns/node':>9}{'Python us':>11}")
    for label, tree in cases():
        size = nodes(tree)
        triples = len(Analyze(tree).analyze_sql())
        repeat = max(1, 100_000 // size)
        us = core._bench_analyze(tree, repeat) / repeat * 1e6
        py_us = per_call(lambda: Analyze(tree).analyze_sql())
        print(f"{label:<28}{size:>7}{triples:>8}{us:>10.1f}{1e6 / us:>10.0f}{us * 1000 / size:>9.1f}{py_us:>11.1f}")


if __name__ == "__main__":
    main()
