// The classic grammar's reserved words: never a name, an alias or a call
// name unless quoted. One list for the classic lexer (whose keywords up to
// Kw::kLastReserved are these, checked at compile time there), the rendering
// of typed trees as classic trees, and the statement grammar's classic mode.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstddef>
#include <iterator>
#include <string_view>

namespace sqlparse::sql_parser {

// Sorted, lower case.
inline constexpr std::string_view kClassicReserved[] = {
    "all",    "and",    "as",     "asc",     "between", "by",    "case",   "cast",      "collate",
    "cross",  "desc",   "distinct", "else",  "end",     "false", "from",   "full",      "group",
    "having", "in",     "inner",  "interval", "is",     "join",  "left",   "like",      "limit",
    "nocase", "not",    "null",   "offset",  "on",      "or",    "order",  "outer",     "over",
    "partition", "right", "rlike", "select", "then",    "true",  "union",  "using",     "when",
    "where",  "with",   "within",
};

inline constexpr std::size_t kLongestClassicReserved = 9;

// The reserved words of each length and first letter, by their index in
// kClassicReserved (kNoWord when unused): at most kPerBucket share both, so a
// word is compared with those few only.
inline constexpr std::uint8_t kNoWord = 0xFF;
inline constexpr std::size_t kPerBucket = 3;
inline constexpr auto kClassicReservedBuckets = [] {
  std::array<std::array<std::uint8_t, kPerBucket>, (kLongestClassicReserved + 1) * 26> buckets{};
  for (auto& b : buckets) b.fill(kNoWord);
  for (std::size_t i = 0; i < std::size(kClassicReserved); ++i) {
    const std::string_view w = kClassicReserved[i];
    auto& b = buckets[w.size() * 26 + static_cast<std::size_t>(w[0] - 'a')];
    std::size_t k = 0;
    while (b[k] != kNoWord) ++k;  // past kPerBucket: not a constant expression
    b[k] = static_cast<std::uint8_t>(i);
  }
  return buckets;
}();

// Whether `word` (any ASCII case) is a classic reserved word.
inline bool is_classic_reserved(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongestClassicReserved) return false;
  const unsigned first = static_cast<unsigned>((word[0] | 0x20) - 'a');
  if (first >= 26) return false;
  for (const std::uint8_t index : kClassicReservedBuckets[word.size() * 26 + first]) {
    if (index == kNoWord) return false;
    const std::string_view w = kClassicReserved[index];
    std::size_t i = 1;
    // c | 0x20 is a lower-case letter exactly when c is that letter in either case.
    while (i < w.size() && (word[i] | 0x20) == w[i]) ++i;
    if (i == w.size()) return true;
  }
  return false;
}

}  // namespace sqlparse::sql_parser
