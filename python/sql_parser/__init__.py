"""sql_parser: SQL text to the JSON-like parse tree of the lineage analyser.

``parse(text)`` returns plain Python data (dict, list, str, int, float, bool,
None) for one SELECT statement, or raises ``ParseError`` (a ``ValueError``).
"""

from _sqlparse_core import parse

from .errors import ParseError

__all__ = ["ParseError", "parse"]
