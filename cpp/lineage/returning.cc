// Data-modifying CTEs (Postgres): with x as (insert / update / delete / merge
// .. returning ..). The statement inside writes its table like any other and
// is answered on its own, before the statement that holds it; the CTE's
// columns are its RETURNING items, read from the rows it wrote or deleted.
#include "lineage/analyzer.h"

namespace sqlparse::lineage {

using namespace syntax;

namespace {

const Returning* returning_of(const Statement& s) {
  switch (s.kind) {
    case StatementKind::kInsert: return static_cast<const Insert&>(s).returning;
    case StatementKind::kUpdate: return static_cast<const Update&>(s).returning;
    case StatementKind::kDelete: return static_cast<const Delete&>(s).returning;
    case StatementKind::kMerge: return static_cast<const Merge&>(s).returning;
    default: return nullptr;
  }
}

NamedTable named(const Name& name, Alias* alias) {
  NamedTable t;
  t.kind = TableKind::kNamed;
  t.name = name;
  t.alias = alias;
  t.span = name.span;
  return t;
}

}  // namespace

Relation Analyzer::data_modifying_cte(const Statement& dml) {
  // The inner statement's reads and warnings are its own; what it read is
  // read by the outer statement too, through the CTE.
  std::vector<bool> was_read(tables_.size());
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    was_read[i] = tables_[i].read;
    tables_[i].read = false;
  }
  const std::size_t warned = warnings_.size();
  last_indirect_.clear();
  HeldStatement held;
  held.span = dml.span;
  StatementLineage& inner = held.lineage;
  switch (dml.kind) {
    case StatementKind::kInsert:
      inner.kind = "insert";
      insert(static_cast<const Insert&>(dml), inner);
      break;
    case StatementKind::kUpdate:
      inner.kind = "update";
      update(static_cast<const Update&>(dml), inner);
      break;
    case StatementKind::kDelete:
      inner.kind = "delete";
      remove(static_cast<const Delete&>(dml), inner);
      break;
    case StatementKind::kMerge:
      inner.kind = "merge";
      merge(static_cast<const Merge&>(dml), inner);
      break;
    default:
      inner.kind = "other";
      break;
  }
  inner.warnings.assign(warnings_.begin() + static_cast<std::ptrdiff_t>(warned), warnings_.end());
  warnings_.resize(warned);
  // A table reached through an earlier CTE was read before; it is read here too.
  auto mark = [&](const SourceColumn& c) {
    auto it = table_index_.find(lower(c.table));
    if (it != table_index_.end()) tables_[it->second].read = true;
  };
  for (const OutputColumn& c : inner.columns) {
    for (const SourceColumn& s : c.sources) mark(s);
  }
  for (const SourceColumn& s : inner.indirect) mark(s);
  statement_tables(inner);
  for (std::size_t i = 0; i < was_read.size(); ++i) tables_[i].read = tables_[i].read || was_read[i];
  held_.push_back(std::move(held));

  // The rows returned are the rows the statement chose.
  Relation rel;
  rel.indirect = last_indirect_;
  const Returning* r = returning_of(dml);
  if (!r) return rel;
  Scope scope;
  scope.indirect = &rel.indirect;
  std::vector<Indirect> seen;  // the statement's own conditions, already in rel.indirect
  const std::size_t quiet = warnings_.size();
  switch (dml.kind) {
    case StatementKind::kInsert: {
      auto& s = static_cast<const Insert&>(dml);
      NamedTable t = named(s.table, s.alias);
      named_table(t, scope, seen);
      break;
    }
    case StatementKind::kUpdate: {
      auto& s = static_cast<const Update&>(dml);
      from_item(s.target, scope, seen);
      for (const TableRef* t : s.from) from_item(t, scope, seen);
      break;
    }
    case StatementKind::kDelete: {
      auto& s = static_cast<const Delete&>(dml);
      NamedTable t = named(s.table, s.alias);
      named_table(t, scope, seen);
      for (const TableRef* u : s.using_tables) from_item(u, scope, seen);
      break;
    }
    case StatementKind::kMerge: {
      auto& s = static_cast<const Merge&>(dml);
      NamedTable t = named(s.target, s.target_alias);
      named_table(t, scope, seen);
      from_item(s.source, scope, seen);
      break;
    }
    default:
      break;
  }
  warnings_.resize(quiet);  // the statement itself reported these tables' warnings
  scope.outputs = &rel.columns;
  for (const SelectItem& item : r->items) {
    if (item.expr && item.expr->kind == ExprKind::kStar) {
      star(*static_cast<const Star*>(item.expr), scope, rel);
      continue;
    }
    RelColumn c{output_name(item, rel.columns.size()), {}, false};
    Out out;
    out.set = &c.sources;
    expr(item.expr, Kind::kIdentity, scope, out);
    rel.columns.push_back(std::move(c));
  }
  return rel;
}

}  // namespace sqlparse::lineage
