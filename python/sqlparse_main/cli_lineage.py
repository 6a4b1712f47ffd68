"""The default mode of ``sqlparse-main``: the full column lineage.

Each input text goes whole to ``lineage()`` (which splits the script itself,
so that lineage composes across the statements of one file), with
``errors="collect"`` so that a broken statement never stops the others. The
statements are numbered from 1 over all inputs, as in the classic mode, and
every output format is built from one list of edges per statement:

* direct: a source column flows into an output column (``kind`` is
  identity, transformation, aggregation, conditional or window);
* indirect: a source column decides which rows the statement gives (join,
  filter, group_by, sort); its target is the statement's target, no column;
* composed: an output column traced through tables that earlier statements
  of the same input wrote, to the sources beneath them.

A bare query has no target table; it is named ``<input>:<statement>``.
"""

from __future__ import annotations

import csv
import json
from dataclasses import dataclass
from typing import Any, Dict, List, Mapping, Sequence, TextIO, Tuple

from .cli import (
    CHUNK,
    PROG,
    PROGRESS_FROM,
    Console,
    Progress,
    ReadFailure,
    Source,
    UsageError,
    json_text,
    summary,
)

EDGE_FIELDS = ("target_table", "target_column", "source_table", "source_column", "kind", "edge")


# ---- the schema file -------------------------------------------------------------


def load_schema(path: str) -> Mapping[str, Any]:
    """A ``--schema`` file: JSON in any form ``lineage()`` takes, or a CSV
    export of ``information_schema.columns``."""
    try:
        with open(path, encoding="utf-8-sig", newline="") as f:
            text = f.read()
    except OSError as exc:
        raise UsageError(f"cannot read schema {path}: {exc.strerror or exc}") from None
    except UnicodeDecodeError as exc:
        raise UsageError(f"schema {path} is not UTF-8: {exc}") from None
    if text.lstrip()[:1] in ("{", "["):
        try:
            schema = json.loads(text)
        except json.JSONDecodeError as exc:
            raise UsageError(f"schema {path}: not valid JSON: {exc}") from None
        if not isinstance(schema, dict):
            raise UsageError(f"schema {path}: expected a JSON object of tables, got {type(schema).__name__}")
        return schema
    return schema_from_csv(path, text)


def _quoted_part(part: str) -> str:
    # lineage() splits table names on dots outside double quotes.
    return f'"{part}"' if "." in part else part


def schema_from_csv(path: str, text: str) -> Dict[str, List[str]]:
    """Table name (catalog.schema.table, leaving out empty parts) to its
    columns in ``ordinal_position`` order (file order where it is missing)."""
    import io

    reader = csv.reader(io.StringIO(text, newline=""))
    try:
        header = [h.strip().lower() for h in next(reader)]
    except StopIteration:
        raise UsageError(f"schema {path}: empty file") from None
    except csv.Error as exc:
        raise UsageError(f"schema {path}: {exc}") from None
    missing = [h for h in ("table_name", "column_name") if h not in header]
    if missing:
        raise UsageError(f"schema {path}: the CSV header has no {', '.join(missing)} "
                         "(expected the columns of information_schema.columns: table_catalog, "
                         "table_schema, table_name, column_name, ordinal_position)")
    at = {h: header.index(h) for h in ("table_catalog", "table_schema", "table_name", "column_name",
                                       "ordinal_position") if h in header}
    tables: Dict[str, List[Tuple[int, int, str]]] = {}
    try:
        for row_number, row in enumerate(reader, 2):
            if not any(v.strip() for v in row):
                continue
            if len(row) < len(header):
                raise UsageError(f"schema {path}: line {row_number} has {len(row)} fields, "
                                 f"the header {len(header)}")
            parts = [row[at[h]].strip() for h in ("table_catalog", "table_schema", "table_name") if h in at]
            name = ".".join(_quoted_part(p) for p in parts if p)
            column = row[at["column_name"]].strip()
            if not parts[-1] or not column:
                raise UsageError(f"schema {path}: line {row_number} has an empty table or column name")
            position = row_number
            if "ordinal_position" in at:
                try:
                    position = int(row[at["ordinal_position"]].strip())
                except ValueError:
                    raise UsageError(f"schema {path}: line {row_number}: ordinal_position "
                                     f"{row[at['ordinal_position']]!r} is not a whole number") from None
            tables.setdefault(name, []).append((position, row_number, column))
    except csv.Error as exc:
        raise UsageError(f"schema {path}: {exc}") from None
    return {name: [c for _, _, c in sorted(cols)] for name, cols in tables.items()}


# ---- statements and their edges ---------------------------------------------------------


@dataclass
class Analysed:
    """One statement of one input with its lineage and composed columns."""

    number: int  # 1-based over all inputs
    source: Source
    lineage: Any  # StatementLineage
    composed: Tuple[Any, ...]  # ComposedColumn

    @property
    def target(self) -> str:
        t = self.lineage.target
        return t if t else f"{self.source.name}:{self.number}"

    @property
    def failed(self) -> bool:
        return self.lineage.error is not None

    def warning_codes(self) -> str:
        return ";".join(dict.fromkeys(w.code for w in self.lineage.warnings))

    def edges(self) -> List[Dict[str, Any]]:
        st, target, out = self.lineage, self.target, []
        for column in st.columns:
            for s in column.sources:
                out.append(edge(target, column.name, s, "direct"))
        for s in st.indirect:
            out.append(edge(target, "", s, "indirect"))
        for c in self.composed:
            for s in c.sources:
                out.append(edge(c.target or target, c.name, s, "composed"))
        return out

    def has_lineage(self) -> bool:
        return bool(self.lineage.indirect) or any(c.sources for c in self.lineage.columns)

    def error_position(self) -> Tuple[int, int, int]:
        """(line, column, offset) of the error in the input."""
        err, st = self.lineage.error, self.lineage
        line, column, offset = (getattr(err, k, None) for k in ("line", "column", "offset"))
        if not all(isinstance(v, int) and not isinstance(v, bool) for v in (line, column, offset)):
            return st.start_line, st.start_column, st.start
        return line, column, offset

    def entry(self) -> Dict[str, Any]:
        d: Dict[str, Any] = {"file": self.source.name, "statement": self.number}
        d.update(self.lineage.to_dict())
        d["composed"] = [c.to_dict() for c in self.composed]
        if self.failed:
            line, column, offset = self.error_position()
            d["error_type"] = type(self.lineage.error).__name__
            d["error_line"], d["error_column"], d["error_offset"] = line, column, offset
        return d

    def error_line(self) -> str:
        line, column, _ = self.error_position()
        err = self.lineage.error
        return (f"{PROG}: {self.source.name}: statement {self.number} "
                f"(line {line}, column {column}): {type(err).__name__}: {err}")


def edge(target: str, column: str, s: Any, kind_of_edge: str) -> Dict[str, Any]:
    return {"target_table": target, "target_column": column, "source_table": s.table,
            "source_column": s.column, "kind": s.kind, "edge": kind_of_edge}


def composed_by_statement(statements: Sequence[Any], composed: Sequence[Any]) -> List[Tuple[Any, ...]]:
    """The composed columns of each statement. lineage() lists them in
    statement order, one per output column of each statement that reads a
    table written earlier in the script, with that statement's target and
    output names; a run that matches a statement's columns belongs to it."""
    out: List[Tuple[Any, ...]] = [() for _ in statements]
    at = 0
    for k, st in enumerate(statements):
        n = len(st.columns)
        if st.error is not None or n == 0 or at + n > len(composed):
            continue
        run = composed[at : at + n]
        if all(c.target == st.target and c.name == col.name for c, col in zip(run, st.columns)):
            out[k] = tuple(run)
            at += n
    if at < len(composed) and statements:
        # Not matched to a statement (should not happen): kept on the last one.
        out[-1] = out[-1] + tuple(composed[at:])
    return out


# ---- writers -------------------------------------------------------------------------


class LineageWriter:
    streams = False
    line_per_statement = False

    def __init__(self, out: TextIO, numbered: bool) -> None:
        self.out = out
        self.numbered = numbered

    def file_start(self, name: str) -> None:
        pass

    def file_end(self) -> None:
        pass

    def statement(self, a: Analysed) -> None:
        raise NotImplementedError

    def close(self) -> None:
        pass


def column_label(table: str, column: str) -> str:
    return f"{table}.{column}" if column else table


class TableWriter(LineageWriter):
    """Aligned columns, one row per edge."""

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.rows: List[List[str]] = []

    def statement(self, a: Analysed) -> None:
        for e in a.edges():
            self.rows.append([str(a.number), column_label(e["source_table"], e["source_column"]),
                              column_label(e["target_table"], e["target_column"]), e["kind"], e["edge"]])

    def close(self) -> None:
        # The statement column only when there are several statements.
        header = ["stmt", "source", "target", "kind", "edge"][0 if self.numbered else 1 :]
        self.rows = [r[0 if self.numbered else 1 :] for r in self.rows]
        rows = [header] + self.rows
        widths = [max(len(r[c]) for r in rows) for c in range(len(header))]

        def line(row: List[str]) -> str:
            return "  ".join(v.ljust(w) for v, w in zip(row, widths)).rstrip()

        self.out.write(line(header) + "\n")
        self.out.write("  ".join("-" * w for w in widths) + "\n")
        for row in self.rows:
            self.out.write(line(row) + "\n")


class JsonWriter(LineageWriter):
    """One document: a list of inputs, each with its statements."""

    streams = True

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.files = 0
        self.in_file = 0

    def file_start(self, name: str) -> None:
        self.out.write(("[\n" if self.files == 0 else ",\n") + '{"file": ' + json_text(name)  # type: ignore[arg-type]
                       + ', "statements": [')
        self.files += 1
        self.in_file = 0

    def statement(self, a: Analysed) -> None:
        self.out.write(("\n" if self.in_file == 0 else ",\n") + json_text(a.entry()))
        self.in_file += 1

    def file_end(self) -> None:
        self.out.write("\n]}" if self.in_file else "]}")

    def close(self) -> None:
        self.out.write("[]\n" if self.files == 0 else "\n]\n")


class JsonLinesWriter(LineageWriter):
    streams = True
    line_per_statement = True

    def statement(self, a: Analysed) -> None:
        self.out.write(json_text(a.entry()) + "\n")


class CsvWriter(LineageWriter):
    HEADER = ["file", "statement", "statement_kind", "target_table", "target_column",
              "source_table", "source_column", "kind", "edge", "warnings"]
    streams = True
    line_per_statement = True

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.csv = csv.writer(out)
        self.csv.writerow(self.HEADER)

    def statement(self, a: Analysed) -> None:
        warnings = a.warning_codes()
        for e in a.edges():
            self.csv.writerow([a.source.name, a.number, a.lineage.kind]
                              + [e[k] for k in EDGE_FIELDS] + [warnings])


class GraphWriter(LineageWriter):
    """Collects every statement, then draws them as one graph (view)."""

    def __init__(self, out: TextIO, numbered: bool) -> None:
        super().__init__(out, numbered)
        self.statements: List[Any] = []
        self.files: List[str] = []

    def file_start(self, name: str) -> None:
        self.files.append(name)

    def statement(self, a: Analysed) -> None:
        st = a.lineage
        self.statements.append((a.source.name, a.number, st, a.source.text[st.start:st.end], tuple(a.composed)))


class DotWriter(GraphWriter):
    """Columns as nodes grouped in one box per table (a bare query's box is
    named by input and statement), an arrow per direct edge and a dashed one
    per composed edge; failed statements listed in one note, cut short."""

    def close(self) -> None:
        from .view.dot import to_dot

        self.out.write(to_dot(self.statements))


class HtmlWriter(GraphWriter):
    """One self-contained interactive page (view.html)."""

    def close(self) -> None:
        from .view.html import statements_html

        names = ", ".join(self.files)
        title = "Column lineage" + (f": {names}" if len(names) <= 80 else f": {len(self.files)} inputs")
        self.out.write(statements_html(self.statements, title))


WRITERS = {
    "table": TableWriter,
    "json": JsonWriter,
    "jsonl": JsonLinesWriter,
    "csv": CsvWriter,
    "dot": DotWriter,
    "html": HtmlWriter,
}


# ---- the run ---------------------------------------------------------------------------


def lineage_options(args: Any) -> Dict[str, Any]:
    """lineage()'s keyword arguments from the command line, checked once
    up front so that a bad dialect or schema is a usage error."""
    from .lineage import lineage

    options: Dict[str, Any] = {"dialect": args.dialect, "default_catalog": args.default_catalog,
                               "default_schema": args.default_schema, "errors": "collect"}
    try:
        lineage("", **options)
    except (TypeError, ValueError) as exc:
        raise UsageError(str(exc)) from None
    if args.schema is not None:
        options["schema"] = load_schema(args.schema)
        try:
            lineage("", **options)
        except (TypeError, ValueError) as exc:
            raise UsageError(f"schema {args.schema}: {exc}") from None
    return options


def count_statements(inputs: Sequence[Any]) -> int:
    import _sqlparse_core as core

    return sum(len(core.split_statements(s.text)) for s in inputs if isinstance(s, Source))


def analyse(source: Source, first: int, options: Dict[str, Any]) -> List[Analysed]:
    from .lineage import StatementLineage, lineage

    try:
        result = lineage(source.text, **options)
    except Exception as exc:  # noqa: BLE001 - the other inputs go on
        # Statement errors are collected; anything else fails the input as one statement.
        whole = StatementLineage("other", None, (), (), (), (), (), 0, len(source.text), 1, 1, exc)
        return [Analysed(first, source, whole, ())]
    composed = composed_by_statement(result.statements, result.composed)
    return [Analysed(first + k, source, st, c) for k, (st, c) in enumerate(zip(result.statements, composed))]


def run_lineage(args: Any, inputs: List[Any], console: Console, progress_wanted: bool,
                stdout_tty: bool) -> int:
    """Analyse every input and write the results; the exit status."""
    options = args.lineage_options
    writer = WRITERS[args.format](console.out, False)  # type: ignore[arg-type]
    console.in_step = writer.line_per_statement
    if progress_wanted and not (writer.streams and stdout_tty):
        total = count_statements(inputs)
        if total >= PROGRESS_FROM:
            console.progress = Progress(total, console.err)
    number = failed = with_lineage = 0
    for source in inputs:
        if isinstance(source, ReadFailure):
            console.error(source.message)
            continue
        statements = analyse(source, number + 1, options)
        writer.file_start(source.name)
        for a in statements:
            number = a.number
            writer.statement(a)
            if a.failed:
                failed += 1
                if console.progress is not None:
                    console.progress.failed = failed
                console.error(a.error_line())
            elif a.has_lineage() or a.composed:
                with_lineage += 1
            if console.progress is not None and number % CHUNK == 0:
                console.progress.total = max(console.progress.total, number)
                console.progress.update(number, failed)
        writer.file_end()
        if console.progress is not None:
            console.progress.total = max(console.progress.total, number)
            console.progress.update(number, failed)
    if console.progress is not None:
        console.progress.close()
        console.progress = None
    writer.numbered = number > 1
    writer.close()
    console.out.flush()
    console.finish()
    if not args.quiet:
        unread = sum(isinstance(s, ReadFailure) for s in inputs)
        console.err.write(summary(number, with_lineage, failed, unread) + "\n")
        console.err.flush()
    if any(isinstance(s, ReadFailure) for s in inputs):
        return 2
    return 1 if failed else 0
