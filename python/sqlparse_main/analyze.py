"""The lineage analyser ``Analyze`` and the path query ``find`` on plain data.

``Analyze(tree).analyze_sql()`` runs the C++ analyser on a parse tree of
dicts, lists and scalars (JSON data) and returns the distinct lineage triples
``(table, source column, output column)`` in the order of their first
occurrence. The analyser keeps its state between calls: a second call returns
the triples of both calls.
"""

from __future__ import annotations

import sys
from types import MappingProxyType
from typing import Any, List, Tuple

import _sqlparse_core as _core

from .errors import UnsupportedFromShape

__all__ = ["Analyze", "PathMatch", "find"]


class PathMatch:
    """One match of a path query: the node found and where it lies.

    ``full_path`` is written without the leading "$.", keys as they are and
    list positions as ``[N]``, so that ``"$." + full_path`` finds the node again.
    """

    __slots__ = ("value", "full_path")

    def __init__(self, value: Any, full_path: str) -> None:
        self.value = value
        self.full_path = full_path

    def __repr__(self) -> str:
        return f"PathMatch(value={self.value!r}, full_path={self.full_path!r})"

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, PathMatch):
            return NotImplemented
        return (self.value, self.full_path) == (other.value, other.full_path)

    __hash__ = None  # type: ignore[assignment]

    def __reduce__(self):
        return (PathMatch, (self.value, self.full_path))


def _matches(pairs: List[Tuple[Any, str]]) -> List[PathMatch]:
    return [PathMatch(value, full_path) for value, full_path in pairs]


def find(tree: Any, path: str, first: Any = None) -> Any:
    """The matches of ``path`` (such as "$..from..name") below ``tree``.

    Returns a new list of ``PathMatch`` in document order, each node reported
    once; with ``first=1``, the node of the first match, or None. The tree is
    JSON data (a non-JSON object raises TypeError); the values returned are
    copies of its nodes.
    """
    if first is None:
        return _matches(_core.find(tree, path))
    if first == 1:
        return _core.find_first(tree, path)
    raise ValueError(f"first must be None or 1, not {first!r}")


class _StateView:
    """A read-only snapshot of an analyser's state, taken when ``_var`` is read."""

    __slots__ = ("sqls", "result", "all_select_value", "all_from", "all_from_name")

    def __init__(self, core: Any) -> None:
        from varnel_var import VarnelVar

        set_ = object.__setattr__
        set_(self, "sqls", list(core.sqls))
        set_(
            self,
            "result",
            MappingProxyType({key: VarnelVar(**fields) for key, fields in core.result}),
        )
        set_(self, "all_select_value", _matches(core.all_select_value))
        set_(self, "all_from", _matches(core.all_from))
        set_(self, "all_from_name", _matches(core.all_from_name))

    def get(self, name: str, default: Any = None) -> Any:
        return getattr(self, name, default)

    def __setattr__(self, name: str, value: Any) -> None:
        raise AttributeError("the analysis state view is read-only")

    def __delattr__(self, name: str) -> None:
        raise AttributeError("the analysis state view is read-only")

    def __repr__(self) -> str:
        return (
            f"<analysis state: {len(self.sqls)} triples, {len(self.result)} records, "
            f"{len(self.all_from_name)} FROM aliases>"
        )


class Analyze:
    """The column-lineage analyser over one parse tree.

    ``tree`` is the tree as given until the first ``analyze_sql`` call, then its
    normalised copy (every space in keys and strings replaced by "_").
    """

    __slots__ = ("_core", "_tree", "_tree_in_core")

    def __init__(self, tree: Any) -> None:
        self._core = _core.Analyze()
        self._tree = tree
        # True while the core holds the current tree and no Python copy of it
        # has been handed out: the next call can reuse it without converting.
        self._tree_in_core = False

    @property
    def tree(self) -> Any:
        if self._tree_in_core:
            self._tree = self._core.tree
            # Handed out: the caller may change it in place, so the next call
            # converts it again.
            self._tree_in_core = False
        return self._tree

    @tree.setter
    def tree(self, value: Any) -> None:
        self._tree = value
        self._tree_in_core = False

    @property
    def _var(self) -> _StateView:
        return _StateView(self._core)

    def analyze_sql(self, level: int = 0) -> List[Tuple[Any, Any, Any]]:
        """Analyses the tree at ``level`` (0 for the outermost query) and returns a
        new list of the distinct triples of all calls so far.

        For a FROM shape that cannot be traced, one line is written to
        ``sys.stdout`` and ``UnsupportedFromShape`` is raised.
        """
        if not self._tree_in_core:
            self._core.set_tree(self._tree)  # a non-JSON tree raises TypeError here
            self._tree_in_core = True
        try:
            return self._core.analyze_sql(level)
        except UnsupportedFromShape as exc:
            sys.stdout.write(exc.line + "\n")
            raise

    @staticmethod
    def _one_search_other(tree: Any, full_path: Any, one: Any, other: Any) -> Any:
        """The node under ``other`` beside the node at ``full_path`` (a path found
        under the key ``one``) in ``tree``, or None."""
        path = "$.%s" % full_path
        path = path[: -len(one)] + str(other)
        return _core.find_first(tree, path)

    def _one_replace_other(self, full_path: str, one: str, other: str) -> Any:
        """The node at ``full_path`` cut before its last ``one``, plus ``other``,
        in the analyser's own tree, or None."""
        path = "$.%s" % one.join(full_path.split(one)[:-1]) + other
        return _core.find_first(self.tree, path)
