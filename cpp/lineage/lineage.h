// Full column lineage of a SQL script.
//
// analyze_lineage() walks the typed syntax tree of every statement of a parsed
// script and answers, per statement, which base-table columns flow into each
// output column (with the kind of flow), which columns decide the rows
// (indirect), and what could not be decided exactly (warnings). Across the
// statements of the script it also composes the lineage through tables that
// earlier statements wrote.
//
// Nothing in a parsed statement makes the analysis throw: what it cannot trace
// becomes a warning and the rest of the answer stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lineage/schema.h"
#include "syntax/parser.h"

namespace sqlparse::lineage {

// One base-table column feeding a value, or deciding the rows.
struct SourceColumn {
  std::string table;   // qualified as far as the query or the schema qualifies it
  std::string column;  // "*" for a star over a table of unknown columns
  std::string kind;    // identity / transformation / aggregation / window / conditional,
                       // or for indirect columns join / filter / group_by / sort
  bool ambiguous = false;  // one of several candidates of an unresolved name
};

struct OutputColumn {
  std::string name;
  std::vector<SourceColumn> sources;
};

struct Warning {
  std::string code;     // ambiguous_column, assumed_source, unknown_column, ...
  std::string message;
  int line = 1;         // from 1
  int column = 1;       // code points from the start of the line, from 1
};

struct StatementLineage {
  std::string kind;  // select, insert, create_table_as, create_view, merge, update, delete, other
  std::optional<std::string> target;
  std::vector<OutputColumn> columns;
  std::vector<SourceColumn> indirect;
  std::vector<Warning> warnings;
  std::vector<std::string> source_tables;
  std::vector<std::string> target_tables;
  std::size_t start = 0;  // code points
  std::size_t end = 0;
  int start_line = 1;
  int start_column = 1;
  std::optional<sql_parser::ParseError> error;  // a statement that did not parse
};

struct ComposedColumn {
  std::optional<std::string> target;
  std::string name;
  std::vector<SourceColumn> sources;
};

struct ScriptLineage {
  std::vector<StatementLineage> statements;
  std::vector<ComposedColumn> composed;
};

// The lineage of every statement of `script`. The schema (may be empty) gives
// the columns of base tables.
ScriptLineage analyze_lineage(const syntax::Script& script, const Schema& schema);

}  // namespace sqlparse::lineage
