"""Pictures of the lineage: an interactive HTML page and a Graphviz graph,
both drawn in C++ (``cpp/lineage_view``) from one model and one layout."""

from .html import lineage_html, statements_html
from .statements import Statement, dot, layout, page, statements_of

__all__ = ["Statement", "dot", "layout", "lineage_html", "page", "statements_html", "statements_of"]
