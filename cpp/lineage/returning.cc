// Rows a data-modifying statement gives back: RETURNING (Postgres, SQLite,
// Oracle) and T-SQL's OUTPUT.
//
// A data-modifying CTE (with x as (delete .. returning ..)) or derived table
// (T-SQL: from (delete t output deleted.a) x) writes its table like any other
// statement and is answered on its own, before the statement that holds it;
// the CTE's columns are its RETURNING items, read from the table it wrote or
// deleted from. OUTPUT .. INTO t writes one more table, answered after the
// statement.
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

// The table an UPDATE writes: the first named table of its target.
const Name* update_target(const Update& s) {
  for (const TableRef* t = s.target; t;) {
    if (t->kind == TableKind::kNamed) return &static_cast<const NamedTable*>(t)->name;
    t = t->kind == TableKind::kJoin ? static_cast<const Join*>(t)->left : nullptr;
  }
  return nullptr;
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
  const Returning* r = returning_of(dml);
  Relation rel = r ? returning_relation(dml, *r) : Relation{};
  for (const Indirect& i : last_indirect_) add_indirect(rel.indirect, i);
  return rel;
}

Relation Analyzer::returning_relation(const Statement& dml, const Returning& r) {
  Relation rel;
  Scope scope;
  scope.indirect = &rel.indirect;
  std::vector<Indirect> seen;  // the statement's own conditions, reported by it
  const std::size_t quiet = warnings_.size();
  // OUTPUT names the row after and before the change inserted.a / deleted.a,
  // RETURNING the target by its name or alias.
  Alias inserted;
  inserted.name.text = inserted.name.value = "inserted";
  Alias deleted;
  deleted.name.text = deleted.name.value = "deleted";
  auto target = [&](const Name* name, Alias* alias) {
    if (!name) return;
    if (r.output) {
      NamedTable after = named(*name, &inserted);
      named_table(after, scope, seen);
      NamedTable before = named(*name, &deleted);
      named_table(before, scope, seen);
      return;
    }
    NamedTable t = named(*name, alias);
    named_table(t, scope, seen);
  };
  switch (dml.kind) {
    case StatementKind::kInsert: {
      auto& s = static_cast<const Insert&>(dml);
      target(&s.table, s.alias);
      break;
    }
    case StatementKind::kUpdate: {
      auto& s = static_cast<const Update&>(dml);
      if (r.output) {
        target(update_target(s), nullptr);
      } else {
        from_item(s.target, scope, seen);
      }
      for (const TableRef* t : s.from) from_item(t, scope, seen);
      break;
    }
    case StatementKind::kDelete: {
      auto& s = static_cast<const Delete&>(dml);
      target(&s.table, s.alias);
      for (const TableRef* u : s.using_tables) from_item(u, scope, seen);
      break;
    }
    case StatementKind::kMerge: {
      auto& s = static_cast<const Merge&>(dml);
      target(&s.target, s.target_alias);
      from_item(s.source, scope, seen);
      break;
    }
    default:
      break;
  }
  warnings_.resize(quiet);  // the statement itself reported these tables' warnings
  scope.outputs = &rel.columns;
  for (const SelectItem& item : r.items) {
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

void Analyzer::output_into(const Statement& dml) {
  const Returning* r = returning_of(dml);
  if (!r || !r->output || r->into_table.parts.empty()) return;
  HeldStatement held;
  held.span = r->span;
  StatementLineage& into = held.lineage;
  into.kind = "insert";
  into.target = table_display(r->into_table);
  Relation rel = returning_relation(dml, *r);
  for (std::uint32_t i = 0; i < r->into_columns.size() && i < rel.columns.size(); ++i) {
    rel.columns[i].name = std::string(r->into_columns[i].value);
  }
  columns_out(rel.columns, into);
  // The rows written are the rows the statement chose.
  for (const Indirect& i : last_indirect_) add_indirect(rel.indirect, i);
  finish(rel, into);
  auto source = [&](const SourceColumn& s) {
    for (const std::string& t : into.source_tables) {
      if (t == s.table) return;
    }
    into.source_tables.push_back(s.table);
  };
  for (const OutputColumn& c : into.columns) {
    for (const SourceColumn& s : c.sources) source(s);
  }
  for (const SourceColumn& s : into.indirect) source(s);
  into.target_tables.push_back(*into.target);
  after_.push_back(std::move(held));
}

}  // namespace sqlparse::lineage
