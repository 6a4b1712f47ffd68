"""Stubs of the compiled core module shared by sqlparse_main, varnel_var and sql_parser."""

from typing import Any, Optional

def _roundtrip(obj: Any) -> Any:
    """Converts a Python object to the core tree and back (for tests)."""
    ...

def _to_json(obj: Any) -> str:
    """Compact JSON text of the core tree of a Python object (for tests)."""
    ...

def parse(text: str) -> Any:
    """The parse tree of one SELECT statement as dicts, lists and scalars."""
    ...

def _parse_tree_only(text: str) -> int:
    """Parses without building Python objects; returns the node count (for benchmarks)."""
    ...

def re_hint(sql: str) -> str:
    """The query text without block comments (hints included), line comments and blank lines."""
    ...

def find(tree: Any, path: str) -> list[tuple[Any, str]]:
    """Every match of a path below tree as (value, full_path), in document order."""
    ...

def _bench_analyze(tree: Any, repeat: int) -> float:
    """Seconds for repeat analyses of a tree converted once (for benchmarks)."""
    ...

def _bench_find(tree: Any, path: str, repeat: int) -> float:
    """Seconds for repeat evaluations of a path on a tree converted once (for benchmarks)."""
    ...

def find_first(tree: Any, path: str) -> Any:
    """The node of the first match of a path below tree, or None."""
    ...

def normalize(tree: Any) -> Any:
    """A copy of tree with every space in keys and strings replaced by '_'."""
    ...

def one_search_other(tree: Any, full_path: str, one: str, other: str) -> Any:
    """The node under `other` beside the node at full_path (found under `one`), or None."""
    ...

class Analyze:
    """The C++ lineage analyser over one parse tree."""

    def __init__(self, tree: Any = None) -> None: ...
    def set_tree(self, tree: Any) -> None:
        """Replaces the tree; the next analyze_sql normalises it."""
        ...
    def analyze_sql(self, level: int = 0) -> list[tuple[Any, Any, Any]]:
        """Runs the analysis; returns the distinct triples of all runs so far."""
        ...
    @property
    def tree(self) -> Any: ...
    @property
    def sqls(self) -> list[tuple[Any, Any, Any]]: ...
    @property
    def result(self) -> list[tuple[str, dict[str, Any]]]: ...
    @property
    def all_select_value(self) -> list[tuple[Any, str]]: ...
    @property
    def all_from(self) -> list[tuple[Any, str]]: ...
    @property
    def all_from_name(self) -> list[tuple[Any, str]]: ...
    def one_replace_other(self, full_path: str, one: str, other: str) -> Any:
        """The node at full_path up to its last `one`, plus `other`, in the analyser's tree."""
        ...

def lineage_records_of_text(sql: str, record: object, plain: bool, split_table: object) -> list[object]:
    """The result records of one query text, computed in C++ and built with `record` (when `plain`, by giving a bare instance of the class the field dict as its __dict__)."""
    ...

def split_statements(text: str) -> list[tuple[int, int, int, int, int, int]]:
    """The statements of a text split at ";" outside strings, quoted names and comments: (start, end, line, column, byte_start, byte_end) for each, empty ones skipped."""
    ...

def lineage_of_texts(texts: list[str], threads: int, record: Any, plain: bool, split_table: Any) -> list[Any]:
    """For each text its lineage records, or the exception its analysis raised (returned, not raised); analysed on `threads` worker threads (0: all cores) without the GIL."""
    ...

def _bench_lineage_of_texts(texts: list[str], threads: int) -> float:
    """Seconds for the C++ batch alone on the texts, no Python objects built (for benchmarks)."""
    ...

class Statement:
    """One statement of a script parsed by parse_script: its typed syntax tree."""

    @property
    def kind(self) -> str:
        """select, insert, create_table_as, create_view, merge, update, delete or other."""
        ...
    @property
    def start(self) -> int:
        """Character offset of the statement's first token in the text."""
        ...
    @property
    def end(self) -> int:
        """Character offset just after the statement's last token."""
        ...
    @property
    def text(self) -> str:
        """The statement's source text, text[start:end]."""
        ...
    def sql(self) -> str:
        """The statement written back as SQL from its tree."""
        ...
    def to_dict(self, spans: bool = True) -> dict[str, Any]:
        """The syntax tree as dicts, lists and strings; spans in characters when `spans`."""
        ...

def parse_script(text: str, dialect: str = "generic") -> list[Statement]:
    """The statements of a SQL script, each with its typed syntax tree."""
    ...

def _bench_parse_script(texts: list[str], dialect: str) -> int:
    """Parses each text in C++ without building Python objects; returns the statement count (for benchmarks)."""
    ...

def _render_classic(text: str, dialect: str = "generic", classic_mode: bool = False) -> object:
    """The classic parse tree rendered from the typed syntax tree (for measurements)."""
    ...

# ---- full column lineage

class _LineageSchema:
    """The columns of base tables, converted once (sqlparse_main.Schema wraps it)."""

    def __init__(
        self, tables: list[tuple[list[str], list[str]]], default_catalog: str, default_schema: str
    ) -> None: ...
    def __len__(self) -> int: ...

def _lineage_schema(
    mapping: object, default_catalog: str, default_schema: str
) -> Optional[_LineageSchema]:
    """The schema of a plain dict, or None when sqlparse_main.lineage must walk it."""
    ...

def _lineage(text: str, dialect: str, schema: _LineageSchema, collect: bool) -> Any:
    """The lineage of a script as a sqlparse_main.ScriptLineage."""
    ...

def _lineage_dict(
    text: str,
    dialect: str,
    mapping: object,
    default_catalog: str,
    default_schema: str,
    collect: bool,
) -> Optional[Any]:
    """As _lineage with the schema of a plain dict, converted as far as the text needs; None when sqlparse_main.lineage must walk the mapping."""
    ...

def _lineage_many(
    texts: list[str], dialect: str, schema: _LineageSchema, threads: int
) -> list[Any]:
    """The ScriptLineage of each text, statement errors collected, analysed on worker threads."""
    ...

def _arrow_lineage_edges(
    column: object, dialect: str, schema: _LineageSchema, threads: int
) -> list[tuple[object, object]]:
    """The lineage edges of an Arrow string column, as (schema, array) capsule pairs."""
    ...

def _lineage_classes(classes: tuple[type, ...]) -> None:
    """Registers the six result classes of sqlparse_main.lineage, in the order Source, ColumnLineage, LineageWarning, StatementLineage, ComposedColumn, ScriptLineage."""
    ...

# ---- the lineage view

def _lineage_view(
    statements: list[tuple[str, int, object, str, tuple[object, ...]]],
    format: str,
    title: str,
    css: str,
    js: str,
) -> str:
    """The lineage page ('html', with the given style sheet and script) or Graphviz graph ('dot') of (file, number, StatementLineage, sql, composed) tuples."""
    ...

def _lineage_view_layout(
    statements: list[tuple[str, int, object, str, tuple[object, ...]]], sweeps: int
) -> dict[str, Any]:
    """The page's boxes (tables), edges, composed edges, size and edge crossings as plain data."""
    ...
