"""Column lineage of Arrow data: a table of SQL texts in, a table of edges out.

``lineage_edges(data, "sql")`` analyses every text of a string column, each
as a script (statement errors collected), and returns one row per lineage
edge. The texts are read from the Arrow buffers in C++ and analysed on worker
threads with the GIL released; the edges come back as Arrow arrays built in
C++, so no Python object is made per text or per edge.

Rows of the result (``edge_schema()`` gives its types):

- the ``id_cols`` of the input row the text came from, as given;
- ``statement``: the statement's number in its text, from 0;
- ``statement_kind``: select, insert, create_table_as, create_view, merge,
  update, delete or other;
- ``target_table``, ``target_column`` and ``source_table``,
  ``source_column``, with ``kind`` saying how the source flows (identity,
  transformation, aggregation, window, conditional) or decides the rows
  (join, filter, group_by, sort);
- ``edge``: ``direct`` (an output column's source), ``indirect`` (a column
  deciding the rows: no target column, it decides every one) or ``composed``
  (traced through a table an earlier statement of the same text wrote);
- ``ambiguous``: one of several candidates of an unresolved name;
- ``warnings``: the codes of the statement's warnings;
- ``error``: null, or why the statement (or the whole text) was not analysed.

A statement that gives no edge still gives one row, with its kind, target
and warnings and nulls for the edge. A statement that does not parse gives
one row with its error; a text that cannot be analysed at all (not UTF-8,
over 1 GiB) gives one row with its error and no statement number. A null or
empty text gives no rows. Nothing raises for a bad text.

pyarrow (14 or later) is needed: ``pip install 'sqlparse_main[arrow]'``.
"""

from __future__ import annotations

from typing import Any, Iterable, Iterator, List, Mapping, Optional, Sequence, Tuple, Union

import _sqlparse_core

from ._threads import thread_count
from .lineage import Schema, _schema_for_call

__all__ = ["EDGE_COLUMNS", "edge_schema", "iter_lineage_edges", "lineage_edges"]

# The edge table's own columns, after the id columns.
EDGE_COLUMNS: Tuple[str, ...] = (
    "statement", "statement_kind", "target_table", "target_column", "source_table",
    "source_column", "kind", "edge", "ambiguous", "warnings", "error",
)

# Texts analysed per call into the core: enough to keep every thread busy,
# few enough that the edges of one call stay a modest batch.
_GROUP_ROWS = 16384
_GROUP_BYTES = 64 << 20


def _pyarrow() -> Any:
    try:
        import pyarrow
    except ImportError as e:  # pragma: no cover - depends on the environment
        raise ImportError("sqlparse_main.arrow needs pyarrow: "
                          "pip install 'sqlparse_main[arrow]'") from e
    return pyarrow


def edge_schema(id_fields: Sequence[Any] = ()) -> Any:
    """The ``pyarrow.Schema`` of the edge table, after the given id fields."""
    pa = _pyarrow()
    s = pa.string()
    return pa.schema(list(id_fields) + [
        pa.field("statement", pa.int32()),
        pa.field("statement_kind", s),
        pa.field("target_table", s),
        pa.field("target_column", s),
        pa.field("source_table", s),
        pa.field("source_column", s),
        pa.field("kind", s),
        pa.field("edge", s),
        pa.field("ambiguous", pa.bool_()),
        pa.field("warnings", pa.list_(s)),
        pa.field("error", s),
    ])


class _Exported:
    """A (schema, array) capsule pair from the core, for ``pyarrow.record_batch``."""

    __slots__ = ("_pair",)

    def __init__(self, pair: Tuple[Any, Any]) -> None:
        self._pair = pair

    def __arrow_c_array__(self, requested_schema: Any = None) -> Tuple[Any, Any]:
        return self._pair


def _batches_of(data: Any) -> Tuple[Any, Iterable[Any]]:
    """The schema and record batches of any Arrow tabular input."""
    pa = _pyarrow()
    if isinstance(data, pa.Table):
        return data.schema, data.to_batches()
    if isinstance(data, pa.RecordBatch):
        return data.schema, [data]
    if isinstance(data, pa.RecordBatchReader):
        return data.schema, data
    if hasattr(data, "__arrow_c_stream__"):
        reader = pa.RecordBatchReader.from_stream(data)
        return reader.schema, reader
    if hasattr(data, "__arrow_c_array__"):
        batch = pa.record_batch(data)
        return batch.schema, [batch]
    raise TypeError(f"expected a pyarrow Table, RecordBatch or RecordBatchReader, or an object "
                    f"with __arrow_c_stream__, got {type(data).__name__}")


def _check_columns(names: Sequence[str], sql_col: Any, id_cols: Any) -> Tuple[str, ...]:
    if not isinstance(sql_col, str):
        raise TypeError(f"sql_col must be str, got {type(sql_col).__name__}")
    if isinstance(id_cols, str):
        raise TypeError("id_cols must be a sequence of column names, not one str "
                        f"(did you mean id_cols=[{id_cols!r}]?)")
    ids = tuple(id_cols)
    for c in ids:
        if not isinstance(c, str):
            raise TypeError(f"id_cols must hold str, got {type(c).__name__}")
    for c in (sql_col,) + ids:
        if c not in names:
            raise KeyError(f"no column {c!r} in the input; it has {list(names)}")
    if len(set(ids)) != len(ids):
        raise ValueError(f"id_cols names a column twice: {list(ids)}")
    clash = [c for c in ids if c in EDGE_COLUMNS]
    if clash:
        raise ValueError(f"id_cols {clash} clash with the edge table's own columns")
    return ids


def _text_column(column: Any, sql_col: str) -> Any:
    """The column as one of the string types the core reads in place."""
    pa = _pyarrow()
    t = column.type
    is_view = getattr(pa.types, "is_string_view", lambda _: False)
    if pa.types.is_string(t) or pa.types.is_large_string(t) or is_view(t):
        return column
    if pa.types.is_null(t) or (pa.types.is_dictionary(t) and (
            pa.types.is_string(t.value_type) or pa.types.is_large_string(t.value_type))):
        return column.cast(pa.large_string())
    raise TypeError(f"column {sql_col!r} must hold strings, got Arrow type {t}")


def _groups(batches: Iterable[Any]) -> Iterator[Any]:
    """The input again as batches of about _GROUP_ROWS rows: small ones joined,
    big ones sliced (without copying)."""
    pa = _pyarrow()
    pending: List[Any] = []
    rows = nbytes = 0
    for batch in batches:
        for start in range(0, batch.num_rows, _GROUP_ROWS):
            part = batch.slice(start, _GROUP_ROWS)
            pending.append(part)
            rows += part.num_rows
            nbytes += part.nbytes
            if rows >= _GROUP_ROWS or nbytes >= _GROUP_BYTES:
                yield _joined(pa, pending)
                pending, rows, nbytes = [], 0, 0
    if pending:
        yield _joined(pa, pending)


def _joined(pa: Any, batches: List[Any]) -> Any:
    if len(batches) == 1:
        return batches[0]
    return pa.Table.from_batches(batches).combine_chunks().to_batches()[0]


def _check_dialect(dialect: str, core_schema: Any) -> Any:
    """Raises for a bad dialect now, not at the first batch."""
    pa = _pyarrow()
    if not isinstance(dialect, str):
        raise TypeError(f"dialect must be str, got {type(dialect).__name__}")
    _sqlparse_core._arrow_lineage_edges(pa.array([], pa.string()), dialect, core_schema, 1)
    return core_schema


def _edge_batches(schema: Any, batches: Iterable[Any], sql_col: str, ids: Tuple[str, ...],
                  dialect: str, core_schema: Any, threads: int) -> Iterator[Any]:
    pa = _pyarrow()
    out_schema = edge_schema([schema.field(c) for c in ids])
    for batch in _groups(batches):
        if batch.num_rows == 0:
            continue
        texts = _text_column(batch.column(sql_col), sql_col)
        for pair in _sqlparse_core._arrow_lineage_edges(texts, dialect, core_schema, threads):
            edges = pa.record_batch(_Exported(pair))
            if edges.num_rows == 0:
                continue
            rows = edges.column(0)
            columns = [batch.column(c).take(rows) for c in ids] + edges.columns[1:]
            yield pa.RecordBatch.from_arrays(columns, schema=out_schema)


def iter_lineage_edges(data: Any, sql_col: str = "sql", *, id_cols: Sequence[str] = (),
                       dialect: str = "generic", schema: Union[Schema, Mapping, None] = None,
                       threads: Optional[int] = None) -> Iterator[Any]:
    """As ``lineage_edges``, batch by batch: reads a stream of input batches
    lazily and yields ``pyarrow.RecordBatch`` es of edges, so that memory stays
    bounded whatever the length of the input."""
    threads = thread_count(threads)
    in_schema, batches = _batches_of(data)
    ids = _check_columns(in_schema.names, sql_col, id_cols)
    core_schema = _check_dialect(dialect, _schema_for_call(schema, None, None))
    return _edge_batches(in_schema, batches, sql_col, ids, dialect, core_schema, threads)


def lineage_edges(data: Any, sql_col: str = "sql", *, id_cols: Sequence[str] = (),
                  dialect: str = "generic", schema: Union[Schema, Mapping, None] = None,
                  threads: Optional[int] = None) -> Any:
    """The lineage edges of every SQL text in column ``sql_col`` of ``data``.

    ``data`` is a ``pyarrow.Table``, ``RecordBatch``, ``RecordBatchReader``
    or any object with ``__arrow_c_stream__`` (Polars, DuckDB, pandas with
    pyarrow...). ``id_cols`` name input columns copied onto each edge row to
    say where it came from. ``schema`` and ``dialect`` are as for
    ``lineage()``; ``threads`` defaults to one per core. Returns a
    ``pyarrow.Table`` with the id columns, then ``EDGE_COLUMNS`` (see the
    module's documentation for what each row means).
    """
    pa = _pyarrow()
    threads = thread_count(threads)
    in_schema, batches = _batches_of(data)
    ids = _check_columns(in_schema.names, sql_col, id_cols)
    core_schema = _check_dialect(dialect, _schema_for_call(schema, None, None))
    out_schema = edge_schema([in_schema.field(c) for c in ids])
    out = list(_edge_batches(in_schema, batches, sql_col, ids, dialect, core_schema, threads))
    return pa.Table.from_batches(out, schema=out_schema)
