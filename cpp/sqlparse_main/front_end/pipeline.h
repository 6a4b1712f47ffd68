// The whole way from query text to lineage triples, in C++ only: comment
// stripping, parsing and analysis at level 0. Used by the Python front end
// when the default parser and analyser are bound, and by the batch API.
#pragma once

#include <string_view>
#include <vector>

#include "varnel_var/lineage_triple.h"

namespace sqlparse {

// Throws sql_parser::ParseError or AnalysisError; nothing is printed.
std::vector<LineageTriple> lineage_of_text(std::string_view sql);

}  // namespace sqlparse
