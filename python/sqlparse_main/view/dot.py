"""The lineage graph as Graphviz DOT, from the same model as the HTML page:
one cluster per box (named by its table, a bare query's by ``<file>:<n>``),
a node per column, an arrow per direct edge labelled with its kind unless it
is identity, a dashed arrow per composed edge, and the failed statements in
one note, cut short when there are many."""

from __future__ import annotations

from typing import Dict, List

from ..cli import dot_quote
from .model import Graph

NOTE_LINES = 10
NOTE_WIDTH = 160
ROLE_COLOURS = {"source": "lightsteelblue1", "intermediate": "lightgoldenrod1", "target": "darkseagreen1",
                "output": "thistle1"}


def cut(text: str, width: int = NOTE_WIDTH) -> str:
    text = " ".join(text.split())
    return text if len(text) <= width else text[: width - 1] + "\u2026"


def failure_note(graph: Graph) -> str:
    failed = graph.failed
    if not failed:
        return ""
    n = len(failed)
    lines = [f"{n} failed statement{'s' if n != 1 else ''}:"]
    for st in failed[:NOTE_LINES]:
        err = st.lineage.error
        line, column = getattr(err, "line", None), getattr(err, "column", None)
        if not isinstance(line, int) or not isinstance(column, int):
            line, column = st.lineage.start_line, st.lineage.start_column
        lines.append(cut(f"statement {st.number} ({st.file}, line {line}, column {column}): "
                         f"{type(err).__name__}: {err}"))
    if n > NOTE_LINES:
        lines.append(f"\u2026 and {n - NOTE_LINES} more")
    return "\n".join(lines)


def to_dot(graph: Graph) -> str:
    out: List[str] = ["digraph lineage {\n  rankdir=LR;\n  node [shape=box, fontname=Helvetica];\n"]
    nodes: Dict[str, Dict[str, str]] = {}
    count = [0]

    def node(table: str, column: str) -> str:
        columns = nodes.setdefault(table, {})
        if column not in columns:
            count[0] += 1
            columns[column] = f"n{count[0]}"
        return columns[column]

    for name, t in graph.tables.items():
        for c in t.columns:
            node(name, c)
    arrows: List[str] = []
    for e in graph.edges:
        if e.indirect:
            continue
        a, b = node(e.source_table, e.source_column), node(e.target_table, e.target_column)
        arrows.append(f"  {a} -> {b}" + ("" if e.kind == "identity" else f" [label={dot_quote(e.kind)}]") + ";\n")
    for st, sc, tt, tc, kind in graph.composed:
        a, b = node(st, sc), node(tt, tc)
        label = "" if kind == "identity" else f", label={dot_quote(kind)}"
        arrows.append(f"  {a} -> {b} [style=dashed{label}];\n")
    for k, (name, columns) in enumerate(nodes.items()):
        t = graph.tables.get(name)
        colour = ROLE_COLOURS[t.role] if t is not None else "lightgrey"
        out.append(f"  subgraph cluster_{k} {{\n    label={dot_quote(name)};\n"
                   f"    style=filled; color={colour};\n")
        out += [f"    {n} [label={dot_quote(c)}];\n" for c, n in columns.items()]
        out.append("  }\n")
    out += list(dict.fromkeys(arrows))
    note = failure_note(graph)
    if note:
        out.append(f"  failed [label={dot_quote(note)}, shape=note, color=red];\n")
    out.append("}\n")
    return "".join(out)
