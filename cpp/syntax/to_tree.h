// A syntax tree as the JSON-like Node value the binding hands to Python.
//
// Shape (the `to_dict()` of a parsed statement):
//   * Every tree node is a map whose first key is "type": the snake_case
//     name of its kind or struct ("column", "binary", "function", "select",
//     "set_op", "named_table", "join", "insert", "order_item", ...); see
//     kind_name() in to_tree.cc for the full list. With spans, "span"
//     follows: [start, end], character offsets into the whole script text,
//     end exclusive.
//   * Then the node's fields under their ast.h names, in ast.h order, only
//     when written: null pointers, empty lists, empty strings, false flags and
//     zero counts are left out. Pointers and structs become maps, lists
//     become lists, words and Raw clauses strings, flags `true`, counts ints,
//     enums their lower-case names ("number", "do_nothing").
//   * An identifier is its name as a plain string when unquoted, and
//     {"value": name, "quote": "\""} (or "`", "[") when quoted. A qualified
//     name is the list of its identifiers. Identifiers and names carry no
//     span.
//   * The statement's own map also has "kind", the statement kind as
//     Statement.kind gives it ("select", "create_table_as", ...).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string_view>

#include "syntax/ast.h"
#include "tree/node.h"

namespace sqlparse::syntax {

// Thrown by statement_to_tree and print_sql when a tree is nested deeper
// than the thread's stack allows them to walk (or than kMaxTreeDepth for a
// Node). Long left-nested operator chains (a or b or c ...) are walked
// without recursion and never cause it.
struct TreeTooDeep : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// `text` is the whole script the statement was parsed from. `char_begin`,
// when given, is the character offset of the statement's first byte (a
// caller converting many statements knows it; otherwise it is counted).
Node statement_to_tree(const Statement& statement, std::string_view text, bool spans,
                       std::size_t char_begin = static_cast<std::size_t>(-1));

// "select", "insert", "create_table_as", "create_view", "merge", "update",
// "delete", "other".
std::string_view statement_kind_name(StatementKind kind);

// Whether a statement of kind kCreateTableAs is a SelectStatement (T-SQL's
// select .. into t) rather than a CreateTableAs.
bool is_select_into(const Statement& statement);

}  // namespace sqlparse::syntax
