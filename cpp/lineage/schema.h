// The columns of base tables, as the caller knows them.
//
// Tables are keyed by their qualified name (catalog.schema.table, schema.table
// or table). A query's table name matches a schema entry when both are equal
// after the default catalog and schema fill their missing leading parts;
// names compare case-insensitively.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sqlparse::lineage {

struct SchemaTable {
  std::string display;               // the qualified name as the schema spells it
  std::vector<std::string> columns;  // in table order, as the schema spells them
};

class Schema {
 public:
  Schema() = default;
  Schema(std::string default_catalog, std::string default_schema);

  // Gives the columns of a table added with add_lazy_table(), from its handle.
  using ColumnSource = std::function<std::vector<std::string>(std::size_t handle)>;

  // A table given as its name parts (1 to 3); a later entry of the same name
  // replaces an earlier one.
  void add_table(const std::vector<std::string>& parts, std::vector<std::string> columns);

  // A table whose columns the column source gives the first time a query
  // names it: a large schema of which a query reads a few tables is then not
  // converted whole for every query. find() fills such tables in, so a
  // schema with lazy tables belongs to one thread.
  void add_lazy_table(const std::vector<std::string>& parts, std::size_t handle);
  void set_column_source(ColumnSource source) { source_ = std::move(source); }

  // The table that `parts` (as written in a query, quotes removed) names, or null.
  const SchemaTable* find(const std::vector<std::string>& parts) const;

  // Room for `n` tables, before adding many.
  void reserve(std::size_t n) {
    tables_.reserve(n);
    index_.reserve(n);
  }

  bool empty() const { return tables_.empty(); }
  std::size_t size() const { return tables_.size(); }

 private:
  std::string key(const std::vector<std::string>& parts) const;
  // The table's index, its entry replaced by `columns`.
  std::size_t put(const std::vector<std::string>& parts, std::vector<std::string> columns);

  std::string default_catalog_;
  std::string default_schema_;
  mutable std::vector<SchemaTable> tables_;  // lazy tables are filled in by find()
  // Per table, once any is lazy: its handle + 1 while not yet filled in, else 0.
  mutable std::vector<std::size_t> pending_;
  ColumnSource source_;
  std::unordered_map<std::string, std::size_t> index_;
};

// ASCII lower case: the comparison key of an unquoted name.
std::string lower(std::string_view text);

}  // namespace sqlparse::lineage
