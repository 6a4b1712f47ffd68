"""Column lineage of a Dask DataFrame of SQL texts, on the cluster.

``lineage_edges(ddf, "sql", id_cols=["query_id"])`` returns a Dask DataFrame
with one row per lineage edge: the id columns, then the columns of
``sqlparse_main.arrow.lineage_edges`` (same rows, same meaning). Each
partition goes through the Arrow kernel with ``map_partitions``; every column
of the result has a pyarrow-backed dtype (``pandas.ArrowDtype``), so nullable
integers stay integers and ``warnings`` stays a list of strings. The schema
mapping is one task of the graph, sent to each worker once and converted once
per worker process.

``pip install 'sqlparse_main[dask]'`` on the client and every worker.
"""

from __future__ import annotations

from typing import Any, Mapping, Optional, Sequence

from . import arrow as _arrow
from .spark import _check_dialect, _check_schema, _worker_schema

__all__ = ["lineage_edges"]

def _partition_edges(pdf: Any, sql_col: str, ids: Sequence[str], dialect: str, key: Any,
                     payload: Any, meta: Any) -> Any:
    import pandas as pd
    import pyarrow as pa

    if len(pdf) == 0:
        return meta
    table = pa.Table.from_pandas(pdf[list(dict.fromkeys(list(ids) + [sql_col]))],
                                 preserve_index=False)
    core = _worker_schema(key, payload)
    edges = _arrow.lineage_edges(table, sql_col, id_cols=ids, dialect=dialect, schema=core,
                                 threads=1)
    # Cast to the id types of meta (an all-null partition would type them null).
    edges = edges.cast(pa.schema([pa.field(n, meta[n].dtype.pyarrow_dtype)
                                  for n in edges.column_names]))
    return edges.to_pandas(types_mapper=pd.ArrowDtype)


def lineage_edges(ddf: Any, sql_col: str = "sql", *, id_cols: Sequence[str] = (),
                  dialect: str = "generic", schema: Optional[Mapping] = None,
                  default_catalog: Optional[str] = None,
                  default_schema: Optional[str] = None) -> Any:
    """The lineage edges of every SQL text in column ``sql_col`` of the Dask
    DataFrame ``ddf``, as a (lazy) Dask DataFrame.

    ``id_cols`` name columns of ``ddf`` copied onto each edge row. ``schema``
    is a mapping of table names to columns as ``lineage()`` takes it (not a
    ``Schema`` object), with ``default_catalog`` / ``default_schema``.
    """
    import dask
    import pandas as pd
    import pyarrow as pa

    ids = _arrow._check_columns(list(ddf.columns), sql_col, id_cols)
    dtype = ddf._meta[sql_col].dtype
    if not (pd.api.types.is_string_dtype(dtype) or pd.api.types.is_object_dtype(dtype)):
        raise TypeError(f"column {sql_col!r} must hold strings, got dtype {dtype}")
    _check_schema(schema)
    _check_dialect(dialect)
    sample = pa.Table.from_pandas(ddf._meta[list(ids)], preserve_index=False)
    id_fields = [pa.field(c, _id_type(pa, sample.schema.field(c).type)) for c in ids]
    meta = _arrow.edge_schema(id_fields).empty_table().to_pandas(types_mapper=pd.ArrowDtype)
    payload = key = None
    if schema is not None:
        payload = (dict(schema), default_catalog, default_schema)
        # Workers outlive clients: the key names the content, not the call.
        key = "dask-" + dask.base.tokenize(payload)
        payload = dask.delayed(payload, pure=True)
    return ddf.map_partitions(_partition_edges, sql_col, tuple(ids), dialect, key,
                              payload, meta, meta=meta, align_dataframes=False)


def _id_type(pa: Any, t: Any) -> Any:
    # Object columns with no rows in meta come out as null; they hold strings.
    return pa.string() if pa.types.is_null(t) else t
