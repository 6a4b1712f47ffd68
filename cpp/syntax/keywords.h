// The words the grammar looks for, and which of them cannot be an alias.
//
// A keyword is only a word with a known id: whether it acts as a keyword
// depends on where it stands, so `date`, `year` or `left` are still names
// where a name fits. Words marked reserved below are never taken as an
// implicit alias (`from t where` does not alias t as "where").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace sqlparse::syntax {

// X(Name, text, reserved-as-implicit-alias)
#define SQLPARSE_KEYWORDS(X) \
  X(All, "all", 1) X(Alter, "alter", 0) X(And, "and", 1) X(Anti, "anti", 1) X(Any, "any", 0) \
  X(Apply, "apply", 0) X(Array, "array", 0) X(As, "as", 1) X(Asc, "asc", 0) X(Asof, "asof", 1) \
  X(At, "at", 0) X(Before, "before", 0) X(Begin, "begin", 0) X(Between, "between", 1) \
  X(Both, "both", 0) X(By, "by", 1) X(Call, "call", 0) X(Cascade, "cascade", 0) \
  X(Case, "case", 1) X(Cast, "cast", 0) X(Changes, "changes", 0) X(Check, "check", 0) \
  X(Cluster, "cluster", 1) X(Collate, "collate", 1) X(Comment, "comment", 0) \
  X(Commit, "commit", 0) X(Conflict, "conflict", 0) X(Connect, "connect", 1) \
  X(Constraint, "constraint", 0) X(Convert, "convert", 0) X(Copy, "copy", 0) \
  X(Corresponding, "corresponding", 0) X(Create, "create", 1) X(Cross, "cross", 1) \
  X(Cube, "cube", 0) X(Current, "current", 0) X(Date, "date", 0) X(Day, "day", 0) \
  X(Declare, "declare", 0) X(Default, "default", 0) X(Delete, "delete", 0) X(Desc, "desc", 0) \
  X(Describe, "describe", 0) X(Distinct, "distinct", 1) X(Distinctrow, "distinctrow", 1) \
  X(Distribute, "distribute", 1) X(Do, "do", 0) X(Drop, "drop", 0) X(Duplicate, "duplicate", 0) \
  X(Else, "else", 1) X(End, "end", 1) X(Escape, "escape", 0) X(Except, "except", 1) \
  X(Exclude, "exclude", 0) X(Exec, "exec", 0) X(Execute, "execute", 0) X(Exists, "exists", 0) \
  X(Explain, "explain", 0) X(External, "external", 0) X(Extract, "extract", 0) \
  X(False, "false", 1) X(Fetch, "fetch", 1) X(Filter, "filter", 0) X(Final, "final", 0) \
  X(First, "first", 0) X(Flatten, "flatten", 0) X(Following, "following", 0) X(For, "for", 1) \
  X(Format, "format", 0) X(From, "from", 1) X(Full, "full", 1) X(Function, "function", 0) \
  X(Glob, "glob", 0) X(Global, "global", 0) X(Grant, "grant", 0) X(Group, "group", 1) \
  X(Grouping, "grouping", 0) X(Groups, "groups", 0) X(Having, "having", 1) X(Hour, "hour", 0) \
  X(If, "if", 0) X(Ignore, "ignore", 0) X(Ilike, "ilike", 1) X(In, "in", 1) \
  X(Include, "include", 0) X(Inner, "inner", 1) X(Insert, "insert", 0) \
  X(Intersect, "intersect", 1) X(Interval, "interval", 0) X(Into, "into", 1) X(Is, "is", 1) \
  X(Isnull, "isnull", 1) X(Join, "join", 1) X(Keep, "keep", 0) X(Key, "key", 0) \
  X(Last, "last", 0) X(Lateral, "lateral", 1) X(Leading, "leading", 0) X(Left, "left", 1) \
  X(Like, "like", 1) X(Limit, "limit", 1) X(Local, "local", 0) X(Map, "map", 0) \
  X(MatchCondition, "match_condition", 0) X(Matched, "matched", 0) \
  X(Materialized, "materialized", 0) X(Merge, "merge", 0) X(Minus, "minus", 1) \
  X(Minute, "minute", 0) X(Month, "month", 0) X(Name, "name", 0) X(Natural, "natural", 1) \
  X(Next, "next", 0) X(No, "no", 0) X(Not, "not", 1) X(Nothing, "nothing", 0) \
  X(Notnull, "notnull", 1) X(Null, "null", 1) X(Nulls, "nulls", 0) X(Of, "of", 0) \
  X(Offset, "offset", 1) X(On, "on", 1) X(Only, "only", 0) X(Or, "or", 1) X(Order, "order", 1) \
  X(Ordinality, "ordinality", 0) X(Outer, "outer", 1) X(Over, "over", 0) \
  X(Overwrite, "overwrite", 0) X(Partition, "partition", 0) X(Percent, "percent", 0) \
  X(Pivot, "pivot", 1) X(Position, "position", 0) X(Preceding, "preceding", 0) \
  X(Prewhere, "prewhere", 1) X(Prior, "prior", 0) X(Procedure, "procedure", 0) \
  X(Qualify, "qualify", 1) X(Range, "range", 0) X(Recursive, "recursive", 0) \
  X(Regexp, "regexp", 1) X(Rename, "rename", 0) X(Replace, "replace", 0) \
  X(Respect, "respect", 0) X(Returning, "returning", 1) X(Revoke, "revoke", 0) \
  X(Right, "right", 1) X(Rlike, "rlike", 1) X(Rollback, "rollback", 0) X(Rollup, "rollup", 0) \
  X(Row, "row", 0) X(Rows, "rows", 0) X(SafeCast, "safe_cast", 0) X(Sample, "sample", 0) \
  X(Second, "second", 0) X(Select, "select", 1) X(Semi, "semi", 1) X(Separator, "separator", 0) \
  X(Set, "set", 1) X(Sets, "sets", 0) X(Settings, "settings", 1) X(Show, "show", 0) \
  X(Similar, "similar", 1) X(Some, "some", 0) X(Sort, "sort", 1) X(Source, "source", 0) \
  X(Start, "start", 0) X(StraightJoin, "straight_join", 1) X(Struct, "struct", 0) \
  X(Substring, "substring", 0) X(SystemTime, "system_time", 0) X(Table, "table", 0) \
  X(Tablesample, "tablesample", 1) X(Target, "target", 0) X(Temp, "temp", 0) \
  X(Temporary, "temporary", 0) X(Then, "then", 1) X(Ties, "ties", 0) X(Time, "time", 0) \
  X(Timestamp, "timestamp", 0) X(To, "to", 0) X(Top, "top", 0) X(Totals, "totals", 0) \
  X(Trailing, "trailing", 0) X(Transient, "transient", 0) X(Trim, "trim", 0) X(True, "true", 1) \
  X(Truncate, "truncate", 0) X(TryCast, "try_cast", 0) X(Unbounded, "unbounded", 0) \
  X(Union, "union", 1) X(Unique, "unique", 0) X(Unnest, "unnest", 0) X(Unpivot, "unpivot", 1) \
  X(Update, "update", 0) X(Upsert, "upsert", 0) X(Use, "use", 0) X(Using, "using", 1) \
  X(Values, "values", 0) X(Version, "version", 0) X(View, "view", 0) X(Volatile, "volatile", 0) \
  X(When, "when", 1) X(Where, "where", 1) X(Window, "window", 1) X(With, "with", 1) \
  X(Within, "within", 0) X(Without, "without", 0) X(Year, "year", 0) X(Zone, "zone", 0) \
  X(ArrayJoin, "array_join", 0) X(Lock, "lock", 0) X(Nolock, "nolock", 0) \
  X(Multiset, "multiset", 0) X(Bucket, "bucket", 0) X(Outfile, "outfile", 0) \
  X(Zerofill, "zerofill", 0)

enum class Kw : std::uint16_t {
  kNone,
#define SQLPARSE_KW_ENUM(name, text, reserved) k##name,
  SQLPARSE_KEYWORDS(SQLPARSE_KW_ENUM)
#undef SQLPARSE_KW_ENUM
      kCount,
};

// Longest keyword, in bytes.
inline constexpr std::size_t kLongestKeyword = 24;

namespace keyword_detail {

// A bit per (length, first letter, last letter) of some keyword: most words
// are names, and this rejects nearly all of them before any hashing.
inline constexpr std::size_t shape_of(std::string_view w) {
  return (w.size() * 32 + (static_cast<unsigned char>(w[0] | 0x20) & 31)) * 32 +
         (static_cast<unsigned char>(w.back() | 0x20) & 31);
}
extern const std::array<std::uint64_t, (kLongestKeyword + 1) * 32 * 32 / 64> kShapes;

// The table lookup behind keyword_of, for words longer than 8 bytes.
Kw lookup(std::string_view word);

// Words of up to 8 bytes, nearly every keyword: the word's bytes, each OR-ed
// with 0x20 (which folds ASCII case and maps no other name byte onto a
// keyword's), as one little-endian key; open addressing from its hash.
struct ShortSlot {
  std::uint64_t key = 0;  // never 0 for a word
  std::uint16_t kw = 0;
};
inline constexpr std::size_t kShortSlots = 1024;
extern const std::array<ShortSlot, kShortSlots> kShortTable;

inline constexpr std::size_t short_slot_of(std::uint64_t key) {
  static_assert(kShortSlots == std::size_t{1} << 10);
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 54);  // the top 10 bits
}

// The key of a word of 1 to 8 bytes: a few overlapping loads, never a byte
// past the word.
inline std::uint64_t short_key(std::string_view w) {
  const auto byte = [&w](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(w[i]) | 0x20u}; };
  const std::size_t n = w.size();
  if (n < 4) return byte(0) | (byte(n / 2) << (n / 2 * 8)) | (byte(n - 1) << ((n - 1) * 8));
  std::uint32_t lo, hi;
  std::memcpy(&lo, w.data(), 4);
  std::memcpy(&hi, w.data() + n - 4, 4);
  return (lo | 0x20202020u) | (std::uint64_t{hi | 0x20202020u} << ((n - 4) * 8));
}

inline Kw lookup_short_key(std::uint64_t key) {
  for (std::size_t i = short_slot_of(key);; i = (i + 1) & (kShortSlots - 1)) {
    const ShortSlot& s = kShortTable[i];
    if (s.key == key) return static_cast<Kw>(s.kw);
    if (s.kw == 0) return Kw::kNone;
  }
}

inline Kw lookup_short(std::string_view word) { return lookup_short_key(short_key(word)); }

}  // namespace keyword_detail

// The keyword of an unquoted word (any case), or Kw::kNone. (A short word
// goes straight to its table, which is sparse: a probe costs no more than
// the shape test.)
inline Kw keyword_of(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongestKeyword) return Kw::kNone;
  if (word.size() <= 8) return keyword_detail::lookup_short(word);
  const std::size_t shape = keyword_detail::shape_of(word);
  if ((keyword_detail::kShapes[shape / 64] >> (shape % 64) & 1) == 0) return Kw::kNone;
  return keyword_detail::lookup(word);
}

// Whether the word can never be an implicit alias (inline: asked after
// nearly every select item and table).
inline constexpr bool kReservedKeywords[] = {
    false,
#define SQLPARSE_KW_RESERVED(name, text, reserved) reserved != 0,
    SQLPARSE_KEYWORDS(SQLPARSE_KW_RESERVED)
#undef SQLPARSE_KW_RESERVED
};
static_assert(sizeof(kReservedKeywords) == static_cast<std::size_t>(Kw::kCount));
inline bool is_reserved(Kw kw) { return kReservedKeywords[static_cast<std::size_t>(kw)]; }

}  // namespace sqlparse::syntax
