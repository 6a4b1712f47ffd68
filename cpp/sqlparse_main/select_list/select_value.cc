// Select list analysis and column resolution.
//
// Every string node under a "value" key below the query's "select" becomes a
// column record keyed by its output name: the column without its qualifier
// (`value`), its alias or else that column (`name`), the qualifier
// (`master`, carried over from the last qualified entry of the call) and its
// path. A qualified star over a sub-query is replaced at once by the
// sub-query's own select list, recorded under the star's alias.
#include "sqlparse_main/analyze/analyze.h"
#include "sqlparse_main/analyze/analyze_internal.h"

namespace sqlparse {

namespace {

using ErrorKind = AnalysisError::Kind;

// The column of a select-list name: "s.a" gives "a" and sets `master` to
// "s"; a name without "." is its own column and leaves `master` as it is.
// Only text can be split.
Node column_of(const Node& name, Node& master) {
  if (!contains(name, ".")) return name;
  if (!name.is_string()) {
    throw AnalysisError(ErrorKind::kAttributeError,
                        std::string("'") + name.type_name() + "' object has no attribute 'split'");
  }
  const std::vector<std::string_view> pieces = split_dots(name.as_string());
  master = Node::string(std::string(pieces[0]));
  return Node::string(std::string(pieces[1]));
}

const Node& star_text() {
  static const Node star = Node::string("*");
  return star;
}

}  // namespace

void Analyze::analyze_select_value(const Node& tree, const MatchList& select_value_list,
                                   int level, Node master) {
  if (star_depth_ >= kMaxChainDepth) {
    throw AnalysisError(ErrorKind::kRecursionError, "qualified stars nested deeper than " +
                                                   std::to_string(kMaxChainDepth) + " levels");
  }
  CallGuard guard(guarded_calls());
  ++star_depth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{star_depth_};

  // The star record comes from the analyser's own tree, not from `tree`:
  // during an expansion it is still the outermost query's "select".
  const Node* select = tree_.is_map() ? tree_.as_map().get("select") : nullptr;
  if (select != nullptr && truthy(*select) && contains(*select, "*")) {
    const Node value = column_of(*select, master);
    var_->result.add("*", ColumnRecord{value, value, master, "$.select", std::nullopt, std::nullopt});
  }

  for (std::size_t k = 0; k < select_value_list.size(); ++k) {
    const Node& i_value = select_value_list.value(k);
    Node value = column_of(i_value, master);
    if (!i_value.is_string()) continue;

    const std::string full_path = select_value_list.full_path(k);
    std::optional<Node> alias = one_search_other(tree, full_path, "value", "name");
    std::string path = "$." + full_path;
    Node column = alias && truthy(*alias) ? *alias : value;
    if (!column.is_string()) {
      throw AnalysisError(ErrorKind::kTypeError, "keywords must be strings");
    }
    const std::string key = column.as_string();
    var_->result.add(key, ColumnRecord{value, column, master, std::move(path), std::nullopt,
                                       std::nullopt});
    analyze_column(tree, key, level);
  }
}

void Analyze::analyze_column(const Node& tree, const std::string& column, int level) {
  if (!python_equal(record(column, "value").value, star_text())) return;
  const bool keep = analyze_column_asterisk(tree, column, level);
  if (keep) return;
  // An expansion inside may already have removed the record: a star over a
  // sub-query that itself selects a qualified star shares the key "*".
  var_->result.pop(column);
}

// Expands the star record under `column` over every FROM entry whose alias
// equals its qualifier. Returns true when one of them is a plain table: its
// columns are unknown, so the star record stays and the FROM stage resolves
// it through the alias like any qualified column.
bool Analyze::analyze_column_asterisk(const Node& tree, const std::string& column, int level) {
  bool keep = false;
  for (std::size_t k = 0; k < var_->all_from_name.size(); ++k) {
    // Nothing changes between two aliases equal to the master: jump.
    k = var_->all_from_name.next_equal(k, record(column, "master").master);
    if (k >= var_->all_from_name.size()) break;
    // Copied: the expansion below does not replace all_from_name, but the
    // alias must outlive anything it does.
    const Node i_value = var_->all_from_name.value(k);
    std::optional<Node> from_value =
        one_search_other(tree, var_->all_from_name.full_path(k), "name", "value");
    if (!from_value) {
      throw AnalysisError(ErrorKind::kAttributeError, "'NoneType' object has no attribute 'find'");
    }
    if (from_value->is_string()) {
      keep = true;
      continue;
    }
    if (!from_value->is_container()) {
      throw AnalysisError(ErrorKind::kAttributeError, std::string("'") + from_value->type_name() +
                                                     "' object has no attribute 'find'");
    }
    const MatchList all_select_value = select_value_path().find_matches(*from_value);
    analyze_select_value(*from_value, all_select_value, level, i_value);
  }
  return keep;
}

}  // namespace sqlparse
