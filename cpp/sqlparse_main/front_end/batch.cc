// The batch runner: each job runs the one-text pipeline and keeps whatever it
// throws as the text's outcome.
#include "sqlparse_main/front_end/batch.h"

#include "sqlparse_main/front_end/pipeline.h"

namespace sqlparse {

BatchRun::BatchRun(const std::vector<std::string_view>& texts, std::size_t threads)
    : run_(texts.size(), threads, [&texts](std::size_t i, BatchOutcome& out) {
        // Moving the caught error out cannot throw: its members are strings
        // and shared nodes.
        try {
          out = lineage_of_text(texts[i]);
        } catch (sql_parser::ParseError& e) {
          out = std::move(e);
        } catch (AnalysisError& e) {
          out = std::move(e);
        } catch (...) {
          out = std::current_exception();
        }
      }) {}

std::vector<BatchOutcome> lineage_of_texts(const std::vector<std::string_view>& texts,
                                           std::size_t threads) {
  BatchRun run(texts, threads);
  std::vector<BatchOutcome> out;
  out.reserve(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) out.push_back(std::move(run.wait(i)));
  return out;
}

}  // namespace sqlparse
