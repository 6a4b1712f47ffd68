// Fuzz target: the full column lineage on arbitrary scripts.
//
// The first byte picks the dialect, the second whether a small schema is
// given, the rest is the script (parsed with errors collected, as the batch
// and the command line do). Properties: the analysis never throws; every
// statement has a kind and ordered offsets; every source has a table, a
// column and a known kind; the answer is deterministic.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "lineage/lineage.h"
#include "syntax/parser.h"

namespace {

constexpr std::string_view kDialects[] = {
    "generic", "ansi", "bigquery", "snowflake", "hive", "spark", "databricks", "postgres", "redshift",
    "tsql", "mysql", "trino", "athena", "duckdb", "clickhouse", "oracle", "sqlite"};

bool known_kind(const std::string& kind) {
  for (std::string_view k : {"identity", "transformation", "aggregation", "window", "conditional", "join",
                             "filter", "group_by", "sort"}) {
    if (kind == k) return true;
  }
  return false;
}

std::string outcome(std::string_view text, const sqlparse::syntax::Dialect& dialect,
                    const sqlparse::lineage::Schema& schema) {
  std::string out;
  try {
    auto script = sqlparse::syntax::parse_script(text, dialect, /*collect_errors=*/true);
    sqlparse::lineage::ScriptLineage result = sqlparse::lineage::analyze_lineage(*script, schema);
    for (const auto& st : result.statements) {
      FUZZ_CHECK(!st.kind.empty(), "a statement without a kind");
      FUZZ_CHECK(st.start <= st.end, "a statement ends before it starts");
      out += st.kind + ":";
      for (const auto& c : st.columns) {
        out += c.name + "(";
        for (const auto& s : c.sources) {
          FUZZ_CHECK(!s.table.empty() && !s.column.empty(), "a source without table or column");
          FUZZ_CHECK(known_kind(s.kind), "a source of unknown kind");
          out += s.table + "." + s.column + "/" + s.kind + ",";
        }
        out += ")";
      }
      for (const auto& s : st.indirect) FUZZ_CHECK(known_kind(s.kind), "an indirect column of unknown kind");
      for (const auto& w : st.warnings) {
        FUZZ_CHECK(!w.code.empty() && w.line >= 1 && w.column >= 1, "a warning without code or position");
        out += "!" + w.code;
      }
      out += ";";
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "unexpected exception: %s\n", e.what());
    FUZZ_CHECK(false, "the lineage analysis threw");
  } catch (...) {
    FUZZ_CHECK(false, "the lineage analysis threw a non-std exception");
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto dialect = *sqlparse::syntax::dialect_by_name(kDialects[data[0] % std::size(kDialects)]);
  sqlparse::lineage::Schema schema;
  if (data[1] & 1) {
    schema.add_table({"sales", "orders"}, {"id", "amount", "region", "customer_id"});
    schema.add_table({"crm", "customers"}, {"id", "name", "region"});
    schema.add_table({"t"}, {"a", "b", "c"});
  }
  std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string first = outcome(text, dialect, schema);
  if (size <= 2048) FUZZ_CHECK(outcome(text, dialect, schema) == first, "the lineage is not deterministic");
  return 0;
}
