"""The entry point: ``VarnelParseMain._parse_sql`` and ``_re_hint``."""

from __future__ import annotations

import sys
from typing import Any, List

import _sqlparse_core as _core
from sql_parser import parse as _native_parse

from varnel_var import VarnelVar

from .errors import UnsupportedFromShape

__all__ = ["VarnelParseMain"]

_STOCK_RECORD_INIT = VarnelVar.__init__


def _package():
    # The package module, looked up at call time so that rebinding
    # sqlparse_main.parse / Analyze / VarnelVar takes effect on the next call.
    return sys.modules[__name__.rpartition(".")[0]]


def _split_table(name: Any):
    """(database, table) of a qualified table name: the pieces before the first
    and second "." (pieces after the second are dropped), or (None, name)."""
    if "." in name:
        pieces = name.split(".")
        return pieces[0], pieces[1]
    return None, name


class VarnelParseMain:
    """Front end: comment stripping, parsing, analysis, result records."""

    def __init__(self) -> None:
        pass

    @staticmethod
    def _re_hint(sql: str) -> str:
        """The text without block comments, hints, line comments and blank lines."""
        return _core.re_hint(sql)

    def _parse_sql(self, sql: str) -> List[Any]:
        """The lineage records of one query: one ``VarnelVar(database=, table=,
        src=, tgt=)`` per distinct lineage triple, in the analyser's order."""
        pkg = _package()
        parse, analyze_class, record = pkg.parse, pkg.Analyze, pkg.VarnelVar
        if _native_components(pkg) and self._re_hint is VarnelParseMain._re_hint:
            # Default components: the whole way from text to records runs in
            # C++ with the GIL released, and no Python tree is built.
            try:
                return _core.lineage_records_of_text(sql, record, _plain_record(record), _split_table)
            except UnsupportedFromShape as exc:
                sys.stdout.write(exc.line + "\n")
                raise
        clean = self._re_hint(sql)
        tree = parse(clean)
        triples = analyze_class(tree).analyze_sql()
        result = []
        for name, src, tgt in triples:
            database, table = _split_table(name)
            result.append(record(database=database, table=table, src=src, tgt=tgt))
        return result


def _plain_record(record) -> bool:
    """Whether ``record`` is our own VarnelVar with its stock constructor and
    attribute setting, so that the core may build each record as that
    constructor does (the field dict becomes ``__dict__`` of a bare instance):
    the same record, without a Python call."""
    return (
        record is VarnelVar
        and VarnelVar.__init__ is _STOCK_RECORD_INIT
        and VarnelVar.__new__ is object.__new__
        and VarnelVar.__setattr__ is object.__setattr__
    )


_native_analyze_class = None


def _native_components(pkg) -> bool:
    """Whether the package still binds our own parser and analyser, so that
    the all-C++ pipeline gives exactly what they would."""
    return pkg.parse is _native_parse and pkg.Analyze is _native_analyze()


def _native_analyze():
    # Imported on first use: analyze.py is loaded after this module.
    global _native_analyze_class
    if _native_analyze_class is None:
        from .analyze import Analyze

        _native_analyze_class = Analyze
    return _native_analyze_class
