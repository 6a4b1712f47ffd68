// The classic grammar as parse() read it before it became the statement
// grammar's classic mode plus a rendering of the typed tree.
//
// Kept only as the reference that the differential tests and the fuzz target
// diff_classic_mode compare parse() with; built with
// -DSQLPARSE_CLASSIC_REFERENCE=ON (on by default with the developer targets),
// never into the package.
#pragma once

#include <string_view>

#include "sql_parser/parser.h"
#include "tree/node.h"

namespace sqlparse::sql_parser {

// The classic tree of the text, or ParseError, as parse() answered before.
Node reference_parse(std::string_view utf8_text);

}  // namespace sqlparse::sql_parser
