#include "sqlparse_main/front_end/pipeline.h"

#include <string>

#include "sql_parser/parser.h"
#include "sqlparse_main/analyze/analyze.h"
#include "sqlparse_main/front_end/re_hint.h"

namespace sqlparse {

std::vector<LineageTriple> lineage_of_text(std::string_view sql) {
  const std::string clean = re_hint(sql);
  Analyze analyzer(sql_parser::parse(clean));
  return analyzer.analyze_sql(0);
}

}  // namespace sqlparse
