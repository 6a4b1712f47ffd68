// Query blocks: CTEs, select lists with stars, clauses that decide rows, set
// operations and VALUES.
#include <string>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

using namespace syntax;

namespace {

bool has_limit(const Query* q, const Select* s) {
  return (q && (q->limit || q->fetch || !q->limit_by.empty())) || (s && s->top);
}

// A number literal 1.. that picks an output column by position, or -1.
int position_of(const Expr* e, std::size_t width) {
  if (!e || e->kind != ExprKind::kLiteral) return -1;
  auto* l = static_cast<const Literal*>(e);
  if (l->literal_kind != LiteralKind::kNumber) return -1;
  int n = 0;
  for (char c : l->text) {
    if (c < '0' || c > '9' || n > 100000) return -1;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && static_cast<std::size_t>(n) <= width ? n - 1 : -1;
}

const SetOp* as_setop(const QueryBody* b) {
  while (b && b->kind == BodyKind::kParen) {
    auto* p = static_cast<const ParenQuery*>(b);
    if (!p->query || p->query->with || !p->query->order_by.empty()) return nullptr;
    b = p->query->body;
  }
  return b && b->kind == BodyKind::kSetOp ? static_cast<const SetOp*>(b) : nullptr;
}

}  // namespace

std::string Analyzer::output_name(const SelectItem& item, std::size_t position) const {
  if (!item.alias.value.empty()) return std::string(item.alias.value);
  const Expr* e = item.expr;
  if (e && e->kind == ExprKind::kColumn) {
    return std::string(static_cast<const ColumnRef*>(e)->name.last().value);
  }
  if (e && e->kind == ExprKind::kField && !static_cast<const FieldAccess*>(e)->star) {
    return std::string(static_cast<const FieldAccess*>(e)->field.value);
  }
  return "_col_" + std::to_string(position);
}

// Each CTE sees the ones before it; a recursive CTE also sees itself, first as
// its anchor's columns, then as the whole CTE.
void Analyzer::with(const With* w, Scope* parent) {
  if (!w) return;
  for (const Cte& cte : w->ctes) {
    Relation& rel = new_relation();
    std::string name = lower(cte.name.value);
    const SetOp* op = w->recursive ? as_setop(cte.query ? cte.query->body : nullptr) : nullptr;
    if (cte.dml) {
      rel = data_modifying_cte(*cte.dml);
    } else if (!cte.query) {
      // with <expr> as name (ClickHouse): a constant, not a relation.
    } else if (op) {
      const CteEnv* saved = ctes_;
      Relation& anchor = new_relation();
      anchor = body(op->left, nullptr, parent, false);
      for (std::uint32_t i = 0; i < cte.columns.size() && i < anchor.columns.size(); ++i) {
        anchor.columns[i].name = std::string(cte.columns[i].value);
      }
      ctes_ = &cte_envs_.emplace_back(CteEnv{saved, name, &anchor});
      Relation& first = new_relation();
      first = query(cte.query, parent, false);
      for (std::uint32_t i = 0; i < cte.columns.size() && i < first.columns.size(); ++i) {
        first.columns[i].name = std::string(cte.columns[i].value);
      }
      first.indirect.clear();
      ctes_ = &cte_envs_.emplace_back(CteEnv{saved, name, &first});
      rel = query(cte.query, parent, false);
      ctes_ = saved;
    } else {
      rel = query(cte.query, parent, false);
    }
    for (std::uint32_t i = 0; i < cte.columns.size() && i < rel.columns.size(); ++i) {
      rel.columns[i].name = std::string(cte.columns[i].value);
    }
    ctes_ = &cte_envs_.emplace_back(CteEnv{ctes_, name, &rel});
  }
}

Relation Analyzer::query(const Query* q, Scope* parent, bool top_level) {
  Relation rel;
  if (!q) return rel;
  DepthGuard guard(*this);
  const CteEnv* saved = ctes_;
  with(q->with, parent);
  if (q->body && q->body->kind == BodyKind::kSelect) {
    rel = select(*static_cast<const Select*>(q->body), q, parent, top_level);
  } else {
    rel = body(q->body, q, parent, top_level);
    if (top_level || has_limit(q, nullptr)) order_by(q->order_by, rel, nullptr);
  }
  if (!q->pipes.empty()) rel = pipes(*q, std::move(rel), parent);
  ctes_ = saved;
  return rel;
}

Relation Analyzer::body(const QueryBody* b, const Query* q, Scope* parent, bool top_level) {
  Relation rel;
  if (!b) return rel;
  DepthGuard guard(*this);
  switch (b->kind) {
    case BodyKind::kSelect:
      return select(*static_cast<const Select*>(b), q, parent, top_level);
    case BodyKind::kSetOp:
      return set_operation(*static_cast<const SetOp*>(b), parent);
    case BodyKind::kParen:
      return query(static_cast<const ParenQuery*>(b)->query, parent, false);
    case BodyKind::kValues:
      return values(*static_cast<const Values*>(b), parent);
    case BodyKind::kPivot: {
      // pivot t on .. (DuckDB): every column of the pivot's relation.
      Scope scope;
      scope.parent = parent;
      scope.indirect = &rel.indirect;
      from_item(static_cast<const PivotBody*>(b)->pivot, scope, rel.indirect);
      Star st;
      st.kind = ExprKind::kStar;
      st.span = b->span;
      star(st, scope, rel);
      return rel;
    }
    case BodyKind::kTable: {
      Scope scope;
      scope.parent = parent;
      scope.indirect = &rel.indirect;
      NamedTable t;
      t.kind = TableKind::kNamed;
      t.name = static_cast<const TableBody*>(b)->name;
      named_table(t, scope, rel.indirect);
      Star st;
      st.kind = ExprKind::kStar;
      st.span = b->span;
      star(st, scope, rel);
      return rel;
    }
  }
  return rel;
}

Relation Analyzer::select(const Select& s, const Query* q, Scope* parent, bool top_level) {
  Relation rel;
  Scope scope;
  scope.parent = parent;
  scope.select = &s;
  scope.indirect = &rel.indirect;
  scope.lateral_aliases = lateral_alias_dialect();
  scope.outputs = &rel.columns;
  for (const TableRef* t : s.from) from_item(t, scope, rel.indirect);
  for (const Expr* e : s.distinct_on) indirect_expr(e, IndirectKind::kGroupBy, scope);

  if (s.transform) {
    // A program reads every argument and writes every output column.
    SourceSet all;
    Out out;
    out.set = &all;
    for (const Expr* a : s.transform->args) expr(a, Kind::kTransformation, scope, out);
    if (s.transform->columns.empty()) {
      rel.columns.push_back(RelColumn{"key", all, false});
      rel.columns.push_back(RelColumn{"value", all, false});
    }
    for (const ColumnDef& c : s.transform->columns) {
      rel.columns.push_back(RelColumn{std::string(c.name.value), all, false});
    }
  }
  if (s.items.empty() && s.from_first) {
    Star st;
    st.kind = ExprKind::kStar;
    st.span = s.span;
    star(st, scope, rel);
  }
  for (const SelectItem& item : s.items) {
    if (item.expr && item.expr->kind == ExprKind::kStar) {
      star(*static_cast<const Star*>(item.expr), scope, rel);
    } else if (item.expr && item.expr->kind == ExprKind::kField &&
               static_cast<const FieldAccess*>(item.expr)->star) {
      record_star(*static_cast<const FieldAccess*>(item.expr), scope, rel);
    } else {
      RelColumn c{output_name(item, rel.columns.size()), {}, has_aggregate(item.expr)};
      Out out;
      out.set = &c.sources;
      expr(item.expr, Kind::kIdentity, scope, out);
      if (!item.aliases.empty()) {
        // explode(m) as (k, v): each named output reads the whole expression.
        for (const Ident& a : item.aliases) {
          rel.columns.push_back(RelColumn{std::string(a.value), c.sources, c.has_aggregate});
          scope.aliases.push_back(lower(a.value));
        }
        scope.visible_aliases = scope.aliases.size();
        continue;
      }
      rel.columns.push_back(std::move(c));
    }
    while (scope.aliases.size() < rel.columns.size()) scope.aliases.emplace_back();
    if (!item.alias.value.empty() && !scope.aliases.empty()) {
      scope.aliases.back() = lower(item.alias.value);
    }
    scope.visible_aliases = scope.aliases.size();
  }

  indirect_expr(s.prewhere, IndirectKind::kFilter, scope);
  indirect_expr(s.where, IndirectKind::kFilter, scope);
  indirect_expr(s.start_with, IndirectKind::kFilter, scope);
  indirect_expr(s.connect_by_condition, IndirectKind::kFilter, scope);
  if (s.group_by_all) {
    for (const RelColumn& c : rel.columns) {
      if (c.has_aggregate) continue;
      for (const Src& x : c.sources.items()) {
        add_indirect(rel.indirect, Indirect{x.column, IndirectKind::kGroupBy});
      }
    }
  }
  // GROUP BY, HAVING and QUALIFY may name select-list aliases in every
  // dialect; a source known to hold the name still comes first.
  scope.lateral_aliases = true;
  for (const Expr* e : s.group_by) {
    int pos = position_of(e, rel.columns.size());
    if (pos >= 0) {
      for (const Src& x : rel.columns[pos].sources.items()) {
        add_indirect(rel.indirect, Indirect{x.column, IndirectKind::kGroupBy});
      }
    } else {
      indirect_expr(e, IndirectKind::kGroupBy, scope);
    }
  }
  indirect_expr(s.having, IndirectKind::kFilter, scope);
  indirect_expr(s.qualify, IndirectKind::kFilter, scope);
  if (top_level || has_limit(q, &s)) {
    if (q) order_by(q->order_by, rel, &scope);
    for (const OrderItem& o : s.sort_by) indirect_expr(o.expr, IndirectKind::kSort, scope);
  }
  return rel;
}

// ORDER BY: an output name or position first, else an expression of the block.
void Analyzer::order_by(const syntax::List<OrderItem>& items, Relation& rel, Scope* scope) {
  for (const OrderItem& o : items) {
    const Expr* e = o.expr;
    int pos = position_of(e, rel.columns.size());
    if (pos < 0 && e && e->kind == ExprKind::kColumn) {
      auto* c = static_cast<const ColumnRef*>(e);
      if (c->name.parts.size() == 1) {
        std::string key = lower(c->name.last().value);
        for (std::size_t i = 0; i < rel.columns.size(); ++i) {
          if (lower(rel.columns[i].name) == key) {
            pos = static_cast<int>(i);
            break;
          }
        }
      }
    }
    if (pos >= 0) {
      for (const Src& x : rel.columns[pos].sources.items()) {
        add_indirect(rel.indirect, Indirect{x.column, IndirectKind::kSort});
      }
    } else if (scope) {
      // Output names also stand inside ORDER BY expressions.
      scope->output_names_first = true;
      indirect_expr(e, IndirectKind::kSort, *scope);
      scope->output_names_first = false;
    }
  }
}

void Analyzer::star(const Star& st, Scope& scope, Relation& rel) {
  std::vector<std::string> skip;
  for (const Ident& x : st.excluded) skip.push_back(lower(x.value));
  if (st.qualifier.parts.empty()) {
    // Columns joined with using come once, first.
    std::vector<std::string> joined;
    for (const UsingColumn& u : scope.usings) {
      bool all_known = true;
      for (const FromSource& s : scope.sources) {
        if (s.type == SourceType::kBase && !s.columns) all_known = false;
      }
      if (!all_known) break;
      bool skipped = false;
      for (const std::string& x : skip) skipped = skipped || x == u.name;
      if (skipped) continue;
      std::string name = u.name;
      if (!u.sources.empty()) name = columns_[u.sources.items()[0].column].name;
      rel.columns.push_back(RelColumn{name, u.sources, false});
      joined.push_back(u.name);
    }
    std::vector<std::string> skip_all = skip;
    skip_all.insert(skip_all.end(), joined.begin(), joined.end());
    for (const FromSource& s : scope.sources) expand_source(s, st, scope, rel, skip_all);
    return;
  }
  std::vector<std::string> parts;
  for (const Ident& i : st.qualifier.parts) parts.push_back(lower(i.value));
  for (Scope* s = &scope; s; s = s->parent) {
    for (const FromSource& src : s->sources) {
      bool match = parts.size() == 1 && src.exposed == parts[0];
      if (!match && src.parts.size() >= parts.size()) {
        match = true;
        for (std::size_t i = 0; i < parts.size() && match; ++i) {
          match = src.parts[src.parts.size() - parts.size() + i] == parts[i];
        }
      }
      if (match) {
        expand_source(src, st, scope, rel, skip);
        return;
      }
    }
  }
  warn("unknown_qualifier", "no table or alias is named " + std::string(st.qualifier.last().value),
       st.span.begin);
}

void Analyzer::expand_source(const FromSource& src, const Star& st, Scope& scope, Relation& rel,
                             const std::vector<std::string>& skip) {
  auto skipped = [&](std::string_view name) {
    std::string key = lower(name);
    for (const std::string& x : skip) {
      if (x == key) return true;
    }
    return false;
  };
  std::vector<RelColumn> cols;
  if (src.type == SourceType::kBase) {
    if (!src.columns) {
      RelColumn c{"*", {}, false};
      c.sources.add(Src{column_id(src.table, "*"), Kind::kIdentity, false});
      rel.columns.push_back(std::move(c));
      rel.open_tables.push_back(src.table);
      warn("star_without_schema",
           "the columns of " + tables_[src.table].display + " are unknown", st.span.begin);
      return;
    }
    for (const std::string& name : *src.columns) {
      RelColumn c{name, {}, false};
      c.sources.add(Src{column_id(src.table, name), Kind::kIdentity, false});
      cols.push_back(std::move(c));
    }
  } else {
    cols = src.rel->columns;
    for (int t : src.rel->open_tables) rel.open_tables.push_back(t);
  }
  for (RelColumn& c : cols) {
    if (c.name != "*" && skipped(c.name)) continue;
    for (const Expr* r : st.replaced) {
      if (r->kind != ExprKind::kBinary) continue;
      auto* b = static_cast<const Binary*>(r);
      if (!b->right || b->right->kind != ExprKind::kColumn) continue;
      if (lower(static_cast<const ColumnRef*>(b->right)->name.last().value) != lower(c.name)) {
        continue;
      }
      RelColumn fresh{c.name, {}, false};
      Out out;
      out.set = &fresh.sources;
      expr(b->left, Kind::kIdentity, scope, out);
      c = std::move(fresh);
    }
    for (const Expr* r : st.renamed) {
      if (r->kind != ExprKind::kBinary) continue;
      auto* b = static_cast<const Binary*>(r);
      if (!b->left || b->left->kind != ExprKind::kColumn || !b->right ||
          b->right->kind != ExprKind::kColumn) {
        continue;
      }
      if (lower(static_cast<const ColumnRef*>(b->left)->name.last().value) == lower(c.name)) {
        c.name = std::string(static_cast<const ColumnRef*>(b->right)->name.last().value);
      }
    }
    rel.columns.push_back(std::move(c));
  }
}

// A left-nested chain of set operations (a union b union c ..) is combined in
// a loop from its innermost pair outwards.
// (f(x)).*: the columns of a generator that names them (Postgres
// (jsonb_each(x)).* gives key and value), each made from its arguments.
void Analyzer::record_star(const FieldAccess& f, Scope& scope, Relation& rel) {
  const Expr* base = f.base;
  for (int hops = 0; base && base->kind == ExprKind::kParen && hops < 64; ++hops) {
    base = static_cast<const Paren*>(base)->inner;
  }
  const auto* call = base && base->kind == ExprKind::kFunction ? static_cast<const Function*>(base)
                                                                : nullptr;
  const std::vector<std::string_view>* names =
      call && !call->name.parts.empty() ? generator_columns(lower(call->name.last().value))
                                        : nullptr;
  if (!names) {
    warn("unsupported_construct", "(expr).* in a select list", f.span.begin);
    return;
  }
  SourceSet args;
  Out out;
  out.set = &args;
  for (const Expr* a : call->args) expr(a, Kind::kTransformation, scope, out);
  for (std::string_view n : *names) rel.columns.push_back(RelColumn{std::string(n), args, false});
}

Relation Analyzer::set_operation(const SetOp& top, Scope* parent) {
  std::vector<const SetOp*> spine;
  const QueryBody* first = &top;
  while (first && first->kind == BodyKind::kSetOp) {
    spine.push_back(static_cast<const SetOp*>(first));
    first = spine.back()->left;
  }
  Relation rel = body(first, nullptr, parent, false);
  for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
    const SetOp& op = **it;
    Relation right = body(op.right, nullptr, parent, false);
    if (rel.columns.size() != right.columns.size()) {
      warn("set_operation_width",
           "the branches of " + std::string(op.op) + " have " +
               std::to_string(rel.columns.size()) + " and " +
               std::to_string(right.columns.size()) + " columns",
           op.right ? op.right->span.begin : op.span.begin);
    }
    if (op.op == "union") {
      for (const Indirect& i : right.indirect) add_indirect(rel.indirect, i);
      for (std::size_t i = 0; i < rel.columns.size() && i < right.columns.size(); ++i) {
        rel.columns[i].sources.add_all(right.columns[i].sources, Kind::kIdentity);
      }
      for (int t : right.open_tables) rel.open_tables.push_back(t);
    } else {
      // intersect / except: the right branch only decides which rows stay.
      for (const RelColumn& c : right.columns) {
        for (const Src& s : c.sources.items()) {
          add_indirect(rel.indirect, Indirect{s.column, IndirectKind::kFilter});
        }
      }
      for (const Indirect& i : right.indirect) add_indirect(rel.indirect, i);
    }
  }
  return rel;
}

Relation Analyzer::values(const Values& v, Scope* parent) {
  Relation rel;
  Scope scope;
  scope.parent = parent;
  scope.indirect = &rel.indirect;
  for (const Expr* row : v.rows) {
    std::vector<const Expr*> items;
    if (row && row->kind == ExprKind::kTuple) {
      for (const Expr* e : static_cast<const TupleExpr*>(row)->items) items.push_back(e);
    } else {
      items.push_back(row);
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i >= rel.columns.size()) rel.columns.push_back(RelColumn{"_col_" + std::to_string(i), {}, false});
      Out out;
      out.set = &rel.columns[i].sources;
      expr(items[i], Kind::kIdentity, scope, out);
    }
  }
  return rel;
}

}  // namespace sqlparse::lineage
