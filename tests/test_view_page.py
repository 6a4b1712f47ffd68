"""The lineage page as text (read back with html.parser, no browser) and the
DOT drawn from the same model: the pinned attributes, escaping of whatever
the SQL holds, the API's arguments, the command line's html and dot output."""

import html
import json
import os
import re
import subprocess
import sys
from html.parser import HTMLParser

import pytest

import sqlparse_main
from sqlparse_main import lineage, lineage_many, view

NOTE_LINES, NOTE_WIDTH = 10, 160  # the DOT note of failed statements: at most these


class Page(HTMLParser):
    """The elements that carry data-* attributes, the scripts' texts, and the
    open-tag names (to see that nothing from the SQL became markup)."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.tables, self.columns, self.edges, self.scripts, self.tags = [], [], [], [], []
        self._script = None
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.tags.append(tag)
        if "data-table" in a:
            self.tables.append(a["data-table"])
        if "data-column" in a:
            self.columns.append(a["data-column"])
        if "data-source" in a:
            self.edges.append((a["data-source"], a["data-target"], a["data-kind"]))
        if tag == "script":
            self._script = []

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)

    def handle_data(self, data):
        if self._script is not None:
            self._script.append(data)

    def handle_endtag(self, tag):
        if tag == "script":
            self.scripts.append("".join(self._script))
            self._script = None


SCRIPT = ("create table s as select a, b from db.t; "
          "select s.a, b + 1 as c from s join u on s.a = u.id where u.k > 1; "
          "insert into w select a from s")


@pytest.mark.parametrize("sql, tables, columns, edges", [
    ("select a, b + 1 as c from db.t", ["query:1", "db.t"], ["query:1.a", "query:1.c", "db.t.a", "db.t.b"],
     {("db.t.a", "query:1.a", "identity"), ("db.t.b", "query:1.c", "transformation")}),
    (SCRIPT, ["s", "query:2", "w", "db.t", "u"],
     ["s.a", "s.b", "query:2.a", "query:2.c", "w.a", "db.t.a", "db.t.b", "u.id", "u.k"],
     {("db.t.a", "s.a", "identity"), ("db.t.b", "s.b", "identity"), ("s.a", "query:2.a", "identity"),
      ("s.b", "query:2.c", "transformation"), ("s.a", "w.a", "identity"), ("s.a", "query:2", "join"),
      ("u.id", "query:2", "join"), ("u.k", "query:2", "filter")}),
])
def test_pinned_attributes(sql, tables, columns, edges):
    page = Page(lineage(sql).to_html(sql))
    assert page.tables == tables
    assert page.columns == columns
    assert set(page.edges) == edges and len(page.edges) == len(edges)


ODD = [
    'select "</script><b>x" as "a&amp;<i>" from "t""<q>" where "<"=\'</script>\'',
    "select '<!--' as x, \"' \"\"\" as y from \"a&b\".\"c<d\"",
    "select \"\u2028\" as \"\u00e9\U0001f600\" from t -- </script>",
]


@pytest.mark.parametrize("sql", ODD)
def test_text_from_sql_never_becomes_markup(sql):
    result = lineage(sql)
    page = Page(result.to_html(sql))
    drawn = view.layout(view.statements_of([result], ["query"], [sql]))
    assert page.tables == [t["name"] for t in drawn["tables"]]
    assert page.columns == [f"{t['name']}.{c}" for t in drawn["tables"] for c in t["columns"]]
    assert {(e[0], e[1], e[2]) for e in drawn["edges"]} == set(page.edges)
    assert set(page.tags) <= {"html", "head", "meta", "title", "style", "body", "header", "strong", "span",
                              "input", "label", "i", "button", "main", "div", "svg", "path", "aside", "p",
                              "script"}
    data, code = page.scripts
    st = result.statements[0]
    assert json.loads(data)["statements"][0]["sql"] == sql[st.start:st.end]
    assert "</" not in data and "<!--" not in data
    assert code.lstrip().startswith("(function")


def test_statement_text_warnings_and_errors_in_the_data():
    sql = "select x from a, b; select )"
    data = json.loads(Page(lineage(sql, errors="collect").to_html(sql, name="n.sql")).scripts[0])
    first, second = data["statements"]
    assert (first["file"], first["number"], first["target"], first["sql"]) == ("n.sql", 1, "n.sql:1", "select x from a, b")
    assert first["warnings"] and first["error"] is None
    assert second["error"].startswith("ParseError: ") and data["failed"] == [1]


def test_many_results_in_one_page():
    sqls = ["select a from t", "insert into u select a from t", "select a from u"]
    page = Page(sqlparse_main.lineage_html(lineage_many(sqls), names=["x.sql", "y.sql", "z.sql"], sqls=sqls))
    assert page.tables == ["x.sql:1", "u", "z.sql:1", "t"]
    assert ("u.a", "z.sql:1.a", "identity") in page.edges


@pytest.mark.parametrize("kwargs, error", [
    ({"names": ["a", "b"]}, ValueError),
    ({"sqls": ["x", "y"]}, ValueError),
    ({"names": [1]}, TypeError),
    ({"sqls": [b"select"]}, TypeError),
    ({"title": None}, TypeError),
])
def test_bad_arguments(kwargs, error):
    with pytest.raises(error):
        sqlparse_main.lineage_html([lineage("select a from t")], **kwargs)
    with pytest.raises(TypeError):
        sqlparse_main.lineage_html(["select a from t"])


def bad_statements():
    from sqlparse_main.lineage import ColumnLineage, Source, StatementLineage

    st = lineage("select a from t").statements[0]
    odd = lambda columns: StatementLineage("select", None, columns, (), (), (), (), 0, 0, 1, 1)  # noqa: E731
    return [
        ([(1, 2, 3, 4, 5)], TypeError),
        ([("f", 1, st, "")], TypeError),  # four fields
        ([("f", 1, st, "", None)], TypeError),  # composed not a sequence
        ([("f", 1, "select a from t", "", ())], TypeError),  # not a StatementLineage
        ([("f", 2 ** 70, st, "", ())], OverflowError),
        ([("f", 1, st, b"select", ())], TypeError),
        ([("f", 1, odd((1,)), "", ())], TypeError),
        ([("f", 1, odd((ColumnLineage("a", 0, (Source("t", None, "identity"),)),)), "", ())], TypeError),
    ]


@pytest.mark.parametrize("statements, error", bad_statements())
@pytest.mark.parametrize("draw", [view.page, view.dot, view.layout])
def test_bad_statements_are_clear_errors(draw, statements, error):
    with pytest.raises(error):
        draw(statements)


def test_an_empty_page_still_opens():
    page = Page(lineage("").to_html(""))
    assert page.tables == [] and len(page.scripts) == 2


@pytest.mark.parametrize("title, name", [
    ("</script><script>alert(1)</script>", "<!--x.sql"),
    ('a "quoted" & \'odd\' <title>', "dir/</script>.sql"),
    ("\u00e9\U0001f600 \u2028", "\u00e9\U0001f600.sql"),
])
def test_title_and_names_never_become_markup(title, name):
    sql = "select a from t"
    text = lineage(sql).to_html(sql, name=name, title=title)
    page = Page(text)
    assert page.tables == [f"{name}:1", "t"]
    assert ("t.a", f"{name}:1.a", "identity") in page.edges
    assert text.count("<script") == 2 and text.count("</script>") == 2
    assert json.loads(page.scripts[0])["statements"][0]["file"] == name
    assert f"<title>{html.escape(title)}</title>" in text


def dot_note(dot):
    """The failed statements' note of a DOT graph, unquoted."""
    lines = [line for line in dot.splitlines() if line.startswith("  failed [label=")]
    if not lines:
        return None
    assert len(lines) == 1
    quoted = lines[0][len("  failed [label=") + 1:lines[0].rindex('", shape=note')]
    return re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), quoted)


def failing(n):
    return ";\n".join(["select a from t"] + [f"select ) /* {'x' * 300} */" for _ in range(n)])


@pytest.mark.parametrize("n", [1, NOTE_LINES, NOTE_LINES + 5])
def test_dot_failure_note_is_one_note_cut_short(n):
    sql = failing(n)
    dot = view.dot(view.statements_of([lineage(sql, errors="collect")], ["f.sql"], [sql]))
    lines = dot_note(dot).split("\n")
    assert lines[0] == f"{n} failed statement{'s' if n > 1 else ''}:"
    assert len(lines) == 1 + min(n, NOTE_LINES) + (n > NOTE_LINES)
    assert all(len(line) <= NOTE_WIDTH for line in lines)
    assert lines[1].startswith("statement 2 (f.sql, line 2, column 8): ParseError: ")
    if n > NOTE_LINES:
        assert lines[-1] == "\u2026 and 5 more"
    assert dot.count("shape=note") == 1


def run(*args):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    return subprocess.run([sys.executable, "-m", "sqlparse_main", *args], capture_output=True, text=True,
                          env=env, timeout=120)


def test_command_line_html(tmp_path):
    f = tmp_path / "etl.sql"
    f.write_text(SCRIPT + "; select )", encoding="utf-8")
    r = run("--format", "html", str(f))
    assert r.returncode == 1
    page = Page(r.stdout)
    bare = f"{f}:2"
    assert page.tables == ["s", bare, "w", "db.t", "u"]
    assert ("s.b", f"{bare}.c", "transformation") in page.edges
    data = json.loads(page.scripts[0])
    assert [s["number"] for s in data["statements"]] == [1, 2, 3, 4] and data["failed"] == [3]
    assert data["statements"][2]["sql"] == "insert into w select a from s"


def test_command_line_html_is_not_for_classic():
    r = run("--classic", "--format", "html", "-e", "select a from t")
    assert r.returncode == 2 and "--format html applies to the lineage analysis" in r.stderr
