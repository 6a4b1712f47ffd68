// Analyze: the column-lineage analyser over one parse tree.
//
// `analyze_sql` normalises the tree (every space in keys and strings becomes
// "_"), splits a set operation (UNION, UNION ALL, INTERSECT, EXCEPT) into its
// branches and runs three stages on each query map: gather the select values
// and FROM aliases by path query, record one column record per output column
// (select_list/), then resolve every record against the FROM clause
// (source_resolution/). It returns the distinct lineage triples found, in
// the order of their first occurrence.
//
// A sub-query behind an alias is analysed one level deeper by a fresh
// analyser with its own state; it shares the already normalised sub-tree.
// Within one top-level call, a sub-query met again (the same alias used at
// several depths makes the walk reach it once per enclosing level) reuses the
// first sub-analysis, whose result depends only on the sub-tree. Sub-analyses
// read their FROM aliases from one index of the outermost tree
// (from_names.h), so that time grows linearly with the nesting depth.
//
// Failures throw AnalysisError; the state keeps what was written before.
// Limits: sub-queries nested deeper than kMaxSubqueryLevel, qualified star
// expansions or resolution chains deeper than kMaxChainDepth, and resolution
// cycles that change nothing all end with kRecursionError.
//
// One instance must not be used by two threads at once; separate instances
// share nothing, and the class keeps no global mutable state.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sqlparse_main/analyze/analysis_error.h"
#include "sqlparse_main/analyze/path_query.h"
#include "tree/node.h"
#include "varnel_var/lineage_triple.h"
#include "varnel_var/varnel_var.h"

namespace sqlparse {

class Analyze {
 public:
  // Deepest sub-query level analysed; one more raises kRecursionError.
  static constexpr int kMaxSubqueryLevel = 1000;
  // Deepest chain of re-dispatches of one column, or of nested qualified
  // star expansions, within one analyser.
  static constexpr int kMaxChainDepth = 1000;

  // Stores the tree as it is; nothing is normalised or checked yet.
  explicit Analyze(Node tree);

  // Runs the analysis at `level` (0 for the outermost query) and returns the
  // distinct triples of all runs of this analyser so far.
  std::vector<LineageTriple> analyze_sql(int level = 0);

  // The tree: as given until the first analyze_sql, then its normalised copy.
  const Node& tree() const { return tree_; }
  // Replaces the tree (it is normalised again by the next analyze_sql).
  void set_tree(Node tree);
  const AnalysisState& var() const { return *var_; }

  // The node under `other` beside the node at `full_path` (whose last step is
  // `one`), in `tree`: "$." + full_path, minus as many characters as `one`
  // has, plus `other`.
  static std::optional<Node> one_search_other(const Node& tree, std::string_view full_path,
                                              std::string_view one, std::string_view other);
  // "$." + full_path up to its last occurrence of `one`, plus `other`, on the
  // analyser's own tree. An empty `one` raises kValueError.
  std::optional<Node> one_replace_other(std::string_view full_path, std::string_view one,
                                        std::string_view other) const;

 private:
  struct Context;  // shared by one top-level call and its sub-analyses

  Analyze(Node normalised_subtree, std::shared_ptr<Context> context);

  // Driver (analyze/analyze.cc).
  std::vector<LineageTriple> run(int level);
  void check_union(int level);
  void walk_set_operation(const Node& set_operation, int level);
  void analyze_sql_start(const Node& tree, int level);
  void get_all_select_value(const Node& tree, int level);
  // FROM clause dispatch (analyze/analyze.cc).
  void analyze_from_value(const Node& tree, int level);
  void analyze_from_value_master(const Node& tree, const std::string& column, int level);
  // Source resolution (source_resolution/).
  void master_from_value(const Node& tree, const std::string& column, int level);
  void none_master_from_value(const Node& tree, const std::string& column, int level);
  // Records the plain table `table` as the source of `column` and appends
  // the triple (table, value, name).
  void record_table_source(const std::string& column, const Node& table);
  // Select list (select_list/).
  void analyze_select_value(const Node& tree, const MatchList& select_value_list,
                            int level, Node master = Node());
  void analyze_column(const Node& tree, const std::string& column, int level);
  bool analyze_column_asterisk(const Node& tree, const std::string& column, int level);

  // The state of the sub-analysis of `subquery` at `level`.
  std::shared_ptr<AnalysisState> sub_analysis(const Node& subquery, int level);
  // The record under `column`; a missing one raises kAttributeError naming
  // the attribute that the caller was about to read.
  ColumnRecord& record(const std::string& column, const char* attribute);
  // The count of guarded calls active in this top-level analysis.
  int& guarded_calls();

  // The alias index of the outermost tree, built for the first sub-analysis.
  std::shared_ptr<const NameIndex> name_index();

  Node tree_;
  bool tree_normalised_ = false;
  bool sub_ = false;  // a sub-analysis, with its parent's context
  std::shared_ptr<AnalysisState> var_;
  std::shared_ptr<Context> context_;
  // Masters with which the current column's dispatches are active, outermost
  // first: a re-dispatch with one of them again would repeat itself forever.
  std::vector<Node> active_masters_;
  int star_depth_ = 0;
};

}  // namespace sqlparse
