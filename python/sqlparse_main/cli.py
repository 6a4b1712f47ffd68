"""The ``sqlparse-main`` command (also ``python -m sqlparse_main``).

Reads SQL from ``-e`` texts, files or standard input, splits each text into
statements at ";" (in C++, outside strings, quoted names and comments), runs
every statement through the batch analysis and writes the lineage records as
an aligned table, JSON, JSON lines, CSV or a Graphviz graph. A statement that
fails is reported on standard error with its number and its position in its
file, and the others go on.

Exit status: 0 when every statement succeeded, 1 when any failed, 2 for a
usage error (bad option, unreadable file).
"""

from __future__ import annotations

import argparse
import bisect
import csv
import json
import os
import re
import sys
from dataclasses import dataclass, field
from typing import Any, Dict, Iterator, List, Optional, Sequence, TextIO, Tuple

PROG = "sqlparse-main"
FORMATS = ("table", "json", "jsonl", "csv", "dot")
# Statements handed to the batch analysis at once; also the progress step.
CHUNK = 2000
# The progress bar appears from this many statements on (and only on a tty).
PROGRESS_FROM = 5000

EPILOG = """\
examples:
  sqlparse-main -e "select s.a as x from (select a from db.t) s"
  sqlparse-main queries.sql                   several statements separated by ";"
  sqlparse-main --format json queries.sql     one JSON document
  cat log.sql | sqlparse-main --format jsonl  one JSON object per statement
  sqlparse-main --format csv -e "select a, b from t" > lineage.csv
  sqlparse-main --format dot queries.sql | dot -Tsvg > lineage.svg

exit status: 0 all statements analysed, 1 some statement failed, 2 usage error.
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
    byte_start: int
    byte_end: int

    @property
    def text(self) -> str:
        return self.source.text[self.start : self.end]


def read_sources(args: argparse.Namespace) -> List[Source]:
    sources: List[Source] = []
    for k, text in enumerate(args.execute or [], 1):
        sources.append(Source(f"-e#{k}", text, False))
    for path in args.files:
        if path == "-":
            sources.append(Source("<stdin>", read_stream(sys.stdin), True))
            continue
        try:
            # utf-8-sig drops a byte-order mark; undecodable bytes survive as
            # lone surrogates, which the core accepts like any character.
            with open(path, encoding="utf-8-sig", errors="surrogateescape", newline="") as f:
                sources.append(Source(path, f.read(), True))
        except OSError as exc:
            raise UsageError(f"cannot read {path}: {exc.strerror or exc}") from None
    if not args.execute and not args.files:
        sources.append(Source("<stdin>", read_stream(sys.stdin), True))
    return sources


def read_stream(stream: TextIO) -> str:
    buffer = getattr(stream, "buffer", None)
    if buffer is None:
        return stream.read()
    data = buffer.read()
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    return data.decode("utf-8", errors="surrogateescape")


def split_sources(sources: Sequence[Source]) -> List[Statement]:
    import _sqlparse_core as core

    out: List[Statement] = []
    for source in sources:
        for start, end, _line, _column, byte_start, byte_end in core.split_statements(source.text):
            out.append(Statement(len(out) + 1, source, start, end, byte_start, byte_end))
    return out


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


_SURROGATE = re.compile("[\ud800-\udfff]")


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

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.count = 0

    def statement(self, entry: Dict[str, Any]) -> None:
        self.out.write(("[\n" if self.count == 0 else ",\n") + json_text(entry))
        self.count += 1

    def close(self) -> None:
        self.out.write("[]\n" if self.count == 0 else "\n]\n")


class JsonLinesWriter(Writer):
    def statement(self, entry: Dict[str, Any]) -> None:
        self.out.write(json_text(entry) + "\n")


class CsvWriter(Writer):
    """One row per record; a failed statement gets one row with its error."""

    HEADER = ["statement", "source", "database", "table", "src", "tgt", "error", "output"]

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


# ---- progress --------------------------------------------------------------------


class Progress:
    """A one-line bar on standard error, redrawn in place."""

    WIDTH = 30

    def __init__(self, total: int, stream: TextIO) -> None:
        self.total = total
        self.stream = stream

    def update(self, done: int) -> None:
        filled = self.WIDTH * done // self.total if self.total else self.WIDTH
        bar = "#" * filled + "-" * (self.WIDTH - filled)
        pct = 100 * done // self.total if self.total else 100
        self.stream.write(f"\r[{bar}] {done}/{self.total} statements ({pct}%)")
        self.stream.flush()

    def close(self) -> None:
        self.stream.write("\r" + " " * (self.WIDTH + 40) + "\r")
        self.stream.flush()


# ---- main ------------------------------------------------------------------------


def build_parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog=PROG,
        description=(
            "Column lineage of SQL: for every statement, which source tables and "
            "columns feed each output column. Input is split into statements at "
            '";" outside strings, quoted names and comments.'
        ),
        epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    p.add_argument("files", nargs="*", metavar="FILE", help='SQL files ("-" for standard input); standard input when no FILE and no -e is given')
    p.add_argument("-e", "--execute", action="append", metavar="SQL", help="SQL text to analyse (repeatable; analysed before the files)")
    p.add_argument("-f", "--format", choices=FORMATS, default="table", help="output format (default: table)")
    p.add_argument("-j", "--threads", type=positive_int, default=None, metavar="N", help="worker threads (default: all cores)")
    p.add_argument("--no-progress", action="store_true", help="never show the progress bar")
    return p


def positive_int(text: str) -> int:
    try:
        n = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if n < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {n}")
    return n


def outcomes(statements: List[Statement], threads: Optional[int], progress: Optional[Progress]) -> Iterator[Tuple[Statement, Any]]:
    from .batch import parse_sql_many

    for lo in range(0, len(statements), CHUNK):
        chunk = statements[lo : lo + CHUNK]
        results = parse_sql_many([s.text for s in chunk], threads=threads)
        if progress is not None:
            progress.update(lo + len(chunk))
        yield from zip(chunk, results)


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = build_parser()
    try:
        args = parser.parse_args(argv)
    except SystemExit as exc:  # --help (0) or a usage error (2)
        return int(exc.code or 0) if not isinstance(exc.code, str) else 2
    for stream in (sys.stdout, sys.stderr):
        # Lone surrogates from undecodable input bytes go out as those bytes.
        reconfigure = getattr(stream, "reconfigure", None)
        if callable(reconfigure) and (getattr(stream, "encoding", "") or "").lower().replace("-", "") == "utf8":
            reconfigure(errors="surrogateescape")
    try:
        sources = read_sources(args)
    except UsageError as exc:
        print(f"{PROG}: {exc}", file=sys.stderr)
        return 2
    statements = split_sources(sources)
    progress = None
    if (
        not args.no_progress
        and len(statements) >= PROGRESS_FROM
        and any(s.from_stream for s in sources)
        and sys.stderr.isatty()
    ):
        progress = Progress(len(statements), sys.stderr)
    writer = WRITERS[args.format](sys.stdout, numbered=len(statements) > 1)
    failed = 0
    try:
        for stmt, outcome in outcomes(statements, args.threads, progress):
            entry = statement_entry(stmt, outcome)
            if entry["error"] is not None:
                failed += 1
                if progress is not None:
                    progress.close()
                print(describe_error(entry), file=sys.stderr)
            writer.statement(entry)
        if progress is not None:
            progress.close()
        writer.close()
        sys.stdout.flush()
    except BrokenPipeError:
        # The reader went away (say, `| head`): stop quietly.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
