// Prints the tree that the analyser fuzz target builds from an input file
// (fuzz/tree_input.h) as JSON, and how long its analysis takes here, so that
// an input the fuzzer found can be kept as a JSON regression case and
// replayed through the Python API (tests/test_regressions.py).
//
//   tree_input_json FILE [--time]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sqlparse_main/analyze/analyze.h"
#include "tree/node.h"
#include "tree_input.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tree_input_json FILE [--time]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  sqlparse::Node tree =
      fuzz::tree_from_bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  std::printf("%s\n", sqlparse::to_json(tree).c_str());
  if (argc > 2 && std::string(argv[2]) == "--time") {
    auto start = std::chrono::steady_clock::now();
    std::string outcome = "ok";
    try {
      sqlparse::Analyze analyze(tree);
      const std::size_t n = analyze.analyze_sql(0).size();
      outcome += ' ';
      outcome += std::to_string(n);
      outcome += " triples";
    } catch (const sqlparse::AnalysisError& e) {
      outcome = std::string("AnalysisError: ") + e.what();
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%s in %.3f s\n", outcome.c_str(), s);
  }
  return 0;
}
