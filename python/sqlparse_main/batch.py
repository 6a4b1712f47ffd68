"""Lineage of many queries at once: ``parse_sql_many``.

With the default parser and analyser the whole batch runs in C++ worker
threads with the GIL released; each query gets exactly what ``_parse_sql``
would give it, except that a failure is returned instead of raised and the
line that the analyser prints on an unsupported FROM shape stays in the
exception (its ``.line``) instead of going to standard output.
"""

from __future__ import annotations

import contextlib
import io
import sys
from typing import Any, Iterable, List, Optional, Union

import _sqlparse_core as _core

from ._threads import thread_count
from .front_end import VarnelParseMain, _native_components, _plain_record, _split_table

__all__ = ["parse_sql_many"]

Outcome = Union[List[Any], BaseException]


def _package():
    # Looked up at call time, as the front end does, so that a rebound
    # sqlparse_main.parse / Analyze / VarnelVar is honoured.
    return sys.modules[__name__.rpartition(".")[0]]


def _one_by_one(
    items: List[Any], indexes: Iterable[int], out: List[Optional[Outcome]], *, quiet: bool
) -> None:
    # The front end itself, for rebound components and for items that are not
    # str. With `quiet` (rebound components, which may print the analyser's
    # line) stdout is redirected while they run: the exception carries the
    # line. The redirect is process-wide, so it is left out where nothing can
    # print (the default components reject a non-str before any work), lest
    # another thread's output be swallowed.
    front = VarnelParseMain()
    with contextlib.redirect_stdout(io.StringIO()) if quiet else contextlib.nullcontext():
        for i in indexes:
            try:
                out[i] = front._parse_sql(items[i])
            except Exception as exc:  # returned to the caller, never raised
                out[i] = exc


def parse_sql_many(sqls: Iterable[Any], *, threads: Optional[int] = None) -> List[Outcome]:
    """The lineage of each query text, in input order.

    Each item of the result is what ``VarnelParseMain()._parse_sql(sql)``
    returns for that text (a list of ``VarnelVar`` records) or the exception
    it raises, returned rather than raised. ``threads`` is the number of
    worker threads (default: ``os.cpu_count()``; at most four per core are
    started).

    >>> parse_sql_many(["select a from db.t", "select"])  # doctest: +SKIP
    [[VarnelVar(database='db', table='t', src='a', tgt='a')], ParseError(...)]
    """
    threads = thread_count(threads)
    items = list(sqls)
    pkg = _package()
    if not _native_components(pkg):
        out: List[Optional[Outcome]] = [None] * len(items)
        _one_by_one(items, range(len(items)), out, quiet=True)
        return out  # type: ignore[return-value]
    # Usually every item is a str and the core's list is the answer as it is.
    others = [i for i, item in enumerate(items) if not isinstance(item, str)]
    texts = [item for item in items if isinstance(item, str)] if others else items
    record = pkg.VarnelVar
    results = _core.lineage_of_texts(texts, threads, record, _plain_record(record), _split_table)
    if not others:
        return results
    done = iter(results)
    out = [None if not isinstance(item, str) else next(done) for item in items]
    _one_by_one(items, others, out, quiet=False)
    return out  # type: ignore[return-value]
