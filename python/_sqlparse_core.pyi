"""Stubs of the compiled core module shared by sqlparse_main, varnel_var and sql_parser."""

from typing import Any

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
