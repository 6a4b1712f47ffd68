// Splitting a text of several SQL statements at ";".
//
// Used by the command line and the batch tools, never by `_parse_sql`, which
// hands its whole text to the parser as one piece.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace sqlparse {

// Where one statement lies in the whole text. Spans are half open,
// [begin, end), and exclude the ";" and the white space around the statement.
// Lines and columns are 1-based; columns count code points; lines are counted
// at line feeds.
struct StatementSpan {
  std::size_t begin = 0;     // byte offset of the first character
  std::size_t end = 0;       // byte offset just past the last character
  std::size_t cp_begin = 0;  // the same two offsets in code points
  std::size_t cp_end = 0;
  std::size_t line = 1;      // position of the first character
  std::size_t column = 1;
};

// The statements of a UTF-8 text, in order. A ";" ends a statement unless it
// lies in a single-quoted string ('' stays inside), a quoted name ("...", `...`
// or [...], with a doubled closing quote staying inside), a line comment (from
// "--" or "#" to the end of the line) or a block comment ("/* ... */", which
// nests as the comment stripping does). Pieces holding nothing but white space
// and comments are skipped. An unterminated string, name or comment runs to
// the end of the text. Bytes that are not valid UTF-8 count as one code point
// each unless they are continuation bytes. Linear time; never throws except
// std::bad_alloc.
std::vector<StatementSpan> split_statements(std::string_view text);

}  // namespace sqlparse
