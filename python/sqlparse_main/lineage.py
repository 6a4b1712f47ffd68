"""Full column lineage of a SQL script.

``lineage(sql)`` answers, for every statement of the script, which base-table
columns flow into each output column (and how: identity, transformation,
aggregation, window, conditional), which columns decide the rows (indirect:
join, filter, group_by, sort), and what could not be decided exactly
(warnings). ``ScriptLineage.composed`` traces through tables that earlier
statements of the same script wrote.

Every result object is immutable, hashable, compares by value, pickles and has
``to_dict()`` giving JSON-ready data; ``ScriptLineage.to_openlineage()`` gives
the OpenLineage column-lineage facets and ``ScriptLineage.to_html()`` an
interactive page (``sqlparse_main.lineage_html`` for many results).
``Schema`` converts a schema mapping once for many calls, and
``lineage_many`` analyses many scripts on worker threads.
"""

from __future__ import annotations

import sys
from dataclasses import dataclass
from typing import Any, Iterable, List, Mapping, Optional, Union

import _sqlparse_core

from ._threads import thread_count

# Slots where frozen slotted dataclasses pickle (3.11 on).
_SLOTS = {"slots": True} if sys.version_info >= (3, 11) else {}

__all__ = [
    "ColumnLineage",
    "ComposedColumn",
    "LineageWarning",
    "Schema",
    "ScriptLineage",
    "Source",
    "StatementLineage",
    "lineage",
    "lineage_many",
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

    def to_openlineage(self, namespace: str = "default") -> dict:
        """Per target table, its OpenLineage ``columnLineage`` dataset facet as
        plain data: ``{target: {"fields": {column: {"inputFields": [...]}}}}``.

        Each input field names a source column (``namespace``, ``name`` the
        table, ``field`` the column) with its transformations: how the value
        flows (DIRECT: IDENTITY, TRANSFORMATION, AGGREGATION) or what else it
        decides (INDIRECT: CONDITIONAL, WINDOW, and for the statement's
        indirect columns JOIN, FILTER, GROUP_BY, SORT). Statements without a
        target table, or that did not parse, give nothing; several statements
        writing the same table add to its fields.
        """
        if not isinstance(namespace, str):
            raise TypeError(f"namespace must be str, got {type(namespace).__name__}")
        targets: dict = {}
        for st in self.statements:
            if st.target is None or st.error is not None:
                continue
            fields = targets.setdefault(st.target, {})
            indirect = [_openlineage_input(namespace, s) for s in st.indirect]
            for col in st.columns:
                inputs = fields.setdefault(col.name, {"inputFields": []})["inputFields"]
                for item in [_openlineage_input(namespace, s) for s in col.sources] + indirect:
                    if item not in inputs:
                        inputs.append(item)
        return {target: {"fields": fields} for target, fields in targets.items()}

    def to_html(self, sql: Optional[str] = None, *, name: str = "query",
                title: str = "Column lineage") -> str:
        """One self-contained, interactive HTML page of this lineage (see
        ``sqlparse_main.lineage_html``, which takes many results). ``sql`` is
        the analysed text, to show each statement's SQL; ``name`` names the
        script (a bare query's box is ``<name>:<statement>``)."""
        from .view.html import lineage_html

        return lineage_html([self], [name], None if sql is None else [sql], title)


# Our kinds as OpenLineage transformation (type, subtype).
_OPENLINEAGE_KINDS = {
    "identity": ("DIRECT", "IDENTITY"),
    "transformation": ("DIRECT", "TRANSFORMATION"),
    "aggregation": ("DIRECT", "AGGREGATION"),
    "conditional": ("INDIRECT", "CONDITIONAL"),
    "window": ("INDIRECT", "WINDOW"),
    "join": ("INDIRECT", "JOIN"),
    "filter": ("INDIRECT", "FILTER"),
    "group_by": ("INDIRECT", "GROUP_BY"),
    "sort": ("INDIRECT", "SORT"),
}


def _openlineage_input(namespace: str, source: Source) -> dict:
    kind, subtype = _OPENLINEAGE_KINDS[source.kind]
    return {"namespace": namespace, "name": source.table, "field": source.column,
            "transformations": [{"type": kind, "subtype": subtype}]}


# The binding makes the instances of these classes itself, field by field
# (no __init__ call per object).
_sqlparse_core._lineage_classes((Source, ColumnLineage, LineageWarning, StatementLineage,
                                 ComposedColumn, ScriptLineage))


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


def _check_defaults(default_catalog: Any, default_schema: Any) -> None:
    for label, value in (("default_catalog", default_catalog), ("default_schema", default_schema)):
        if value is not None and not isinstance(value, str):
            raise TypeError(f"{label} must be str or None, got {type(value).__name__}")


def _core_schema(mapping: Any, default_catalog: Optional[str],
                 default_schema: Optional[str]) -> "_sqlparse_core._LineageSchema":
    catalog, db = default_catalog or "", default_schema or ""
    # Plain dicts convert in C++; anything else (or anything wrong, for the
    # error's wording) takes the walk above.
    core = _sqlparse_core._lineage_schema(mapping, catalog, db)
    if core is None:
        core = _sqlparse_core._LineageSchema(_schema_tables(mapping), catalog, db)
    return core


class Schema:
    """The columns of base tables, converted once for many ``lineage()`` calls.

    ``mapping`` takes the shapes that ``lineage(schema=...)`` takes. The object
    is immutable: it holds a copy, so changing the mapping afterwards changes
    nothing. ``default_catalog`` and ``default_schema`` fill the missing leading
    parts of table names, as the same arguments of ``lineage()`` do.
    """

    __slots__ = ("_core", "_default_catalog", "_default_schema")

    def __init__(self, mapping: Mapping, *, default_catalog: Optional[str] = None,
                 default_schema: Optional[str] = None) -> None:
        _check_defaults(default_catalog, default_schema)
        if mapping is None:
            mapping = {}
        set_ = object.__setattr__
        set_(self, "_core", _core_schema(mapping, default_catalog, default_schema))
        set_(self, "_default_catalog", default_catalog)
        set_(self, "_default_schema", default_schema)

    @property
    def default_catalog(self) -> Optional[str]:
        return self._default_catalog

    @property
    def default_schema(self) -> Optional[str]:
        return self._default_schema

    def __len__(self) -> int:
        return len(self._core)

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError("Schema is immutable")

    def __delattr__(self, name: str) -> None:
        raise AttributeError("Schema is immutable")

    def __reduce__(self):
        raise TypeError("Schema does not pickle; pickle the mapping it was made from")

    def __repr__(self) -> str:
        n = len(self)
        return (f"Schema(<{n} table{'' if n == 1 else 's'}>, "
                f"default_catalog={self._default_catalog!r}, "
                f"default_schema={self._default_schema!r})")


_NO_SCHEMA = _sqlparse_core._LineageSchema([], "", "")


def _schema_for_call(schema: Any, default_catalog: Optional[str],
                     default_schema: Optional[str]) -> "_sqlparse_core._LineageSchema":
    if isinstance(schema, Schema):
        for label, given, held in (("default_catalog", default_catalog, schema.default_catalog),
                                   ("default_schema", default_schema, schema.default_schema)):
            if given is not None and given != held:
                raise ValueError(f"{label}={given!r} differs from the Schema's {held!r}; "
                                 f"give it to Schema() instead")
        return schema._core
    if schema is None:
        return _NO_SCHEMA  # with no tables the defaults decide nothing
    if not isinstance(schema, Mapping):
        raise TypeError(f"schema must be a mapping of table name to columns, "
                        f"got {type(schema).__name__}")
    return _core_schema(schema, default_catalog, default_schema)


# ---- the call ----------------------------------------------------------------


def lineage(sql: str, *, dialect: str = "generic", schema: Union[Schema, Mapping, None] = None,
            default_catalog: Optional[str] = None, default_schema: Optional[str] = None,
            errors: str = "raise") -> ScriptLineage:
    """The column lineage of every statement of ``sql``.

    ``schema`` maps table names to their columns: ``{"db.t": ["a", "b"]}``,
    ``{"db.t": {"a": "int"}}`` or nested ``{"db": {"t": {"a": "int"}}}``; or it
    is a ``Schema`` made once from such a mapping (faster over many calls).
    With ``errors="raise"`` a statement that does not parse raises ParseError;
    with ``errors="collect"`` it gets the error in its ``.error`` and the other
    statements are analysed.
    """
    if errors not in ("raise", "collect"):
        raise ValueError(f"errors must be 'raise' or 'collect', got {errors!r}")
    _check_defaults(default_catalog, default_schema)
    collect = errors == "collect"
    if type(schema) is dict:
        # Converted in C++, each table only if the text names it.
        result = _sqlparse_core._lineage_dict(sql, dialect, schema, default_catalog or "",
                                              default_schema or "", collect)
        if result is not None:
            return result
    core = _schema_for_call(schema, default_catalog, default_schema)
    return _sqlparse_core._lineage(sql, dialect, core, collect)


def lineage_many(sqls: Iterable[str], *, threads: Optional[int] = None, dialect: str = "generic",
                 schema: Union[Schema, Mapping, None] = None,
                 default_catalog: Optional[str] = None,
                 default_schema: Optional[str] = None) -> List[ScriptLineage]:
    """The column lineage of each script of ``sqls``, in input order.

    Each item is what ``lineage(sql, errors="collect", ...)`` gives for that
    script. The scripts are parsed and analysed on ``threads`` worker threads
    (default: ``os.cpu_count()``; at most four per core are started) with the
    GIL released. The schema is converted once for the whole batch.
    """
    threads = thread_count(threads)
    items = list(sqls)
    for i, item in enumerate(items):
        if not isinstance(item, str):
            raise TypeError(f"sqls[{i}] must be str, got {type(item).__name__}")
    _check_defaults(default_catalog, default_schema)
    core = _schema_for_call(schema, default_catalog, default_schema)
    return _sqlparse_core._lineage_many(items, dialect, core, threads)
