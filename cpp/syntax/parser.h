// SQL scripts to typed syntax trees.
//
// parse_script() tokenises a script once, splits it on ";" tokens that stand
// outside any statement's grammar, and parses each statement with the one
// grammar of all dialects (the dialect decides quoting, comments and a few
// words). Any text gives either statements or a ParseError naming the first
// token that cannot continue a valid statement; nothing recurses without a
// bound and no state is shared, so any number of threads may parse at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sql_parser/parser.h"  // ParseError, shared with the classic grammar
#include "syntax/arena.h"
#include "syntax/ast.h"
#include "syntax/dialect.h"
#include "syntax/text_index.h"

namespace sqlparse::syntax {

using sql_parser::ParseError;

// Deepest nesting the grammar accepts (parentheses, sub-queries, CASE,
// prefix operators, one step of a left-nested operator chain...). Deeper
// text raises ParseError expecting "at most 1000 nested levels".
inline constexpr int kMaxDepth = 1000;

// Longest text accepted (offsets are 32-bit).
inline constexpr std::size_t kMaxScriptBytes = std::size_t{1} << 31;

// One statement of a script: its tree, or with collected errors its error.
struct ScriptStatement {
  // (User-provided: a new entry then sets its fields, not zeroes the whole
  // error first.)
  ScriptStatement() {}

  Statement* tree = nullptr;        // null when the statement did not parse
  Span span;                        // bytes, from its first to its last token
  std::optional<ParseError> error;  // set when tree is null
};

// A parsed script. Owns a copy of the text (in its arena), which every tree
// refers to.
struct Script {
  std::string_view text;
  Dialect dialect;
  Arena arena;
  // In the arena: a script of one statement then allocates nothing more.
  std::vector<ScriptStatement, ArenaAllocator<ScriptStatement>> statements{ArenaAllocator<ScriptStatement>(arena)};
  TextIndex positions;  // of `text`

  // Scripts come and go quickly and each holds its arena's first block, too
  // big for the allocator's fast path: each thread keeps a few freed ones.
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size) noexcept;
};

// Parses `text` (UTF-8). With collect_errors false, the first statement that
// does not parse throws its ParseError; with it true, the broken statement
// gets the error and parsing resumes after its next ";".
std::unique_ptr<Script> parse_script(std::string_view text, const Dialect& dialect,
                                     bool collect_errors = false);

// The statement written back as SQL text, from its tree alone. Parsing the
// result again gives the same tree (spans aside).
std::string print_sql(const Statement& statement);

// Character (code point) offset of a byte offset of the UTF-8 text.
std::size_t char_offset(std::string_view text, std::size_t byte_offset);

}  // namespace sqlparse::syntax
