"""The lineage of many statements as one graph of tables and column edges.

Every view (the HTML page, the DOT graph) is drawn from this model, so they
agree on what a box is and what it is called: a table box per qualified table
name, and for a bare query (no target table) a box named ``<file>:<n>``.
A box lists its columns: the output columns of the statements writing it, in
their order, then the columns other statements read from it.

Edges run from a source column to a target column (direct: identity,
transformation, aggregation, conditional, window) or from a source column to
the target box as a whole (indirect: join, filter, group_by, sort). One edge
per (source, target, kind), carrying the statements it came from.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Dict, Iterable, List, Optional, Sequence, Tuple

INDIRECT_KINDS = frozenset(("join", "filter", "group_by", "sort"))


@dataclass
class Statement:
    """One analysed statement: where it came from, its lineage and its text."""

    file: str
    number: int  # 1-based; a bare query's box is "<file>:<number>"
    lineage: Any  # StatementLineage
    sql: str = ""
    composed: Tuple[Any, ...] = ()  # ComposedColumn

    @property
    def target(self) -> str:
        t = self.lineage.target
        return t if t else f"{self.file}:{self.number}"

    @property
    def failed(self) -> bool:
        return self.lineage.error is not None


@dataclass
class Table:
    name: str
    columns: List[str] = field(default_factory=list)
    written_by: List[int] = field(default_factory=list)  # statement indexes
    read_by: List[int] = field(default_factory=list)
    bare_query: bool = False

    def add_column(self, column: str) -> None:
        if column not in self.columns:
            self.columns.append(column)

    @property
    def role(self) -> str:
        """source (only read), target (only written), intermediate (both) or output (a bare query)."""
        if self.bare_query:
            return "output"
        if self.written_by and self.read_by:
            return "intermediate"
        return "target" if self.written_by else "source"


@dataclass
class Edge:
    source_table: str
    source_column: str
    target_table: str
    target_column: str  # "" for an indirect edge: it points at the whole box
    kind: str
    statements: List[int] = field(default_factory=list)

    @property
    def indirect(self) -> bool:
        return self.kind in INDIRECT_KINDS

    @property
    def source(self) -> str:
        return f"{self.source_table}.{self.source_column}"

    @property
    def target(self) -> str:
        return f"{self.target_table}.{self.target_column}" if self.target_column else self.target_table


@dataclass
class Graph:
    statements: List[Statement]
    tables: Dict[str, Table]
    edges: List[Edge]
    # (source, target, kind) of the lineage traced through intermediate tables
    composed: List[Tuple[str, str, str, str, str]]

    @property
    def failed(self) -> List[Statement]:
        return [s for s in self.statements if s.failed]


def build_graph(statements: Sequence[Statement]) -> Graph:
    tables: Dict[str, Table] = {}
    edges: Dict[Tuple[str, str, str, str, str], Edge] = {}
    composed: Dict[Tuple[str, str, str, str, str], None] = {}

    def table(name: str) -> Table:
        t = tables.get(name)
        if t is None:
            t = tables[name] = Table(name)
        return t

    def add_edge(src: Any, target: str, column: str, k: int) -> None:
        key = (src.table, src.column, target, column, src.kind)
        e = edges.get(key)
        if e is None:
            e = edges[key] = Edge(src.table, src.column, target, column, src.kind)
        if k not in e.statements:
            e.statements.append(k)

    # Targets first, so that a table written anywhere lists its output
    # columns before the columns read from it.
    for k, st in enumerate(statements):
        if st.failed:
            continue
        t = table(st.target)
        t.bare_query = st.lineage.target is None
        t.written_by.append(k)
        for c in st.lineage.columns:
            t.add_column(c.name)
    for k, st in enumerate(statements):
        if st.failed:
            continue
        lin, target = st.lineage, st.target
        for name in lin.source_tables:
            s = table(name)
            if k not in s.read_by:
                s.read_by.append(k)
        for c in lin.columns:
            for src in c.sources:
                _read(table(src.table), src.column, k)
                add_edge(src, target, c.name, k)
        for src in lin.indirect:
            _read(table(src.table), src.column, k)
            add_edge(src, target, "", k)
        for c in st.composed:
            for src in c.sources:
                composed[(src.table, src.column, c.target or target, c.name, src.kind)] = None
    return Graph(list(statements), tables, list(edges.values()), list(composed))


def _read(t: Table, column: str, k: int) -> None:
    if column:
        t.add_column(column)
    if k not in t.read_by:
        t.read_by.append(k)


def statements_of(results: Iterable[Any], names: Optional[Sequence[str]] = None,
                  sqls: Optional[Sequence[str]] = None) -> List[Statement]:
    """The statements of ``lineage()`` / ``lineage_many()`` results, one
    result per script. ``names`` name the scripts (default ``script1``,
    ``script2``, ...; a single script is ``query``); ``sqls`` are their texts,
    to show each statement's SQL. Statements are numbered from 1 per script."""
    results = list(results)
    if names is None:
        names = ["query"] if len(results) == 1 else [f"script{i + 1}" for i in range(len(results))]
    names = list(names)
    if len(names) != len(results):
        raise ValueError(f"{len(names)} names for {len(results)} results")
    texts: List[Optional[str]] = list(sqls) if sqls is not None else [None] * len(results)
    if len(texts) != len(results):
        raise ValueError(f"{len(texts)} SQL texts for {len(results)} results")
    out: List[Statement] = []
    for result, name, text in zip(results, names, texts):
        if not hasattr(result, "statements") or not hasattr(result, "composed"):
            raise TypeError(f"expected ScriptLineage results, got {type(result).__name__}")
        if not isinstance(name, str):
            raise TypeError(f"names must be str, got {type(name).__name__}")
        if text is not None and not isinstance(text, str):
            raise TypeError(f"sqls must be str, got {type(text).__name__}")
        per = _composed_by_statement(result.statements, result.composed)
        for k, (st, comp) in enumerate(zip(result.statements, per)):
            sql = text[st.start:st.end] if text is not None else ""
            out.append(Statement(name, k + 1, st, sql, comp))
    return out


def _composed_by_statement(statements: Sequence[Any], composed: Sequence[Any]) -> List[Tuple[Any, ...]]:
    from ..cli_lineage import composed_by_statement

    return composed_by_statement(statements, composed)
