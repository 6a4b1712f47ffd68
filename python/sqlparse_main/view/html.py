"""The lineage graph as one self-contained HTML page.

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

import json
from html import escape
from typing import Any, Dict, List, Optional, Sequence, Union

from .layout import Layout, layout
from .model import Graph, Statement, build_graph
from .page_css import CSS
from .page_js import JS

DIRECT_KINDS = ("identity", "transformation", "aggregation", "conditional", "window")


def attr(value: Any) -> str:
    return escape(str(value), quote=True)


def script_json(value: Any) -> str:
    """JSON that is safe inside a <script> element, whatever the SQL holds."""
    text = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    return text.replace("&", "\\u0026").replace("<", "\\u003c").replace(">", "\\u003e")


def statement_data(st: Statement) -> Dict[str, Any]:
    lin = st.lineage
    return {
        "file": st.file, "number": st.number, "target": st.target, "kind": lin.kind,
        "line": lin.start_line, "sql": st.sql,
        "warnings": [f"{w.code} (line {w.line}, column {w.column}): {w.message}" for w in lin.warnings],
        "error": None if lin.error is None else f"{type(lin.error).__name__}: {lin.error}",
    }


def render_table(graph: Graph, lay: Layout, name: str) -> str:
    t, b = graph.tables[name], lay.boxes[name]
    warned = sum(len(graph.statements[k].lineage.warnings) for k in t.written_by)
    badge = f'<span class="warn" title="warnings">\u26a0 {warned}</span>' if warned else ""
    written = " ".join(str(k) for k in t.written_by)
    out = [f'<div class="table role-{t.role}{" has-warnings" if warned else ""}" data-table="{attr(name)}" '
           f'data-written="{written}" style="left:{b.x:.0f}px;top:{b.y:.0f}px;width:{b.w:.0f}px">'
           f'<div class="head" title="{attr(name)} ({t.role})">{badge}<span class="name">{escape(name)}</span></div>']
    for c in b.columns:
        key = f"{name}.{c}"
        out.append(f'<div class="col" data-column="{attr(key)}" title="{attr(key)}">{escape(c)}</div>')
    out.append("</div>")
    return "".join(out)


def render_edges(graph: Graph, lay: Layout) -> str:
    # Indirect edges first, so that the value edges are drawn over them.
    order = sorted(range(len(graph.edges)), key=lambda i: not graph.edges[i].indirect)
    out = []
    for i in order:
        e = graph.edges[i]
        cls = "edge indirect" if e.indirect else "edge"
        stmts = " ".join(str(k) for k in e.statements)
        out.append(f'<path class="{cls} k-{e.kind}" data-source="{attr(e.source)}" '
                   f'data-target="{attr(e.target)}" data-kind="{e.kind}" data-stmts="{stmts}" '
                   f'd="{lay.paths[i]}"/>')
    return "\n".join(out)


def toolbar(graph: Graph, title: str) -> str:
    direct = sum(not e.indirect for e in graph.edges)
    failed = len(graph.failed)
    warned = sum(1 for s in graph.statements if s.lineage.warnings)
    kinds = "".join(f'<label class="kind"><input type="checkbox" data-hide="k-{k}" checked>'
                    f'<i class="swatch k-{k}"></i>{k}</label>' for k in DIRECT_KINDS)
    warned_text = f" \u00b7 {warned} with warnings" if warned else ""
    problems = (f'<button id="failed" title="statements that did not parse">{failed} failed</button>'
                if failed else "")
    return (f'<header id="bar"><strong class="title">{escape(title)}</strong>'
            f'<span class="stats">{len(graph.tables)} tables \u00b7 {direct} edges \u00b7 '
            f'{len(graph.statements)} statements{warned_text}</span>'
            '<button id="details" title="the selected column or edge: its statements, SQL and warnings">'
            'details</button>'
            f'{problems}'
            '<input id="search" type="search" placeholder="Find a table or column" title="Enter: next match, Shift+Enter: previous" '
            'autocomplete="off"><span id="found-count"></span>'
            f'<span class="filters">{kinds}'
            '<label class="kind"><input type="checkbox" id="show-indirect"><i class="swatch indirect"></i>'
            'indirect</label><label><input type="checkbox" id="show-warnings" checked>warnings</label></span>'
            '</header>')


def render(graph: Graph, lay: Layout, title: str = "Column lineage") -> str:
    data = {"statements": [statement_data(s) for s in graph.statements],
            "failed": [k for k, s in enumerate(graph.statements) if s.failed],
            "width": lay.width, "height": lay.height}
    tables = "\n".join(render_table(graph, lay, n) for n in graph.tables)
    empty = "" if graph.tables else '<p class="empty">No lineage to show.</p>'
    return (
        '<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
        '<meta name="viewport" content="width=device-width, initial-scale=1">'
        f"<title>{escape(title)}</title><style>{CSS}</style></head>\n<body>"
        f"{toolbar(graph, title)}\n"
        '<div id="zoom"><button id="zoom-in" title="zoom in">+</button>'
        '<button id="zoom-out" title="zoom out">\u2212</button><button id="fit" title="fit to the window">'
        'fit</button></div>'
        f'<main id="viewport">{empty}<div id="world" style="width:{lay.width}px;height:{lay.height}px">'
        f'<svg id="edges" xmlns="http://www.w3.org/2000/svg" width="{lay.width}" height="{lay.height}">\n'
        f"{render_edges(graph, lay)}\n</svg>\n{tables}\n</div></main>\n"
        '<aside id="panel"><button id="panel-close" title="close">\u00d7</button><div id="panel-body">'
        '<p class="hint">Click a column to follow its lineage, an edge to see the statements behind it. '
        'Drag to pan, wheel to zoom.</p></div></aside>\n'
        f'<script type="application/json" id="lineage-data">{script_json(data)}</script>\n'
        f"<script>{JS}</script>\n</body></html>\n"
    )


def statements_html(statements: Sequence[Statement], title: str = "Column lineage") -> str:
    graph = build_graph(statements)
    return render(graph, layout(graph), title)


def lineage_html(results: Union[Any, Sequence[Any]], names: Optional[Sequence[str]] = None,
                 sqls: Optional[Sequence[str]] = None, title: str = "Column lineage") -> str:
    """One HTML page showing the lineage of ``lineage()`` or ``lineage_many()``
    results together: a single ``ScriptLineage`` or a list of them.

    ``names`` name the scripts in the page (a bare query's output box is
    ``<name>:<statement>``; default ``query`` for one script, ``script1``,
    ``script2``, ... for several); ``sqls`` are the scripts' texts, shown
    with each statement when given. The page needs no network."""
    from .model import statements_of

    if hasattr(results, "statements"):
        results = [results]
        if isinstance(names, str):
            names = [names]
        if isinstance(sqls, str):
            sqls = [sqls]
    if not isinstance(title, str):
        raise TypeError(f"title must be str, got {type(title).__name__}")
    return statements_html(statements_of(results, names, sqls), title)


__all__: List[str] = ["lineage_html", "render", "statements_html"]
