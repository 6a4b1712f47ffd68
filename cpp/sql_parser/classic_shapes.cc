// The list rules that shape every operand list of the classic tree, and the
// words it reads as interval units and type names.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "sql_parser/classic_shapes.h"

namespace sqlparse::sql_parser {
namespace {

bool is_number_node(const Node& n) {
  Kind k = n.kind();
  return k == Kind::kBool || k == Kind::kInt || k == Kind::kBigInt || k == Kind::kFloat;
}

struct UnitEntry {
  std::string_view word;
  std::string_view unit;
};

// Interval unit words and the singular name they stand for. Sorted by word.
constexpr UnitEntry kUnits[] = {
    {"centuries", "century"},     {"century", "century"},         {"d", "day"},
    {"day", "day"},               {"days", "day"},                {"decade", "decade"},
    {"decades", "decade"},        {"h", "hour"},                  {"hour", "hour"},
    {"hours", "hour"},            {"hr", "hour"},                 {"hrs", "hour"},
    {"m", "minute"},              {"microsecond", "microsecond"}, {"microseconds", "microsecond"},
    {"millennia", "millennium"},  {"millennium", "millennium"},   {"millenniums", "millennium"},
    {"millisecond", "millisecond"}, {"milliseconds", "millisecond"}, {"min", "minute"},
    {"mins", "minute"},           {"minute", "minute"},           {"minutes", "minute"},
    {"mon", "month"},             {"mons", "month"},              {"month", "month"},
    {"months", "month"},          {"ms", "millisecond"},          {"quarter", "quarter"},
    {"quarters", "quarter"},      {"s", "second"},                {"sec", "second"},
    {"second", "second"},         {"seconds", "second"},          {"secs", "second"},
    {"us", "microsecond"},        {"w", "week"},                  {"week", "week"},
    {"weeks", "week"},            {"y", "year"},                  {"year", "year"},
    {"years", "year"},            {"yr", "year"},                 {"yrs", "year"},
};

constexpr std::string_view kTypeNames[] = {
    "array",   "bigint",  "blob",     "bool",      "boolean", "bytes",    "char",
    "date",    "datetime", "decimal", "double",    "float",   "float64",  "geometry",
    "int",     "int32",   "int64",    "integer",   "numeric", "real",     "smallint",
    "string",  "struct",  "text",     "time",      "timestamp", "timestamptz", "timetz",
    "varchar",
};

constexpr bool sorted_tables() {
  for (std::size_t i = 1; i < std::size(kUnits); ++i) {
    if (!(kUnits[i - 1].word < kUnits[i].word)) return false;
  }
  for (std::size_t i = 1; i < std::size(kTypeNames); ++i) {
    if (!(kTypeNames[i - 1] < kTypeNames[i])) return false;
  }
  return true;
}
static_assert(sorted_tables(), "unit and type tables must be sorted");

}  // namespace

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return out;
}

bool is_literal_map(const Node& n) {
  if (!n.is_map()) return false;
  const Map& m = n.as_map();
  return m.size() == 1 && m.entries()[0].first == "literal";
}

Node finish_list(List items) {
  if (items.empty()) return Node();
  if (items.size() == 1) return std::move(items[0]);
  bool all_numbers = true;
  for (const Node& n : items) {
    if (is_number_node(n)) continue;
    all_numbers = false;
    if (!is_literal_map(n)) return Node::list(std::move(items));
  }
  if (all_numbers) return Node::list(std::move(items));
  List values;
  values.reserve(items.size());
  for (Node& n : items) {
    if (is_number_node(n)) {
      values.push_back(std::move(n));
    } else {
      values.push_back(n.as_map().entries()[0].second);
    }
  }
  Map m;
  m.append("literal", Node::list(std::move(values)));
  return Node::map(std::move(m));
}

Node single(std::string key, Node value) {
  return value.is_null() ? Node::empty_map() : Node::map_of(std::move(key), std::move(value));
}

Node negate_number(const Node& n) {
  switch (n.kind()) {
    case Kind::kInt:
      if (n.as_int() == std::numeric_limits<std::int64_t>::min()) {
        return Node::integer_from_text("9223372036854775808");
      }
      return Node::integer(-n.as_int());
    case Kind::kBigInt: {
      const std::string& d = n.as_big_int();
      return Node::integer_from_text(d[0] == '-' ? d.substr(1) : "-" + d);
    }
    case Kind::kFloat:
      return Node::number(-n.as_float());
    default:
      return n;
  }
}

std::string_view interval_unit(std::string_view word) {
  std::string lower = ascii_lower(word);
  const UnitEntry* end = kUnits + std::size(kUnits);
  const UnitEntry* it = std::lower_bound(kUnits, end, std::string_view(lower),
                                         [](const UnitEntry& e, std::string_view k) { return e.word < k; });
  return it != end && it->word == lower ? it->unit : std::string_view();
}

bool is_type_name(std::string_view lower) {
  return std::binary_search(std::begin(kTypeNames), std::end(kTypeNames), lower);
}

bool is_datetime_type(std::string_view lower) {
  return lower == "date" || lower == "datetime" || lower == "time" || lower == "timestamp" ||
         lower == "timestamptz" || lower == "timetz";
}

// One "N unit" piece of an interval string; false when it is not one.
bool parse_interval_piece(std::string_view piece, Node* amount, std::string_view* unit) {
  auto trim = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
  };
  piece = trim(piece);
  std::size_t i = 0;
  if (i < piece.size() && (piece[i] == '-' || piece[i] == '+')) ++i;
  std::size_t digits_start = i;
  bool point = false;
  while (i < piece.size() && ((piece[i] >= '0' && piece[i] <= '9') || (piece[i] == '.' && !point))) {
    point = point || piece[i] == '.';
    ++i;
  }
  if (i == digits_start || (point && i == digits_start + 1)) return false;
  std::string_view number = piece.substr(0, i);
  std::string_view word = trim(piece.substr(i));
  *unit = interval_unit(word);
  if (unit->empty()) return false;
  if (number.size() > 40) return false;
  if (point) {
    double d = 0;
    std::string_view n = number[0] == '+' ? number.substr(1) : number;
    auto [ptr, ec] = std::from_chars(n.data(), n.data() + n.size(), d);
    if (ec != std::errc() || ptr != n.data() + n.size()) return false;
    *amount = Node::number(d);
  } else {
    *amount = Node::integer_from_text(number);
  }
  return true;
}

Node interval_node(Node amount, std::string_view unit) {
  List pair;
  pair.push_back(std::move(amount));
  pair.push_back(Node::string(std::string(unit)));
  Map m;
  m.append("interval", Node::list(std::move(pair)));
  return Node::map(std::move(m));
}

}  // namespace sqlparse::sql_parser
