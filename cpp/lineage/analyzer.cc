// Interning of tables and columns, names as the answer spells them, warnings.
#include "lineage/analyzer.h"

#include "tree/stack_limit.h"

namespace sqlparse::lineage {

namespace {
// Nested query blocks and expressions walked at once. The parser's own limit
// keeps real trees far below; this bounds the walk whatever the tree.
constexpr int kMaxWalkDepth = 4000;
}  // namespace

Analyzer::Analyzer(const syntax::Script& script, const Schema& schema, const KnownTables& known)
    : script_(script), schema_(schema), known_(known) {}

void Analyzer::enter() {
  if (++depth_ > kMaxWalkDepth || stack_exhausted()) {
    --depth_;
    throw TooDeep{};
  }
}

int Analyzer::table_id(const std::string& display, bool read) {
  std::string key = lower(display);
  auto it = table_index_.find(key);
  if (it != table_index_.end()) {
    if (read) tables_[it->second].read = true;
    return it->second;
  }
  int id = static_cast<int>(tables_.size());
  tables_.push_back(Table{display, key, read});
  table_index_.emplace(std::move(key), id);
  return id;
}

// The first spelling of a column in the statement is the one kept. Unquoted
// names fold as the dialect folds them, so that a quoted name matches its
// folded spelling only.
int Analyzer::column_id(int table, std::string_view column, bool exact) {
  std::string folded(column);
  if (!exact) {
    const bool upper = script_.dialect.id == syntax::DialectId::kSnowflake ||
                       script_.dialect.id == syntax::DialectId::kOracle;
    for (char& c : folded) {
      if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  std::string key = std::to_string(table) + '\x1f' + folded;
  auto it = column_index_.find(key);
  if (it != column_index_.end()) return it->second;
  int id = static_cast<int>(columns_.size());
  columns_.push_back(Column{table, std::string(column)});
  column_index_.emplace(std::move(key), id);
  return id;
}

SourceColumn Analyzer::source_of(const Src& s) const {
  const Column& c = columns_[s.column];
  return SourceColumn{tables_[c.table].display, c.name, std::string(kind_name(s.kind)), s.flagged};
}

SourceColumn Analyzer::source_of(const Indirect& s) const {
  const Column& c = columns_[s.column];
  return SourceColumn{tables_[c.table].display, c.name, std::string(kind_name(s.kind)), false};
}

void Analyzer::warn(std::string_view code, std::string message, std::uint32_t byte) {
  Warning w;
  w.code = std::string(code);
  w.message = std::move(message);
  script_.positions.line_column(byte, &w.line, &w.column);
  warnings_.push_back(std::move(w));
}

Relation& Analyzer::new_relation() { return relations_.emplace_back(); }

// A part keeps its quotes when it holds a dot (so the name splits back the
// same); a backticked BigQuery path is its parts.
std::string Analyzer::table_display(const syntax::Name& name) const {
  std::string out;
  for (const syntax::Ident& part : name.parts) {
    if (!out.empty()) out += '.';
    bool dotted = part.value.find('.') != std::string_view::npos;
    if (dotted && part.quote != 0 && !(part.quote == '`' && script_.dialect.id ==
                                                                 syntax::DialectId::kBigQuery)) {
      out += part.text;
    } else {
      out += part.value;
    }
  }
  return out;
}

std::vector<std::string> Analyzer::name_parts(const syntax::Name& name) const {
  std::vector<std::string> parts;
  for (const syntax::Ident& part : name.parts) {
    if (part.quote == '`' && script_.dialect.id == syntax::DialectId::kBigQuery) {
      std::string_view v = part.value;
      std::size_t at = 0;
      while (true) {
        std::size_t dot = v.find('.', at);
        parts.push_back(lower(v.substr(at, dot == std::string_view::npos ? dot : dot - at)));
        if (dot == std::string_view::npos) break;
        at = dot + 1;
      }
    } else {
      parts.push_back(lower(part.value));
    }
  }
  return parts;
}

// The columns of a base table when the schema or an earlier statement of the
// script gives them; `display` becomes the schema's spelling of the name.
const std::vector<std::string>* Analyzer::known_columns(const syntax::Name& name,
                                                         std::string* display) {
  std::vector<std::string> parts;
  for (const syntax::Ident& part : name.parts) parts.emplace_back(part.value);
  if (const SchemaTable* t = schema_.find(parts)) {
    *display = t->display;
    return &t->columns;
  }
  auto it = known_.find(lower(*display));
  if (it != known_.end()) return &it->second;
  return nullptr;
}

// Double-quoted names are case-sensitive where the dialect reads "x" as a name
// and does not fold quoted column names (BigQuery does).
bool Analyzer::exact_name(const syntax::Ident& ident) const {
  return ident.quote == '"' && script_.dialect.id != syntax::DialectId::kBigQuery;
}

bool Analyzer::lateral_alias_dialect() const {
  switch (script_.dialect.id) {
    case syntax::DialectId::kSnowflake:
    case syntax::DialectId::kDatabricks:
    case syntax::DialectId::kSpark:
    case syntax::DialectId::kDuckDb:
    case syntax::DialectId::kRedshift:
      return true;
    default:
      return false;
  }
}

}  // namespace sqlparse::lineage
