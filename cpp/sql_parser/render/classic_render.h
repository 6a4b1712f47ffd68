// The classic parse tree as a rendering of the typed syntax tree.
//
// render_classic() turns a SELECT statement parsed by syntax::parse_script
// into the classic tree: its keys, key order, list collapsing, null dropping
// and literal merging. sql_parser::parse() is the statement grammar's classic
// mode followed by this rendering. Every construct the classic grammar lacks
// (and every way of writing one that it reads differently) throws
// RenderError naming the construct, so a caller can tell "renders" from "the
// classic grammar has no such syntax".
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "syntax/ast.h"
#include "syntax/dialect.h"
#include "tree/node.h"

namespace sqlparse::sql_parser {

// A construct of the statement that the classic tree has no shape for. The
// message is a short, stable reason ("window call inside an expression"),
// fit for grouping.
struct RenderError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Deepest nesting the renderer walks: the classic mode's 1,000 levels take
// up to six of its own each (a and f(select ..)), so this stays above them.
inline constexpr int kMaxRenderDepth = 10000;

// `dialect`: the one the statement was read in (whether \' stands inside a
// string; in the classic mode, the token pass has already refused what the
// classic lexer reads differently).
Node render_classic(const syntax::Statement& statement, const syntax::Dialect& dialect);

}  // namespace sqlparse::sql_parser
