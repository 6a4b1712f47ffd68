// Kinds of column flow and the ordered sets of sources that carry them.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace sqlparse::lineage {

// Declared in the order in which control wins along one path: composing two
// kinds keeps the larger.
enum class Kind : std::uint8_t { kIdentity, kTransformation, kAggregation, kWindow, kConditional };

enum class IndirectKind : std::uint8_t { kJoin, kFilter, kGroupBy, kSort };

// The kind of a source reached through `inner` inside an `outer` context.
inline Kind compose(Kind outer, Kind inner) { return outer > inner ? outer : inner; }

// Across several paths the value wins: aggregation > transformation >
// identity > window > conditional.
inline int value_rank(Kind k) {
  switch (k) {
    case Kind::kConditional: return 0;
    case Kind::kWindow: return 1;
    case Kind::kIdentity: return 2;
    case Kind::kTransformation: return 3;
    case Kind::kAggregation: return 4;
  }
  return 0;
}

std::string_view kind_name(Kind k);
std::string_view kind_name(IndirectKind k);

// One source of a value: an interned base column, its kind, and whether it is
// one candidate of an unresolved name.
struct Src {
  int column = 0;
  Kind kind = Kind::kIdentity;
  bool flagged = false;
};

// Sources in order of first occurrence, each column once with its strongest kind.
class SourceSet {
 public:
  void add(Src s);
  // Every source of `other` reached inside a `ctx` context.
  void add_all(const SourceSet& other, Kind ctx);
  const std::vector<Src>& items() const { return items_; }
  bool empty() const { return items_.empty(); }

 private:
  Src* find(int column);

  // Past this many sources a column's place is looked up in index_ rather
  // than searched for: a union of n branches collects n sources per column.
  static constexpr std::size_t kIndexFrom = 16;
  std::vector<Src> items_;
  std::unordered_map<int, std::uint32_t> index_;  // column -> place in items_, once large
};

struct Indirect {
  int column = 0;
  IndirectKind kind = IndirectKind::kFilter;
};

// Appends unless the same column is already there with the same kind.
void add_indirect(std::vector<Indirect>& list, Indirect item);

// True for aggregate functions (lower-case name, last part only).
bool is_aggregate_function(std::string_view name);

// True for table functions that read a location (a file, a bucket, a remote
// table): they are sources named by their call text.
bool is_location_reader(std::string_view name);

}  // namespace sqlparse::lineage
