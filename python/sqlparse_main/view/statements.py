"""The statements a lineage view draws, as the compiled view reads them:
``(file, number, StatementLineage, sql, composed)`` tuples, numbered from 1
per script (a bare query's box is ``<file>:<number>``).

The view itself (the graph of tables and column edges, its layered layout,
the HTML page and the DOT graph) is built in C++ (``cpp/lineage_view``)."""

from __future__ import annotations

from typing import Any, Iterable, List, Optional, Sequence, Tuple

import _sqlparse_core

from .page_css import CSS
from .page_js import JS

Statement = Tuple[str, int, Any, str, Tuple[Any, ...]]


def statements_of(results: Iterable[Any], names: Optional[Sequence[str]] = None,
                  sqls: Optional[Sequence[str]] = None) -> List[Statement]:
    """The statements of ``lineage()`` / ``lineage_many()`` results, one
    result per script. ``names`` name the scripts (default ``script1``,
    ``script2``, ...; a single script is ``query``); ``sqls`` are their texts,
    to show each statement's SQL."""
    results = list(results)
    if names is None:
        names = ["query"] if len(results) == 1 else [f"script{i + 1}" for i in range(len(results))]
    names = list(names)
    if len(names) != len(results):
        raise ValueError(f"{len(names)} names for {len(results)} results")
    texts: List[Optional[str]] = list(sqls) if sqls is not None else [None] * len(results)
    if len(texts) != len(results):
        raise ValueError(f"{len(texts)} SQL texts for {len(results)} results")
    out: List[Statement] = []
    for result, name, text in zip(results, names, texts):
        if not hasattr(result, "statements") or not hasattr(result, "composed"):
            raise TypeError(f"expected ScriptLineage results, got {type(result).__name__}")
        if not isinstance(name, str):
            raise TypeError(f"names must be str, got {type(name).__name__}")
        if text is not None and not isinstance(text, str):
            raise TypeError(f"sqls must be str, got {type(text).__name__}")
        statements = result.statements
        per = _composed_by_statement(statements, result.composed) if result.composed else None
        for k, st in enumerate(statements):
            out.append((name, k + 1, st, "" if text is None else text[st.start:st.end],
                        per[k] if per is not None else ()))
    return out


def page(statements: Sequence[Statement], title: str = "Column lineage") -> str:
    """The self-contained HTML page of the statements."""
    if not isinstance(title, str):
        raise TypeError(f"title must be str, got {type(title).__name__}")
    return _sqlparse_core._lineage_view(statements, "html", title, CSS, JS)


def dot(statements: Sequence[Statement]) -> str:
    """The Graphviz graph of the statements: a cluster per box, a node per
    column, an arrow per direct edge (labelled with its kind unless identity),
    a dashed arrow per composed edge, failed statements in one note."""
    return _sqlparse_core._lineage_view(statements, "dot", "", "", "")


def layout(statements: Sequence[Statement], sweeps: int = 6) -> dict:
    """The page's boxes and edges as plain data: ``tables`` (name, role,
    layer, columns in drawing order, x, y, w, h), ``edges`` (source, target,
    kind, statement indexes, SVG path), ``composed``, ``width``, ``height``
    and ``crossings`` (pairs of edges crossing between adjacent layers).
    ``sweeps`` is the number of barycentre passes each way."""
    return _sqlparse_core._lineage_view_layout(statements, sweeps)


def _composed_by_statement(statements: Sequence[Any], composed: Sequence[Any]) -> List[Tuple[Any, ...]]:
    from ..cli_lineage import composed_by_statement

    return composed_by_statement(statements, composed)
