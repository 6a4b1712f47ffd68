"""Shared helpers of the parser tests."""

from sql_parser import parse


def same(a, b):
    """Equal with equal types and key order (True is not 1, 1 is not 1.0)."""
    if type(a) is not type(b):
        return False
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(map(same, a, b))
    return a == b


def expr(sql):
    """The tree of one select-list expression."""
    return parse("select " + sql)["select"]["value"]
