// The FROM aliases of one query: the matches of "$..from..name" below it.
//
// A sub-query nested n levels deep lies inside every enclosing query, so
// searching each query's whole tree for its aliases costs the square of the
// nesting depth. A NameIndex walks the outermost tree once instead and keeps
// every "name" entry in the order that a "..name" search meets them (a map's
// own "name" before those nested in its entries), so that the aliases below
// any FROM value form one run of that order. A query's alias list is then
// the runs of its outermost FROM values (those not inside another FROM value
// of the query: the search skips those, it has already covered them), found
// by a walk of the query's own part of the tree alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sqlparse_main/analyze/path_query.h"
#include "tree/node.h"

namespace sqlparse {

class NameIndex {
 public:
  explicit NameIndex(Node root);

  // The entries below one FROM value (itself included) and its step.
  struct Run {
    std::uint32_t begin;
    std::uint32_t end;
    std::int32_t step;
  };
  // The run of a container found under a "from" key of the tree, by payload
  // identity; null for any other node.
  const Run* run_of(const Node& from_value) const;

  const Node& value(std::size_t entry) const { return values_[entry]; }
  // The entry's full path below the node of `top_step`, which it lies under.
  std::string path_below(std::size_t entry, std::int32_t top_step) const;
  // The entries whose value is the text `text`, in increasing order; null
  // when none is.
  const std::vector<std::uint32_t>* entries_of(std::string_view text) const;
  // The entries whose value is not text, in increasing order.
  const std::vector<std::uint32_t>& other_entries() const { return others_; }

 private:
  struct Step {
    std::int32_t parent;
    const std::string* key;  // null for a list position
    std::size_t index;
  };
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::int32_t add_step(std::int32_t parent, const std::string* key, std::size_t index);

  Node root_;  // keeps the keys that steps point into alive
  std::vector<Step> steps_;
  std::vector<Node> values_;
  std::vector<std::int32_t> value_steps_;
  std::unordered_map<const void*, Run> runs_;
  std::unordered_map<std::string, std::vector<std::uint32_t>, TextHash, std::equal_to<>> by_text_;
  std::vector<std::uint32_t> others_;
};

// A query's alias list: a MatchList of its own, or runs of a NameIndex.
class FromNameList {
 public:
  FromNameList() = default;
  explicit FromNameList(MatchList matches) : matches_(std::move(matches)) {}
  // The aliases below `query`, a node inside the tree of `index`.
  FromNameList(std::shared_ptr<const NameIndex> index, const Node& query);

  std::size_t size() const { return index_ ? size_ : matches_.size(); }
  bool empty() const { return size() == 0; }
  const Node& value(std::size_t i) const;
  std::string full_path(std::size_t i) const;
  // The first position from `i` on whose value python_equal's `target`, or
  // size() when none does.
  std::size_t next_equal(std::size_t i, const Node& target) const;
  std::vector<PathMatch> materialize() const;
  void clear();

 private:
  struct Segment {
    std::size_t offset;  // position of its first entry in this list
    NameIndex::Run run;
    std::string prefix;  // full path of the FROM value below the query
  };
  const Segment& segment_of(std::size_t i) const;

  MatchList matches_;
  std::shared_ptr<const NameIndex> index_;
  std::vector<Segment> segments_;
  std::size_t size_ = 0;
};

}  // namespace sqlparse
