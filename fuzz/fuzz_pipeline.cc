// Fuzz target: the whole way from query text to lineage triples, as
// `_parse_sql` runs it (comment stripping, parser, analyser at level 0).
//
// Properties: lineage_of_text returns triples or throws ParseError or
// AnalysisError, nothing else; and it agrees with the three stages run one
// by one.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "sql_parser/parser.h"
#include "sqlparse_main/analyze/analyze.h"
#include "sqlparse_main/front_end/pipeline.h"
#include "sqlparse_main/front_end/re_hint.h"
#include "tree/node.h"

namespace {

std::string text_of(const std::vector<sqlparse::LineageTriple>& triples) {
  std::string out = "ok";
  for (const auto& t : triples) {
    out += "|" + sqlparse::to_json(t.table) + "," + sqlparse::to_json(t.src) + "," +
           sqlparse::to_json(t.tgt);
  }
  return out;
}

template <typename F>
std::string outcome(F&& fn) {
  try {
    return fn();
  } catch (const sqlparse::sql_parser::ParseError& e) {
    return std::string("ParseError: ") + e.what();
  } catch (const sqlparse::AnalysisError& e) {
    return "AnalysisError " + std::to_string(static_cast<int>(e.kind())) + ": " + e.what();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "unexpected exception: %s\n", e.what());
    FUZZ_CHECK(false, "an exception other than ParseError or AnalysisError");
  } catch (...) {
    FUZZ_CHECK(false, "a non-std exception");
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string whole = outcome([&] { return text_of(sqlparse::lineage_of_text(text)); });
  std::string staged = outcome([&] {
    sqlparse::Node tree = sqlparse::sql_parser::parse(sqlparse::re_hint(text));
    sqlparse::Analyze analyze(tree);
    return text_of(analyze.analyze_sql(0));
  });
  if (whole != staged) std::fprintf(stderr, "pipeline: %s\nstaged:   %s\n", whole.c_str(), staged.c_str());
  FUZZ_CHECK(whole == staged, "the pipeline differs from its stages run one by one");
  return 0;
}
