"""A layered left-to-right layout of the lineage graph, computed once when
the page is built so that the browser only draws.

1. Layers: a box's layer is the longest path of table edges leading to it
   (sources at 0), after dropping the edges that close a cycle.
2. Order: barycentre sweeps, at the level of column rows: each box moves to
   the mean position of the rows it is linked to in the layers already placed,
   and the columns of a box that is only read follow their readers the same way.
   The value edges decide; the indirect ones are hidden at first.
3. Coordinates: each layer is a column of boxes; a layer much taller than the
   picture is wide wraps into several sub-columns, keeping the whole near the
   shape of a screen.
"""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from typing import Dict, List, Sequence, Tuple

from .model import Graph

ROW_H = 20
HEAD_H = 26
EMPTY_H = 10  # the body of a box with no column rows
BOX_GAP = 22  # between boxes of a sub-column
LAYER_GAP = 180  # between layers, room for the edges
SUB_GAP = 70  # between the sub-columns of one wrapped layer
MARGIN = 30
CHAR_W = 7.0  # of the 12px font, for sizing boxes
MIN_W, MAX_W = 120, 300
SWEEPS = 6


@dataclass
class Box:
    name: str
    layer: int
    columns: List[str]
    x: float = 0.0
    y: float = 0.0
    w: float = 0.0
    h: float = 0.0

    def row_y(self, column: str) -> float:
        """The middle of a column's row; the header's middle for the box itself."""
        if column and column in self._index:
            return self.y + HEAD_H + self._index[column] * ROW_H + ROW_H / 2
        return self.y + HEAD_H / 2

    def __post_init__(self) -> None:
        self._index: Dict[str, int] = {}

    def reindex(self) -> None:
        self._index = {c: i for i, c in enumerate(self.columns)}


@dataclass
class Layout:
    boxes: Dict[str, Box]
    layers: List[List[str]]
    paths: List[str]  # SVG path data, one per graph edge
    width: float
    height: float
    edges: List[Tuple[str, str, str, str]] = field(default_factory=list)  # (src table, col, dst table, col)


def box_width(name: str, columns: Sequence[str]) -> float:
    longest = max([len(name) + 4] + [len(c) + 2 for c in columns])
    return float(min(MAX_W, max(MIN_W, round(longest * CHAR_W + 16))))


def box_height(columns: Sequence[str]) -> float:
    return HEAD_H + (len(columns) * ROW_H if columns else EMPTY_H)


def assign_layers(names: Sequence[str], links: Sequence[Tuple[str, str]]) -> Dict[str, int]:
    """Longest-path layers over the table graph; edges closing a cycle (found
    by a depth-first walk in input order) are left out. No recursion."""
    succ: Dict[str, List[str]] = {n: [] for n in names}
    for a, b in links:
        if a != b and b not in succ[a]:
            succ[a].append(b)
    state: Dict[str, int] = {}  # 1 on the walk's path, 2 done
    kept: Dict[str, List[str]] = {n: [] for n in names}
    for root in names:
        if root in state:
            continue
        state[root] = 1
        stack = [(root, iter(succ[root]))]
        while stack:
            node, it = stack[-1]
            nxt = next(it, None)
            if nxt is None:
                state[node] = 2
                stack.pop()
            elif state.get(nxt) == 1:
                continue  # closes a cycle
            else:
                kept[node].append(nxt)
                if nxt not in state:
                    state[nxt] = 1
                    stack.append((nxt, iter(succ[nxt])))
    indegree = {n: 0 for n in names}
    for a in names:
        for b in kept[a]:
            indegree[b] += 1
    layer = {n: 0 for n in names}
    ready = [n for n in names if indegree[n] == 0]
    while ready:
        a = ready.pop()
        for b in kept[a]:
            layer[b] = max(layer[b], layer[a] + 1)
            indegree[b] -= 1
            if indegree[b] == 0:
                ready.append(b)
    return layer


def _positions(order: List[str], boxes: Dict[str, Box]) -> Dict[Tuple[str, str], float]:
    """Each row's place in its layer as a fraction (the header counts as a row)."""
    total = sum(1 + len(boxes[n].columns) for n in order) or 1
    pos: Dict[Tuple[str, str], float] = {}
    at = 0
    for n in order:
        pos[(n, "")] = (at + 0.5) / total
        for i, c in enumerate(boxes[n].columns):
            pos[(n, c)] = (at + i + 1.5) / total
        at += 1 + len(boxes[n].columns)
    return pos


def order_layers(boxes: Dict[str, Box], layers: List[List[str]],
                 edges: Sequence[Tuple[str, str, str, str]], reorder_columns: Sequence[str] = (),
                 sweeps: int = SWEEPS) -> None:
    """Barycentre sweeps, right then left, in place. ``reorder_columns`` names
    the boxes whose rows may move (those only read from)."""
    movable = set(reorder_columns)
    pos: Dict[Tuple[str, str], float] = {}
    for order in layers:
        pos.update(_positions(order, boxes))
    # Each row's neighbours, split by the side they are on.
    left: Dict[Tuple[str, str], List[Tuple[str, str]]] = {}
    right: Dict[Tuple[str, str], List[Tuple[str, str]]] = {}
    for st, sc, tt, tc in edges:
        a, b = (st, sc), (tt, tc)
        if boxes[st].layer < boxes[tt].layer:
            left.setdefault(b, []).append(a)
            right.setdefault(a, []).append(b)
        elif boxes[st].layer > boxes[tt].layer:
            left.setdefault(a, []).append(b)
            right.setdefault(b, []).append(a)

    def by_box(side: Dict[Tuple[str, str], List[Tuple[str, str]]]) -> Dict[str, List[Tuple[str, str]]]:
        out: Dict[str, List[Tuple[str, str]]] = {}
        for (n, _), rows in side.items():
            out.setdefault(n, []).extend(rows)
        return out

    box_left, box_right = by_box(left), by_box(right)
    at = pos.__getitem__

    def mean(rows: List[Tuple[str, str]], default: float) -> float:
        return sum(map(at, rows)) / len(rows) if rows else default

    def sweep(indexes: Sequence[int], side: Dict[Tuple[str, str], List[Tuple[str, str]]],
              boxes_side: Dict[str, List[Tuple[str, str]]]) -> None:
        for li in indexes:
            order = layers[li]
            for n in order:
                box = boxes[n]
                if n in movable and len(box.columns) > 1:
                    box.columns.sort(key=lambda c: mean(side.get((n, c), []), pos[(n, c)]))
            keys = {n: mean(boxes_side.get(n, []), pos[(n, "")]) for n in order}
            order.sort(key=keys.__getitem__)
            pos.update(_positions(order, boxes))

    for _ in range(sweeps):
        sweep(range(1, len(layers)), left, box_left)
        sweep(range(len(layers) - 2, -1, -1), right, box_right)
    for box in boxes.values():
        box.reindex()


def wrap_height(layers: List[List[str]], boxes: Dict[str, Box]) -> float:
    """The height at which a layer wraps: near a 16:10 picture overall."""
    heights = [sum(boxes[n].h + BOX_GAP for n in order) for order in layers]
    widest = max((b.w for b in boxes.values()), default=MIN_W)
    w = widest + LAYER_GAP
    s, n = sum(heights), len(layers)
    h = (n * w + math.sqrt((n * w) ** 2 + 6.4 * s * w)) / 3.2
    tallest = max((b.h + BOX_GAP for b in boxes.values()), default=0.0)
    return max(h, tallest, 600.0)


def place(boxes: Dict[str, Box], layers: List[List[str]]) -> Tuple[float, float]:
    """Coordinates of every box; the picture's width and height."""
    limit = wrap_height(layers, boxes)
    columns: List[Tuple[float, List[str], float]] = []  # (x, names, height)
    x = MARGIN
    for li, order in enumerate(layers):
        subs: List[List[str]] = [[]]
        used = 0.0
        for n in order:
            h = boxes[n].h + BOX_GAP
            if subs[-1] and used + h > limit:
                subs.append([])
                used = 0.0
            subs[-1].append(n)
            used += h
        for k, sub in enumerate(subs):
            w = max((boxes[n].w for n in sub), default=0.0)
            columns.append((x, sub, sum(boxes[n].h + BOX_GAP for n in sub) - BOX_GAP))
            x += w + (SUB_GAP if k + 1 < len(subs) else LAYER_GAP)
    height = max((h for _, _, h in columns), default=0.0)
    for cx, sub, h in columns:
        y = MARGIN + (height - h) / 2
        for n in sub:
            boxes[n].x, boxes[n].y = cx, y
            y += boxes[n].h + BOX_GAP
    width = x - LAYER_GAP + MARGIN if columns else 2 * MARGIN
    return round(width), round(height + 2 * MARGIN)


def edge_path(a: Box, a_column: str, b: Box, b_column: str) -> str:
    x1, y1 = a.x + a.w, a.row_y(a_column)
    x2, y2 = b.x, b.row_y(b_column)
    if a is b:  # a column of a table written from the same table: a loop on the right
        x2 = b.x + b.w
        bend = 40 + abs(y2 - y1) / 4
        return f"M{x1:.0f} {y1:.0f}C{x1 + bend:.0f} {y1:.0f} {x2 + bend:.0f} {y2:.0f} {x2:.0f} {y2:.0f}"
    dx = max(40.0, abs(x2 - x1) / 2)
    return f"M{x1:.0f} {y1:.0f}C{x1 + dx:.0f} {y1:.0f} {x2 - dx:.0f} {y2:.0f} {x2:.0f} {y2:.0f}"


def layout(graph: Graph, sweeps: int = SWEEPS) -> Layout:
    names = list(graph.tables)
    edges = [(e.source_table, e.source_column, e.target_table, e.target_column) for e in graph.edges]
    links = [(a, c) for a, _, c, _ in edges]
    for st in graph.statements:
        if not st.failed:
            links += [(s, st.target) for s in st.lineage.source_tables]
    layer = assign_layers(names, links)
    boxes = {n: Box(n, layer[n], list(graph.tables[n].columns)) for n in names}
    count = max(layer.values(), default=-1) + 1
    layers: List[List[str]] = [[] for _ in range(count)]
    for n in names:
        layers[layer[n]].append(n)
    only_read = [n for n, t in graph.tables.items() if t.role == "source"]
    # Ordered by the value edges, which the page shows at first (and which
    # cross less that way); by all when there are none.
    value = [e for e, g in zip(edges, graph.edges) if not g.indirect]
    order_layers(boxes, layers, value or edges, only_read, sweeps)
    for b in boxes.values():
        b.w, b.h = box_width(b.name, b.columns), box_height(b.columns)
    width, height = place(boxes, layers)
    paths = [edge_path(boxes[a], ac, boxes[b], bc) for a, ac, b, bc in edges]
    return Layout(boxes, layers, paths, width, height, edges)


def crossings(lay: Layout) -> int:
    """Pairs of edges that cross between adjacent layers (for tests and
    benchmarks; quadratic per layer pair)."""
    pos: Dict[Tuple[str, str], float] = {}
    for order in lay.layers:
        pos.update(_positions(order, lay.boxes))
    by_pair: Dict[int, List[Tuple[float, float]]] = {}
    for st, sc, tt, tc in lay.edges:
        a, b = lay.boxes[st], lay.boxes[tt]
        if b.layer == a.layer + 1:
            by_pair.setdefault(a.layer, []).append((pos[(st, sc)], pos[(tt, tc)]))
    n = 0
    for pairs in by_pair.values():
        for i, (a1, b1) in enumerate(pairs):
            for a2, b2 in pairs[i + 1:]:
                if (a1 - a2) * (b1 - b2) < 0:
                    n += 1
    return n
