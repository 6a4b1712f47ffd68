// The path query of the analyser: JSONPath-style paths over a Node tree.
//
// A path is "$" followed by steps: ".key" (child), "..key" (descendant: the
// value under `key` in the current node or in any map nested in it, through
// maps and lists alike) and ".[N]" or ".N" (position N of a list). A child
// step written "[N]" or "N" selects the key of that text in a map and the
// position N in a list, so every full path that `find` reports resolves again.
//
// Full paths are written without the leading "$.", one step per key or list
// position passed, joined by ".", list positions as "[N]": the alias of the
// second FROM entry is "from.[1].name". They have three properties:
//   * "$." + full path resolves, on the same root, to the same node;
//   * a match found under a key ends with that key's text;
//   * every key passed stands in the full path as its own text.
// (Keys that hold "." cannot round-trip; parse-tree keys never do.)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tree/node.h"

namespace sqlparse {

struct PathMatch {
  Node value;             // the tree's own node (a shared payload, not a copy)
  std::string full_path;  // relative to the queried node, without "$."
};

// The matches of one query with their full paths written on demand. The
// analysis reads the full path of few matches (the aliases that equal a
// qualifier), while a tree of nested sub-queries has matches whose full paths
// grow with the depth: writing them all would cost the square of the depth.
// The list keeps the queried root alive, whose keys the steps point into.
class MatchList {
 public:
  std::size_t size() const { return values_.size(); }
  bool empty() const { return values_.empty(); }
  const Node& value(std::size_t i) const { return values_[i]; }
  std::string full_path(std::size_t i) const;
  std::vector<PathMatch> materialize() const;
  void clear();

 private:
  friend class CompiledPath;
  std::int32_t add_step(std::int32_t parent, const std::string* key, std::size_t index);
  struct Step {
    std::int32_t parent;     // index into steps_, -1 at the root
    const std::string* key;  // null for a list position
    std::size_t index;
  };
  Node root_;
  std::vector<Node> values_;
  std::vector<std::int32_t> last_step_;  // per match; -1 for the root itself
  std::vector<Step> steps_;
};

// A path parsed once and evaluated step by step over the nodes reached so far
// (see path_query.cc).
class CompiledPath {
 public:
  // Throws AnalysisError (kind kValue) on text that is not a path.
  explicit CompiledPath(std::string_view text);

  std::vector<PathMatch> find(const Node& root) const;
  // With `first_only`, equal contexts are dropped after each step: they
  // would only repeat, later, what the first of them finds, so the first
  // match stays the same (find_first), while the full list may hold fewer
  // repeats.
  MatchList find_matches(const Node& root, bool first_only = false) const;
  std::optional<Node> find_first(const Node& root) const;

  struct Step {
    bool descendant = false;
    std::string key;                  // the step's text
    std::optional<std::size_t> index;  // set when the text is "[N]" or "N"
  };
  const std::vector<Step>& steps() const { return steps_; }

 private:
  struct Context;
  void child_step(const Step& step, const std::vector<Context>& contexts,
                  std::vector<Context>& next, MatchList& out) const;
  void descendant_step(const Step& step, const std::string* context_key,
                       const std::vector<Context>& contexts, std::vector<Context>& next,
                       MatchList& out) const;

  std::vector<Step> steps_;
  bool has_descendant_ = false;
};

// All matches of `path` below `root`, in document order: a descendant step
// gives a node's own value under the key before the matches nested in it,
// map entries in map order and list elements by position; matches from
// several nodes reached by an earlier step follow the order of those nodes.
// Each position of the tree is reported at most once.
std::vector<PathMatch> find(const Node& root, std::string_view path);

// The first match's node in document order, or nothing (the `find(path, 1)`).
std::optional<Node> find_first(const Node& root, std::string_view path);

// The fixed paths of the analysis, parsed once per process.
const CompiledPath& select_value_path();  // "$.select..value"
const CompiledPath& from_path();          // "$..from"
const CompiledPath& from_name_path();     // "$..from..name"

}  // namespace sqlparse
