// SQL dialects and the readings on which they disagree.
//
// The grammar is one: every dialect accepts the union of the syntax where the
// dialects do not conflict. A Dialect only decides the conflicts (what "x",
// `x`, [x], # and $$ mean) and a few words that are reserved in one dialect
// and ordinary names in another.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace sqlparse::syntax {

enum class DialectId : std::uint8_t {
  kGeneric, kAnsi, kBigQuery, kSnowflake, kHive, kSpark, kDatabricks, kPostgres, kRedshift,
  kTsql, kMysql, kTrino, kAthena, kDuckDb, kClickHouse, kOracle, kSqlite,
  kClassic,  // internal: the classic grammar's reading (classic_dialect()), no name
};

struct Dialect {
  DialectId id = DialectId::kGeneric;
  bool double_quote_is_string = false;   // "x" is a string (MySQL, BigQuery, Hive/Spark)
  bool bracket_is_name = false;          // [x] is a quoted name (T-SQL, SQLite)
  bool hash_is_comment = false;          // # starts a comment (MySQL)
  bool hash_starts_name = true;          // #temp is a name (T-SQL)
  bool dollar_quoted_strings = true;     // $$..$$ and $tag$..$tag$
  bool backslash_escapes = false;        // 'it\'s' (MySQL, BigQuery, Hive/Spark, ClickHouse)
  bool colon_variant_path = false;       // v:a.b (Snowflake, Databricks)
  bool triple_quoted_strings = false;    // '''x''' (BigQuery)
  bool nested_comments = false;          // /* /* */ */ (Postgres, Snowflake, DuckDB...)
  bool at_is_variable = true;            // @x is a parameter / variable
  bool classic = false;                  // the classic grammar's subset (classic_dialect())
};

// The dialect of a sqlglot-style name ("generic", "ansi", "bigquery", ...,
// "sparksql" for "spark"); nullopt for an unknown name.
std::optional<Dialect> dialect_by_name(std::string_view name);

// The classic grammar's reading: "x", `x` and [x] names, # and -- comments,
// /* */ an error, no string prefixes or parameters, and the parser refusing
// what the classic grammar lacks. Internal: dialect_by_name never returns it.
Dialect classic_dialect();

// Every accepted dialect name, for error messages ("ansi, athena, ...").
std::string_view dialect_names();

}  // namespace sqlparse::syntax
