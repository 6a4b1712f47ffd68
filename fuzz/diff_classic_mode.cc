// Differential fuzz target: parse() (the statement grammar's classic mode plus
// the renderer) against the classic grammar it replaced, kept as a reference
// in developer builds (sql_parser/reference/).
//
// Property: for every text both give the same tree, or both raise ParseError
// with the same message (which carries expecting, found and the position).
// A text the classic mode accepts but cannot render fails too.
//
// Run it with tools/run_fuzz.sh 120 diff_classic_mode.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "sql_parser/parser.h"
#include "sql_parser/reference/reference_parser.h"
#include "tree/node.h"

namespace {

template <class Parse>
std::string outcome(Parse parse, std::string_view text) {
  try {
    return "tree " + sqlparse::to_json(parse(text));
  } catch (const sqlparse::sql_parser::ParseError& e) {
    return "error " + e.message;
  } catch (const std::exception& e) {
    return std::string("exception ") + e.what();
  }
}

// Texts reach both parsers from Python strings: UTF-8, with lone surrogates
// passed through. Other bytes are shown differently in an error's "found"
// and never come from the binding.
bool from_python(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (fuzz::decode_at(text, i) == 0xFFFFFFFFu) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!from_python(text)) return 0;
  const std::string reference =
      outcome([](std::string_view t) { return sqlparse::sql_parser::reference_parse(t); }, text);
  const std::string parsed = outcome([](std::string_view t) { return sqlparse::sql_parser::parse(t); }, text);
  if (reference != parsed) {
    std::fprintf(stderr, "reference grammar: %s\nparse():           %s\n", reference.c_str(), parsed.c_str());
    FUZZ_CHECK(false, "parse() differs from the classic reference grammar");
  }
  return 0;
}
