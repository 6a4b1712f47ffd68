"""Pictures of the lineage: an interactive HTML page and a Graphviz graph,
both drawn from one model (``model.build_graph``) and one layout."""

from .html import lineage_html, statements_html
from .model import Statement, build_graph, statements_of

__all__ = ["Statement", "build_graph", "lineage_html", "statements_html", "statements_of"]
