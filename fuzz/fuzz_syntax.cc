// Fuzz target: the statement grammar (parse_script) on arbitrary bytes.
//
// The first byte picks the dialect, the rest is the script. Properties: a
// script gives statements or throws ParseError, nothing else; the error's
// message is built from its fields and points inside the text; collecting
// errors never throws and agrees with the raising mode on the first broken
// statement; statement spans are ordered and inside the text; parsing is
// deterministic.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "syntax/parser.h"

namespace {

using sqlparse::syntax::ParseError;

constexpr std::string_view kDialects[] = {
    "generic", "ansi", "bigquery", "snowflake", "hive", "spark", "databricks", "postgres", "redshift",
    "tsql", "mysql", "trino", "athena", "duckdb", "clickhouse", "oracle", "sqlite"};

std::string outcome(std::string_view text, const sqlparse::syntax::Dialect& dialect) {
  try {
    auto script = sqlparse::syntax::parse_script(text, dialect);
    std::string out = "ok";
    std::uint32_t last_end = 0;
    for (const auto& st : script->statements) {
      FUZZ_CHECK(st.tree != nullptr, "a statement without a tree in raising mode");
      FUZZ_CHECK(st.span.begin <= st.span.end && st.span.end <= text.size(), "span outside the text");
      FUZZ_CHECK(st.span.begin >= last_end, "statements overlap");
      last_end = st.span.end;
      out += " " + std::to_string(static_cast<int>(st.tree->kind)) + "@" + std::to_string(st.span.begin);
    }
    return out;
  } catch (const ParseError& e) {
    std::size_t chars = 0;
    for (char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    FUZZ_CHECK(std::string_view(e.what()) == e.message, "what() differs from message");
    FUZZ_CHECK(e.message.find('\n') == std::string::npos, "message spans lines");
    const std::string built = "Expecting " + e.expecting + ", found \"" + e.found + "\" (at char " +
                              std::to_string(e.offset) + "), (line:" + std::to_string(e.line) +
                              ", col:" + std::to_string(e.column) + ")";
    FUZZ_CHECK(e.message == built, "message is not built from the fields");
    FUZZ_CHECK(e.offset <= chars, "error offset past the end of the text");
    FUZZ_CHECK(e.line >= 1 && e.column >= 1, "error line or column below 1");
    FUZZ_CHECK(!e.expecting.empty(), "nothing expected");
    return "error " + e.message;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "unexpected exception: %s\n", e.what());
    FUZZ_CHECK(false, "parse_script threw something other than ParseError");
  } catch (...) {
    FUZZ_CHECK(false, "parse_script threw a non-std exception");
  }
  return {};
}

void check_collected(std::string_view text, const sqlparse::syntax::Dialect& dialect, const std::string& raised) {
  try {
    auto script = sqlparse::syntax::parse_script(text, dialect, /*collect_errors=*/true);
    bool first_error_seen = false;
    for (const auto& st : script->statements) {
      FUZZ_CHECK((st.tree == nullptr) == st.error.has_value(), "a statement with both or neither tree and error");
      FUZZ_CHECK(st.span.begin <= st.span.end && st.span.end <= text.size(), "collected span outside the text");
      if (st.error && !first_error_seen) {
        first_error_seen = true;
        FUZZ_CHECK(raised == "error " + st.error->message, "collected error differs from the raised one");
      }
    }
    FUZZ_CHECK(first_error_seen == (raised.rfind("error ", 0) == 0), "collect mode disagrees on failure");
  } catch (...) {
    FUZZ_CHECK(false, "collect mode threw");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto dialect = *sqlparse::syntax::dialect_by_name(kDialects[data[0] % std::size(kDialects)]);
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string first = outcome(text, dialect);
  check_collected(text, dialect, first);
  if (size <= 2048) FUZZ_CHECK(outcome(text, dialect) == first, "parse_script is not deterministic");
  return 0;
}
