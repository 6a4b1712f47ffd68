// Statements: what each kind writes and from where.
#include <string>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

using namespace syntax;

StatementLineage Analyzer::analyze(const Statement& st) {
  StatementLineage out;
  try {
    ctes_ = nullptr;
    switch (st.kind) {
      case StatementKind::kSelect:
        out.kind = "select";
        select_statement(static_cast<const SelectStatement&>(st), out);
        break;
      case StatementKind::kCreateTableAs: {
        out.kind = "create_table_as";
        // Both `create table .. as` and T-SQL `select .. into` have this kind;
        // the tree says which struct it is.
        if (st.select_into) {
          select_statement(static_cast<const SelectStatement&>(st), out);
        } else {
          auto& c = static_cast<const CreateTableAs&>(st);
          with(st.with, nullptr);
          create(c.table, c.columns, c.query, out);
        }
        break;
      }
      case StatementKind::kCreateView: {
        out.kind = "create_view";
        auto& v = static_cast<const CreateView&>(st);
        with(st.with, nullptr);
        create(v.name, v.columns, v.query, out);
        break;
      }
      case StatementKind::kInsert:
        out.kind = "insert";
        with(st.with, nullptr);
        insert(static_cast<const Insert&>(st), out);
        output_into(st);
        break;
      case StatementKind::kMerge:
        out.kind = "merge";
        with(st.with, nullptr);
        merge(static_cast<const Merge&>(st), out);
        output_into(st);
        break;
      case StatementKind::kUpdate:
        out.kind = "update";
        with(st.with, nullptr);
        update(static_cast<const Update&>(st), out);
        output_into(st);
        break;
      case StatementKind::kDelete:
        out.kind = "delete";
        with(st.with, nullptr);
        remove(static_cast<const Delete&>(st), out);
        output_into(st);
        break;
      case StatementKind::kOther: {
        out.kind = "other";
        auto& o = static_cast<const Other&>(st);
        if (!o.table.parts.empty() && !o.columns.empty()) {
          created_.emplace();
          created_->first = table_display(o.table);
          for (const ColumnDef& c : o.columns) created_->second.emplace_back(c.name.value);
        }
        break;
      }
    }
  } catch (const TooDeep&) {
    warn("unsupported_construct", "nesting too deep for the lineage analysis", st.span.begin);
  }
  out.warnings = warnings_;
  statement_tables(out);
  return out;
}

void Analyzer::statement_tables(StatementLineage& out) {
  std::string target_key = out.target ? lower(*out.target) : std::string();
  std::vector<bool> referenced(tables_.size(), false);
  for (const OutputColumn& c : out.columns) {
    for (const SourceColumn& s : c.sources) referenced[table_index_[lower(s.table)]] = true;
  }
  for (const SourceColumn& s : out.indirect) referenced[table_index_[lower(s.table)]] = true;
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    const Table& t = tables_[i];
    if (!t.read) continue;
    if (t.key == target_key && !referenced[i]) continue;
    out.source_tables.push_back(t.display);
  }
  if (out.target) out.target_tables.push_back(*out.target);
}

void Analyzer::columns_out(const std::vector<RelColumn>& cols, StatementLineage& out) {
  for (const RelColumn& c : cols) {
    OutputColumn oc;
    oc.name = c.name;
    for (const Src& s : c.sources.items()) oc.sources.push_back(source_of(s));
    out.columns.push_back(std::move(oc));
  }
}

void Analyzer::finish(const Relation& rel, StatementLineage& out) {
  last_indirect_ = rel.indirect;
  for (const Indirect& i : rel.indirect) out.indirect.push_back(source_of(i));
}

void Analyzer::select_statement(const SelectStatement& s, StatementLineage& out) {
  with(s.with, nullptr);
  Relation rel = query(s.query, nullptr, true);
  // select .. into t: the into of the first select, also before a set operation.
  const QueryBody* b = s.query ? s.query->body : nullptr;
  for (int hops = 0; b && hops < 10000 && b->kind != BodyKind::kSelect; ++hops) {
    if (b->kind == BodyKind::kParen) {
      auto* p = static_cast<const ParenQuery*>(b);
      b = p->query ? p->query->body : nullptr;
    } else if (b->kind == BodyKind::kSetOp) {
      b = static_cast<const SetOp*>(b)->left;
    } else {
      b = nullptr;
    }
  }
  if (b) {
    auto* sel = static_cast<const Select*>(b);
    if (!sel->into.parts.empty()) {
      out.kind = "create_table_as";
      out.target = table_display(sel->into);
      created_.emplace();
      created_->first = *out.target;
      for (const RelColumn& c : rel.columns) created_->second.push_back(c.name);
    }
  }
  columns_out(rel.columns, out);
  finish(rel, out);
}

void Analyzer::create(const Name& name, const syntax::List<ColumnDef>& cols, const Query* q,
                      StatementLineage& out) {
  out.target = table_display(name);
  Relation rel = query(q, nullptr, true);
  for (std::uint32_t i = 0; i < cols.size() && i < rel.columns.size(); ++i) {
    rel.columns[i].name = std::string(cols[i].name.value);
  }
  created_.emplace();
  created_->first = *out.target;
  for (const RelColumn& c : rel.columns) created_->second.push_back(c.name);
  columns_out(rel.columns, out);
  finish(rel, out);
}

void Analyzer::insert(const Insert& s, StatementLineage& out) {
  std::string display = table_display(s.table);
  const std::vector<std::string>* known = known_columns(s.table, &display);
  out.target = table_display(s.table);
  Relation rel = query(s.source, nullptr, true);

  std::vector<std::string> names;
  std::vector<std::string> dynamic;
  auto in_partition = [&](std::string_view name) {
    for (const PartitionItem& p : s.partition) {
      if (lower(p.column.value) == lower(name)) return true;
    }
    return false;
  };
  for (const PartitionItem& p : s.partition) {
    if (!p.value) dynamic.emplace_back(p.column.value);
  }
  if (!s.columns.empty()) {
    for (const Ident& c : s.columns) names.emplace_back(c.value);
    names.insert(names.end(), dynamic.begin(), dynamic.end());
  } else if (known && !s.by_name) {
    for (const std::string& c : *known) {
      if (!in_partition(c)) names.push_back(c);
    }
    names.insert(names.end(), dynamic.begin(), dynamic.end());
  }
  bool unknown_star = false;
  for (const RelColumn& c : rel.columns) unknown_star = unknown_star || c.name == "*";
  if (!names.empty() && !unknown_star && !s.by_name) {
    if (rel.columns.size() > names.size()) {
      warn("insert_width",
           "the query gives " + std::to_string(rel.columns.size()) + " columns, " +
               *out.target + " takes " + std::to_string(names.size()),
           s.source ? s.source->span.begin : s.span.begin);
      rel.columns.resize(names.size());
    }
    for (std::size_t i = 0; i < rel.columns.size(); ++i) rel.columns[i].name = names[i];
  }
  columns_out(rel.columns, out);
  finish(rel, out);
}

namespace {

// Output columns in order of first assignment, each with every value's sources.
struct Assigned {
  std::vector<RelColumn> columns;
  RelColumn& column(std::string_view name) {
    for (RelColumn& c : columns) {
      if (lower(c.name) == lower(name)) return c;
    }
    columns.push_back(RelColumn{std::string(name), {}, false});
    return columns.back();
  }
};

}  // namespace

void Analyzer::merge(const Merge& s, StatementLineage& out) {
  Relation rel;
  Scope scope;
  scope.indirect = &rel.indirect;
  NamedTable target;
  target.kind = TableKind::kNamed;
  target.name = s.target;
  target.alias = s.target_alias;
  target.span = s.target.span;
  named_table(target, scope, rel.indirect);
  out.target = table_display(s.target);
  if (!scope.sources.empty() && scope.sources.back().type == SourceType::kBase) {
    out.target = tables_[scope.sources.back().table].display;
  }
  const std::size_t source_begin = scope.sources.size();
  from_item(s.source, scope, rel.indirect);
  indirect_expr(s.on, IndirectKind::kJoin, scope);
  Scope source_only;
  source_only.indirect = &rel.indirect;
  source_only.sources.assign(scope.sources.begin() + static_cast<std::ptrdiff_t>(source_begin),
                             scope.sources.end());
  Assigned assigned;
  for (const MergeClause& c : s.clauses) {
    indirect_expr(c.condition, IndirectKind::kFilter, scope);
    if (c.star) {
      // update set * / insert *: each source column sets the target column of its name.
      bool known = true;
      for (std::size_t i = source_begin; i < scope.sources.size(); ++i) {
        const FromSource& src = scope.sources[i];
        if (src.type == SourceType::kBase) {
          if (!src.columns) {
            known = false;
            continue;
          }
          for (const std::string& name : *src.columns) {
            assigned.column(name).sources.add(
                Src{column_id(src.table, name), Kind::kIdentity, false});
          }
        } else {
          for (const RelColumn& col : src.rel->columns) {
            assigned.column(col.name).sources.add_all(col.sources, Kind::kIdentity);
          }
          known = known && src.rel->open_tables.empty();
        }
      }
      if (!known) {
        warn("unsupported_construct",
             "merge with set * / insert * over a source of unknown columns", c.span.begin);
      }
    }
    for (const Assignment& a : c.set) {
      for (const Name& n : a.columns) {
        Out o;
        o.set = &assigned.column(n.last().value).sources;
        expr(a.value, Kind::kIdentity, scope, o);
      }
    }
    // An inserted row has no target row: its values read the source only.
    Scope& values_scope = c.matched ? scope : source_only;
    for (std::uint32_t i = 0; i < c.columns.size(); ++i) {
      Out o;
      o.set = &assigned.column(c.columns[i].value).sources;
      if (i < c.values.size()) expr(c.values[i], Kind::kIdentity, values_scope, o);
    }
  }
  columns_out(assigned.columns, out);
  finish(rel, out);
}

void Analyzer::update(const Update& s, StatementLineage& out) {
  Relation rel;
  Scope scope;
  scope.indirect = &rel.indirect;
  // The target may be an alias of a FROM table (T-SQL update t .. from x t).
  const NamedTable* named = nullptr;
  for (const TableRef* t = s.target; t;) {
    if (t->kind == TableKind::kNamed) {
      named = static_cast<const NamedTable*>(t);
      break;
    }
    t = t->kind == TableKind::kJoin ? static_cast<const Join*>(t)->left : nullptr;
  }
  bool target_in_from = false;
  if (named && named->name.parts.size() == 1 && !named->alias && !s.from.empty()) {
    Scope probe;
    std::vector<Indirect> none;
    const std::size_t warned = warnings_.size();
    for (const TableRef* t : s.from) from_item(t, probe, none);
    warnings_.resize(warned);
    for (const FromSource& src : probe.sources) {
      if (src.exposed == lower(named->name.last().value) && src.type == SourceType::kBase) {
        target_in_from = true;
        out.target = tables_[src.table].display;
      }
    }
  }
  if (!target_in_from) {
    from_item(s.target, scope, rel.indirect);
    if (named) {
      std::string display = table_display(named->name);
      known_columns(named->name, &display);
      out.target = display;
    }
  }
  for (const TableRef* t : s.from) from_item(t, scope, rel.indirect);
  Assigned assigned;
  for (const Assignment& a : s.set) {
    std::vector<SourceSet> parts;
    if (a.columns.size() > 1 && a.value && a.value->kind == ExprKind::kTuple) {
      for (const Expr* e : static_cast<const TupleExpr*>(a.value)->items) {
        SourceSet set;
        Out o;
        o.set = &set;
        expr(e, Kind::kIdentity, scope, o);
        parts.push_back(std::move(set));
      }
    } else if (a.columns.size() > 1 && a.value && a.value->kind == ExprKind::kSubquery) {
      Relation sub = query(static_cast<const SubqueryExpr*>(a.value)->query, &scope, false);
      for (const RelColumn& c : sub.columns) {
        SourceSet set = c.sources;
        for (const Indirect& i : sub.indirect) set.add(Src{i.column, Kind::kConditional, false});
        parts.push_back(std::move(set));
      }
    } else {
      SourceSet set;
      Out o;
      o.set = &set;
      expr(a.value, Kind::kIdentity, scope, o);
      parts.push_back(std::move(set));
    }
    for (std::size_t i = 0; i < a.columns.size(); ++i) {
      const SourceSet& set = parts.size() == a.columns.size() ? parts[i] : parts[0];
      assigned.column(a.columns[i].last().value).sources.add_all(set, Kind::kIdentity);
    }
  }
  indirect_expr(s.where, IndirectKind::kFilter, scope);
  columns_out(assigned.columns, out);
  finish(rel, out);
}

void Analyzer::remove(const Delete& s, StatementLineage& out) {
  Relation rel;
  Scope scope;
  scope.indirect = &rel.indirect;
  NamedTable target;
  target.kind = TableKind::kNamed;
  target.name = s.table;
  target.alias = s.alias;
  named_table(target, scope, rel.indirect);
  out.target = table_display(s.table);
  if (!scope.sources.empty() && scope.sources.back().type == SourceType::kBase) {
    out.target = tables_[scope.sources.back().table].display;
  }
  for (const TableRef* t : s.using_tables) from_item(t, scope, rel.indirect);
  indirect_expr(s.where, IndirectKind::kFilter, scope);
  finish(rel, out);
}

}  // namespace sqlparse::lineage
