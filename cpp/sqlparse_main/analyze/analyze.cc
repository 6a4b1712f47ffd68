// The analysis driver, the FROM clause dispatch and the path helpers.
//
// Nesting is bounded three ways, so that no input can exhaust the C++ stack:
// the sub-query level (kMaxSubqueryLevel), the re-dispatch chain and the star
// expansion chain of one analyser (kMaxChainDepth), and the sum of all guarded
// calls of one top-level analysis (kMaxGuardedCalls); and every guarded call
// checks that the thread's stack has room left (CallGuard).
#include "sqlparse_main/analyze/analyze.h"


#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>

#include "sqlparse_main/analyze/analyze_internal.h"
#include "sqlparse_main/analyze/normalize.h"

namespace sqlparse {

namespace {

using ErrorKind = AnalysisError::Kind;

// ---- Distinct triples ----------------------------------------------------

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
  h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  return h;
}

// A hash that agrees with python_equal: equal nodes hash alike (numbers by
// value across bool, int and float; maps regardless of order). Containers
// are hashed to a bounded depth; deeper levels only make collisions likelier.
std::uint64_t hash_node(const Node& n, int depth) {
  switch (n.kind()) {
    case sqlparse::Kind::kNull:
      return 0x6e756c6cULL;
    case sqlparse::Kind::kBool:
      return static_cast<std::uint64_t>(n.as_bool() ? 1 : 0);
    case sqlparse::Kind::kInt:
      return static_cast<std::uint64_t>(n.as_int());
    case sqlparse::Kind::kBigInt:
      return 0xb16b16ULL;  // also every integral float outside 64 bits
    case sqlparse::Kind::kFloat: {
      const double d = n.as_float();
      if (std::isnan(d)) return 0x7ff8ULL;
      if (std::trunc(d) == d) {
        if (d >= -9223372036854775808.0 && d < 9223372036854775808.0) {
          return static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
        }
        return 0xb16b16ULL;
      }
      return std::hash<double>{}(d);
    }
    case sqlparse::Kind::kString:
      return std::hash<std::string>{}(n.as_string());
    case sqlparse::Kind::kList: {
      std::uint64_t h = 0x6c697374ULL + n.as_list().size();
      if (depth >= 4) return h;
      for (const Node& item : n.as_list()) h = mix(h, hash_node(item, depth + 1));
      return h;
    }
    case sqlparse::Kind::kMap: {
      std::uint64_t h = 0x6d6170ULL + n.as_map().size();
      if (depth >= 4) return h;
      std::uint64_t sum = 0;
      for (const auto& [key, value] : n.as_map()) {
        sum += mix(std::hash<std::string>{}(key), hash_node(value, depth + 1));
      }
      return mix(h, sum);
    }
  }
  return 0;
}

bool same_triple(const LineageTriple& a, const LineageTriple& b) {
  return python_equal(a.table, b.table) && python_equal(a.src, b.src) && python_equal(a.tgt, b.tgt);
}

std::vector<LineageTriple> distinct(const std::vector<LineageTriple>& sqls) {
  std::vector<LineageTriple> out;
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> seen;
  seen.reserve(sqls.size());
  for (const LineageTriple& t : sqls) {
    const std::uint64_t h =
        mix(mix(hash_node(t.table, 0), hash_node(t.src, 0)), hash_node(t.tgt, 0));
    auto& bucket = seen[h];
    bool found = false;
    for (std::size_t i : bucket) {
      if (same_triple(out[i], t)) {
        found = true;
        break;
      }
    }
    if (found) continue;
    bucket.push_back(out.size());
    out.push_back(t);
  }
  return out;
}

// ---- Set operations ----------------------------------------------------------

// A map that holds the branches of a set operation under one of these keys.
bool is_set_operation(const Node& n) {
  if (!n.is_map()) return false;
  const Map& m = n.as_map();
  return m.contains("union_all") || m.contains("union") || m.contains("intersect") ||
         m.contains("except");
}

// ORDER BY, LIMIT or OFFSET after a set operation: the parser moves the set
// operation under "from" of a map that has no "select".
const Node* wrapped_set_operation(const Node& n) {
  if (!n.is_map()) return nullptr;
  const Map& m = n.as_map();
  if (m.contains("select")) return nullptr;
  const Node* from = m.get("from");
  return from != nullptr && is_set_operation(*from) ? from : nullptr;
}

std::size_t code_points(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// Python's text[:-n] for n >= 1, on UTF-8 text.
void drop_last_code_points(std::string& text, std::size_t n) {
  std::size_t end = text.size();
  while (n > 0 && end > 0) {
    --end;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    --n;
  }
  text.resize(end);
}

}  // namespace

// ---- Shared context of one top-level analysis ----------------------------------

struct Analyze::Context {
  struct Memo {
    Node subquery;  // keeps the identity below alive
    std::shared_ptr<AnalysisState> state;  // read-only but for its target index
    int height;     // deepest level below the sub-analysis's own
  };
  std::unordered_map<const void*, Memo> memo;
  Node root;  // the outermost tree, normalised
  std::shared_ptr<const NameIndex> names;
  int deepest = 0;
  int guarded_calls = 0;
};

int& Analyze::guarded_calls() { return context_->guarded_calls; }

Analyze::Analyze(Node tree) : tree_(std::move(tree)), var_(std::make_shared<AnalysisState>()) {}

Analyze::Analyze(Node normalised_subtree, std::shared_ptr<Context> context)
    : tree_(std::move(normalised_subtree)),
      tree_normalised_(true),
      sub_(true),
      var_(std::make_shared<AnalysisState>()),
      context_(std::move(context)) {}

void Analyze::set_tree(Node tree) {
  tree_ = std::move(tree);
  tree_normalised_ = false;
}

std::vector<LineageTriple> Analyze::analyze_sql(int level) {
  if (context_) return run(level);  // a sub-analysis, or a call from inside one
  struct Reset {
    std::shared_ptr<Context>& context;
    ~Reset() { context.reset(); }
  } reset{context_};
  context_ = std::make_shared<Context>();
  context_->deepest = level;
  return run(level);
}

std::vector<LineageTriple> Analyze::run(int level) {
  CallGuard guard(guarded_calls());
  check_union(level);
  if (!sub_) context_->root = tree_;
  if (level > kMaxSubqueryLevel) {
    throw AnalysisError(ErrorKind::kRecursionError, "sub-queries nested deeper than " +
                                                   std::to_string(kMaxSubqueryLevel) +
                                                   " levels");
  }
  context_->deepest = std::max(context_->deepest, level);
  if (!tree_.is_map()) {
    throw AnalysisError(ErrorKind::kAttributeError,
                        std::string("'") + tree_.type_name() + "' object has no attribute 'keys'");
  }
  if (is_set_operation(tree_)) {
    walk_set_operation(tree_, level);
  } else if (const Node* inner = wrapped_set_operation(tree_)) {
    walk_set_operation(*inner, level);
  } else {
    var_->result.clear();
    analyze_sql_start(tree_, level);
  }
  return distinct(var_->sqls);
}

void Analyze::check_union(int /*level*/) {
  if (tree_normalised_) return;  // normalising again would change nothing
  tree_ = normalize(tree_);
  tree_normalised_ = true;
}

// Every entry of the set-operation map, whatever its key, in map order: a
// list holds one branch per element, a map is one branch, anything else holds
// none. A branch that is itself a set operation (mixed chains nest to the
// right), or one wrapped under "from", is walked in turn. Each branch gets a
// fresh `result`; `sqls` accumulates over all of them.
void Analyze::walk_set_operation(const Node& set_operation, int level) {
  struct Frame {
    const Map* map;
    std::size_t entry;
    std::size_t item;
  };
  std::vector<Frame> stack{Frame{&set_operation.as_map(), 0, 0}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.entry >= f.map->size()) {
      stack.pop_back();
      continue;
    }
    const Node& value = f.map->entries()[f.entry].second;
    const Node* branch = nullptr;
    if (value.is_list() && f.item < value.as_list().size()) {
      branch = &value.as_list()[f.item++];
    } else if (value.is_map() && f.item == 0) {
      branch = &value;
      f.item = 1;
    } else {
      ++f.entry;
      f.item = 0;
      continue;
    }
    if (is_set_operation(*branch)) {
      stack.push_back(Frame{&branch->as_map(), 0, 0});
      continue;
    }
    if (const Node* inner = wrapped_set_operation(*branch)) {
      stack.push_back(Frame{&inner->as_map(), 0, 0});
      continue;
    }
    if (!branch->is_container()) {
      throw AnalysisError(ErrorKind::kAttributeError, std::string("'") + branch->type_name() +
                                                     "' object has no attribute 'find'");
    }
    var_->result.clear();
    analyze_sql_start(*branch, level);
  }
}

void Analyze::analyze_sql_start(const Node& tree, int level) {
  get_all_select_value(tree, level);
  // Nothing replaces all_select_value while the select list is analysed.
  analyze_select_value(tree, var_->all_select_value, level);
  analyze_from_value(tree, level);
}

void Analyze::get_all_select_value(const Node& tree, int /*level*/) {
  MatchList select_values = select_value_path().find_matches(tree);
  if (sub_) {
    // A search of the sub-query's whole tree would repeat, at each level of
    // nesting, the search of every level below it: the aliases come from the
    // index of the outermost tree. Nothing reads a sub-analysis's FROM list.
    FromNameList from_names(name_index(), tree);
    var_->all_select_value = std::move(select_values);
    var_->all_from.clear();
    var_->all_from_name = std::move(from_names);
    return;
  }
  MatchList froms = from_path().find_matches(tree);
  FromNameList from_names(from_name_path().find_matches(tree));
  var_->all_select_value = std::move(select_values);
  var_->all_from = std::move(froms);
  var_->all_from_name = std::move(from_names);
}

std::shared_ptr<const NameIndex> Analyze::name_index() {
  if (!context_->names) context_->names = std::make_shared<const NameIndex>(context_->root);
  return context_->names;
}

// ---- FROM clause dispatch --------------------------------------------------------

void Analyze::analyze_from_value(const Node& tree, int level) {
  // Resolution changes fields of existing records only, so the slots stay.
  for (std::size_t slot = 0; slot < var_->result.slot_count(); ++slot) {
    const std::string* key = var_->result.key_at(slot);
    if (key == nullptr) continue;
    const std::string column = *key;
    analyze_from_value_master(tree, column, level);
  }
}

void Analyze::analyze_from_value_master(const Node& tree, const std::string& column, int level) {
  if (truthy(record(column, "get").get_table())) return;
  const Node master = record(column, "master").master;

  // What a dispatch does depends on the record's master alone (its value,
  // name and path never change here, and an unset or empty table means the
  // same). A re-dispatch with a master that an enclosing dispatch of this
  // column started with would therefore repeat that dispatch forever.
  for (const Node& earlier : active_masters_) {
    const bool same = truthy(earlier) ? python_equal(earlier, master) : !truthy(master);
    if (same) {
      throw AnalysisError(ErrorKind::kRecursionError,
                          "resolving column '" + column +
                              "' comes back to the same step without progress");
    }
  }
  if (static_cast<int>(active_masters_.size()) >= kMaxChainDepth) {
    throw AnalysisError(ErrorKind::kRecursionError, "resolving column '" + column + "' takes more than " +
                                                   std::to_string(kMaxChainDepth) + " steps");
  }
  CallGuard guard(guarded_calls());
  active_masters_.push_back(master);
  struct Pop {
    std::vector<Node>& masters;
    ~Pop() { masters.pop_back(); }
  } pop{active_masters_};

  if (truthy(master)) {
    master_from_value(tree, column, level);
  } else {
    none_master_from_value(tree, column, level);
  }
}

ColumnRecord& Analyze::record(const std::string& column, const char* attribute) {
  ColumnRecord* r = var_->result.get(column);
  if (r == nullptr) {
    throw AnalysisError(ErrorKind::kAttributeError,
                        std::string("'NoneType' object has no attribute '") + attribute + "'");
  }
  return *r;
}

std::shared_ptr<AnalysisState> Analyze::sub_analysis(const Node& subquery, int level) {
  Context& context = *context_;
  auto it = context.memo.find(subquery.identity());
  if (it != context.memo.end()) {
    // The first analysis of this sub-query reached `height` levels below its
    // own; analysed here it would reach as deep below this level.
    const int reach = level + it->second.height;
    if (reach > kMaxSubqueryLevel) {
      throw AnalysisError(ErrorKind::kRecursionError, "sub-queries nested deeper than " +
                                                     std::to_string(kMaxSubqueryLevel) +
                                                     " levels");
    }
    context.deepest = std::max(context.deepest, reach);
    return it->second.state;
  }
  const int outer_deepest = context.deepest;
  context.deepest = level;
  Analyze ana(subquery, context_);
  ana.run(level);
  // The outer analysis reads only the records and triples of a sub-analysis.
  ana.var_->all_select_value.clear();
  ana.var_->all_from.clear();
  ana.var_->all_from_name.clear();
  const int height = context.deepest - level;
  context.deepest = std::max(outer_deepest, context.deepest);
  context.memo.emplace(subquery.identity(), Context::Memo{subquery, ana.var_, height});
  return ana.var_;
}

// ---- Path helpers ------------------------------------------------------------------

std::optional<Node> Analyze::one_search_other(const Node& tree, std::string_view full_path,
                                              std::string_view one, std::string_view other) {
  std::string path = "$.";
  path += full_path;
  const std::size_t n = code_points(one);
  if (n == 0) {
    path.clear();  // text[:-0] is the empty text
  } else {
    drop_last_code_points(path, n);
  }
  path += other;
  return CompiledPath(path).find_first(tree);
}

std::optional<Node> Analyze::one_replace_other(std::string_view full_path, std::string_view one,
                                               std::string_view other) const {
  if (one.empty()) throw AnalysisError(ErrorKind::kValueError, "empty separator");
  const std::size_t last = full_path.rfind(one);
  std::string path = "$.";
  if (last != std::string_view::npos) path += full_path.substr(0, last);
  path += other;
  return CompiledPath(path).find_first(tree_);
}

}  // namespace sqlparse
