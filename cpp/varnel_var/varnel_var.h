// The analysis state of one analyser and its column records.
//
// AnalysisState holds the fields that the analysis reads and writes: the
// lineage triples found so far (`sqls`, never reset), the column records of
// the query being analysed (`result`, keyed by output name in insertion
// order) and the three path-match lists gathered for that query (a
// sub-analysis gathers no FROM list: nothing reads it).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sqlparse_main/analyze/from_names.h"
#include "sqlparse_main/analyze/path_query.h"
#include "tree/node.h"
#include "varnel_var/lineage_triple.h"

namespace sqlparse {

// One output column. `value`, `name` and `master` hold whatever node the
// select list gave (a star list stays a list); `table` and `table_column` are
// unset until source resolution finds the column's source.
struct ColumnRecord {
  Node value;
  Node name;
  Node master;
  std::string path;
  std::optional<Node> table;
  std::optional<Node> table_column;

  // The record's `get("table")`: null while unset.
  Node get_table() const { return table ? *table : Node(); }
};

// Column records by output name, in insertion order. Adding under a key that
// is present replaces the record in place (the key keeps its position);
// removing a key and adding it again puts it at the end, as a Python dict does.
class ResultMap {
 public:
  ColumnRecord* get(std::string_view key);
  const ColumnRecord* get(std::string_view key) const;
  void add(const std::string& key, ColumnRecord record);
  // False when the key is absent.
  bool pop(std::string_view key);
  void clear();
  std::size_t size() const { return index_.size(); }
  bool empty() const { return index_.empty(); }

  // Iteration by slot: removed entries leave a hole (key_at gives null), so
  // slot numbers stay valid while records are added or removed.
  std::size_t slot_count() const { return slots_.size(); }
  const std::string* key_at(std::size_t slot) const;
  const ColumnRecord* record_at(std::size_t slot) const;

 private:
  struct Slot {
    std::string key;
    ColumnRecord record;
    bool alive = true;
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::vector<Slot> slots_;
  std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> index_;
};

struct AnalysisState {
  // Positions in `sqls` of the triples whose output name is the text
  // `target`, in order (a text equals only a text). Built on first use and
  // kept up to date with appends.
  const std::vector<std::size_t>& triples_with_target(const std::string& target);

  std::vector<LineageTriple> sqls;
  ResultMap result;
  MatchList all_select_value;  // "$.select..value"
  MatchList all_from;          // "$..from"
  FromNameList all_from_name;  // "$..from..name"

 private:
  std::unordered_map<std::string, std::vector<std::size_t>> by_target_;
  std::size_t indexed_ = 0;  // sqls[0, indexed_) are in by_target_
};

}  // namespace sqlparse
