// Fuzz target: the SQL parser on arbitrary bytes.
//
// Properties: parse returns a tree or throws ParseError, nothing else; a
// ParseError's message is the one line built from its fields, with a position
// inside the text; parsing is deterministic.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "sql_parser/parser.h"
#include "tree/node.h"

namespace {

std::string outcome(std::string_view text) {
  try {
    sqlparse::Node tree = sqlparse::sql_parser::parse(text);
    FUZZ_CHECK(sqlparse::sql_parser::count_nodes(tree) >= 1, "empty tree");
    return "tree " + sqlparse::to_json(tree);
  } catch (const sqlparse::sql_parser::ParseError& e) {
    std::size_t chars = 0, lines = 1;
    for (char c : text) {
      if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
      if (c == '\n') ++lines;
    }
    FUZZ_CHECK(std::string_view(e.what()) == e.message, "what() differs from message");
    FUZZ_CHECK(e.message.find('\n') == std::string::npos, "message spans lines");
    FUZZ_CHECK(e.message.rfind("Expecting ", 0) == 0, "message does not start with Expecting");
    const std::string built = "Expecting " + e.expecting + ", found \"" + e.found + "\" (at char " +
                              std::to_string(e.offset) + "), (line:" + std::to_string(e.line) +
                              ", col:" + std::to_string(e.column) + ")";
    FUZZ_CHECK(e.message == built, "message is not built from the fields");
    FUZZ_CHECK(e.offset <= chars, "error offset past the end of the text");
    FUZZ_CHECK(e.line >= 1 && static_cast<std::size_t>(e.line) <= lines, "error line out of range");
    FUZZ_CHECK(e.column >= 1 && static_cast<std::size_t>(e.column) <= e.offset + 1, "error column out of range");
    FUZZ_CHECK(!e.expecting.empty(), "nothing expected");
    return "error " + e.message;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "unexpected exception: %s\n", e.what());
    FUZZ_CHECK(false, "parse threw something other than ParseError");
  } catch (...) {
    FUZZ_CHECK(false, "parse threw a non-std exception");
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string first = outcome(text);
  if (size <= 2048) FUZZ_CHECK(outcome(text) == first, "parse is not deterministic");
  return 0;
}
