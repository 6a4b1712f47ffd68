"""Errors of the lineage analysis that have a class of their own."""

from __future__ import annotations

from typing import Any

__all__ = ["UnsupportedFromShape"]

_MESSAGE = "No active exception to reraise"


class UnsupportedFromShape(RuntimeError):
    """The analysis met a FROM shape that it cannot trace.

    Raised for a node beside an alias that is neither a table name nor a
    sub-query (``.column`` is the column key, ``.node`` that node), and for a
    FROM list met by an unqualified column (``.node`` is the list). ``.line``
    is the text that the failure writes to standard output, without the line
    break: the values as ``print`` shows them, e.g. ``a ['t1', 't2']``. The
    message is the host's "No active exception to reraise".
    """

    def __init__(self, column: Any = None, node: Any = None, line: str = "") -> None:
        super().__init__(_MESSAGE)
        self.column = column
        self.node = node
        self.line = line

    def __reduce__(self):
        return (type(self), (self.column, self.node, self.line))

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        return (self.args, self.column, self.node, self.line) == (
            other.args,
            other.column,
            other.node,
            other.line,
        )

    def __hash__(self) -> int:
        return hash((type(self).__name__, self.line))

    def __repr__(self) -> str:
        return (
            f"{type(self).__name__}(column={self.column!r}, node={self.node!r}, "
            f"line={self.line!r})"
        )
