"""The lineage view's model and layout, without a browser: which boxes a
script gives and in which role, the layers, the barycentre ordering, and
geometry that holds for every picture (no overlaps, sources left of targets,
edges ending on their rows)."""

import pytest

from sqlparse_main import lineage
from sqlparse_main.view import layout as L
from sqlparse_main.view.model import build_graph, statements_of


def graph_of(sql, **kw):
    return build_graph(statements_of([lineage(sql, errors="collect", **kw)], ["f.sql"], [sql]))


@pytest.mark.parametrize("sql, roles", [
    ("select a from t", {"f.sql:1": "output", "t": "source"}),
    ("insert into u select a from t", {"u": "target", "t": "source"}),
    ("create table s as select a from t; insert into u select a from s",
     {"s": "intermediate", "t": "source", "u": "target"}),
    ("select a from t; select )", {"f.sql:1": "output", "t": "source"}),  # the failed one draws nothing
    ("insert into t select a + 1 as a from t", {"t": "intermediate"}),
    ("select count(*) as n from t", {"f.sql:1": "output", "t": "source"}),  # read without columns
])
def test_boxes_and_roles(sql, roles):
    g = graph_of(sql)
    assert {n: t.role for n, t in g.tables.items()} == roles


@pytest.mark.parametrize("sql, table, columns", [
    # Output columns in their order, each once, then the columns others read.
    ("insert into u select b, a from t; insert into u select a, c from t", "u", ["b", "a", "c"]),
    ("create table s as select a, b from t; select s.c, s.a from s", "s", ["a", "b", "c"]),
    ("select x.b, x.a from t x where x.z > 1", "t", ["b", "a", "z"]),
])
def test_columns_of_a_box(sql, table, columns):
    assert graph_of(sql).tables[table].columns == columns


@pytest.mark.parametrize("sql, edges", [
    ("insert into u select a, b + 1 as c, sum(d) as s from t group by a, b",
     {("t.a", "u.a", "identity"), ("t.b", "u.c", "transformation"), ("t.d", "u.s", "aggregation"),
      ("t.a", "u", "group_by"), ("t.b", "u", "group_by")}),
    # The same edge from two statements is one edge naming both.
    ("insert into u select a from t; insert into u select a from t", {("t.a", "u.a", "identity")}),
    ("select a from t", {("t.a", "f.sql:1.a", "identity")}),
])
def test_edges(sql, edges):
    g = graph_of(sql)
    assert {(e.source, e.target, e.kind) for e in g.edges} == edges
    if "; insert" in sql:
        assert g.edges[0].statements == [0, 1]


def test_composed_edges_trace_through_intermediate_tables():
    g = graph_of("create table s as select a from db.t; insert into w select a from s")
    assert g.composed == [("db.t", "a", "w", "a", "identity")]


@pytest.mark.parametrize("names, links, want", [
    ("abc", [("a", "b"), ("b", "c")], {"a": 0, "b": 1, "c": 2}),
    ("abcd", [("a", "b"), ("a", "c"), ("b", "d"), ("c", "d"), ("a", "d")], {"a": 0, "b": 1, "c": 1, "d": 2}),
    # A cycle is cut where the walk closes it; a self-loop is ignored.
    ("abc", [("a", "b"), ("b", "c"), ("c", "a")], {"a": 0, "b": 1, "c": 2}),
    ("ab", [("a", "a"), ("a", "b")], {"a": 0, "b": 1}),
    ("abxy", [("a", "b"), ("x", "y")], {"a": 0, "b": 1, "x": 0, "y": 1}),
])
def test_layers(names, links, want):
    assert L.assign_layers(list(names), links) == want


def test_layers_of_a_long_chain_need_no_recursion():
    names = [f"t{i}" for i in range(5000)]
    layers = L.assign_layers(names, list(zip(names, names[1:])))
    assert layers["t4999"] == 4999


def tangle(n, columns=1):
    """n sources each feeding the target listed in the opposite place."""
    cols = [f"c{k}" for k in range(columns)]
    boxes = {f"s{i}": L.Box(f"s{i}", 0, list(cols)) for i in range(n)}
    boxes.update({f"u{i}": L.Box(f"u{i}", 1, list(cols)) for i in range(n)})
    layers = [[f"s{i}" for i in range(n)], [f"u{i}" for i in range(n)]]
    edges = [(f"s{i}", c, f"u{n - 1 - i}", c) for i in range(n) for c in cols]
    return L.Layout(boxes, layers, [], 0, 0, edges)


@pytest.mark.parametrize("n, columns", [(2, 1), (5, 1), (12, 1), (6, 3)])
def test_barycentre_sweeps_undo_a_tangle(n, columns):
    lay = tangle(n, columns)
    assert L.crossings(lay) == columns * columns * n * (n - 1) // 2
    L.order_layers(lay.boxes, lay.layers, lay.edges)
    assert L.crossings(lay) == 0


def test_the_columns_of_a_source_follow_their_readers():
    sql = "insert into u select c as x, b as y, a as z from t"
    g = graph_of(sql)
    lay = L.layout(g)
    assert lay.boxes["t"].columns == ["c", "b", "a"]
    assert lay.boxes["u"].columns == ["x", "y", "z"]  # an output keeps its order
    assert L.crossings(lay) == 0


def overlaps(a, b):
    return a.x < b.x + b.w and b.x < a.x + a.w and a.y < b.y + b.h and b.y < a.y + a.h


SCRIPTS = [
    "select a from t",
    "create table s as select a, b from db.t; select s.a, b + 1 as c from s join u on s.a = u.id; "
    "insert into w select a from s",
    # Thirty outputs in one layer: it wraps into sub-columns.
    "; ".join(f"select a{i}, b{i}, c{i}, d{i}, e{i}, f{i} from t{i % 3}" for i in range(30)),
]


@pytest.mark.parametrize("sql", SCRIPTS)
def test_geometry(sql):
    g = graph_of(sql)
    lay = L.layout(g)
    boxes = list(lay.boxes.values())
    for i, a in enumerate(boxes):
        assert 0 <= a.x and a.x + a.w <= lay.width and 0 <= a.y and a.y + a.h <= lay.height
        assert a.h == L.box_height(a.columns)
        for b in boxes[i + 1:]:
            assert not overlaps(a, b), (a.name, b.name)
            if a.layer < b.layer:
                assert a.x + a.w < b.x
    for e, path in zip(g.edges, lay.paths):
        a, b = lay.boxes[e.source_table], lay.boxes[e.target_table]
        start, end = path[1:].split("C")[0].split(), path.split()[-2:]
        assert [float(v) for v in start] == [round(a.x + a.w), round(a.row_y(e.source_column))]
        assert [float(v) for v in end] == [round(b.x), round(b.row_y(e.target_column))]


def test_a_tall_layer_wraps_near_the_shape_of_a_screen():
    lay = L.layout(graph_of(SCRIPTS[2]))
    outputs = [b for b in lay.boxes.values() if b.layer == 1]
    assert len({b.x for b in outputs}) > 1
    assert 0.5 < lay.width / lay.height < 4


@pytest.mark.parametrize("name, columns, width", [
    ("t", ["a"], L.MIN_W),
    ("t", ["x" * 500], L.MAX_W),
    ("a_rather_long_table_name", [], round((24 + 4) * L.CHAR_W + 16)),
])
def test_box_width(name, columns, width):
    assert L.box_width(name, columns) == width
