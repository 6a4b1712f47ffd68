"""Timing helpers and test trees shared by the benchmark scripts."""

import time


def per_call(fn, min_time=0.3):
    """Microseconds per call of fn(), doubling the count until min_time passes."""
    n, elapsed = 1, 0.0
    while elapsed < min_time:
        start = time.perf_counter()
        for _ in range(n):
            fn()
        elapsed = time.perf_counter() - start
        n *= 2
    return elapsed / (n // 2) * 1e6


def nodes(tree):
    """The number of nodes (maps, lists and scalars) of a Python tree."""
    count, stack = 0, [tree]
    while stack:
        x = stack.pop()
        count += 1
        if isinstance(x, dict):
            stack.extend(x.values())
        elif isinstance(x, list):
            stack.extend(x)
    return count


def nested(depth):
    """A tree of `depth` sub-queries, each selecting the one below by alias."""
    tree = {"select": {"value": "a"}, "from": "db.t"}
    for i in range(depth):
        tree = {"select": {"value": f"s{i}.a"}, "from": {"value": tree, "name": f"s{i}"}}
    return tree
