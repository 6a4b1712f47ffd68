// The lineage of many statements as one graph of tables and column edges.
//
// Every view (the HTML page, the DOT graph) is drawn from this model, so they
// agree on what a box is and what it is called: a table box per qualified
// table name, and for a bare query (no target table) a box "<file>:<n>".
// A box lists its columns: the output columns of the statements writing it,
// in their order, then the columns other statements read from it.
//
// Edges run from a source column to a target column (direct) or from a source
// column to the target box as a whole (indirect: join, filter, group_by,
// sort). One edge per (source, target, kind), naming the statements it came from.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "lineage_view/flat_index.h"
#include "lineage_view/input.h"

namespace sqlparse::lineage_view {

enum class Role { kSource, kIntermediate, kTarget, kOutput };

std::string_view role_name(Role role);

struct Table {
  std::string_view name;
  std::vector<std::string_view> columns;
  std::vector<int> written_by;  // statement indexes, ascending
  std::vector<int> read_by;
  bool bare_query = false;

  Role role() const;
};

struct Edge {
  int source_table = 0;
  int source_column = -1;  // index into the table's columns; -1: none (the box)
  int target_table = 0;
  int target_column = -1;  // -1 for an indirect edge: it points at the whole box
  int kind = 0;            // index into Graph::kinds
  bool indirect = false;
};

struct ComposedEdge {
  std::string_view source_table, source_column, target_table, target_column, kind;
};

// Text is viewed in the statements (which must outlive the graph) or in `owned`.
struct Graph {
  const std::vector<Statement>* statements = nullptr;
  std::vector<Table> tables;  // in first-seen order, targets first
  std::vector<Edge> edges;
  // Edge i came from statements edge_statements[edge_start[i] .. edge_start[i + 1]), ascending.
  std::vector<int> edge_start;
  std::vector<int> edge_statements;
  std::vector<std::string_view> kinds;
  std::vector<ComposedEdge> composed;
  FlatIndex table_index;
  std::vector<int> statement_box;  // the table each statement writes; -1 when it failed
  std::deque<std::string> owned;   // the names of bare queries' boxes

  std::string_view column_name(int table, int column) const;  // "" for -1
  std::vector<int> statements_of(std::size_t edge) const;
  int find_table(std::string_view name) const;  // -1 when absent
  std::string edge_source(const Edge& e) const;  // "table.column"
  std::string edge_target(const Edge& e) const;  // "table.column", or the box's name
};

Graph build_graph(const std::vector<Statement>& statements);

}  // namespace sqlparse::lineage_view
