"""The lineage view's model and layout as the compiled view computes them
(``view.layout``), without a browser: which boxes a script gives and in
which role, the layers, the barycentre ordering, and geometry that holds for
every picture (no overlaps, sources left of targets, edges ending on their
rows, tall layers wrapped)."""

import pytest

from sqlparse_main import lineage, view
from sqlparse_main.lineage import ColumnLineage, ScriptLineage, Source, StatementLineage

ROW_H, HEAD_H, EMPTY_H = 20, 26, 10
CHAR_W, MIN_W, MAX_W = 7, 120, 300


def drawn(sql, sweeps=6, **kw):
    return view.layout(view.statements_of([lineage(sql, errors="collect", **kw)], ["f.sql"], [sql]), sweeps)


def boxes(lay):
    return {t["name"]: t for t in lay["tables"]}


def made(statements, sweeps=6):
    """The layout of hand-made statements: (target, [(source table, column,
    output column)], [source tables read without columns]) each."""
    sts = []
    for target, reads, tables in statements:
        outputs = list(dict.fromkeys(out for _, _, out in reads))
        columns = tuple(ColumnLineage(out, i, tuple(Source(t, c, "identity") for t, c, o in reads if o == out))
                        for i, out in enumerate(outputs))
        read = tuple(dict.fromkeys(list(tables) + [t for t, _, _ in reads]))
        sts.append(StatementLineage("insert", target, columns, (), (), read, (target,), 0, 0, 1, 1))
    return view.layout(view.statements_of([ScriptLineage(tuple(sts), ())], ["m.sql"]), sweeps)


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
    assert {n: t["role"] for n, t in boxes(drawn(sql)).items()} == roles


@pytest.mark.parametrize("sql, table, columns", [
    # Output columns in their order, each once, then the columns others read.
    ("insert into u select b, a from t; insert into u select a, c from t", "u", ["b", "a", "c"]),
    ("create table s as select a, b from t; select s.c, s.a from s", "s", ["a", "b", "c"]),
    ("select x.b, x.a from t x where x.z > 1", "t", ["b", "a", "z"]),
])
def test_columns_of_a_box(sql, table, columns):
    assert boxes(drawn(sql, sweeps=0))[table]["columns"] == columns


@pytest.mark.parametrize("sql, edges", [
    ("insert into u select a, b + 1 as c, sum(d) as s from t group by a, b",
     {("t.a", "u.a", "identity"), ("t.b", "u.c", "transformation"), ("t.d", "u.s", "aggregation"),
      ("t.a", "u", "group_by"), ("t.b", "u", "group_by")}),
    # The same edge from two statements is one edge naming both.
    ("insert into u select a from t; insert into u select a from t", {("t.a", "u.a", "identity")}),
    ("select a from t", {("t.a", "f.sql:1.a", "identity")}),
])
def test_edges(sql, edges):
    lay = drawn(sql)
    assert {e[:3] for e in lay["edges"]} == edges and len(lay["edges"]) == len(edges)
    if "; insert" in sql:
        assert lay["edges"][0][3] == [0, 1]


def test_composed_edges_trace_through_intermediate_tables():
    lay = drawn("create table s as select a from db.t; insert into w select a from s")
    assert lay["composed"] == [("db.t", "a", "w", "a", "identity")]


@pytest.mark.parametrize("statements, want", [
    # Boxes are numbered targets first, in statement order, then what is read.
    ([("b", [], "a"), ("c", [], "b")], {"a": 0, "b": 1, "c": 2}),
    ([("b", [], "a"), ("c", [], "a"), ("d", [], "bca")], {"a": 0, "b": 1, "c": 1, "d": 2}),
    # A cycle is cut where the walk (from the first box, b) closes it; a
    # table written from itself is a loop, not a layer.
    ([("b", [], "a"), ("c", [], "b"), ("a", [], "c")], {"b": 0, "c": 1, "a": 2}),
    ([("a", [], "a"), ("b", [], "a")], {"a": 0, "b": 1}),
    ([("b", [], "a"), ("y", [], "x")], {"a": 0, "b": 1, "x": 0, "y": 1}),
])
def test_layers(statements, want):
    lay = made([(t, reads, list(tables)) for t, reads, tables in statements])
    assert {n: t["layer"] for n, t in boxes(lay).items()} == want


def test_layers_of_a_long_chain_need_no_recursion():
    n = 5000
    lay = made([(f"t{i + 1}", [], [f"t{i}"]) for i in range(n)], sweeps=1)
    assert boxes(lay)[f"t{n}"]["layer"] == n


def tangle(n, columns=1):
    """n sources each feeding the target listed in the opposite place: a
    first statement reads the sources in order, then target u{i} reads
    s{n-1-i}, so that unordered every pair of boxes crosses."""
    cols = [f"c{k}" for k in range(columns)]
    first = ("z", [], [f"s{i}" for i in range(n)])
    return [first] + [(f"u{i}", [(f"s{n - 1 - i}", c, c) for c in cols], []) for i in range(n)]


@pytest.mark.parametrize("n, columns", [(2, 1), (5, 1), (12, 1), (6, 3)])
def test_barycentre_sweeps_undo_a_tangle(n, columns):
    assert made(tangle(n, columns), sweeps=0)["crossings"] == columns * columns * n * (n - 1) // 2
    assert made(tangle(n, columns))["crossings"] == 0


def test_the_columns_of_a_source_follow_their_readers():
    lay = drawn("insert into u select c as x, b as y, a as z from t")
    assert boxes(lay)["t"]["columns"] == ["c", "b", "a"]
    assert boxes(lay)["u"]["columns"] == ["x", "y", "z"]  # an output keeps its order
    assert lay["crossings"] == 0


def overlaps(a, b):
    return a["x"] < b["x"] + b["w"] and b["x"] < a["x"] + a["w"] and a["y"] < b["y"] + b["h"] and b["y"] < a["y"] + a["h"]


def row_y(box, column):
    if column:
        return box["y"] + HEAD_H + box["columns"].index(column) * ROW_H + ROW_H / 2
    return box["y"] + HEAD_H / 2


SCRIPTS = [
    "select a from t",
    "create table s as select a, b from db.t; select s.a, b + 1 as c from s join u on s.a = u.id; "
    "insert into w select a from s",
    # Thirty outputs in one layer: it wraps into sub-columns.
    "; ".join(f"select a{i}, b{i}, c{i}, d{i}, e{i}, f{i} from t{i % 3}" for i in range(30)),
]


@pytest.mark.parametrize("sql", SCRIPTS)
def test_geometry(sql):
    lay = drawn(sql)
    all_boxes = lay["tables"]
    for i, a in enumerate(all_boxes):
        assert 0 <= a["x"] and a["x"] + a["w"] <= lay["width"] and 0 <= a["y"] and a["y"] + a["h"] <= lay["height"]
        assert a["h"] == HEAD_H + (len(a["columns"]) * ROW_H if a["columns"] else EMPTY_H)
        for b in all_boxes[i + 1:]:
            assert not overlaps(a, b), (a["name"], b["name"])
            if a["layer"] < b["layer"]:
                assert a["x"] + a["w"] < b["x"]
    by_name = boxes(lay)
    for source, target, _, _, path in lay["edges"]:
        a_name, _, a_col = source.rpartition(".")
        b_name, b_col = (target.rpartition(".")[0], target.rpartition(".")[2]) if target not in by_name else (target, "")
        a, b = by_name[a_name], by_name[b_name]
        start, end = path[1:].split("C")[0].split(), path.split()[-2:]
        assert [float(v) for v in start] == [round(a["x"] + a["w"]), round(row_y(a, a_col))]
        assert [float(v) for v in end] == [round(b["x"]), round(row_y(b, b_col))]


def test_a_tall_layer_wraps_near_the_shape_of_a_screen():
    lay = drawn(SCRIPTS[2])
    outputs = [b for b in lay["tables"] if b["layer"] == 1]
    assert len({b["x"] for b in outputs}) > 1
    assert 0.5 < lay["width"] / lay["height"] < 4


@pytest.mark.parametrize("name, columns, width", [
    ("t", ["a"], MIN_W),
    ("t", ["x" * 500], MAX_W),
    ("a_rather_long_table_name", ["a"], (24 + 4) * CHAR_W + 16),
    # Characters, not bytes: each of these is one.
    ("\u00e9" * 24, ["a"], (24 + 4) * CHAR_W + 16),
    ("t", ["\U0001f600" * 30], (30 + 2) * CHAR_W + 16),
])
def test_box_width(name, columns, width):
    lay = made([(name, [("src", c, c) for c in columns], [])])
    assert boxes(lay)[name]["w"] == width


@pytest.mark.parametrize("sweeps", [-1, 1001])
def test_sweeps_out_of_range(sweeps):
    with pytest.raises(ValueError):
        drawn("select a from t", sweeps=sweeps)
