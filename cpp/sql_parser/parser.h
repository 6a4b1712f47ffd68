// The classic parse: query text to the JSON-like parse tree the analyser walks.
//
// parse() accepts one SELECT statement (optionally with WITH, set operations,
// a trailing ";" and trailing white space) and returns its tree. Keys, shapes
// and key order follow the tree format the analyser was designed for. The
// statement grammar (syntax/) reads the text in its classic mode, which
// accepts what the classic grammar accepts and fails where it fails, and
// render_classic() (render/) writes the classic tree from the typed syntax
// tree. Any text gives either a tree or a ParseError: nothing reads past the
// input or recurses without a bound, and there is no global mutable state, so
// any number of threads may parse at the same time.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

#include "tree/node.h"

namespace sqlparse::sql_parser {

// Deepest nesting the parser accepts. One level is one of: a parenthesis
// (grouping, tuple, sub-query, function-call or window arguments), a CASE, a
// prefix operator (NOT, unary minus, ~), or one step of a left-nested operator
// chain such as a - b - c. Text nested deeper raises ParseError whose
// `expecting` reads "at most 1000 nested levels". At this depth the parser
// uses about 3 MB of stack (1000 nested sub-queries, the deepest case), well
// inside the 8 MB of a main thread or a Python / std::thread thread here.
inline constexpr int kMaxNestingDepth = 1000;
inline constexpr const char* kNestingDepthText = "at most 1000 nested levels";

struct ParseError : std::exception {
  // The whole one-line text:
  //   Expecting X, found "Y" (at char N), (line:L, col:C)
  std::string message;
  std::string expecting;  // X: what could continue the query at that point
  std::string found;      // Y: the next 10 characters, or "end of text"
  std::size_t offset = 0; // N: code points from the start of the text, from 0
  int line = 1;           // L: from 1
  int column = 1;         // C: code points from the start of the line, from 1

  const char* what() const noexcept override { return message.c_str(); }
};

// Parses UTF-8 text (lone surrogates may appear in their 3-byte form; any
// other invalid byte is a character that cannot start a token). Throws
// ParseError on text that is not a query of the supported grammar; only
// std::bad_alloc may escape otherwise.
Node parse(std::string_view utf8_text);

// Number of nodes (scalars and containers) in a tree; used by the benchmark
// to touch the whole result.
std::size_t count_nodes(const Node& tree);

}  // namespace sqlparse::sql_parser
