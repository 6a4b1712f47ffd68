"""Path query speed on large trees: microseconds per query in C++ alone (the
tree converted once; "us/query", "ns/node") and through the Python find
("py find us", which converts the tree and the matches on every call).

Usage: PYTHONPATH=python:<build dir> python bench/bench_find.py
The time per node should stay flat as the trees grow (linear growth).
"""

from __future__ import annotations


import _sqlparse_core as core
from sqlparse_main import find

from _timing import nested, nodes, per_call


def wide(columns):
    return {"select": [{"value": f"t.c{i}", "name": f"n{i}"} for i in range(columns)], "from": {"value": "db.t", "name": "t"}}


def main():
    print(f"{'tree':<22}{'nodes':>8}{'path':>18}{'matches':>9}{'us/query':>11}{'ns/node':>9}{'py find us':>12}")
    for label, tree in [(f"select list {n}", wide(n)) for n in (250, 500, 1000, 2000)] + [
        (f"nested {d}", nested(d)) for d in (25, 50, 100, 200)
    ]:
        size = nodes(tree)
        for path in ("$.select..value", "$..from..name"):
            matches = len(find(tree, path))
            repeat = max(1, 200_000 // size)
            us = core._bench_find(tree, path, repeat) / repeat * 1e6
            py_us = per_call(lambda: find(tree, path))
            print(f"{label:<22}{size:>8}{path:>18}{matches:>9}{us:>11.1f}{us * 1000 / size:>9.1f}{py_us:>12.1f}")


if __name__ == "__main__":
    main()
