// Unqualified source resolution: a column without qualifier is traced to the
// FROM clause of its query. A single table name is its source; a single FROM
// entry map lends its alias as the column's qualifier and the column is
// dispatched again; a FROM list (joins, comma lists) is not supported.
#include "sqlparse_main/analyze/analyze.h"

namespace sqlparse {

namespace {

// "$." + the pieces of `path` split at "one", all but the last, joined with
// "select", + "from". A path without "one" gives "$.from".
std::string from_path_of(const std::string& path) {
  static constexpr std::string_view kOne = "one";
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = path.find(kOne, start);
    if (at == std::string::npos) break;
    pieces.emplace_back(path.data() + start, at - start);
    start = at + kOne.size();
  }
  std::string out = "$.";
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i != 0) out += "select";
    out += pieces[i];
  }
  out += "from";
  return out;
}

}  // namespace

void Analyze::none_master_from_value(const Node& tree, const std::string& column, int level) {
  const std::string new_path = from_path_of(record(column, "path").path);
  std::optional<Node> t = CompiledPath(new_path).find_first(tree);
  if (!t) return;
  if (t->is_string()) {
    record_table_source(column, *t);
  } else if (t->is_map()) {
    const Node* name = t->as_map().get("name");
    Node a = name != nullptr ? *name : Node();
    record(column, "master").master = std::move(a);
    analyze_from_value_master(tree, column, level);
  } else if (t->is_list()) {
    throw AnalysisError::unsupported_from_shape(Node::string(column), *t, {*t});
  }
}

void Analyze::record_table_source(const std::string& column, const Node& table) {
  ColumnRecord& r = record(column, "table");
  r.table = table;
  Node v = r.value;
  r.table_column = v;
  Node n = r.name;
  var_->sqls.push_back(LineageTriple{table, std::move(v), std::move(n)});
}

}  // namespace sqlparse
