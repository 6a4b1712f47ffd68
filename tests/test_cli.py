"""The command line, run as a real subprocess, its output read back with real
readers (json, csv, Graphviz dot)."""

import contextlib
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

import pytest

import sqlparse_main

# Five statements; the third (line 5) is bad: the parser stops at the ")",
# column 19 of that line (two blanks of indentation, then the 16 characters
# of "select a from t ").
FILE_TEXT = """\
select a, b from db.t;
-- the second one, with ';' in a string and a comment
select x as "y;z" from u where c = 'a;b';

  select a from t );
select c from sales.orders;
select d from t1, t2
"""
BAD_LINE, BAD_COLUMN = 5, 19
SHAPE_LINE, SHAPE_COLUMN = 7, 1


def env():
    e = dict(os.environ)
    e["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    return e


def run(*args, stdin=None):
    return subprocess.run(
        [sys.executable, "-m", "sqlparse_main", *args],
        input=stdin,
        capture_output=True,
        text=True,
        env=env(),
        timeout=120,
    )


def parse_sql(sql):
    """_parse_sql's result (records or exception) and what it printed."""
    buf = io.StringIO()
    with contextlib.redirect_stdout(buf):
        try:
            result = sqlparse_main.VarnelParseMain()._parse_sql(sql)
        except Exception as exc:
            result = exc
    return result, buf.getvalue()


def fields(record):
    return {k: record.get(k) for k in ("database", "table", "src", "tgt")}


STATEMENTS = [
    "select a, b from db.t",
    "-- the second one, with ';' in a string and a comment\n"
    "select x as \"y;z\" from u where c = 'a;b'",
    "select a from t )",
    "select c from sales.orders",
    "select d from t1, t2",
]


@pytest.fixture
def sql_file(tmp_path):
    p = tmp_path / "queries.sql"
    p.write_text(FILE_TEXT, encoding="utf-8")
    return str(p)


def expected_records(k):
    result, _ = parse_sql(STATEMENTS[k])
    assert isinstance(result, list), STATEMENTS[k]
    return [fields(r) for r in result]


def check_stderr(stderr, path):
    lines = stderr.splitlines()
    assert len(lines) == 2, stderr
    assert lines[0].startswith(f"sqlparse-main: {path}: statement 3 (line {BAD_LINE}, column {BAD_COLUMN}): ParseError: ")
    assert lines[1].startswith(f"sqlparse-main: {path}: statement 5 (line {SHAPE_LINE}, column {SHAPE_COLUMN}): UnsupportedFromShape: No active exception to reraise")


def test_json(sql_file):
    r = run("--format", "json", sql_file)
    assert r.returncode == 1
    check_stderr(r.stderr, sql_file)
    doc = json.loads(r.stdout)
    assert [s["statement"] for s in doc] == [1, 2, 3, 4, 5]
    assert [s["text"] for s in doc] == STATEMENTS
    for k in (0, 1, 3):
        assert doc[k]["error"] is None
        assert doc[k]["records"] == expected_records(k)
    assert doc[0]["records"][0] == {"database": "db", "table": "t", "src": "a", "tgt": "a"}
    bad = doc[2]["error"]
    exc, _ = parse_sql(STATEMENTS[2])
    assert bad["type"] == "ParseError" and bad["message"] == str(exc)
    assert (bad["line"], bad["column"]) == (BAD_LINE, BAD_COLUMN)
    assert FILE_TEXT[bad["offset"] :].startswith(");")
    assert doc[2]["span"]["start"] == {"offset": FILE_TEXT.index("select a from t )"), "line": 5, "column": 3}
    shape = doc[4]["error"]
    exc, printed = parse_sql(STATEMENTS[4])
    assert shape["type"] == "UnsupportedFromShape"
    assert shape["output"] + "\n" == printed  # carried here, not printed
    assert (shape["line"], shape["column"]) == (SHAPE_LINE, SHAPE_COLUMN)


def test_jsonl(sql_file):
    r = run("--format", "jsonl", sql_file)
    assert r.returncode == 1
    check_stderr(r.stderr, sql_file)
    rows = [json.loads(line) for line in r.stdout.splitlines()]
    assert len(rows) == 5
    assert [row["error"] is None for row in rows] == [True, True, False, True, False]
    assert rows[3]["records"] == expected_records(3)
    assert rows[3]["records"] == [{"database": "sales", "table": "orders", "src": "c", "tgt": "c"}]
    assert (rows[2]["error"]["line"], rows[2]["error"]["column"]) == (BAD_LINE, BAD_COLUMN)


def test_csv(sql_file):
    r = run("--format", "csv", sql_file)
    assert r.returncode == 1
    check_stderr(r.stderr, sql_file)
    rows = list(csv.DictReader(io.StringIO(r.stdout, newline="")))
    by_statement = {}
    for row in rows:
        by_statement.setdefault(int(row["statement"]), []).append(row)
    for k in (0, 1, 3):
        got = [{f: row[f] for f in ("database", "table", "src", "tgt")} for row in by_statement.get(k + 1, [])]
        want = [{f: (v if v is not None else "") for f, v in rec.items()} for rec in expected_records(k)]
        assert got == want
    (bad,) = by_statement[3]
    assert bad["error"].startswith("ParseError: ") and f"(line {BAD_LINE}, column {BAD_COLUMN})" in bad["error"]
    (shape,) = by_statement[5]
    _, printed = parse_sql(STATEMENTS[4])
    assert shape["output"] + "\n" == printed


def test_table(sql_file):
    r = run(sql_file)
    assert r.returncode == 1
    check_stderr(r.stderr, sql_file)
    lines = r.stdout.splitlines()
    assert lines[0].split() == ["stmt", "database", "table", "src", "tgt"]
    assert set(lines[1]) <= {"-", " "}
    assert lines[2].split() == ["1", "db", "t", "a", "a"]
    assert ["4", "sales", "orders", "c", "c"] in [line.split() for line in lines]
    # In the table the analyser's line is printed where _parse_sql prints it.
    _, printed = parse_sql(STATEMENTS[4])
    assert lines[-1] + "\n" == printed


@pytest.mark.skipif(shutil.which("dot") is None, reason="Graphviz dot is not installed")
def test_dot_renders(sql_file, tmp_path):
    r = run("--format", "dot", sql_file)
    assert r.returncode == 1
    check_stderr(r.stderr, sql_file)
    svg = subprocess.run(["dot", "-Tsvg"], input=r.stdout, capture_output=True, text=True, timeout=60)
    assert svg.returncode == 0, svg.stderr
    assert svg.stderr == ""
    root = ET.fromstring(svg.stdout)
    ns = {"svg": "http://www.w3.org/2000/svg"}
    texts = [t.text for t in root.iter("{http://www.w3.org/2000/svg}text")]
    titles = [t.text for t in root.findall(".//svg:g/svg:title", ns)]
    assert "db.t" in texts and "sales.orders" in texts
    assert "statement 1" in texts and "statement 3" in texts
    assert any(t and "->" in t for t in titles)  # arrows
    assert any(t and t.startswith("ParseError at line 5, column 19") for t in texts)


def test_dot_quotes_odd_names():
    r = run("--format", "dot", "-e", 'select "a\\b""c" as "x\ny" from "q""t"')
    assert r.returncode in (0, 1)
    if shutil.which("dot"):
        svg = subprocess.run(["dot", "-Tsvg"], input=r.stdout, capture_output=True, text=True, timeout=60)
        assert svg.returncode == 0, svg.stderr


def test_stdin():
    r = run("--format", "jsonl", stdin="select a from db.t;\nselect b from u;\n")
    assert r.returncode == 0, r.stderr
    rows = [json.loads(line) for line in r.stdout.splitlines()]
    assert [row["source"] for row in rows] == ["<stdin>", "<stdin>"]
    assert rows[0]["records"] == [{"database": "db", "table": "t", "src": "a", "tgt": "a"}]
    assert rows[1]["records"] == [{"database": None, "table": "u", "src": "b", "tgt": "b"}]
    assert rows[1]["span"]["start"]["line"] == 2
    r = run("--format", "json", "-", stdin="select a from t")
    assert r.returncode == 0 and len(json.loads(r.stdout)) == 1


def test_execute_repeatable():
    r = run("-f", "json", "-e", "select a from t", "-e", "select b from db.u; select c from v")
    assert r.returncode == 0, r.stderr
    doc = json.loads(r.stdout)
    assert [s["source"] for s in doc] == ["-e#1", "-e#2", "-e#2"]
    assert [s["records"][0]["src"] for s in doc] == ["a", "b", "c"]


def test_single_statement_table_has_no_statement_column():
    r = run("-e", "select s.a as x from (select a from db.t) s")
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[0].split() == ["database", "table", "src", "tgt"]
    assert lines[2].split() == ["db", "t", "a", "x"]


def test_error_position_in_execute_text():
    r = run("-f", "jsonl", "-e", "select 1;\n\n   select a from t )")
    assert r.returncode == 1
    rows = [json.loads(line) for line in r.stdout.splitlines()]
    err = rows[1]["error"]
    assert (err["line"], err["column"]) == (3, 20)
    assert "statement 2 (line 3, column 20)" in r.stderr


def test_cycle_reported_and_others_go_on():
    r = run("-f", "jsonl", "-e", "select a from (select a from t); select b from u")
    assert r.returncode == 1
    rows = [json.loads(line) for line in r.stdout.splitlines()]
    assert rows[0]["error"]["type"] == "RecursionError"
    assert rows[1]["records"] == [{"database": None, "table": "u", "src": "b", "tgt": "b"}]


def test_all_good_exit_zero_and_empty_input():
    assert run("-e", "select a from t").returncode == 0
    r = run("-f", "json", stdin="  ;\n-- nothing\n")
    assert r.returncode == 0 and json.loads(r.stdout) == []
    r = run("-f", "csv", stdin="")
    assert r.returncode == 0 and r.stdout.splitlines()[0].startswith("statement,source,")


def test_usage_errors():
    r = run("--format", "yaml", "-e", "select a from t")
    assert r.returncode == 2 and "invalid choice" in r.stderr
    r = run("/no/such/file.sql")
    assert r.returncode == 2 and "cannot read /no/such/file.sql" in r.stderr
    r = run("--threads", "0", "-e", "select 1")
    assert r.returncode == 2


def test_help_has_examples():
    r = run("--help")
    assert r.returncode == 0
    assert "examples:" in r.stdout and "--format" in r.stdout and "exit status" in r.stdout


def test_threads_give_the_same_output(sql_file):
    one = run("-f", "json", "--threads", "1", sql_file)
    two = run("-f", "json", "--threads", "2", sql_file)
    assert one.stdout == two.stdout and one.stderr == two.stderr


def test_undecodable_bytes_do_not_crash(tmp_path):
    p = tmp_path / "bad.sql"
    p.write_bytes(b"select a from t; select \xff from u; select b from v")
    r = subprocess.run([sys.executable, "-m", "sqlparse_main", "-f", "jsonl", str(p)], capture_output=True, env=env(), timeout=120)
    assert r.returncode in (0, 1)
    rows = [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]
    assert [row["text"] for row in rows] == ["select a from t", "select \udcff from u", "select b from v"]
    assert b"Traceback" not in r.stderr


def test_console_script_entry_point_is_main():
    from sqlparse_main import cli

    assert cli.main(["--help"]) == 0
