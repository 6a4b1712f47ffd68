#include "lineage_view/model.h"

#include <cstdint>
#include <unordered_set>

namespace sqlparse::lineage_view {

std::string box_name(const Statement& st) {
  if (st.target && !st.target->empty()) return std::string(*st.target);
  return std::string(st.file) + ":" + std::to_string(st.number);
}

std::string_view role_name(Role role) {
  switch (role) {
    case Role::kSource: return "source";
    case Role::kIntermediate: return "intermediate";
    case Role::kTarget: return "target";
    case Role::kOutput: return "output";
  }
  return "source";
}

Role Table::role() const {
  if (bare_query) return Role::kOutput;
  if (!written_by.empty() && !read_by.empty()) return Role::kIntermediate;
  return written_by.empty() ? Role::kSource : Role::kTarget;
}

std::string_view Graph::column_name(int table, int column) const {
  return column < 0 ? std::string_view() : tables[table].columns[column];
}

std::vector<int> Graph::statements_of(std::size_t edge) const {
  return std::vector<int>(edge_statements.begin() + edge_start[edge], edge_statements.begin() + edge_start[edge + 1]);
}

int Graph::find_table(std::string_view name) const {
  return table_index.find(hash_text(name), [&](int t) { return tables[t].name == name; });
}

std::string Graph::edge_source(const Edge& e) const {
  std::string out(tables[e.source_table].name);
  return out.append(".").append(column_name(e.source_table, e.source_column));
}

std::string Graph::edge_target(const Edge& e) const {
  std::string out(tables[e.target_table].name);
  if (e.target_column >= 0) out.append(".").append(column_name(e.target_table, e.target_column));
  return out;
}

namespace {

bool is_indirect_kind(std::string_view kind) {
  return kind == "join" || kind == "filter" || kind == "group_by" || kind == "sort";
}

std::uint64_t edge_hash(int source_table, int source_column, int target_table, int target_column, int kind) {
  std::uint64_t h = static_cast<std::uint32_t>(source_table);
  for (int v : {source_column, target_table, target_column, kind}) h = (h * 0x100000001b3ULL) ^ static_cast<std::uint32_t>(v);
  return mix64(h);
}

class Builder {
 public:
  explicit Builder(const std::vector<Statement>& statements) {
    graph_.statements = &statements;
    graph_.statement_box.assign(statements.size(), -1);
    std::size_t sources = 0, columns = 0;
    for (const Statement& st : statements) {
      for (const Column& c : st.columns) sources += c.sources.size();
      sources += st.indirect.size();
      columns += st.columns.size();
    }
    edges_.reserve(sources);
    graph_.edges.reserve(sources);
    last_statement_.reserve(sources);
    edge_statement_.reserve(sources);
    columns_of_.reserve(sources + columns);
  }

  int table(std::string_view name) {
    // A statement's sources mostly come from a few tables in a row.
    if (last_table_ >= 0 && same_text(graph_.tables[last_table_].name, name)) return last_table_;
    std::vector<Table>& tables = graph_.tables;
    auto [t, added] = graph_.table_index.try_emplace(hash_text(name), static_cast<int>(tables.size()),
                                                     [&](int i) { return same_text(tables[i].name, name); });
    if (added) tables.push_back(Table{name, {}, {}, {}, false});
    return last_table_ = t;
  }

  // A bare query's box name, kept by the graph.
  std::string_view own(std::string name) { return graph_.owned.emplace_back(std::move(name)); }

  int add_column(int t, std::string_view column) {
    Table& table = graph_.tables[t];
    auto [c, added] = columns_.try_emplace(hash_text(column, static_cast<std::uint64_t>(t)),
                                           static_cast<int>(columns_of_.size()), [&](int c) {
                                             return columns_of_[c].first == t && same_text(table.columns[columns_of_[c].second], column);
                                           });
    if (!added) return columns_of_[c].second;
    columns_of_.emplace_back(t, static_cast<int>(table.columns.size()));
    table.columns.push_back(column);
    return columns_of_.back().second;
  }

  int column(int t, std::string_view column) const {
    const Table& table = graph_.tables[t];
    const int c = columns_.find(hash_text(column, static_cast<std::uint64_t>(t)), [&](int c) {
      return columns_of_[c].first == t && same_text(table.columns[columns_of_[c].second], column);
    });
    return c < 0 ? -1 : columns_of_[c].second;
  }

  // Statement k reads `column` (maybe "") of table t; the column's index or -1.
  int read(int t, std::string_view column, int k) {
    const int c = column.empty() ? -1 : add_column(t, column);
    add_once(graph_.tables[t].read_by, k);
    return c;
  }

  void add_edge(const Source& src, int target, int target_column, int k) {
    const int from = table(src.table);
    const int from_column = read(from, src.column, k);
    const int k_kind = kind(src.kind);
    std::vector<Edge>& edges = graph_.edges;
    auto [e, added] = edges_.try_emplace(
        edge_hash(from, from_column, target, target_column, k_kind), static_cast<int>(edges.size()), [&](int e) {
          const Edge& d = edges[e];
          return d.source_table == from && d.source_column == from_column && d.target_table == target &&
                 d.target_column == target_column && d.kind == k_kind;
        });
    if (added) {
      edges.push_back(Edge{from, from_column, target, target_column, k_kind, is_indirect_kind(src.kind)});
      last_statement_.push_back(-1);
    }
    if (last_statement_[e] != k) {
      last_statement_[e] = k;
      edge_statement_.emplace_back(e, k);
    }
  }

  // The (edge, statement) pairs grouped by edge, statements kept in order.
  void group_statements() {
    Graph& g = graph_;
    g.edge_start.assign(g.edges.size() + 1, 0);
    for (auto [e, k] : edge_statement_) ++g.edge_start[e + 1];
    for (std::size_t i = 0; i < g.edges.size(); ++i) g.edge_start[i + 1] += g.edge_start[i];
    std::vector<int> at(g.edge_start.begin(), g.edge_start.end() - 1);
    g.edge_statements.resize(edge_statement_.size());
    for (auto [e, k] : edge_statement_) g.edge_statements[at[e]++] = k;
  }

  void add_composed(const Source& src, std::string_view target, std::string_view column) {
    std::string key;
    for (std::string_view part : {src.table, src.column, target, column, src.kind}) key.append(part).push_back('\0');
    if (composed_.insert(std::move(key)).second) {
      graph_.composed.push_back(ComposedEdge{src.table, src.column, target, column, src.kind});
    }
  }

  Graph& graph() { return graph_; }

 private:
  // Statements are visited in order, so a repeat is always the last entry.
  static void add_once(std::vector<int>& list, int k) {
    if (list.empty() || list.back() != k) list.push_back(k);
  }

  int kind(std::string_view name) {
    for (std::size_t i = 0; i < graph_.kinds.size(); ++i) {
      if (same_text(graph_.kinds[i], name)) return static_cast<int>(i);
    }
    graph_.kinds.push_back(name);
    return static_cast<int>(graph_.kinds.size()) - 1;
  }

  Graph graph_;
  int last_table_ = -1;
  FlatIndex edges_;
  FlatIndex columns_;
  std::vector<std::pair<int, int>> columns_of_;  // (table, column) of each column entry
  std::vector<int> last_statement_;  // per edge
  std::vector<std::pair<int, int>> edge_statement_;
  std::unordered_set<std::string> composed_;
};

}  // namespace

Graph build_graph(const std::vector<Statement>& statements) {
  Builder b(statements);
  Graph& g = b.graph();
  // Targets first, so that a table written anywhere lists its output columns
  // before the columns read from it.
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const Statement& st = statements[i];
    if (st.failed) continue;
    const std::string_view name = st.target && !st.target->empty() ? *st.target : b.own(box_name(st));
    const int t = g.statement_box[i] = b.table(name);
    g.tables[t].bare_query = !st.target.has_value();
    g.tables[t].written_by.push_back(static_cast<int>(i));
    for (const Column& c : st.columns) b.add_column(t, c.name);
  }
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const Statement& st = statements[i];
    if (st.failed) continue;
    const int k = static_cast<int>(i);
    const int target = g.statement_box[i];
    for (std::string_view name : st.source_tables) b.read(b.table(name), std::string_view(), k);
    for (const Column& c : st.columns) {
      const int column = c.name.empty() ? -1 : b.column(target, c.name);
      for (const Source& src : c.sources) b.add_edge(src, target, column, k);
    }
    for (const Source& src : st.indirect) b.add_edge(src, target, -1, k);
    for (const Composed& c : st.composed) {
      const std::string_view to = c.target && !c.target->empty() ? *c.target : g.tables[target].name;
      for (const Source& src : c.sources) b.add_composed(src, to, c.name);
    }
  }
  b.group_statements();
  return std::move(g);
}

}  // namespace sqlparse::lineage_view
