"""Column lineage of a Spark DataFrame of SQL texts, on the cluster.

``lineage_edges(df, "sql", id_cols=["query_id"])`` returns a Spark DataFrame
with one row per lineage edge: the id columns, then the columns of
``sqlparse_main.arrow.lineage_edges`` (same rows, same meaning). It runs the
Arrow kernel in each task through ``mapInArrow``: the texts travel as Arrow
batches and are analysed in C++, one core per task. The schema mapping is
broadcast once and converted once per Python worker.

Each executor needs sqlparse_main installed (``pip install
'sqlparse_main[spark]'`` in its environment, or a packed environment passed
with ``--archives``; see the README).
"""

from __future__ import annotations

import itertools
import threading
import uuid
from typing import Any, Dict, Iterator, Mapping, Optional, Sequence

from . import arrow as _arrow
from .lineage import Schema

__all__ = ["lineage_edges", "spark_edge_schema"]


def spark_edge_schema(id_fields: Sequence[Any] = ()) -> Any:
    """The Spark ``StructType`` of the edge table, after the given id fields:
    the kernel's Arrow schema in Spark's types."""
    from pyspark.sql import types as T

    import pyarrow as pa

    def spark_type(t: Any) -> Any:
        if pa.types.is_int32(t):
            return T.IntegerType()
        if pa.types.is_boolean(t):
            return T.BooleanType()
        if pa.types.is_list(t):
            return T.ArrayType(spark_type(t.value_type))
        return T.StringType()

    return T.StructType(list(id_fields) + [T.StructField(f.name, spark_type(f.type))
                                           for f in _arrow.edge_schema()])


# Schemas converted in this Python worker, by the key of what they were made
# from; a worker runs many tasks of the same job.
_schemas: Dict[Any, Schema] = {}
_schemas_lock = threading.Lock()


def _worker_schema(key: Any, payload: Any) -> Optional[Schema]:
    if payload is None:
        return None
    with _schemas_lock:
        schema = _schemas.get(key)
        if schema is None:
            mapping, catalog, db = payload.value if hasattr(payload, "value") else payload
            schema = Schema(mapping, default_catalog=catalog, default_schema=db)
            if len(_schemas) > 16:
                _schemas.clear()
            _schemas[key] = schema
        return schema


def _check_dialect(dialect: Any) -> None:
    if not isinstance(dialect, str):
        raise TypeError(f"dialect must be str, got {type(dialect).__name__}")
    import sql_parser

    sql_parser.parse_script("", dialect=dialect)  # ValueError naming the dialects


def _check_schema(schema: Any) -> None:
    if isinstance(schema, Schema):
        raise TypeError("give the Spark and Dask adapters the schema mapping, not a Schema "
                        "(a Schema does not pickle; each worker converts the mapping once)")
    if schema is not None and not isinstance(schema, Mapping):
        raise TypeError(f"schema must be a mapping of table name to columns, "
                        f"got {type(schema).__name__}")
    Schema(schema or {})  # the mapping's own faults, raised here and not on the executors


def lineage_edges(df: Any, sql_col: str = "sql", *, id_cols: Sequence[str] = (),
                  dialect: str = "generic", schema: Optional[Mapping] = None,
                  default_catalog: Optional[str] = None,
                  default_schema: Optional[str] = None) -> Any:
    """The lineage edges of every SQL text in column ``sql_col`` of the Spark
    DataFrame ``df``, as a Spark DataFrame (lazy, like any other).

    ``id_cols`` name columns of ``df`` copied onto each edge row. ``schema``
    is a mapping of table names to columns as ``lineage()`` takes it (not a
    ``Schema`` object), with ``default_catalog`` / ``default_schema``.
    """
    from pyspark.sql import types as T

    names = df.columns
    ids = _arrow._check_columns(names, sql_col, id_cols)
    if not isinstance(df.schema[sql_col].dataType, T.StringType):
        raise TypeError(f"column {sql_col!r} must hold strings, got Spark type "
                        f"{df.schema[sql_col].dataType.simpleString()}")
    _check_schema(schema)
    _check_dialect(dialect)
    id_fields = [df.schema[c] for c in ids]
    out_schema = spark_edge_schema(id_fields)
    payload: Any = None
    if schema is not None:
        payload = (dict(schema), default_catalog, default_schema)
        try:
            payload = df.sparkSession.sparkContext.broadcast(payload)
        except Exception:  # Spark Connect has no broadcast: the closure carries it
            pass
    key = "spark-" + uuid.uuid4().hex
    selected = df.select(*dict.fromkeys(list(ids) + [sql_col]))

    def run(batches: Iterator[Any]) -> Iterator[Any]:
        core = _worker_schema(key, payload)
        it = iter(batches)
        first = next(it, None)
        if first is None:
            return
        yield from _arrow.iter_lineage_edges(_chain_reader(first, it), sql_col, id_cols=ids,
                                             dialect=dialect, schema=core, threads=1)

    return selected.mapInArrow(run, out_schema)


def _chain_reader(first: Any, rest: Iterator[Any]) -> Any:
    import pyarrow as pa

    return pa.RecordBatchReader.from_batches(first.schema, itertools.chain([first], rest))
