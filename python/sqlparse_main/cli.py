"""The ``sqlparse-main`` command (also ``python -m sqlparse_main``).

Reads SQL from ``-e`` texts, files or standard input. By default each text
goes whole to the full column lineage (``cli_lineage``), which splits it into
statements itself and composes lineage across the statements of one text.
With ``--classic`` the text is split into statements at ";" (in C++, outside
strings, quoted names and comments) and every statement runs through the
batch classic analysis. Either way the results are written as an aligned
table, JSON, JSON lines, CSV or a Graphviz graph, and the lineage also as an
interactive HTML page. A statement that fails is reported on standard error
with its number and its position in its file, and the others go on; so does
an input file that cannot be read.

Standard output holds only the results. Standard error gets one line per
failed statement or unreadable file, each written once the output before it
is out (so on a shared terminal it never lands inside or ahead of the output
it follows), then a one-line summary unless ``--quiet``.

Exit status: 0 when every statement succeeded, 1 when any failed or the
output could not be written, 2 for a usage error or an input that could not
be read, 130 when interrupted, 141 (as for a tool killed by SIGPIPE) when
the reader of the output went away.
"""

from __future__ import annotations

import argparse
import bisect
import csv
import errno
import json
import os
import re
import sys
from dataclasses import dataclass, field
from typing import Any, Dict, Iterator, List, Optional, Sequence, TextIO, Tuple

from . import __version__

PROG = "sqlparse-main"
FORMATS = ("table", "json", "jsonl", "csv", "dot", "html")
# Statements handed to the batch analysis at once; also the progress step.
CHUNK = 2000
# The progress bar appears from this many statements on (and only on a tty).
PROGRESS_FROM = 5000

EPILOG = """\
examples:
  sqlparse-main -e "insert into db.u select a, b + 1 as c from db.t"
  sqlparse-main etl.sql                       several statements separated by ";"
  sqlparse-main --schema columns.csv --default-schema sales etl.sql
  sqlparse-main --dialect bigquery --format json etl.sql
  cat log.sql | sqlparse-main --format jsonl  one JSON object per statement
  sqlparse-main --format csv etl.sql > lineage.csv
  sqlparse-main --format dot etl.sql | dot -Tsvg > lineage.svg
  sqlparse-main --format html etl.sql > lineage.html   an interactive page
  sqlparse-main --classic -e "select s.a as x from (select a from db.t) s"

--schema takes JSON ({"db.t": ["a", "b"]}, {"db.t": {"a": "int"}} or nested
{"db": {"t": [...]}}) or a CSV export of information_schema.columns
(table_catalog, table_schema, table_name, column_name, ordinal_position).

standard output holds the results; standard error the lines for failed
statements and unreadable files, after the output they follow, and a summary
line (statements, statements with lineage, failed) unless --quiet.

exit status: 0 all statements analysed, 1 some statement failed or the output
could not be written, 2 usage error or unreadable input, 130 interrupted,
141 the reader of the output went away.
"""


class UsageError(Exception):
    """A problem with the command line or its inputs (exit status 2)."""


# ---- inputs and statements ---------------------------------------------------


@dataclass
class Source:
    """One input text: a file, standard input or one -e text."""

    name: str
    text: str
    from_stream: bool  # a file or standard input, as opposed to -e
    _line_starts: Optional[List[int]] = field(default=None, repr=False)

    def position(self, offset: int) -> Tuple[int, int]:
        """1-based (line, column) of a code-point offset; lines end at "\\n"."""
        if self._line_starts is None:
            self._line_starts = [0] + [m.end() for m in re.finditer("\n", self.text)]
        line = bisect.bisect_right(self._line_starts, offset)
        return line, offset - self._line_starts[line - 1] + 1


@dataclass
class Statement:
    number: int  # 1-based over all inputs
    source: Source
    start: int  # code-point span in the source text, end exclusive
    end: int
    byte_start: int  # the same span in the input's bytes (after a byte-order mark)
    byte_end: int

    @property
    def text(self) -> str:
        return self.source.text[self.start : self.end]


@dataclass
class ReadFailure:
    """An input that could not be read; the others go on without it."""

    name: str
    reason: str

    @property
    def message(self) -> str:
        return f"{PROG}: cannot read {self.name}: {self.reason}"


def read_sources(args: argparse.Namespace) -> List[Any]:
    """The inputs in order: a Source for each one read, a ReadFailure for
    each one that could not be."""
    inputs: List[Any] = []
    for k, text in enumerate(args.execute or [], 1):
        inputs.append(Source(f"-e#{k}", text, False))
    paths = list(args.files)
    if not args.execute and not args.files:
        paths.append("-")
    for path in paths:
        try:
            if path == "-":
                inputs.append(Source("<stdin>", read_stream(sys.stdin), True))
                continue
            # utf-8-sig drops a byte-order mark. An undecodable byte becomes
            # one lone surrogate (U+DC80..U+DCFF), which the core accepts like
            # any character and which is written back out as the same byte:
            # the text keeps one character per such byte, so offsets into it
            # stay within it and map back to the file's bytes exactly.
            with open(path, encoding="utf-8-sig", errors="surrogateescape", newline="") as f:
                inputs.append(Source(path, f.read(), True))
        except OSError as exc:
            name = "<stdin>" if path == "-" else path
            inputs.append(ReadFailure(name, exc.strerror or str(exc)))
    return inputs


def read_stream(stream: Optional[TextIO]) -> str:
    if stream is None:  # started with standard input closed
        raise OSError(errno.EBADF, "standard input is closed")
    buffer = getattr(stream, "buffer", None)
    if buffer is None:
        return stream.read()
    data = buffer.read()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    return data.decode("utf-8", errors="surrogateescape")


_SURROGATE = re.compile("[\ud800-\udfff]")


def utf8_length(text: str) -> int:
    """Bytes of ``text`` as read: UTF-8, each lone surrogate from an
    undecodable byte counting as that one byte."""
    try:
        return len(text.encode("utf-8", "surrogateescape"))
    except UnicodeEncodeError:  # a surrogate no decoding made (say, from -e)
        return sum(1 if 0xDC80 <= ord(c) <= 0xDCFF else len(c.encode("utf-8", "surrogatepass")) for c in text)


def split_sources(inputs: Sequence[Any]) -> Tuple[List[Statement], List[Tuple[int, ReadFailure]]]:
    """The statements of all sources, numbered from 1, and each read failure
    with the number of the first statement after it."""
    import _sqlparse_core as core

    out: List[Statement] = []
    failures: List[Tuple[int, ReadFailure]] = []
    for source in inputs:
        if isinstance(source, ReadFailure):
            failures.append((len(out) + 1, source))
            continue
        spans = core.split_statements(source.text)
        if _SURROGATE.search(source.text) is None:
            # Valid UTF-8: the core's byte offsets are the input's own.
            for start, end, _line, _column, byte_start, byte_end in spans:
                out.append(Statement(len(out) + 1, source, start, end, byte_start, byte_end))
            continue
        # The core counts a lone surrogate as three UTF-8 bytes; the input
        # had one byte there. Count again, walking forward once.
        cp, byte = 0, 0
        for start, end, _line, _column, _bs, _be in spans:
            byte_start = byte + utf8_length(source.text[cp:start])
            byte_end = byte_start + utf8_length(source.text[start:end])
            cp, byte = end, byte_end
            out.append(Statement(len(out) + 1, source, start, end, byte_start, byte_end))
    return out, failures


# ---- error positions -----------------------------------------------------------


def clean_to_raw_offsets(raw: str) -> Optional[List[int]]:
    """For each character of the comment-stripped text of ``raw``, its offset
    in ``raw``; one more entry maps the end of the clean text. The stripping is
    replayed here with the origin of every character kept (block comments,
    then line comments, then blank lines). None if the replay disagrees with
    the real stripping, which then wins."""
    from .front_end import VarnelParseMain

    # Stage 1, block comments (nesting; "/" stripped from both ends at "/*").
    chars: List[Tuple[str, int]] = []
    depth, previous = 0, ""
    for i, c in enumerate(raw):
        pair = previous + c
        if pair == "/*":
            lo, hi = 0, len(chars)
            while lo < hi and chars[lo][0] == "/":
                lo += 1
            while hi > lo and chars[hi - 1][0] == "/":
                hi -= 1
            chars = chars[lo:hi]
            depth += 1
        if depth == 0:
            chars.append((c, i))
        if pair == "*/":
            depth -= 1
        previous = c if c in "/*" else ""
    # Stage 2, line comments: "--" to the end of the line becomes one "\n".
    text1 = "".join(c for c, _ in chars)
    stage2: List[Tuple[str, int]] = []
    last = 0
    for m in re.finditer("--.*\n?", text1):
        stage2.extend(chars[last : m.start()])
        newline_at = m.end() - 1 if m.group().endswith("\n") else m.start()
        stage2.append(("\n", chars[newline_at][1]))
        last = m.end()
    stage2.extend(chars[last:])
    # Stage 3, blank lines: keep the lines that hold more than white space.
    lines: List[List[Tuple[str, int]]] = [[]]
    for c, i in stage2:
        if c == "\n":
            lines[-1].append((c, i))  # the break that ends this line
            lines.append([])
        else:
            lines[-1].append((c, i))
    kept = [ln for ln in lines if "".join(c for c, _ in ln).strip()]
    result: List[Tuple[str, int]] = []
    for k, ln in enumerate(kept):
        body = ln[:-1] if ln and ln[-1][0] == "\n" else ln
        result.extend(body)
        if k + 1 < len(kept):
            result.append(("\n", ln[-1][1] if ln and ln[-1][0] == "\n" else body[-1][1]))
    try:
        clean = VarnelParseMain._re_hint(raw)
    except Exception:
        return None
    if "".join(c for c, _ in result) != clean:
        return None
    offsets = [i for _, i in result]
    offsets.append(offsets[-1] + 1 if offsets else len(raw))
    return offsets


def error_offset(stmt: Statement, exc: BaseException) -> int:
    """Code-point offset in the source where the error lies: the parser's
    position mapped from the stripped text back to the file, otherwise the
    statement's start."""
    offset = getattr(exc, "offset", None)
    if isinstance(offset, int) and not isinstance(offset, bool) and offset >= 0:
        table = clean_to_raw_offsets(stmt.text)
        if table is not None:
            return stmt.start + table[min(offset, len(table) - 1)]
    return stmt.start


# ---- per-statement entries -------------------------------------------------------

RECORD_FIELDS = ("database", "table", "src", "tgt")


def record_fields(record: Any) -> Dict[str, Any]:
    get = getattr(record, "get", None)
    if callable(get):
        return {k: get(k) for k in RECORD_FIELDS}
    return {k: getattr(record, k, None) for k in RECORD_FIELDS}


def plain(value: Any) -> Any:
    """A JSON-ready copy of a record field or error attribute."""
    if value is None or isinstance(value, (str, bool, int, float)):
        return value
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    return repr(value)


def error_entry(stmt: Statement, exc: BaseException) -> Dict[str, Any]:
    offset = error_offset(stmt, exc)
    line, column = stmt.source.position(offset)
    entry: Dict[str, Any] = {
        "type": type(exc).__name__,
        "message": str(exc),
        "line": line,
        "column": column,
        "offset": offset,
    }
    printed = getattr(exc, "line", None)
    if isinstance(printed, str):
        # The one line the analyser prints on an unsupported FROM shape.
        entry["output"] = printed
        entry["sql_column"] = plain(getattr(exc, "column", None))
        entry["node"] = plain(getattr(exc, "node", None))
    return entry


def statement_entry(stmt: Statement, outcome: Any) -> Dict[str, Any]:
    src = stmt.source
    start_line, start_column = src.position(stmt.start)
    end_line, end_column = src.position(stmt.end)
    entry: Dict[str, Any] = {
        "statement": stmt.number,
        "source": src.name,
        "span": {
            "start": {"offset": stmt.start, "line": start_line, "column": start_column},
            "end": {"offset": stmt.end, "line": end_line, "column": end_column},
            "bytes": [stmt.byte_start, stmt.byte_end],
        },
        "text": stmt.text,
    }
    if isinstance(outcome, BaseException):
        entry["records"] = []
        entry["error"] = error_entry(stmt, outcome)
    else:
        entry["records"] = [{k: plain(v) for k, v in record_fields(r).items()} for r in outcome]
        entry["error"] = None
    return entry


def json_text(entry: Dict[str, Any]) -> str:
    """Compact JSON of an entry, non-ASCII text as it is, except lone
    surrogates (from undecodable input bytes), which are written as \\u
    escapes so that the output stays valid UTF-8."""
    text = json.dumps(entry, ensure_ascii=False)
    return _SURROGATE.sub(lambda m: "\\u%04x" % ord(m.group()), text)


def describe_error(entry: Dict[str, Any]) -> str:
    err = entry["error"]
    text = (
        f"{PROG}: {entry['source']}: statement {entry['statement']} "
        f"(line {err['line']}, column {err['column']}): {err['type']}: {err['message']}"
    )
    if "output" in err:
        text += f" [analyser output: {err['output']}]"
    return text


# ---- writers ---------------------------------------------------------------------


def cell(value: Any) -> str:
    """Text of a field in table and CSV output: strings as they are, None as
    nothing, anything else (a list, a map, a number) as JSON."""
    if value is None:
        return ""
    if isinstance(value, str):
        return value
    return json.dumps(plain(value), ensure_ascii=False)


class Writer:
    # Writes while the statements are analysed (not all at the end).
    streams = False
    # Each statement's output ends a line of its own, so a line on standard
    # error may follow it directly.
    line_per_statement = False

    def __init__(self, out: TextIO, numbered: bool) -> None:
        self.out = out
        self.numbered = numbered

    def statement(self, entry: Dict[str, Any]) -> None:
        raise NotImplementedError

    def close(self) -> None:
        pass


class TableWriter(Writer):
    """Aligned columns; the analyser's line is printed where its statement's
    rows would be, as ``_parse_sql`` would print it."""

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.items: List[Any] = []  # rows (lists of str) and printed lines (str)

    def statement(self, entry: Dict[str, Any]) -> None:
        err = entry["error"]
        if err is not None:
            if "output" in err:
                self.items.append(err["output"])
            return
        for r in entry["records"]:
            row = [cell(r[k]) for k in RECORD_FIELDS]
            if self.numbered:
                row.insert(0, str(entry["statement"]))
            self.items.append(row)

    def close(self) -> None:
        header = list(RECORD_FIELDS)
        if self.numbered:
            header.insert(0, "stmt")
        rows = [header] + [i for i in self.items if isinstance(i, list)]
        widths = [max(len(r[c]) for r in rows) for c in range(len(header))]

        def line(row: List[str]) -> str:
            return "  ".join(v.ljust(w) for v, w in zip(row, widths)).rstrip()

        self.out.write(line(header) + "\n")
        self.out.write("  ".join("-" * w for w in widths) + "\n")
        for item in self.items:
            self.out.write((line(item) if isinstance(item, list) else item) + "\n")


class JsonWriter(Writer):
    """One JSON document, a list of statements, written as they come."""

    streams = True

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.count = 0

    def statement(self, entry: Dict[str, Any]) -> None:
        self.out.write(("[\n" if self.count == 0 else ",\n") + json_text(entry))
        self.count += 1

    def close(self) -> None:
        self.out.write("[]\n" if self.count == 0 else "\n]\n")


class JsonLinesWriter(Writer):
    streams = True
    line_per_statement = True

    def statement(self, entry: Dict[str, Any]) -> None:
        self.out.write(json_text(entry) + "\n")


class CsvWriter(Writer):
    """One row per record; a failed statement gets one row with its error."""

    HEADER = ["statement", "source", "database", "table", "src", "tgt", "error", "output"]
    streams = True
    line_per_statement = True

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.csv = csv.writer(out)
        self.csv.writerow(self.HEADER)

    def statement(self, entry: Dict[str, Any]) -> None:
        err = entry["error"]
        head = [entry["statement"], entry["source"]]
        if err is not None:
            message = f"{err['type']}: {err['message']} (line {err['line']}, column {err['column']})"
            self.csv.writerow(head + ["", "", "", "", message, err.get("output", "")])
            return
        for r in entry["records"]:
            self.csv.writerow(head + [cell(r[k]) for k in RECORD_FIELDS] + ["", ""])


def dot_quote(text: str) -> str:
    """A Graphviz double-quoted string holding ``text`` literally."""
    text = text.replace("\\", "\\\\").replace('"', '\\"')
    return '"' + text.replace("\r", "").replace("\n", "\\n") + '"'


class DotWriter(Writer):
    """A left-to-right graph: source columns grouped in one box per source
    table, output columns in one box per statement, an arrow per record.
    A failed statement's box holds a note with its error."""

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.tables: Dict[str, Dict[str, str]] = {}  # table label -> column label -> node id
        self.outputs: List[Tuple[Dict[str, Any], Dict[str, str]]] = []
        self.edges: List[Tuple[str, str]] = []
        self.seen_edges: set = set()

    def statement(self, entry: Dict[str, Any]) -> None:
        outputs: Dict[str, str] = {}
        for r in entry["records"]:
            db, table = r["database"], r["table"]
            tlabel = cell(table) if db is None else f"{cell(db)}.{cell(table)}"
            columns = self.tables.setdefault(tlabel, {})
            src, tgt = cell(r["src"]), cell(r["tgt"])
            if src not in columns:
                columns[src] = f"t{len(self.tables) - 1}_c{len(columns)}"
            if tgt not in outputs:
                outputs[tgt] = f"s{entry['statement']}_o{len(outputs)}"
            edge = (columns[src], outputs[tgt])
            if edge not in self.seen_edges:
                self.seen_edges.add(edge)
                self.edges.append(edge)
        if outputs or entry["error"] is not None:
            self.outputs.append((entry, outputs))

    def close(self) -> None:
        w = self.out.write
        w("digraph lineage {\n  rankdir=LR;\n  node [shape=box, fontname=Helvetica];\n")
        for t, (tlabel, columns) in enumerate(self.tables.items()):
            w(f"  subgraph cluster_t{t} {{\n    label={dot_quote(tlabel)};\n    style=filled; color=lightgrey;\n")
            for clabel, node in columns.items():
                w(f"    {node} [label={dot_quote(clabel)}];\n")
            w("  }\n")
        for entry, outputs in self.outputs:
            n = entry["statement"]
            w(f"  subgraph cluster_s{n} {{\n    label={dot_quote(f'statement {n}')};\n")
            for olabel, node in outputs.items():
                w(f"    {node} [label={dot_quote(olabel)}, shape=ellipse];\n")
            err = entry["error"]
            if err is not None:
                note = f"{err['type']} at line {err['line']}, column {err['column']}: {err['message']}"
                if "output" in err:
                    note += "\n" + err["output"]
                w(f"    s{n}_error [label={dot_quote(note)}, shape=note, color=red];\n")
            w("  }\n")
        for a, b in self.edges:
            w(f"  {a} -> {b};\n")
        w("}\n")


WRITERS = {
    "table": TableWriter,
    "json": JsonWriter,
    "jsonl": JsonLinesWriter,
    "csv": CsvWriter,
    "dot": DotWriter,
}


# ---- progress and standard error ------------------------------------------------


class Progress:
    """A one-line bar on standard error, redrawn in place. Other lines are
    written above it: the bar is wiped, the line written, the bar redrawn."""

    WIDTH = 30

    def __init__(self, total: int, stream: TextIO) -> None:
        self.total = total
        self.stream = stream
        self.done = 0
        self.failed = 0
        self.drawn = 0  # length of the bar on screen, 0 when wiped

    def update(self, done: int, failed: int) -> None:
        self.done, self.failed = done, failed
        self.draw()

    def draw(self) -> None:
        filled = self.WIDTH * self.done // self.total if self.total else self.WIDTH
        bar = "#" * filled + "-" * (self.WIDTH - filled)
        pct = 100 * self.done // self.total if self.total else 100
        text = f"[{bar}] {self.done}/{self.total} statements ({pct}%)"
        if self.failed:
            text += f", {self.failed} failed"
        # Pad over a longer bar drawn before, then return to its start.
        self.stream.write("\r" + text.ljust(self.drawn))
        self.drawn = len(text)
        self.stream.flush()

    def wipe(self) -> None:
        if self.drawn:
            self.stream.write("\r" + " " * self.drawn + "\r")
            self.drawn = 0

    def line_above(self, line: str) -> None:
        self.wipe()
        self.stream.write(line + "\n")
        self.draw()

    def close(self) -> None:
        self.wipe()
        self.stream.flush()


class Console:
    """Standard error's lines, kept in step with standard output.

    An error line is written once the output before it is out: for the
    formats that end a line per statement (jsonl, csv), right after its
    statement's output, which is flushed first; for the others (table, json,
    dot, whose output only ends at the last statement), after the whole
    output. So when both streams share a terminal, or a file (``2>&1``), the
    error lines follow the output they belong to in statement order and never
    split it. While the progress bar is up, lines go above it."""

    def __init__(self, out: TextIO, err: TextIO) -> None:
        self.out = out
        self.err = err
        self.in_step = False
        self.progress: Optional[Progress] = None
        self.pending: List[str] = []

    def error(self, line: str) -> None:
        if not self.in_step:
            self.pending.append(line)
            return
        self.out.flush()
        if self.progress is not None:
            self.progress.line_above(line)
        else:
            self.err.write(line + "\n")
            self.err.flush()

    def finish(self) -> None:
        """After the output: the bar goes, the held-back lines come out."""
        if self.progress is not None:
            self.progress.close()
            self.progress = None
        for line in self.pending:
            self.err.write(line + "\n")
        self.pending = []
        self.err.flush()

    def abort(self, line: str) -> None:
        """The last line of a run cut short; held-back lines are dropped."""
        try:
            if self.progress is not None:
                self.progress.close()
                self.progress = None
            self.err.write(line + "\n")
            self.err.flush()
        except (OSError, ValueError):
            pass  # standard error is gone as well


def summary(statements: int, with_lineage: int, failed: int, unread: int) -> str:
    def count(n: int, what: str) -> str:
        return f"{n} {what}" if n == 1 else f"{n} {what}s"

    text = f"{PROG}: {count(statements, 'statement')}, {with_lineage} with lineage, {failed} failed"
    if unread:
        text += f", {count(unread, 'input')} not read"
    return text


class OutputError(Exception):
    """Writing the results failed (a full disk, a closed pipe)."""

    def __init__(self, cause: OSError) -> None:
        super().__init__(cause.strerror or str(cause))
        self.cause = cause


class GuardedOutput:
    """Standard output, with a failed write or flush raised as OutputError so
    that it is told apart from any other OSError."""

    def __init__(self, stream: TextIO) -> None:
        self.stream = stream

    def write(self, text: str) -> int:
        try:
            return self.stream.write(text)
        except OSError as exc:
            raise OutputError(exc) from None

    def flush(self) -> None:
        try:
            self.stream.flush()
        except OSError as exc:
            raise OutputError(exc) from None


def silence(stream: Optional[TextIO]) -> None:
    """Point a standard stream's file at /dev/null, so that the data still
    buffered in it goes nowhere at exit instead of failing again there."""
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, stream.fileno())  # type: ignore[union-attr]
        os.close(devnull)
    except (AttributeError, OSError, ValueError):
        pass  # not a real file (a test's StringIO): nothing is left to flush


# ---- main ------------------------------------------------------------------------


def build_parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog=PROG,
        description=(
            "Column lineage of SQL: for every statement, which source tables and "
            "columns feed each output column (and how), which decide its rows, "
            "and, across the statements of one file, what flows through the "
            "tables written there. --classic runs the classic analysis instead."
        ),
        epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    p.add_argument("files", nargs="*", metavar="FILE", help='SQL files ("-" for standard input); standard input when no FILE and no -e is given')
    p.add_argument("-e", "--execute", action="append", metavar="SQL", help="SQL text to analyse (repeatable; analysed before the files)")
    p.add_argument("-f", "--format", choices=FORMATS, default="table", help="output format (default: table)")
    p.add_argument("--classic", action="store_true", help="the classic analysis (_parse_sql per statement) instead of the full lineage")
    p.add_argument("--dialect", default=None, metavar="NAME", help="SQL dialect of the inputs (default: generic)")
    p.add_argument("--schema", default=None, metavar="FILE", help="table columns: JSON ({\"db.t\": [\"a\", \"b\"]} or nested), or a CSV export of information_schema.columns")
    p.add_argument("--default-catalog", default=None, metavar="NAME", help="catalog of tables named without one")
    p.add_argument("--default-schema", default=None, metavar="NAME", help="schema of tables named without one")
    p.add_argument("-j", "--threads", type=positive_int, default=None, metavar="N", help="worker threads of --classic (default: all cores)")
    p.add_argument("--no-progress", action="store_true", help="never show the progress bar")
    p.add_argument("-q", "--quiet", action="store_true", help="no summary line at the end")
    # Printed here rather than by argparse, which drops a failed write.
    p.add_argument("--version", action="store_true", help="print the version and exit")
    return p


def positive_int(text: str) -> int:
    try:
        n = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if n < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {n}")
    return n


def outcomes(statements: List[Statement], threads: Optional[int]) -> Iterator[Tuple[int, Statement, Any]]:
    """Each statement with its outcome, and how many are done once its chunk is."""
    from .batch import parse_sql_many

    for lo in range(0, len(statements), CHUNK):
        chunk = statements[lo : lo + CHUNK]
        results = parse_sql_many([s.text for s in chunk], threads=threads)
        for stmt, outcome in zip(chunk, results):
            yield lo + len(chunk), stmt, outcome


def main(argv: Optional[Sequence[str]] = None) -> int:
    # Python leaves a standard stream None when its descriptor was closed.
    err = sys.stderr if sys.stderr is not None else open(os.devnull, "w")
    if sys.stdout is None:
        err.write(f"{PROG}: cannot write output: standard output is closed\n")
        return 1
    console = Console(GuardedOutput(sys.stdout), err)
    try:
        return run(argv, console)
    except KeyboardInterrupt:
        try:
            console.out.flush()  # what is written stays, whole lines first
        except (OutputError, ValueError):
            silence(sys.stdout)
        console.abort(f"{PROG}: interrupted")
        return 130
    except OutputError as exc:
        silence(sys.stdout)
        if isinstance(exc.cause, BrokenPipeError) or exc.cause.errno == errno.EPIPE:
            # The reader went away (say, `| head`): stop without a word, as
            # a tool killed by SIGPIPE does, and with the status it gets.
            silence(sys.stderr)
            return 141
        console.abort(f"{PROG}: cannot write output: {exc}")
        return 1
    except BrokenPipeError:  # standard error's reader went away
        silence(sys.stdout)
        silence(sys.stderr)
        return 141
    except OSError as exc:  # standard error failed too
        silence(sys.stdout)
        console.abort(f"{PROG}: {exc.strerror or exc}")
        silence(sys.stderr)
        return 1


def run(argv: Optional[Sequence[str]], console: Console) -> int:
    parser = build_parser()
    try:
        args = parser.parse_args(argv)
    except SystemExit as exc:  # --help (0) or a usage error (2)
        return int(exc.code or 0) if not isinstance(exc.code, str) else 2
    if args.version:
        console.out.write(f"{PROG} {__version__}\n")
        console.out.flush()
        return 0
    for stream in (sys.stdout, sys.stderr):
        # Lone surrogates from undecodable input bytes go out as those bytes.
        reconfigure = getattr(stream, "reconfigure", None)
        if callable(reconfigure) and (getattr(stream, "encoding", "") or "").lower().replace("-", "") == "utf8":
            reconfigure(errors="surrogateescape")
    lineage_only = [o for o, v in (("--dialect", args.dialect), ("--schema", args.schema),
                                   ("--default-catalog", args.default_catalog),
                                   ("--default-schema", args.default_schema)) if v is not None]
    if args.classic and args.format == "html":
        lineage_only.insert(0, "--format html")
    if args.classic and lineage_only:
        console.err.write(f"{PROG}: {lineage_only[0]} applies to the lineage analysis, not to --classic\n")
        return 2
    if not args.classic:
        if args.dialect is None:
            args.dialect = "generic"
        from .cli_lineage import lineage_options, run_lineage

        try:
            # The dialect and schema are checked before any input is read.
            args.lineage_options = lineage_options(args)
        except UsageError as exc:
            console.err.write(f"{PROG}: {exc}\n")
            return 2
        inputs = read_sources(args)
        progress_wanted = (
            not args.no_progress
            and any(isinstance(s, Source) and s.from_stream for s in inputs)
            and console.err.isatty()
        )
        return run_lineage(args, inputs, console, progress_wanted, sys.stdout.isatty())
    inputs = read_sources(args)
    statements, read_failures = split_sources(inputs)
    writer = WRITERS[args.format](console.out, numbered=len(statements) > 1)  # type: ignore[arg-type]
    console.in_step = writer.line_per_statement
    if (
        not args.no_progress
        and len(statements) >= PROGRESS_FROM
        and any(isinstance(s, Source) and s.from_stream for s in inputs)
        and console.err.isatty()
        # Output streaming to the same terminal would run through the bar.
        and not (writer.streams and sys.stdout.isatty())
    ):
        console.progress = Progress(len(statements), console.err)
    failed = with_lineage = 0
    for done, stmt, outcome in outcomes(statements, args.threads):
        if console.progress is not None and done != console.progress.done:
            console.progress.update(done, failed)  # a new chunk is in
        while read_failures and read_failures[0][0] <= stmt.number:
            console.error(read_failures.pop(0)[1].message)
        entry = statement_entry(stmt, outcome)
        writer.statement(entry)
        if entry["error"] is not None:
            failed += 1
            if console.progress is not None:
                console.progress.failed = failed
            console.error(describe_error(entry))
        elif entry["records"]:
            with_lineage += 1
    for _, failure in read_failures:
        console.error(failure.message)
    if console.progress is not None:
        console.progress.close()
        console.progress = None
    writer.close()
    console.out.flush()
    console.finish()
    if not args.quiet:
        unread = sum(isinstance(s, ReadFailure) for s in inputs)
        console.err.write(summary(len(statements), with_lineage, failed, unread) + "\n")
        console.err.flush()
    if any(isinstance(s, ReadFailure) for s in inputs):
        return 2
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
