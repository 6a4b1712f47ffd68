"""The Arrow kernel: every input shape it reads, every row it gives, and the
same edges as the result objects of lineage() for the worked examples."""

import json
import pathlib

import pytest

pa = pytest.importorskip("pyarrow")

from sqlparse_main import lineage  # noqa: E402
from sqlparse_main.arrow import (  # noqa: E402
    EDGE_COLUMNS, edge_schema, iter_lineage_edges, lineage_edges)
from sqlparse_main.cli_lineage import composed_by_statement  # noqa: E402

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "shared" / "lineage-examples.jsonl"


def expected_rows(result, row_id):
    """The edge rows of one ScriptLineage, from the Python result objects."""
    out = []
    composed = composed_by_statement(result.statements, result.composed)
    for k, st in enumerate(result.statements):
        if st.error is not None:
            out.append((row_id, k) + (None,) * 9 + (str(st.error),))
            continue
        warnings = [w.code for w in st.warnings]
        mine = []
        for target, name, sources, edge in (
                [(st.target, c.name, c.sources, "direct") for c in st.columns]
                + [(st.target, None, st.indirect, "indirect")]
                + [(c.target, c.name, c.sources, "composed") for c in composed[k]]):
            for s in sources:
                mine.append((row_id, k, st.kind, target, name, s.table, s.column, s.kind, edge,
                             s.ambiguous, warnings, None))
        out.extend(mine or [(row_id, k, st.kind, st.target) + (None,) * 6 + (warnings, None)])
    return out


def rows_of(table):
    cols = ["id"] + list(EDGE_COLUMNS)
    return [tuple(r[c] for c in cols) for r in table.select(cols).to_pylist()]


def test_worked_examples_give_the_edges_of_lineage():
    examples = [json.loads(line) for line in EXAMPLES.read_text().splitlines() if line.strip()]
    assert len(examples) > 100
    for i, ex in enumerate(examples):
        dialect = ex.get("dialect") or "generic"
        schema = ex.get("schema")
        text = ex["sql"]
        table = pa.table({"id": [i], "sql": [text]})
        got = rows_of(lineage_edges(table, "sql", id_cols=["id"], dialect=dialect, schema=schema,
                                    threads=1))
        want = expected_rows(lineage(text, dialect=dialect, schema=schema, errors="collect"), i)
        assert got == want, ex["id"]


SCRIPTS = [
    "select a, b + 1 as c from t where x > 1",
    "create table y as select a from t; insert into z select a from y",
    "selec x",
    "select 1; selec; select q from r",
    "select 42",
    "-- only a comment",
    "",
    None,
    "update t set a = b where c = 1",
    "merge into t using s on t.id = s.id when matched then update set a = s.a",
]


def expected_for(texts, ids, **kw):
    out = []
    for i, text in zip(ids, texts):
        if text:
            out.extend(expected_rows(lineage(text, errors="collect", **kw), i))
    return sorted(out, key=repr)


def as_stream(table):
    class Stream:  # anything that speaks the Arrow stream protocol
        def __arrow_c_stream__(self, requested_schema=None):
            return table.__arrow_c_stream__(requested_schema)
    return Stream()


def chunked(table):
    return pa.Table.from_batches(table.to_batches(max_chunksize=3))


def sliced(table):
    # Arrays with a non-zero offset (validity bits and offsets read from it).
    padded = pa.concat_tables([table.slice(0, 3), table]).combine_chunks()
    return padded.slice(3)


@pytest.mark.parametrize("shape", [
    lambda t: t,
    chunked,
    sliced,
    lambda t: t.to_batches()[0],
    lambda t: pa.RecordBatchReader.from_batches(t.schema, t.to_batches(max_chunksize=4)),
    as_stream,
    lambda t: t.set_column(1, "sql", t.column("sql").cast(pa.large_string())),
    lambda t: t.set_column(1, "sql", t.column("sql").cast(pa.string_view())),
    lambda t: t.set_column(1, "sql", t.column("sql").dictionary_encode()),
    lambda t: t.to_pandas(),  # a pandas DataFrame speaks the stream protocol
], ids=["table", "chunked", "sliced", "batch", "reader", "stream", "large_string", "string_view",
        "dictionary", "pandas"])
@pytest.mark.parametrize("threads", [1, 3])
def test_every_input_shape_gives_the_same_rows(shape, threads):
    ids = list(range(100, 100 + len(SCRIPTS)))
    table = pa.table({"id": ids, "sql": pa.array(SCRIPTS, pa.string())})
    got = lineage_edges(shape(table), "sql", id_cols=["id"], threads=threads)
    assert got.schema == edge_schema([pa.field("id", pa.int64())])
    assert sorted(rows_of(got), key=repr) == expected_for(SCRIPTS, ids)


def test_rows_keep_input_order_and_ids_of_any_type():
    texts = [f"select c{i} from t{i}" for i in range(2000)]
    table = pa.table({"k": [f"q{i}" for i in range(2000)], "day": pa.array(range(2000), pa.int16()),
                      "sql": texts})
    got = lineage_edges(table, id_cols=["day", "k"], threads=4)
    assert got.schema.field("day").type == pa.int16()
    assert got.column("k").to_pylist() == [f"q{i}" for i in range(2000)]
    assert got.column("source_table").to_pylist() == [f"t{i}" for i in range(2000)]


def test_texts_that_cannot_be_analysed_give_one_error_row():
    raw = [b"select a from t", b"select \xff from t", b"select '\xed\xa0\x80'", b"\xc0\xaf"]
    offsets = [0]
    for r in raw:
        offsets.append(offsets[-1] + len(r))
    column = pa.Array.from_buffers(pa.string(), len(raw), [
        None, pa.py_buffer(pa.array(offsets, pa.int32()).buffers()[1]),
        pa.py_buffer(b"".join(raw))])
    got = lineage_edges(pa.table({"id": [0, 1, 2, 3], "sql": column}), id_cols=["id"])
    errors = {r["id"]: r["error"] for r in got.to_pylist() if r["error"]}
    assert errors == {1: "text is not valid UTF-8 (byte 7)", 2: "text is not valid UTF-8 (byte 8)",
                      3: "text is not valid UTF-8 (byte 0)"}
    for r in got.to_pylist():
        if r["error"]:
            assert r["statement"] is None and r["edge"] is None and r["warnings"] is None


def test_empty_and_all_null_inputs_give_an_empty_table_with_the_schema():
    for table in (pa.table({"sql": pa.array([], pa.string())}),
                  pa.table({"sql": pa.array([None, None], pa.null())}),
                  pa.table({"sql": ["", "  ", None, "/* nothing */"]})):
        got = lineage_edges(table)
        assert got.num_rows == 0 and got.schema == edge_schema()


def test_iter_yields_batches_lazily():
    batches = (pa.record_batch({"sql": [f"select a{i} from t"]}) for i in range(5))
    reader = pa.RecordBatchReader.from_batches(pa.schema([("sql", pa.string())]), batches)
    got = list(iter_lineage_edges(reader, threads=1))
    assert sum(b.num_rows for b in got) == 5


@pytest.mark.parametrize("call, error, match", [
    (lambda t: lineage_edges(t, "query"), KeyError, "no column 'query'"),
    (lambda t: lineage_edges(t, id_cols="id"), TypeError, "did you mean"),
    (lambda t: lineage_edges(t, id_cols=["id", "id"]), ValueError, "twice"),
    (lambda t: lineage_edges(t.append_column("edge", pa.array([1])), id_cols=["edge"]),
     ValueError, "clash"),
    (lambda t: lineage_edges(t, "id"), TypeError, "must hold strings"),
    (lambda t: lineage_edges(t, dialect="nosuch"), ValueError, "unknown dialect"),
    (lambda t: lineage_edges(t, threads=0), ValueError, "at least 1"),
    (lambda t: lineage_edges(t, schema=["t"]), TypeError, "schema must be a mapping"),
    (lambda t: lineage_edges([{"sql": "select 1"}]), TypeError, "expected a pyarrow Table"),
], ids=["missing", "id_str", "id_twice", "id_clash", "not_strings", "dialect", "threads", "schema",
        "not_arrow"])
def test_bad_arguments_raise_before_any_work(call, error, match):
    with pytest.raises(error, match=match):
        call(pa.table({"id": [1], "sql": ["select a from t"]}))


def test_schema_and_dialect_reach_the_analysis():
    table = pa.table({"sql": ['select * from t', 'select "a" from t']})
    got = lineage_edges(table, schema={"t": ["a", "b"]}, dialect="mysql")
    # The star expands from the schema; in MySQL "a" is a string, so the
    # second text gives a statement without edges.
    cols = [(r["target_column"], r["source_column"], r["edge"]) for r in got.to_pylist()]
    assert cols == [("a", "a", "direct"), ("b", "b", "direct"), (None, None, None)]
