"""The command line's default mode, the full lineage, run as a real
subprocess; every format is read back with a real reader and turned into the
same edge rows, so that each format is held to one expected answer."""

import csv
import io
import json
import os
import re
import subprocess
import sys

import pytest
from terminal import run_with_terminal_stderr, screen

# Statement 3 is broken (the parser stops at the ")", line 4 column 19);
# statement 2 reads s, written by statement 1, so its columns compose through
# it, and so does statement 4's.
SCRIPT = """\
create table s as select a, b from db.t;
-- a comment with ; inside
select s.a, b + 1 as c from s join u on s.a = u.id where u.k > 1;
  select a from t );
insert into w select a from s;
"""
BAD = (3, 4, 19)  # statement, line, column

# (statement, source, target, kind, edge); a bare query's target is FILE:n.
EDGES = [
    (1, "db.t.a", "s.a", "identity", "direct"),
    (1, "db.t.b", "s.b", "identity", "direct"),
    (2, "s.a", "FILE:2.a", "identity", "direct"),
    (2, "s.b", "FILE:2.c", "transformation", "direct"),
    (2, "s.a", "FILE:2", "join", "indirect"),
    (2, "u.id", "FILE:2", "join", "indirect"),
    (2, "u.k", "FILE:2", "filter", "indirect"),
    (2, "db.t.a", "FILE:2.a", "identity", "composed"),
    (2, "db.t.b", "FILE:2.c", "transformation", "composed"),
    (4, "s.a", "w.a", "identity", "direct"),
    (4, "db.t.a", "w.a", "identity", "composed"),
]


def env():
    e = dict(os.environ)
    e["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    return e


def run(*args, stdin=None, merged=False):
    return subprocess.run(
        [sys.executable, "-m", "sqlparse_main", *args], input=stdin, text=True, env=env(), timeout=120,
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT if merged else subprocess.PIPE,
    )


@pytest.fixture
def script(tmp_path):
    p = tmp_path / "etl.sql"
    p.write_text(SCRIPT, encoding="utf-8")
    return str(p)


def label(table, column):
    return f"{table}.{column}" if column else table


def entry_edges(entry):
    """Edge rows of one json/jsonl statement object."""
    n = entry["statement"]
    target = entry["target"] or f"{entry['file']}:{n}"
    out = []
    for c in entry["columns"]:
        out += [(n, label(s["table"], s["column"]), label(target, c["name"]), s["kind"], "direct") for s in c["sources"]]
    out += [(n, label(s["table"], s["column"]), target, s["kind"], "indirect") for s in entry["indirect"]]
    for c in entry["composed"]:
        out += [(n, label(s["table"], s["column"]), label(c["target"] or target, c["name"]), s["kind"], "composed")
                for s in c["sources"]]
    return out


def read_json(stdout):
    doc = json.loads(stdout)
    assert [f["file"] for f in doc] == sorted({f["file"] for f in doc}, key=[f["file"] for f in doc].index)
    return [e for f in doc for s in f["statements"] for e in entry_edges(s)], [s for f in doc for s in f["statements"]]


def read_jsonl(stdout):
    entries = [json.loads(line) for line in stdout.splitlines()]
    return [e for s in entries for e in entry_edges(s)], entries


def read_csv(stdout):
    rows = list(csv.DictReader(io.StringIO(stdout, newline="")))
    edges = [(int(r["statement"]), label(r["source_table"], r["source_column"]),
              label(r["target_table"], r["target_column"]), r["kind"], r["edge"]) for r in rows]
    return edges, rows


def read_table(stdout):
    lines = stdout.splitlines()
    assert lines[0].split() == ["stmt", "source", "target", "kind", "edge"]
    assert set(lines[1]) <= {"-", " "}
    rows = [line.split() for line in lines[2:]]
    return [(int(n), s, t, k, e) for n, s, t, k, e in rows], rows


def read_dot(stdout):
    """Direct and composed edges (statement unknown: 0) of the graph, its failure note."""
    clusters = re.findall(r'subgraph cluster_\d+ \{\n    label="([^"]*)";\n[^\n]*\n((?:    n\d+ \[label="[^"]*"\];\n)*)', stdout)
    nodes = {}
    for table, body in clusters:
        for node, column in re.findall(r'(n\d+) \[label="([^"]*)"\]', body):
            nodes[node] = f"{table}.{column}"
    edges = []
    for a, b, attrs in re.findall(r"  (n\d+) -> (n\d+)(?: \[([^\]]*)\])?;", stdout):
        kind = re.search(r'label="([^"]*)"', attrs or "")
        edges.append((0, nodes[a], nodes[b], kind.group(1) if kind else "identity",
                      "composed" if "dashed" in (attrs or "") else "direct"))
    notes = re.findall(r'failed \[label="((?:[^"\\]|\\.)*)", shape=note', stdout)
    return edges, notes


READERS = {"table": read_table, "json": read_json, "jsonl": read_jsonl, "csv": read_csv, "dot": read_dot}


def expected(path, fmt):
    rows = [(n, s, t.replace("FILE", path), k, e) for n, s, t, k, e in EDGES]
    if fmt == "dot":  # value edges only, each once
        rows = sorted({(0, s, t, k, e) for n, s, t, k, e in rows if e != "indirect"})
    return rows


@pytest.mark.parametrize("fmt", ["table", "json", "jsonl", "csv", "dot"])
def test_each_format_gives_the_same_edges(script, fmt):
    r = run("-f", fmt, script)
    assert r.returncode == 1, r.stderr
    edges, extra = READERS[fmt](r.stdout)
    want = expected(script, fmt)
    assert (sorted(edges) if fmt == "dot" else edges) == want
    n, line, column = BAD
    assert r.stderr.splitlines() == [
        f"sqlparse-main: {script}: statement {n} (line {line}, column {column}): ParseError: "
        f"Expecting the end of the statement, found \")\" (at char {SCRIPT.index(' );') + 1}), (line:{line}, col:{column})",
        "sqlparse-main: 4 statements, 3 with lineage, 1 failed",
    ]
    if fmt == "dot":
        (note,) = extra
        assert note.startswith(f"1 failed statement:\\nstatement 3 ({script}, line 4, column 19): ParseError: ")
    if fmt in ("json", "jsonl"):
        assert [e["statement"] for e in extra] == [1, 2, 3, 4]
        assert [e["kind"] for e in extra] == ["create_table_as", "select", "other", "insert"]
        bad = extra[2]
        assert (bad["error_type"], bad["error_line"], bad["error_column"]) == ("ParseError", line, column)
        assert SCRIPT[bad["error_offset"]:].startswith(");")
        assert SCRIPT[extra[1]["start"]:extra[1]["end"]].startswith("select s.a, b + 1 as c from s")


def test_csv_columns_and_warnings():
    r = run("-f", "csv", "-e", "select * from db.t; select x from a, b")
    assert r.returncode == 0, r.stderr
    rows = list(csv.DictReader(io.StringIO(r.stdout, newline="")))
    assert list(rows[0]) == ["file", "statement", "statement_kind", "target_table", "target_column",
                             "source_table", "source_column", "kind", "edge", "warnings"]
    assert [(r["statement"], r["target_table"], r["target_column"], r["source_table"], r["source_column"],
             r["warnings"]) for r in rows] == [
        ("1", "-e#1:1", "*", "db.t", "*", "star_without_schema"),
        ("2", "-e#1:2", "x", "a", "x", "ambiguous_column"),
        ("2", "-e#1:2", "x", "b", "x", "ambiguous_column"),
    ]


def test_composed_lineage_stays_within_one_input(tmp_path):
    first, second = tmp_path / "a.sql", tmp_path / "b.sql"
    first.write_text("create table s as select a from db.t; select a from s", encoding="utf-8")
    second.write_text("select a from s", encoding="utf-8")
    r = run("-f", "csv", str(first), str(second))
    assert r.returncode == 0, r.stderr
    edges, _ = read_csv(r.stdout)
    assert edges == [
        (1, "db.t.a", "s.a", "identity", "direct"),
        (2, "s.a", f"{first}:2.a", "identity", "direct"),
        (2, "db.t.a", f"{first}:2.a", "identity", "composed"),
        (3, "s.a", f"{second}:3.a", "identity", "direct"),  # numbered on over the inputs
    ]


SCHEMA_CSV = """\
TABLE_CATALOG,TABLE_SCHEMA,TABLE_NAME,COLUMN_NAME,ORDINAL_POSITION
cat,sch,t,a,2
cat,sch,t,b,1
cat,sch,u,id,1
"""


@pytest.mark.parametrize("name, text, extra, source_table", [
    ("flat.json", json.dumps({"sch.t": ["b", "a"], "sch.u": ["id"]}), [], "sch.t"),
    ("nested.json", json.dumps({"cat": {"sch": {"t": {"b": "int", "a": "text"}, "u": {"id": "int"}}}}),
     ["--default-catalog", "cat"], "cat.sch.t"),
    ("columns.csv", SCHEMA_CSV, ["--default-catalog", "cat"], "cat.sch.t"),  # ordinal order, not file order
    ("no_catalog.csv", "table_schema,table_name,column_name,ordinal_position\nsch,t,b,1\nsch,t,a,2\nsch,u,id,1\n",
     [], "sch.t"),
])
def test_schema_file(tmp_path, name, text, extra, source_table):
    p = tmp_path / name
    p.write_text(text, encoding="utf-8")
    r = run("-f", "csv", "--schema", str(p), "--default-schema", "sch", *extra, "-e", "select * from t")
    assert r.returncode == 0, r.stderr
    edges, rows = read_csv(r.stdout)
    assert edges == [(1, f"{source_table}.b", "-e#1:1.b", "identity", "direct"),
                     (1, f"{source_table}.a", "-e#1:1.a", "identity", "direct")]
    assert all(row["warnings"] == "" for row in rows)


@pytest.mark.parametrize("dialect, edges", [
    (None, [(1, "t.a", "-e#1:1.a", "identity", "direct")]),
    ("postgres", [(1, "t.a", "-e#1:1.a", "identity", "direct")]),
    ("bigquery", []),  # "a" is a string there
    ("mysql", []),
])
def test_dialect(dialect, edges):
    args = ["--dialect", dialect] if dialect else []
    r = run("-f", "csv", *args, "-e", 'select "a" from t')
    assert r.returncode == 0, r.stderr
    assert read_csv(r.stdout)[0] == edges


@pytest.mark.parametrize("args, files, message", [
    (["--dialect", "nosuch"], {}, "unknown dialect 'nosuch'"),
    (["--schema", "{dir}/missing.json"], {}, "cannot read schema"),
    (["--schema", "{dir}/bad.json"], {"bad.json": "{\"t\": "}, "not valid JSON"),
    (["--schema", "{dir}/list.json"], {"list.json": "[1, 2]"}, "expected a JSON object"),
    (["--schema", "{dir}/deep.json"], {"deep.json": '{"a": {"b": {"c": {"d": ["x"]}}}}'}, "schema"),
    (["--schema", "{dir}/bad.csv"], {"bad.csv": "table,column\nt,a\n"}, "has no table_name, column_name"),
    (["--schema", "{dir}/pos.csv"], {"pos.csv": "table_name,column_name,ordinal_position\nt,a,first\n"},
     "is not a whole number"),
    (["--classic", "--dialect", "hive"], {}, "--dialect applies to the lineage analysis"),
    (["--classic", "--schema", "x.json"], {}, "--schema applies to the lineage analysis"),
])
def test_usage_errors(tmp_path, args, files, message):
    for name, text in files.items():
        (tmp_path / name).write_text(text, encoding="utf-8")
    r = run(*[a.format(dir=tmp_path) for a in args], "-e", "select a from t")
    assert r.returncode == 2
    assert r.stdout == ""
    assert r.stderr.startswith("sqlparse-main: ") and message in r.stderr and "Traceback" not in r.stderr


def kind(line):
    if line.startswith("sqlparse-main: cannot read"):
        return "unread"
    if line.startswith("sqlparse-main: ") and ": statement " in line:
        return "error " + line.split(": statement ")[1].split()[0]
    if line.startswith("sqlparse-main: ") and " with lineage, " in line:
        return "summary"
    return "output"


# script: statement 3 fails; then a missing file; then one more statement.
@pytest.mark.parametrize("fmt, expected", [
    ("table", ["output"] * 14 + ["error 3", "unread", "summary"]),
    ("json", ["output"] * 11 + ["error 3", "unread", "summary"]),
    ("jsonl", ["output"] * 3 + ["error 3", "output", "unread", "output", "summary"]),
    ("csv", ["output"] * 10 + ["error 3"] + ["output"] * 2 + ["unread", "output", "summary"]),
])
def test_error_lines_follow_the_output_they_belong_to(script, tmp_path, fmt, expected):
    more = tmp_path / "more.sql"
    more.write_text("select e from db.w", encoding="utf-8")
    r = run("-f", fmt, script, str(tmp_path / "missing.sql"), str(more), merged=True)
    assert r.returncode == 2
    lines = r.stdout.splitlines()
    assert [kind(line) for line in lines] == expected, lines
    assert lines[-1] == "sqlparse-main: 5 statements, 4 with lineage, 1 failed, 1 input not read"


@pytest.mark.parametrize("args, status, stderr", [
    (["-e", "select a from t"], 0, ["sqlparse-main: 1 statement, 1 with lineage, 0 failed"]),
    (["-q", "-e", "select a from t"], 0, []),
    (["-e", "select 1; create index i on t (a); select )"], 1,
     ["statement 3 (line 1, column 43)", "sqlparse-main: 3 statements, 0 with lineage, 1 failed"]),
    (["-q", "-f", "jsonl", "-e", "select )"], 1, ["statement 1 (line 1, column 8)"]),
    (["-f", "json", "-e", ""], 0, ["sqlparse-main: 0 statements, 0 with lineage, 0 failed"]),
])
def test_summary_and_quiet(args, status, stderr):
    r = run(*args)
    assert r.returncode == status
    lines = r.stderr.splitlines()
    assert len(lines) == len(stderr), r.stderr
    for line, want in zip(lines, stderr):
        assert line == want if want.startswith("sqlparse-main: ") else want in line


def test_single_statement_table_has_no_statement_column():
    r = run("-e", "select s.a as x from (select a from db.t) s")
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[0].split() == ["source", "target", "kind", "edge"]
    assert set(lines[1]) == {"-", " "}
    assert lines[2:] == ["db.t.a  -e#1:1.x  identity  direct"]


@pytest.mark.parametrize("fmt", ["table", "json", "csv"])
def test_classic_keeps_its_own_output(script, fmt):
    lineage_run, classic_run = run("-f", fmt, script), run("--classic", "-f", fmt, script)
    assert lineage_run.stdout != classic_run.stdout
    if fmt == "table":
        assert classic_run.stdout.splitlines()[0].split() == ["stmt", "database", "table", "src", "tgt"]
    elif fmt == "json":
        assert "records" in json.loads(classic_run.stdout)[0]
    else:
        assert classic_run.stdout.startswith("statement,source,database,table,src,tgt,error,output")


def test_undecodable_bytes_do_not_crash(tmp_path):
    p = tmp_path / "bad.sql"
    p.write_bytes(b"select a from t; select \xff from u; select b from v")
    r = subprocess.run([sys.executable, "-m", "sqlparse_main", "-f", "jsonl", str(p)], capture_output=True,
                       env=env(), timeout=120)
    assert b"Traceback" not in r.stderr and r.returncode in (0, 1)
    rows = [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]
    assert [row["statement"] for row in rows] == [1, 2, 3]
    assert rows[2]["columns"][0]["sources"][0] == {"table": "v", "column": "b", "kind": "identity", "ambiguous": False}


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="needs a pseudo-terminal")
@pytest.mark.parametrize("fmt", ["jsonl", "table"])
def test_progress_bar_and_error_lines_on_a_terminal(tmp_path, fmt):
    from sqlparse_main.cli import PROGRESS_FROM as n

    failing = {3, 2500, n - 1}
    p = tmp_path / "many.sql"
    p.write_text("".join("select )\n;" if k in failing else f"select a{k} from db.t;\n" for k in range(1, n + 1)),
                 encoding="utf-8")
    code, text = run_with_terminal_stderr(
        [sys.executable, "-m", "sqlparse_main", "-f", fmt, str(p)], tmp_path / "out", env())
    assert code == 1
    assert "statements (" in text  # a bar was drawn
    shown = [line for line in screen(text) if line]
    errors = [line for line in shown if ": statement " in line]
    assert [int(line.split(": statement ")[1].split()[0]) for line in errors] == sorted(failing)
    assert all(line.startswith("sqlparse-main: ") and "ParseError: " in line for line in errors)
    assert shown == errors + [f"sqlparse-main: {n} statements, {n - 3} with lineage, 3 failed"]
    with open(tmp_path / "out", encoding="utf-8") as f:
        assert sum(1 for _ in f) == (n if fmt == "jsonl" else n - 3 + 2)


@pytest.mark.parametrize("fmt", ["table", "jsonl", "csv", "dot"])
def test_full_disk_ends_with_one_line(script, fmt):
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full")
    with open("/dev/full", "w") as full:
        r = subprocess.run([sys.executable, "-m", "sqlparse_main", "-f", fmt, script], stdout=full,
                           stderr=subprocess.PIPE, text=True, env=env(), timeout=120)
    assert r.returncode == 1
    assert r.stderr == "sqlparse-main: cannot write output: No space left on device\n"


def test_reader_that_stops_early(tmp_path):
    p = tmp_path / "many.sql"
    p.write_text("".join(f"select a{i} from db.t{i};\n" for i in range(3000)), encoding="utf-8")
    with subprocess.Popen([sys.executable, "-m", "sqlparse_main", "-f", "jsonl", str(p)],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env()) as proc:
        first = proc.stdout.readline()  # as `| head -n 1` does, then goes away
        proc.stdout.close()
        err = proc.stderr.read()
        proc.wait(timeout=120)
    assert json.loads(first)["statement"] == 1
    assert err == b"" and proc.returncode == 141


def test_interrupt_while_analysing_ends_with_one_line(monkeypatch, capsys):
    from sqlparse_main import cli_lineage

    def interrupted(*args, **kwargs):
        raise KeyboardInterrupt

    monkeypatch.setattr(cli_lineage, "analyse", interrupted)
    from sqlparse_main import cli

    assert cli.main(["-f", "jsonl", "-e", "select a from t"]) == 130
    captured = capsys.readouterr()
    assert captured.err == "sqlparse-main: interrupted\n" and captured.out == ""


def test_an_input_the_analysis_throws_on_fails_alone(monkeypatch, capsys, tmp_path):
    from sqlparse_main import cli

    real = sys.modules["sqlparse_main.lineage"].lineage

    def flaky(sql, **kwargs):
        if "boom" in sql:
            raise MemoryError("out of memory")
        return real(sql, **kwargs)

    monkeypatch.setattr(sys.modules["sqlparse_main.lineage"], "lineage", flaky)
    status = cli.main(["-f", "csv", "-e", "select a from t", "-e", "select boom from t", "-e", "select b from u"])
    captured = capsys.readouterr()
    assert status == 1
    assert [row["statement"] for row in csv.DictReader(io.StringIO(captured.out))] == ["1", "3"]
    assert captured.err.splitlines() == [
        "sqlparse-main: -e#2: statement 2 (line 1, column 1): MemoryError: out of memory",
        "sqlparse-main: 3 statements, 2 with lineage, 1 failed",
    ]


@pytest.mark.skipif(__import__("shutil").which("dot") is None, reason="Graphviz dot is not installed")
@pytest.mark.parametrize("sql, texts", [
    (SCRIPT, ["db.t", "s", "w", "a", "b", "c", "transformation"]),
    ('select "a\\b""c" as "x\ny" from "q""t"; select )', ['q"t', 'a\\b"c']),
])
def test_dot_renders(tmp_path, sql, texts):
    import xml.etree.ElementTree as ET

    r = run("-f", "dot", "-e", sql)
    svg = subprocess.run(["dot", "-Tsvg"], input=r.stdout, capture_output=True, text=True, timeout=60)
    assert svg.returncode == 0 and svg.stderr == "", svg.stderr
    shown = [t.text for t in ET.fromstring(svg.stdout).iter("{http://www.w3.org/2000/svg}text")]
    for text in texts:
        assert text in shown, shown
    assert any(t and t.startswith("1 failed statement:") for t in shown)


def test_dot_boxes_follow_the_view_model():
    """One cluster per box, named and coloured by its role as in the HTML
    page; every column of a box drawn, also those no edge reaches."""
    r = run("-f", "dot", "-e", "select 1 as x, a from db.t; create table s as select a from db.t; "
                              "insert into w select a from s")
    assert r.returncode == 0, r.stderr
    clusters = re.findall(r'label="([^"]*)";\n    style=filled; color=(\w+);\n((?:    n\d+ \[label="[^"]*"\];\n)*)',
                          r.stdout)
    got = {name: (colour, re.findall(r'label="([^"]*)"', body)) for name, colour, body in clusters}
    assert got == {
        "-e#1:1": ("thistle1", ["x", "a"]),
        "s": ("lightgoldenrod1", ["a"]),
        "w": ("darkseagreen1", ["a"]),
        "db.t": ("lightsteelblue1", ["a"]),
    }
