// The analysis of one statement: scopes, relations and the walk of the tree.
//
// Internal to cpp/lineage. Each query block is a Scope whose FROM sources are
// base tables or Relations (derived tables, CTEs, generated columns). A
// Relation is what a query block gives: named columns, each with the
// interned base columns that flow into it, plus the indirect columns that
// decide its rows.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "lineage/kinds.h"
#include "lineage/lineage.h"
#include "syntax/ast.h"

namespace sqlparse::lineage {

struct RelColumn {
  std::string name;
  SourceSet sources;
  bool has_aggregate = false;  // its expression holds an aggregate (group by all)
};

struct Relation {
  std::vector<RelColumn> columns;
  std::vector<int> open_tables;  // a star over these base tables: any column name reads them
  std::vector<Indirect> indirect;
};

enum class SourceType : std::uint8_t { kBase, kRelation };

struct FromSource {
  SourceType type = SourceType::kBase;
  std::string exposed;                 // alias, or the table's last name part (lower case)
  bool has_alias = false;
  std::vector<std::string> parts;      // lower-cased name parts of a named table / CTE
  int table = -1;                      // kBase: interned table
  const std::vector<std::string>* columns = nullptr;  // kBase: known columns, or null
  const Relation* rel = nullptr;       // kRelation
  bool generated = false;              // from a table function / unnest / lateral view
  bool element = false;                // q.f reads the element itself (unnest as x)
  bool any_column = false;             // every column name reads `element_sources`
  SourceSet element_sources;
};

// A column joined with `using` or `natural`: where it comes from.
struct UsingColumn {
  std::string name;  // lower case
  SourceSet sources;
};

struct Scope {
  Scope* parent = nullptr;
  std::vector<FromSource> sources;
  std::vector<UsingColumn> usings;
  const syntax::Select* select = nullptr;
  const std::vector<RelColumn>* outputs = nullptr;  // for select-list aliases
  std::vector<std::string> aliases;                 // explicit aliases of `outputs`, lower case
  std::size_t visible_aliases = 0;
  bool lateral_aliases = false;
  bool output_names_first = false;                  // ORDER BY: output names win
  std::vector<Indirect>* indirect = nullptr;       // where this block's indirect columns go
};

// Where an expression's columns go: into a value's sources, or straight into
// an indirect list with one kind.
struct Out {
  SourceSet* set = nullptr;
  std::vector<Indirect>* ind = nullptr;
  IndirectKind ind_kind = IndirectKind::kFilter;
};

struct CteEnv {
  const CteEnv* parent = nullptr;
  std::string name;  // lower case
  const Relation* rel = nullptr;
};

// Tables created earlier in the script: their known columns.
using KnownTables = std::unordered_map<std::string, std::vector<std::string>>;

class TooDeep {};

// The output columns of generators that name them (explode: col, json_each:
// key and value ..), or null; `name` in lower case.
const std::vector<std::string_view>* generator_columns(std::string_view name);

// A statement answered on its own inside the one analysed: the DML of a
// data-modifying CTE.
struct HeldStatement {
  StatementLineage lineage;
  syntax::Span span;
};

class Analyzer {
 public:
  Analyzer(const syntax::Script& script, const Schema& schema, const KnownTables& known);
  StatementLineage analyze(const syntax::Statement& statement);
  // The table the statement created and its columns, if it created one.
  const std::optional<std::pair<std::string, std::vector<std::string>>>& created() const {
    return created_;
  }
  // Statements held inside the one analysed, in order, to answer before it.
  std::vector<HeldStatement>& held() { return held_; }
  // Statements it gives rise to, to answer after it (T-SQL output .. into t).
  std::vector<HeldStatement>& after() { return after_; }

 private:
  friend struct DepthGuard;
  // ---- interning and output (analyzer.cc)
  int table_id(const std::string& display, bool read);
  // `exact`: a quoted name, compared as written.
  int column_id(int table, std::string_view column, bool exact = false);
  bool exact_name(const syntax::Ident& ident) const;
  SourceColumn source_of(const Src& s) const;
  SourceColumn source_of(const Indirect& s) const;
  void warn(std::string_view code, std::string message, std::uint32_t byte);
  Relation& new_relation();
  std::string table_display(const syntax::Name& name) const;
  std::vector<std::string> name_parts(const syntax::Name& name) const;
  const std::vector<std::string>* known_columns(const syntax::Name& name, std::string* display);
  bool lateral_alias_dialect() const;
  void enter();
  void leave() { --depth_; }

  // ---- name resolution (resolve.cc)
  void column_ref(const syntax::ColumnRef& ref, Kind ctx, Scope& scope, Out& out);
  bool lookup(const FromSource& s, std::string_view column, SourceSet& found, bool* known_has,
              bool exact = false);
  bool resolve_unqualified(std::string_view column, bool field, Kind ctx, Scope& scope,
                           Out& out, std::uint32_t at, bool exact = false);
  void emit(Out& out, const SourceSet& set, Kind ctx);
  void emit_column(Out& out, int column, Kind kind, bool flagged);

  // ---- expressions (expressions.cc)
  void expr(const syntax::Expr* e, Kind ctx, Scope& scope, Out& out);
  void function(const syntax::Function& f, Kind ctx, Scope& scope, Out& out);
  void window(const syntax::WindowSpec* spec, const syntax::Ident* name, Kind ctx, Scope& scope,
              Out& out);
  void subquery(const syntax::Query* q, bool scalar, Kind ctx, Scope& scope, Out& out);
  void indirect_expr(const syntax::Expr* e, IndirectKind kind, Scope& scope);
  bool has_aggregate(const syntax::Expr* e, int depth = 0) const;

  // ---- FROM (from_clause.cc)
  void from_item(const syntax::TableRef* t, Scope& scope, std::vector<Indirect>& ind);
  void named_table(const syntax::NamedTable& t, Scope& scope, std::vector<Indirect>& ind);
  void table_function(const syntax::TableFunction& t, Scope& scope, std::vector<Indirect>& ind);
  // The generated columns of a lateral view whose source is already in scope.
  void lateral_view(const syntax::LateralView& t, Scope& scope, std::vector<Indirect>& ind);
  // The right side and conditions of a join whose left side is already in
  // scope, from source `left_begin` on.
  void join(const syntax::Join& j, std::size_t left_begin, Scope& scope,
            std::vector<Indirect>& ind);
  void pivot(const syntax::Pivot& p, Scope& scope, std::vector<Indirect>& ind);  // pivot.cc
  void add_relation_source(Scope& scope, const Relation& rel, const syntax::Alias* alias,
                           std::string default_name, bool generated);
  void apply_alias_columns(Relation& rel, const syntax::Alias* alias);
  void name_values_columns(Relation& rel) const;

  // ---- queries (query.cc)
  Relation query(const syntax::Query* q, Scope* parent, bool top_level);
  Relation body(const syntax::QueryBody* b, const syntax::Query* q, Scope* parent,
                bool top_level);
  Relation select(const syntax::Select& s, const syntax::Query* q, Scope* parent,
                  bool top_level);
  void star(const syntax::Star& st, Scope& scope, Relation& rel);
  void record_star(const syntax::FieldAccess& f, Scope& scope, Relation& rel);
  void expand_source(const FromSource& src, const syntax::Star& st, Scope& scope, Relation& rel,
                     const std::vector<std::string>& skip);
  Relation set_operation(const syntax::SetOp& op, Scope* parent);
  Relation pipes(const syntax::Query& q, Relation rel, Scope* parent);  // pipes.cc
  void set_operation_pipe(const syntax::PipeOp& op, Relation& rel, Scope* parent);
  Relation values(const syntax::Values& v, Scope* parent);
  void order_by(const syntax::List<syntax::OrderItem>& items, Relation& rel, Scope* scope);
  void with(const syntax::With* w, Scope* parent);
  std::string output_name(const syntax::SelectItem& item, std::size_t position) const;

  // ---- statements (statements.cc)
  void select_statement(const syntax::SelectStatement& s, StatementLineage& out);
  void insert(const syntax::Insert& s, StatementLineage& out);
  void create(const syntax::Name& name, const syntax::List<syntax::ColumnDef>& cols,
              const syntax::Query* q, StatementLineage& out);
  void merge(const syntax::Merge& s, StatementLineage& out);
  void update(const syntax::Update& s, StatementLineage& out);
  void remove(const syntax::Delete& s, StatementLineage& out);
  void finish(const Relation& rel, StatementLineage& out);
  // source_tables and target_tables, from the tables read.
  void statement_tables(StatementLineage& out);
  // ---- RETURNING and OUTPUT (returning.cc)
  Relation data_modifying_cte(const syntax::Statement& dml);
  Relation returning_relation(const syntax::Statement& dml, const syntax::Returning& r);
  void output_into(const syntax::Statement& dml);
  void columns_out(const std::vector<RelColumn>& cols, StatementLineage& out);

  const syntax::Script& script_;
  const Schema& schema_;
  const KnownTables& known_;
  struct Table {
    std::string display;
    std::string key;
    bool read = false;
  };
  struct Column {
    int table;
    std::string name;
  };
  std::vector<Table> tables_;
  std::unordered_map<std::string, int> table_index_;
  std::vector<Column> columns_;
  std::unordered_map<std::string, int> column_index_;
  std::vector<Warning> warnings_;
  std::deque<Relation> relations_;
  std::deque<std::vector<std::string>> column_lists_;
  const CteEnv* ctes_ = nullptr;
  std::deque<CteEnv> cte_envs_;
  std::vector<std::string_view> lambda_params_;
  std::optional<std::pair<std::string, std::vector<std::string>>> created_;
  std::vector<HeldStatement> held_;
  std::vector<HeldStatement> after_;
  std::vector<Indirect> last_indirect_;  // the indirect columns of the last finish()
  int depth_ = 0;
};

struct DepthGuard {
  explicit DepthGuard(Analyzer& a) : a_(a) { a_.enter(); }
  ~DepthGuard() { a_.leave(); }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  Analyzer& a_;
};

// Line and column (from 1, code points) of a byte offset.

}  // namespace sqlparse::lineage
