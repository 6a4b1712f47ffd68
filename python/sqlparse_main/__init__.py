"""sqlparse_main: SQL column lineage with a C++ core.

``VarnelParseMain()._parse_sql(sql)`` answers which source tables and columns
feed each output column of one query, as a list of ``VarnelVar`` records.
"""

# The load step binds, in this order: re, the parser function ``parse``, the
# record class ``VarnelVar`` and json, then the classes. Later calls look these
# names up in this module, so rebinding one (``sqlparse_main.parse = f``)
# changes what the next call uses.
import re  # noqa: F401  (bound for callers, in the load order)

try:
    from sql_parser import parse
except ImportError:
    from ._repair import repair_parser_dependency

    repair_parser_dependency()
    from sql_parser import parse

from varnel_var import VarnelVar
import json  # noqa: F401

from .front_end import VarnelParseMain
from .analyze import Analyze, find
from .errors import UnsupportedFromShape
from .batch import parse_sql_many
from sql_parser import ParseError
from .lineage import (
    ColumnLineage,
    ComposedColumn,
    LineageWarning,
    Schema,
    ScriptLineage,
    Source,
    StatementLineage,
    lineage,
    lineage_many,
)
from .view import lineage_html

__all__ = [
    "Analyze",
    "ColumnLineage",
    "ComposedColumn",
    "LineageWarning",
    "ParseError",
    "Schema",
    "ScriptLineage",
    "Source",
    "StatementLineage",
    "UnsupportedFromShape",
    "VarnelParseMain",
    "VarnelVar",
    "find",
    "lineage",
    "lineage_html",
    "lineage_many",
    "parse",
    "parse_sql_many",
]
__version__ = "0.1.0"

