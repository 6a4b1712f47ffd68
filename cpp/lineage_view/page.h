// The lineage graph as one self-contained HTML page, and as Graphviz DOT.
//
// The page holds everything (style, script, data); nothing is fetched. Boxes
// and edges are written out as elements with their coordinates, so the page
// shows the picture before its script has run; the script only adds the
// interaction. Attributes other tools may rely on: each table box has
// data-table (its qualified name), each column row data-column
// ("table.column"), each edge data-source and data-target ("table.column";
// an indirect edge's target is the box's name) and data-kind.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lineage_view/input.h"
#include "lineage_view/layout.h"
#include "lineage_view/model.h"

namespace sqlparse::lineage_view {

struct PageParts {
  std::string_view title;
  std::string_view css;  // the style sheet and the script, written as they are
  std::string_view js;
};

// Appends the page to `out` (which a caller may reuse from page to page).
void render_page(std::string& out, const Graph& graph, const Layout& lay, const PageParts& parts);

// One cluster per box, a node per column, an arrow per direct edge labelled
// with its kind unless identity, a dashed arrow per composed edge, and the
// failed statements in one note, cut short when there are many.
std::string render_dot(const Graph& graph);

// The note of the failed statements ("" when none failed).
std::string failure_note(const std::vector<Statement>& statements);

inline constexpr std::size_t kNoteLines = 10;
inline constexpr std::size_t kNoteWidth = 160;

}  // namespace sqlparse::lineage_view
