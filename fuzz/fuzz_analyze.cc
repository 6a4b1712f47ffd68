// Fuzz target: the analyser on arbitrary trees (see tree_input.h), including
// trees the parser never produces.
//
// Properties: analyze_sql either returns triples or throws AnalysisError, and
// nothing else; the tree handed in is not changed (the analyser works on a
// normalised copy, and the tree's payloads are shared copy-on-write); a fresh
// analyser on the same tree gives the same outcome.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sqlparse_main/analyze/analyze.h"
#include "tree/node.h"
#include "tree_input.h"

namespace {

std::string run_once(const sqlparse::Node& tree) {
  try {
    sqlparse::Analyze analyze(tree);
    std::vector<sqlparse::LineageTriple> triples = analyze.analyze_sql(0);
    std::string out = "ok";
    for (const auto& t : triples) {
      out += "|" + sqlparse::to_json(t.table) + "," + sqlparse::to_json(t.src) + "," +
             sqlparse::to_json(t.tgt);
    }
    return out;
  } catch (const sqlparse::AnalysisError& e) {
    return "AnalysisError " + std::to_string(static_cast<int>(e.kind())) + ": " + e.what();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "unexpected exception: %s\n", e.what());
    FUZZ_CHECK(false, "analyze_sql threw something other than AnalysisError");
  } catch (...) {
    FUZZ_CHECK(false, "analyze_sql threw a non-std exception");
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  sqlparse::Node tree = fuzz::tree_from_bytes(data, size);
  const std::string before = sqlparse::to_json(tree);
  const std::string first = run_once(tree);
  FUZZ_CHECK(sqlparse::to_json(tree) == before, "analysis changed the tree it was given");
  const std::string second = run_once(tree);
  if (first != second) {
    std::fprintf(stderr, "first:  %s\nsecond: %s\n", first.c_str(), second.c_str());
  }
  FUZZ_CHECK(first == second, "two analyses of one tree differ");
  return 0;
}
