"""The command line, run as a real subprocess, its output read back with real
readers (json, csv, Graphviz dot)."""

import contextlib
import csv
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

import pytest
from terminal import run_with_terminal_stderr, screen

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
        [sys.executable, "-m", "sqlparse_main", "--classic", *args],
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
    assert len(lines) == 3, stderr
    assert lines[2] == "sqlparse-main: 5 statements, 3 with lineage, 2 failed"
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
    r = subprocess.run([sys.executable, "-m", "sqlparse_main", "--classic", "-f", "jsonl", str(p)], capture_output=True, env=env(), timeout=120)
    assert r.returncode in (0, 1)
    rows = [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]
    assert [row["text"] for row in rows] == ["select a from t", "select \udcff from u", "select b from v"]
    assert b"Traceback" not in r.stderr


def test_console_script_entry_point_is_main():
    from sqlparse_main import cli

    assert cli.main(["--help"]) == 0


# ---- inputs that cannot be read ----------------------------------------------------

SECOND_TEXT = "select e from db.w;\nselect f from x\n"


def output_statements(fmt, stdout):
    """The statement numbers that a format's output shows."""
    if fmt == "json":
        return [s["statement"] for s in json.loads(stdout)]
    if fmt == "jsonl":
        return [json.loads(line)["statement"] for line in stdout.splitlines()]
    if fmt == "csv":
        return sorted({int(row["statement"]) for row in csv.DictReader(io.StringIO(stdout, newline=""))})
    return sorted({int(line.split()[0]) for line in stdout.splitlines()[2:] if line.split()[0].isdigit()})


@pytest.mark.parametrize("fmt, shown", [
    ("table", [1, 2, 4, 6, 7]),  # only statements with records have rows
    ("json", [1, 2, 3, 4, 5, 6, 7]),
    ("jsonl", [1, 2, 3, 4, 5, 6, 7]),
    ("csv", [1, 2, 3, 4, 5, 6, 7]),
])
def test_missing_file_is_reported_and_the_others_go_on(sql_file, tmp_path, fmt, shown):
    second = tmp_path / "second.sql"
    second.write_text(SECOND_TEXT, encoding="utf-8")
    missing = str(tmp_path / "missing.sql")
    r = run("-f", fmt, sql_file, missing, str(second))
    assert r.returncode == 2
    assert output_statements(fmt, r.stdout) == shown
    lines = r.stderr.splitlines()
    assert [line for line in lines if "cannot read" in line] == [f"sqlparse-main: cannot read {missing}: No such file or directory"]
    assert lines[-1] == "sqlparse-main: 7 statements, 5 with lineage, 2 failed, 1 input not read"
    assert "Traceback" not in r.stderr


@pytest.mark.parametrize("args, status, summary", [
    (["/no/such/a.sql"], 2, "0 statements, 0 with lineage, 0 failed, 1 input not read"),
    (["/no/such/a.sql", "/no/such/b.sql"], 2, "0 statements, 0 with lineage, 0 failed, 2 inputs not read"),
    (["-e", "select a from t", "/no/such/a.sql"], 2, "1 statement, 1 with lineage, 0 failed, 1 input not read"),
    (["."], 2, "0 statements, 0 with lineage, 0 failed, 1 input not read"),  # a directory
])
def test_unreadable_inputs(args, status, summary):
    r = run(*args)
    assert r.returncode == status
    assert r.stderr.splitlines()[-1] == "sqlparse-main: " + summary
    assert all(line.startswith("sqlparse-main: cannot read ") for line in r.stderr.splitlines()[:-1])


# ---- standard error in step with standard output ------------------------------------


def run_merged(*args):
    """Standard output and error into one pipe, as on a shared terminal."""
    r = subprocess.run([sys.executable, "-m", "sqlparse_main", "--classic", *args], stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, text=True, env=env(), timeout=120)
    return r.returncode, r.stdout.splitlines()


def kind(line):
    if line.startswith("sqlparse-main: cannot read"):
        return "unread"
    if line.startswith("sqlparse-main: ") and ": statement " in line:
        return "error " + line.split(": statement ")[1].split()[0]
    if line.startswith("sqlparse-main: ") and " with lineage, " in line:
        return "summary"
    return "output"


# Statements 3 and 5 of FILE_TEXT fail; the missing file lies between the two
# files, before statement 6.
@pytest.mark.parametrize("fmt, expected", [
    # Written whole at the end: every error line after all of the output.
    ("table", ["output"] * 6 + ["['t1', 't2']"] + ["output"] * 2 + ["error 3", "error 5", "unread", "summary"]),
    ("json", ["output"] * 9 + ["error 3", "error 5", "unread", "summary"]),
    # A line per statement: each error line right after its statement's line.
    ("jsonl", ["output"] * 3 + ["error 3"] + ["output"] * 2 + ["error 5", "unread"] + ["output"] * 2 + ["summary"]),
    ("csv", ["output"] * 5 + ["error 3"] + ["output"] * 2 + ["error 5", "unread"] + ["output"] * 2 + ["summary"]),
])
def test_error_lines_follow_the_output_they_belong_to(sql_file, tmp_path, fmt, expected):
    second = tmp_path / "second.sql"
    second.write_text(SECOND_TEXT, encoding="utf-8")
    status, lines = run_merged("-f", fmt, sql_file, str(tmp_path / "missing.sql"), str(second))
    assert status == 2
    kinds = [kind(line) for line in lines]
    if fmt == "table":  # the analyser's own line stays where _parse_sql prints it
        kinds[6] = lines[6]
    assert kinds == expected, lines


# ---- input that is not UTF-8 ---------------------------------------------------------


@pytest.mark.parametrize("data", [
    b"select a from t; select \xe9t\xe9 from u; select b from v",  # latin-1
    b"select a from t;\n-- caf\xe9\nselect b from v;\nselect \xff\xfe from w",
    "select a from t; select été from u; select b from v".encode("utf-8"),
    "\ufeffselect a from t; -- 漢字\nselect b from v".encode("utf-8"),  # byte-order mark
    b"select a from t; select '\xe9\xa0' from u; select '\xf0\x9f\x98\x80' as \xc3\xa9 from v",  # mixed
])
def test_offsets_stay_within_the_input(tmp_path, data):
    p = tmp_path / "in.sql"
    p.write_bytes(data)
    r = subprocess.run([sys.executable, "-m", "sqlparse_main", "--classic", "-f", "jsonl", str(p)], capture_output=True, env=env(), timeout=120)
    assert b"Traceback" not in r.stderr
    body = data[3:] if data.startswith(b"\xef\xbb\xbf") else data  # offsets start after a byte-order mark
    text = body.decode("utf-8", "surrogateescape")
    rows = [json.loads(line) for line in r.stdout.decode("utf-8").splitlines()]
    assert rows
    for row in rows:
        start, end = row["span"]["start"]["offset"], row["span"]["end"]["offset"]
        byte_start, byte_end = row["span"]["bytes"]
        assert 0 <= start <= end <= len(text) and text[start:end] == row["text"]
        assert 0 <= byte_start <= byte_end <= len(body)
        assert body[byte_start:byte_end].decode("utf-8", "surrogateescape") == row["text"]
        assert byte_start == len(text[:start].encode("utf-8", "surrogateescape"))
        if row["error"] is not None:
            assert 0 <= row["error"]["offset"] <= len(text)


# ---- interruption and output failures ---------------------------------------------


def test_interrupt_ends_with_one_line_and_status_130(tmp_path):
    # The command reads a FIFO: once this end is open, it is inside its
    # run, blocked on the read, when the interrupt comes.
    fifo = str(tmp_path / "in.fifo")
    os.mkfifo(fifo)
    proc = subprocess.Popen([sys.executable, "-m", "sqlparse_main", "--classic", fifo], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=env())
    writer = None
    try:
        deadline = time.monotonic() + 60
        while writer is None:
            try:
                writer = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            except OSError:  # no reader yet
                assert proc.poll() is None and time.monotonic() < deadline
                time.sleep(0.02)
        time.sleep(0.2)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=60)
    finally:
        if writer is not None:
            os.close(writer)
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    assert proc.returncode == 130
    assert err == "sqlparse-main: interrupted\n"
    assert out == ""


def test_interrupt_while_analysing_ends_with_one_line(monkeypatch, capsys):
    from sqlparse_main import batch, cli

    def interrupted(*args, **kwargs):
        raise KeyboardInterrupt

    monkeypatch.setattr(batch, "parse_sql_many", interrupted)
    assert cli.main(["--classic", "-f", "jsonl", "-e", "select a from t"]) == 130
    captured = capsys.readouterr()
    assert captured.err == "sqlparse-main: interrupted\n" and captured.out == ""


def closed_pipe():
    read_end, write_end = os.pipe()
    os.close(read_end)
    return write_end


OUTPUT_FAILURES = [
    # (stdout, stderr, status, what standard error shows)
    ("/dev/full", "pipe", 1, "sqlparse-main: cannot write output: No space left on device\n"),
    ("closed pipe", "pipe", 141, ""),
    ("/dev/null", "closed pipe", 141, None),
]


@pytest.mark.parametrize("fmt, stdout, stderr, status, shown", [
    (fmt, *case) for fmt in ("table", "jsonl", "csv", "--version") for case in OUTPUT_FAILURES
    if not (fmt == "--version" and case[1] == "closed pipe")  # it writes nothing there
])
def test_output_failures_end_without_traceback(sql_file, fmt, stdout, stderr, status, shown):
    args = ["--version"] if fmt == "--version" else ["-f", fmt, sql_file]
    if "/dev/full" in (stdout, stderr) and not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full")
    opened = []

    def target(name):
        if name == "pipe":
            return subprocess.PIPE
        fd = closed_pipe() if name == "closed pipe" else os.open(name, os.O_WRONLY)
        opened.append(fd)
        return fd

    try:
        proc = subprocess.Popen([sys.executable, "-m", "sqlparse_main", "--classic", *args],
                                stdout=target(stdout), stderr=target(stderr), env=env())
    finally:
        for fd in opened:
            os.close(fd)
    _, err = proc.communicate(timeout=120)
    assert proc.returncode == status
    if shown is not None:
        assert err.decode() == shown


def test_reader_that_stops_early(tmp_path):
    p = tmp_path / "many.sql"
    p.write_text("".join(f"select a{i} from db.t{i};\n" for i in range(3000)), encoding="utf-8")
    with subprocess.Popen([sys.executable, "-m", "sqlparse_main", "--classic", "-f", "jsonl", str(p)],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env()) as proc:
        first = proc.stdout.readline()  # as `| head -n 1` does, then goes away
        proc.stdout.close()
        err = proc.stderr.read()
        proc.wait(timeout=120)
    assert json.loads(first)["statement"] == 1
    assert err == b"" and proc.returncode == 141


# ---- version and summary ----------------------------------------------------------------


def test_version():
    r = run("--version")
    assert r.returncode == 0
    assert r.stdout == f"sqlparse-main {sqlparse_main.__version__}\n"


@pytest.mark.parametrize("args, status, stderr_lines", [
    (["-e", "select a from t"], 0, ["sqlparse-main: 1 statement, 1 with lineage, 0 failed"]),
    (["-e", "select 1; select a, b from t; select )"], 1,
     ["statement 3", "sqlparse-main: 3 statements, 1 with lineage, 1 failed"]),
    (["-f", "jsonl", "-e", "select 1; select a from t"], 0, ["sqlparse-main: 2 statements, 1 with lineage, 0 failed"]),
    (["-f", "json", "-e", ""], 0, ["sqlparse-main: 0 statements, 0 with lineage, 0 failed"]),
    (["--quiet", "-e", "select a from t"], 0, []),
    (["-q", "-f", "csv", "-e", "select )"], 1, ["statement 1"]),  # error lines stay
])
def test_summary_line(args, status, stderr_lines):
    r = run(*args)
    assert r.returncode == status
    lines = r.stderr.splitlines()
    assert len(lines) == len(stderr_lines), r.stderr
    for line, want in zip(lines, stderr_lines):
        assert line == want if want.startswith("sqlparse-main: ") else want in line


# ---- the progress bar ---------------------------------------------------------------


BAR_STEPS = [
    # (step, argument, the screen after it; "BAR n/total" is the bar at n)
    ("update", (2000, 0), ["BAR 2000/6000"]),
    ("error", "sqlparse-main: x: statement 7 (line 7, column 1): ParseError: e", ["sqlparse-main: x: statement 7 (line 7, column 1): ParseError: e", "BAR 2000/6000 1"]),
    ("error", "short", ["sqlparse-main: x: statement 7 (line 7, column 1): ParseError: e", "short", "BAR 2000/6000 2"]),
    ("update", (4000, 2), ["sqlparse-main: x: statement 7 (line 7, column 1): ParseError: e", "short", "BAR 4000/6000 2"]),
    ("finish", None, ["sqlparse-main: x: statement 7 (line 7, column 1): ParseError: e", "short", ""]),
]


def test_error_lines_go_above_the_progress_bar():
    from sqlparse_main import cli

    err = io.StringIO()
    console = cli.Console(io.StringIO(), err)
    console.in_step = True
    console.progress = cli.Progress(6000, err)
    failed = 0
    for step, arg, want in BAR_STEPS:
        if step == "update":
            console.progress.update(*arg)
        elif step == "error":
            failed += 1
            console.progress.failed = failed
            console.error(arg)
        else:
            console.finish()
        shown = screen(err.getvalue())
        bars = [line for line in shown if line.startswith("[")]
        assert len(bars) <= 1, shown  # one bar, drawn over itself
        expected = []
        for line in want:
            if line.startswith("BAR "):
                done, total = line.split()[1].split("/")
                line = f"] {done}/{total} statements ({100 * int(done) // int(total)}%)"
                if len(want[-1].split()) == 3:
                    line += f", {want[-1].split()[2]} failed"
                assert shown[-1].startswith("[#") and shown[-1].endswith(line), shown
                continue
            expected.append(line)
        assert shown[: len(expected)] == expected, shown


def many_statements(failing):
    return "".join(
        "select )\n;" if k in failing else f"select a{k} from db.t;\n" for k in range(1, cli_progress_from() + 1)
    )


def cli_progress_from():
    from sqlparse_main import cli

    return cli.PROGRESS_FROM


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="needs a pseudo-terminal")
@pytest.mark.parametrize("fmt", ["jsonl", "table"])
def test_progress_bar_and_error_lines_on_a_terminal(tmp_path, fmt):
    failing = {3, 2500, 4999}
    p = tmp_path / "many.sql"
    p.write_text(many_statements(failing), encoding="utf-8")
    code, text = run_with_terminal_stderr(
        [sys.executable, "-m", "sqlparse_main", "--classic", "-f", fmt, str(p)], tmp_path / "out", env())
    assert code == 1
    assert "statements (" in text  # a bar was drawn
    shown = [line for line in screen(text) if line]
    errors = [line for line in shown if ": statement " in line]
    assert [int(line.split(": statement ")[1].split()[0]) for line in errors] == sorted(failing)
    assert all(line.startswith("sqlparse-main: ") and "ParseError: " in line for line in errors)
    n = cli_progress_from()
    assert shown == errors + [f"sqlparse-main: {n} statements, {n - 3} with lineage, 3 failed"]
    if fmt == "jsonl":  # error lines come while the bar is up, which is drawn again under each
        for line in errors:
            assert text[text.index(line) + len(line) :].startswith("\r\n\r[#"), line
