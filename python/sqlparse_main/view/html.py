"""The lineage of ``lineage()`` / ``lineage_many()`` results as one
self-contained HTML page (drawn in C++: ``cpp/lineage_view/page.cc``).

Everything is in the page (style, script, data), nothing is fetched. Boxes and
edges are written out as elements with their coordinates, so the page shows
the picture before its script has run; the script only adds the interaction.

Attributes other tools may rely on: each table box has ``data-table`` (its
qualified name), each column row ``data-column`` (``table.column``), each edge
``data-source`` and ``data-target`` (``table.column``; an indirect edge's
target is the box's name) and ``data-kind``; clicking a column gives the
edges on its upstream and downstream paths the class ``highlighted``.
"""

from __future__ import annotations

from typing import Any, List, Optional, Sequence, Union

from .statements import Statement, page, statements_of


def statements_html(statements: Sequence[Statement], title: str = "Column lineage") -> str:
    return page(statements, title)


def lineage_html(results: Union[Any, Sequence[Any]], names: Optional[Sequence[str]] = None,
                 sqls: Optional[Sequence[str]] = None, title: str = "Column lineage") -> str:
    """One HTML page showing the lineage of ``lineage()`` or ``lineage_many()``
    results together: a single ``ScriptLineage`` or a list of them.

    ``names`` name the scripts in the page (a bare query's output box is
    ``<name>:<statement>``; default ``query`` for one script, ``script1``,
    ``script2``, ... for several); ``sqls`` are the scripts' texts, shown
    with each statement when given. The page needs no network."""
    if hasattr(results, "statements"):
        results = [results]
        if isinstance(names, str):
            names = [names]
        if isinstance(sqls, str):
            sqls = [sqls]
    if not isinstance(title, str):
        raise TypeError(f"title must be str, got {type(title).__name__}")
    return page(statements_of(results, names, sqls), title)


__all__: List[str] = ["lineage_html", "statements_html"]
