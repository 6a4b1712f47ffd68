"""sql_parser: SQL text to syntax trees.

``parse(text)`` returns plain Python data (dict, list, str, int, float, bool,
None) for one SELECT statement, the tree the lineage analyser reads, or
raises ``ParseError`` (a ``ValueError``).

``parse_script(text, dialect="generic")`` parses a whole script of warehouse
SQL (any statement kind, 16 dialects) into a list of ``Statement`` objects:
``.kind``, ``.start`` / ``.end`` (character offsets into ``text``),
``.text``, ``.sql()`` (the statement printed back from its tree) and
``.to_dict(spans=True)`` (the typed syntax tree as dicts and lists). A text
that is not valid SQL raises ``ParseError``; an unknown dialect name raises
``ValueError``.
"""

from _sqlparse_core import Statement, parse, parse_script

from .errors import ParseError

__all__ = ["ParseError", "Statement", "parse", "parse_script"]
