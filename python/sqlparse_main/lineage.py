"""Full column lineage of a SQL script.

``lineage(sql)`` answers, for every statement of the script, which base-table
columns flow into each output column (and how: identity, transformation,
aggregation, window, conditional), which columns decide the rows (indirect:
join, filter, group_by, sort), and what could not be decided exactly
(warnings). ``ScriptLineage.composed`` traces through tables that earlier
statements of the same script wrote.

Every result object is immutable, hashable, compares by value, pickles and has
``to_dict()`` giving JSON-ready data.
"""

from __future__ import annotations

import sys
from dataclasses import dataclass
from typing import Any, Mapping, Optional

import _sqlparse_core

# Slots where frozen slotted dataclasses pickle (3.11 on).
_SLOTS = {"slots": True} if sys.version_info >= (3, 11) else {}

__all__ = [
    "ColumnLineage",
    "ComposedColumn",
    "LineageWarning",
    "ScriptLineage",
    "Source",
    "StatementLineage",
    "lineage",
]


@dataclass(frozen=True, **_SLOTS)
class Source:
    """A base-table column: ``kind`` says how it flows (or, indirect, how it decides rows)."""

    table: str
    column: str
    kind: str
    ambiguous: bool = False

    def to_dict(self) -> dict:
        return {"table": self.table, "column": self.column, "kind": self.kind,
                "ambiguous": self.ambiguous}


@dataclass(frozen=True, **_SLOTS)
class ColumnLineage:
    name: str
    position: int
    sources: tuple[Source, ...]

    def to_dict(self) -> dict:
        return {"name": self.name, "position": self.position,
                "sources": [s.to_dict() for s in self.sources]}


@dataclass(frozen=True, **_SLOTS)
class LineageWarning:
    code: str
    message: str
    line: int
    column: int

    def to_dict(self) -> dict:
        return {"code": self.code, "message": self.message, "line": self.line,
                "column": self.column}


@dataclass(frozen=True, **_SLOTS)
class StatementLineage:
    kind: str
    target: Optional[str]
    columns: tuple[ColumnLineage, ...]
    indirect: tuple[Source, ...]
    warnings: tuple[LineageWarning, ...]
    source_tables: tuple[str, ...]
    target_tables: tuple[str, ...]
    start: int
    end: int
    start_line: int
    start_column: int
    error: Optional[Exception] = None

    def to_dict(self) -> dict:
        return {
            "kind": self.kind,
            "target": self.target,
            "columns": [c.to_dict() for c in self.columns],
            "indirect": [s.to_dict() for s in self.indirect],
            "warnings": [w.to_dict() for w in self.warnings],
            "source_tables": list(self.source_tables),
            "target_tables": list(self.target_tables),
            "start": self.start,
            "end": self.end,
            "start_line": self.start_line,
            "start_column": self.start_column,
            "error": None if self.error is None else str(self.error),
        }


@dataclass(frozen=True, **_SLOTS)
class ComposedColumn:
    """An output column traced through tables written earlier in the script."""

    target: Optional[str]
    name: str
    sources: tuple[Source, ...]

    def to_dict(self) -> dict:
        return {"target": self.target, "name": self.name,
                "sources": [s.to_dict() for s in self.sources]}


@dataclass(frozen=True, **_SLOTS)
class ScriptLineage:
    statements: tuple[StatementLineage, ...]
    composed: tuple[ComposedColumn, ...]

    def to_dict(self) -> dict:
        return {"statements": [s.to_dict() for s in self.statements],
                "composed": [c.to_dict() for c in self.composed]}


# ---- schema shapes -----------------------------------------------------------


def _split_name(name: str) -> list[str]:
    """Name parts split on dots outside double quotes, backticks and brackets."""
    parts, part, quote = [], [], None
    closing = {'"': '"', "`": "`", "[": "]"}
    for ch in name:
        if quote:
            if ch == closing[quote]:
                quote = None
            else:
                part.append(ch)
        elif ch in closing:
            quote = ch
        elif ch == ".":
            parts.append("".join(part))
            part = []
        else:
            part.append(ch)
    parts.append("".join(part))
    return parts


def _columns(where: str, value: Any) -> Optional[list[str]]:
    """The column names of one table's entry, or None when it is a nesting level."""
    if isinstance(value, (list, tuple)):
        for c in value:
            if not isinstance(c, str):
                raise TypeError(f"schema entry {where!r}: column names must be str, "
                                f"got {type(c).__name__}")
        return list(value)
    if isinstance(value, Mapping):
        if all(isinstance(v, str) for v in value.values()):
            for c in value:
                if not isinstance(c, str):
                    raise TypeError(f"schema entry {where!r}: column names must be str, "
                                    f"got {type(c).__name__}")
            return list(value)
        if all(isinstance(v, (Mapping, list, tuple)) for v in value.values()):
            return None
        raise ValueError(f"schema entry {where!r} mixes column types and nested tables")
    raise TypeError(f"schema entry {where!r}: expected a list of columns or a mapping, "
                    f"got {type(value).__name__}")


def _schema_tables(schema: Any) -> list[tuple[list[str], list[str]]]:
    if schema is None:
        return []
    if not isinstance(schema, Mapping):
        raise TypeError(f"schema must be a mapping of table name to columns, "
                        f"got {type(schema).__name__}")
    out: list[tuple[list[str], list[str]]] = []

    def walk(prefix: list[str], mapping: Mapping, where: str) -> None:
        for key, value in mapping.items():
            if not isinstance(key, str) or not key:
                raise TypeError(f"schema entry {where + '.' if where else ''}{key!r}: "
                                f"table names must be non-empty str")
            parts = prefix + _split_name(key)
            name = ".".join(parts)
            if len(parts) > 3:
                raise ValueError(f"schema entry {name!r}: more than catalog.schema.table")
            cols = _columns(name, value)
            if cols is None:
                if len(parts) >= 3:
                    raise ValueError(f"schema entry {name!r}: nested deeper than "
                                     f"catalog.schema.table")
                walk(parts, value, name)
            else:
                out.append((parts, cols))

    walk([], schema, "")
    return out


# ---- the call ----------------------------------------------------------------


def _sources(items) -> tuple[Source, ...]:
    return tuple(Source(t, c, k, a) for t, c, k, a in items)


def lineage(sql: str, *, dialect: str = "generic", schema: Optional[Mapping] = None,
            default_catalog: Optional[str] = None, default_schema: Optional[str] = None,
            errors: str = "raise") -> ScriptLineage:
    """The column lineage of every statement of ``sql``.

    ``schema`` maps table names to their columns: ``{"db.t": ["a", "b"]}``,
    ``{"db.t": {"a": "int"}}`` or nested ``{"db": {"t": {"a": "int"}}}``.
    With ``errors="raise"`` a statement that does not parse raises ParseError;
    with ``errors="collect"`` it gets the error in its ``.error`` and the other
    statements are analysed.
    """
    if errors not in ("raise", "collect"):
        raise ValueError(f"errors must be 'raise' or 'collect', got {errors!r}")
    for label, value in (("default_catalog", default_catalog), ("default_schema", default_schema)):
        if value is not None and not isinstance(value, str):
            raise TypeError(f"{label} must be str or None, got {type(value).__name__}")
    tables = _schema_tables(schema)
    raw_statements, raw_composed = _sqlparse_core._lineage(
        sql, dialect, tables, default_catalog or "", default_schema or "", errors == "collect")
    statements = tuple(
        StatementLineage(
            kind, target,
            tuple(ColumnLineage(n, p, _sources(s)) for n, p, s in columns),
            _sources(indirect),
            tuple(LineageWarning(*w) for w in warnings),
            source_tables, target_tables, start, end, line, column, error)
        for (kind, target, columns, indirect, warnings, source_tables, target_tables, start, end,
             line, column, error) in raw_statements)
    composed = tuple(ComposedColumn(t, n, _sources(s)) for t, n, s in raw_composed)
    return ScriptLineage(statements, composed)
