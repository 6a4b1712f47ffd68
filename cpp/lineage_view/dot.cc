// The lineage graph as Graphviz DOT, from the same model as the page.
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "lineage_view/page.h"
#include "lineage_view/text.h"

namespace sqlparse::lineage_view {

namespace {

std::string_view role_colour(Role role) {
  switch (role) {
    case Role::kSource: return "lightsteelblue1";
    case Role::kIntermediate: return "lightgoldenrod1";
    case Role::kTarget: return "darkseagreen1";
    case Role::kOutput: return "thistle1";
  }
  return "lightgrey";
}

// Node names "n1", "n2", ... per (table, column), clusters in first-use order.
class Nodes {
 public:
  struct Cluster {
    std::string_view table;
    std::vector<std::pair<std::string_view, int>> columns;
    std::unordered_map<std::string_view, int> index;
  };

  int node(std::string_view table, std::string_view column) {
    auto [t, new_table] = tables_.try_emplace(table, static_cast<int>(clusters_.size()));
    if (new_table) clusters_.push_back(Cluster{table, {}, {}});
    Cluster& cluster = clusters_[t->second];
    auto [c, new_column] = cluster.index.try_emplace(column, count_ + 1);
    if (new_column) {
      ++count_;
      cluster.columns.emplace_back(column, count_);
    }
    return c->second;
  }

  const std::vector<Cluster>& clusters() const { return clusters_; }

 private:
  std::unordered_map<std::string_view, int> tables_;
  std::vector<Cluster> clusters_;
  int count_ = 0;
};

void append_arrow(std::string& out, int a, int b) {
  out += "  n";
  append_int(out, a);
  out += " -> n";
  append_int(out, b);
}

}  // namespace

std::string failure_note(const std::vector<Statement>& statements) {
  std::vector<const Statement*> failed;
  for (const Statement& st : statements) {
    if (st.failed) failed.push_back(&st);
  }
  if (failed.empty()) return "";
  const std::size_t n = failed.size();
  std::string out = std::to_string(n) + " failed statement" + (n != 1 ? "s:" : ":");
  for (std::size_t i = 0; i < n && i < kNoteLines; ++i) {
    const Statement& st = *failed[i];
    const bool placed = st.error_line && st.error_column;
    const std::string line = std::to_string(placed ? *st.error_line : st.start_line);
    const std::string column = std::to_string(placed ? *st.error_column : st.start_column);
    out += '\n';
    std::string text = "statement " + std::to_string(st.number) + " (";
    text.append(st.file).append(", line ").append(line).append(", column ").append(column).append("): ");
    text.append(st.error_type).append(": ").append(st.error_message);
    out += squeeze_and_cut(text, kNoteWidth);
  }
  if (n > kNoteLines) out += "\n\u2026 and " + std::to_string(n - kNoteLines) + " more";
  return out;
}

std::string render_dot(const Graph& graph) {
  std::string out = "digraph lineage {\n  rankdir=LR;\n  node [shape=box, fontname=Helvetica];\n";
  Nodes nodes;
  for (const Table& t : graph.tables) {
    for (std::string_view c : t.columns) nodes.node(t.name, c);
  }
  std::vector<std::string> arrows;
  std::string arrow;
  for (const Edge& e : graph.edges) {
    if (e.indirect) continue;
    const int a = nodes.node(graph.tables[e.source_table].name, graph.column_name(e.source_table, e.source_column));
    const int b = nodes.node(graph.tables[e.target_table].name, graph.column_name(e.target_table, e.target_column));
    arrow.clear();
    append_arrow(arrow, a, b);
    if (graph.kinds[e.kind] != "identity") {
      arrow += " [label=";
      append_dot_quoted(arrow, graph.kinds[e.kind]);
      arrow += ']';
    }
    arrow += ";\n";
    arrows.push_back(arrow);
  }
  for (const ComposedEdge& c : graph.composed) {
    const int a = nodes.node(c.source_table, c.source_column);
    const int b = nodes.node(c.target_table, c.target_column);
    arrow.clear();
    append_arrow(arrow, a, b);
    arrow += " [style=dashed";
    if (c.kind != "identity") {
      arrow += ", label=";
      append_dot_quoted(arrow, c.kind);
    }
    arrow += "];\n";
    arrows.push_back(arrow);
  }
  for (std::size_t k = 0; k < nodes.clusters().size(); ++k) {
    const Nodes::Cluster& cluster = nodes.clusters()[k];
    const int t = graph.find_table(cluster.table);
    out += "  subgraph cluster_" + std::to_string(k) + " {\n    label=";
    append_dot_quoted(out, cluster.table);
    out += ";\n    style=filled; color=";
    out += t < 0 ? "lightgrey" : role_colour(graph.tables[t].role());
    out += ";\n";
    for (const auto& [column, id] : cluster.columns) {
      out += "    n" + std::to_string(id) + " [label=";
      append_dot_quoted(out, column);
      out += "];\n";
    }
    out += "  }\n";
  }
  std::unordered_set<std::string> seen;
  for (std::string& a : arrows) {
    if (seen.insert(a).second) out += a;
  }
  const std::string note = failure_note(*graph.statements);
  if (!note.empty()) {
    out += "  failed [label=";
    append_dot_quoted(out, note);
    out += ", shape=note, color=red];\n";
  }
  out += "}\n";
  return out;
}

}  // namespace sqlparse::lineage_view
