// The classic tree's shapes, applied while a tree is built (there is no
// separate clean-up pass):
//  - a list of one element is the element, an empty list is null;
//  - a map entry whose value is null is left out;
//  - a list of two or more numbers and {"literal": x} maps, not all numbers,
//    becomes one {"literal": [...]} map (finish_list).
// And the tables of the words the classic grammar reads as interval units
// and type names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tree/node.h"

namespace sqlparse::sql_parser {

// Integers longer than this are refused, as the host language refuses to
// convert such text to an integer.
inline constexpr std::size_t kMaxIntegerDigits = 4300;

// A list after the one-element / empty / literal-merging rules.
Node finish_list(List items);
// {key: value}, or {} when value is null.
Node single(std::string key, Node value);
// Appends key: value unless value is null.
inline void put(Map& m, const char* key, Node value) {
  if (!value.is_null()) m.append(key, std::move(value));
}
bool is_literal_map(const Node& n);
// The number with its sign flipped (ints, big ints and floats).
Node negate_number(const Node& n);
// Unit name of an interval word ("days" -> "day"), empty when unknown.
std::string_view interval_unit(std::string_view word);
// One "N unit" piece of an interval string ('3 days'); false when it is not one.
bool parse_interval_piece(std::string_view piece, Node* amount, std::string_view* unit);
// {"interval": [amount, unit]}
Node interval_node(Node amount, std::string_view unit);
// Whether a lower-cased word names a type CAST accepts / a date-time type.
bool is_type_name(std::string_view lower);
bool is_datetime_type(std::string_view lower);
std::string ascii_lower(std::string_view s);

}  // namespace sqlparse::sql_parser
