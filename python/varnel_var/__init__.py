"""The record type of sqlparse_main: analysis state, column records, results.

A ``VarnelVar`` is a plain record whose fields are set by name. The front end
returns one per lineage triple (``database``, ``table``, ``src``, ``tgt``); the
analyser's state view and its column records use the same type.
"""

from __future__ import annotations

from typing import Any

__all__ = ["VarnelVar"]


class VarnelVar:
    """A record whose fields are given as keyword arguments.

    >>> r = VarnelVar(database="db", table="t", src="a", tgt="x")
    >>> r.table, r.get("missing")
    ('t', None)
    """

    def __init__(self, **fields: Any) -> None:
        # The keyword dict is always a fresh one, so it can become the
        # record's own field dict without a copy.
        self.__dict__ = fields

    def add(self, **fields: Any) -> None:
        """Sets every named value as a field (an existing field is replaced)."""
        self.__dict__.update(fields)

    def get(self, name: str, default: Any = None) -> Any:
        """The field ``name``, or ``default`` (None) while it is unset."""
        return self.__dict__.get(name, default)

    def to_dict(self) -> dict[str, Any]:
        """The fields as a new dict, in the order they were set."""
        return dict(self.__dict__)

    def __repr__(self) -> str:
        body = ", ".join(f"{k}={v!r}" for k, v in self.__dict__.items())
        return f"VarnelVar({body})"

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, VarnelVar):
            return NotImplemented
        return self.__dict__ == other.__dict__

    # Records hold mutable fields, so they are compared by value but not hashed.
    __hash__ = None  # type: ignore[assignment]

    def __reduce__(self):
        return (_rebuild, (self.to_dict(),))


def _rebuild(fields: dict[str, Any]) -> VarnelVar:
    return VarnelVar(**fields)
