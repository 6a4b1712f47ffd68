#include "lineage/batch.h"

#include "syntax/parser.h"

namespace sqlparse::lineage {

LineageBatch::LineageBatch(const std::vector<std::string_view>& texts,
                           const syntax::Dialect& dialect, const Schema& schema,
                           std::size_t threads)
    : run_(texts.size(), threads, [&texts, &dialect, &schema](std::size_t i, ScriptOutcome& out) {
        try {
          auto script = syntax::parse_script(texts[i], dialect, /*collect_errors=*/true);
          out = analyze_lineage(*script, schema);
        } catch (...) {
          out = std::current_exception();
        }
      }) {}

}  // namespace sqlparse::lineage
