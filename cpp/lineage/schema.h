// The columns of base tables, as the caller knows them.
//
// Tables are keyed by their qualified name (catalog.schema.table, schema.table
// or table). A query's table name matches a schema entry when both are equal
// after the default catalog and schema fill their missing leading parts;
// names compare case-insensitively.
#pragma once

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

  // A table given as its name parts (1 to 3); a later entry of the same name
  // replaces an earlier one.
  void add_table(const std::vector<std::string>& parts, std::vector<std::string> columns);

  // The table that `parts` (as written in a query, quotes removed) names, or null.
  const SchemaTable* find(const std::vector<std::string>& parts) const;

  bool empty() const { return tables_.empty(); }
  std::size_t size() const { return tables_.size(); }

 private:
  std::string key(const std::vector<std::string>& parts) const;

  std::string default_catalog_;
  std::string default_schema_;
  std::vector<SchemaTable> tables_;
  std::unordered_map<std::string, std::size_t> index_;
};

// ASCII lower case: the comparison key of an unquoted name.
std::string lower(std::string_view text);

}  // namespace sqlparse::lineage
