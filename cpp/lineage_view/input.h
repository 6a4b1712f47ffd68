// The lineage view's input: the analysed statements of one or more scripts,
// read out of the result objects so the view is built without Python. The
// text is viewed, not copied: whoever fills these keeps it alive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sqlparse::lineage_view {

struct Source {
  std::string_view table;
  std::string_view column;
  std::string_view kind;
};

struct Column {
  std::string_view name;
  std::vector<Source> sources;
};

struct Warning {
  std::string_view code;
  std::string_view message;
  std::int64_t line = 0;
  std::int64_t column = 0;
};

// An output column traced through tables written earlier in its script.
struct Composed {
  std::optional<std::string_view> target;
  std::string_view name;
  std::vector<Source> sources;
};

struct Statement {
  std::string_view file;
  std::int64_t number = 0;  // 1-based in its file; a bare query's box is "<file>:<number>"
  std::string_view kind;
  std::optional<std::string_view> target;
  std::vector<Column> columns;
  std::vector<Source> indirect;
  std::vector<Warning> warnings;
  std::vector<std::string_view> source_tables;
  std::int64_t start_line = 0;
  std::int64_t start_column = 0;
  bool failed = false;
  std::string_view error_type;     // the exception's class name, when failed
  std::string_view error_message;  // its text
  std::optional<std::int64_t> error_line;  // where the error says it is, if it says
  std::optional<std::int64_t> error_column;
  std::string_view sql;
  std::vector<Composed> composed;
};

// The box a statement writes: its target table, or "<file>:<number>".
std::string box_name(const Statement& st);

}  // namespace sqlparse::lineage_view
