// The dialect table: which reading each dialect takes where dialects conflict.
#include "syntax/dialect.h"

#include <cctype>
#include <string>

namespace sqlparse::syntax {
namespace {

Dialect make(DialectId id) {
  Dialect d;
  d.id = id;
  switch (id) {
    case DialectId::kGeneric:
      // The most common reading of each conflict: "x" and `x` names, [x] an
      // array, #x a temp-table name, $$..$$ a string.
      d.nested_comments = true;
      d.colon_variant_path = true;
      break;
    case DialectId::kAnsi:
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kBigQuery:
      d.double_quote_is_string = true;
      d.backslash_escapes = true;
      d.triple_quoted_strings = true;
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kSnowflake:
      d.colon_variant_path = true;
      d.backslash_escapes = true;
      d.nested_comments = true;
      break;
    case DialectId::kHive:
    case DialectId::kSpark:
      d.double_quote_is_string = true;
      d.backslash_escapes = true;
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kDatabricks:
      d.double_quote_is_string = true;
      d.backslash_escapes = true;
      d.dollar_quoted_strings = false;
      d.colon_variant_path = true;
      break;
    case DialectId::kPostgres:
    case DialectId::kRedshift:
      d.nested_comments = id == DialectId::kPostgres;
      break;
    case DialectId::kTsql:
      d.bracket_is_name = true;
      d.nested_comments = true;
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kMysql:
      d.double_quote_is_string = true;
      d.hash_is_comment = true;
      d.hash_starts_name = false;
      d.backslash_escapes = true;
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kTrino:
    case DialectId::kAthena:
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kDuckDb:
      d.nested_comments = true;
      break;
    case DialectId::kClickHouse:
      d.backslash_escapes = true;
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kOracle:
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kSqlite:
      d.bracket_is_name = true;
      d.dollar_quoted_strings = false;
      break;
    case DialectId::kClassic:
      d.bracket_is_name = true;
      d.dollar_quoted_strings = false;
      d.hash_is_comment = true;
      d.hash_starts_name = false;
      d.classic = true;
      break;
  }
  return d;
}

struct Entry {
  std::string_view name;
  DialectId id;
};

constexpr Entry kNames[] = {
    {"generic", DialectId::kGeneric},     {"ansi", DialectId::kAnsi},
    {"athena", DialectId::kAthena},       {"bigquery", DialectId::kBigQuery},
    {"clickhouse", DialectId::kClickHouse}, {"databricks", DialectId::kDatabricks},
    {"duckdb", DialectId::kDuckDb},       {"hive", DialectId::kHive},
    {"mysql", DialectId::kMysql},         {"oracle", DialectId::kOracle},
    {"postgres", DialectId::kPostgres},   {"redshift", DialectId::kRedshift},
    {"snowflake", DialectId::kSnowflake}, {"spark", DialectId::kSpark},
    {"sparksql", DialectId::kSpark},      {"sqlite", DialectId::kSqlite},
    {"trino", DialectId::kTrino},         {"tsql", DialectId::kTsql},
};

}  // namespace

std::optional<Dialect> dialect_by_name(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Entry& e : kNames) {
    if (e.name == lower) return make(e.id);
  }
  return std::nullopt;
}

Dialect classic_dialect() { return make(DialectId::kClassic); }

std::string_view dialect_names() {
  return "generic, ansi, athena, bigquery, clickhouse, databricks, duckdb, hive, mysql, "
         "oracle, postgres, redshift, snowflake, spark (or sparksql), sqlite, trino, tsql";
}

}  // namespace sqlparse::syntax
