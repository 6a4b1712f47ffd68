"""The lineage graph as Graphviz DOT, from the same model as the HTML page
(drawn in C++: ``cpp/lineage_view/dot.cc``): one cluster per box (named by its
table, a bare query's by ``<file>:<n>``), a node per column, an arrow per
direct edge labelled with its kind unless it is identity, a dashed arrow per
composed edge, and the failed statements in one note of at most ten lines of
at most 160 characters."""

from .statements import dot as to_dot

__all__ = ["to_dot"]
