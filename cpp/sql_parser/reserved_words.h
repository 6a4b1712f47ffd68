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

// Bit c - 'a' of kClassicReservedStarts[n]: a reserved word of n letters
// starts with c. Most names fail this test, which spares the search.
inline constexpr auto kClassicReservedStarts = [] {
  std::array<std::uint32_t, kLongestClassicReserved + 1> starts{};
  for (std::string_view w : kClassicReserved) starts[w.size()] |= std::uint32_t{1} << (w[0] - 'a');
  return starts;
}();

// Whether `word` (any ASCII case) is a classic reserved word.
inline bool is_classic_reserved(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongestClassicReserved) return false;
  const unsigned first = static_cast<unsigned>((word[0] | 0x20) - 'a');
  if (first >= 26 || !((kClassicReservedStarts[word.size()] >> first) & 1)) return false;
  char lower[kLongestClassicReserved];
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
  }
  return std::binary_search(std::begin(kClassicReserved), std::end(kClassicReserved),
                            std::string_view(lower, word.size()));
}

}  // namespace sqlparse::sql_parser
