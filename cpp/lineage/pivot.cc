// PIVOT and UNPIVOT: the relation they make of their source.
//
// A pivot keeps the source's other columns (its implicit grouping) and adds a
// column per IN value (and aggregate), fed by the aggregate's arguments, the
// pivot column choosing the rows (conditional). An unpivot keeps the columns
// outside its IN list and adds the name column (no sources) and the value
// column(s), fed by the IN list's columns.
#include <string>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

using namespace syntax;

namespace {

// The column name an IN value gives: its alias, else the value as written
// without quotes.
std::string in_item_name(const SelectItem& item) {
  if (!item.alias.value.empty()) return std::string(item.alias.value);
  const Expr* e = item.expr;
  if (e && e->kind == ExprKind::kLiteral) {
    std::string_view t = static_cast<const Literal*>(e)->text;
    if (t.size() >= 2 && (t.front() == '\'' || t.front() == '"')) t = t.substr(1, t.size() - 2);
    return std::string(t);
  }
  if (e && e->kind == ExprKind::kColumn) {
    return std::string(static_cast<const ColumnRef*>(e)->name.last().value);
  }
  return "_col";
}

// Lower-case names of the plain columns an expression reads by name (nested
// calls, tuples and parentheses a few levels deep).
void column_names(const Expr* e, std::vector<std::string>& out, int depth = 0) {
  if (!e || depth > 64) return;
  if (e->kind == ExprKind::kColumn) {
    out.push_back(lower(static_cast<const ColumnRef*>(e)->name.last().value));
  } else if (e->kind == ExprKind::kFunction) {
    for (const Expr* a : static_cast<const Function*>(e)->args) column_names(a, out, depth + 1);
  } else if (e->kind == ExprKind::kTuple) {
    for (const Expr* a : static_cast<const TupleExpr*>(e)->items) column_names(a, out, depth + 1);
  } else if (e->kind == ExprKind::kParen) {
    column_names(static_cast<const Paren*>(e)->inner, out, depth + 1);
  }
}

}  // namespace

void Analyzer::pivot(const Pivot& p, Scope& scope, std::vector<Indirect>& ind) {
  // The source in a scope of its own, so that its names do not leak out.
  Scope inner;
  inner.parent = scope.parent;
  inner.indirect = &ind;
  from_item(p.source, inner, ind);

  std::vector<std::string> used;  // source columns consumed by the operator
  for (const SelectItem& a : p.aggregates) column_names(a.expr, used);
  for (const Expr* f : p.for_columns) column_names(f, used);
  const bool unpivot = p.kind == TableKind::kUnpivot;
  if (unpivot) {
    for (const SelectItem& item : p.in_items) column_names(item.expr, used);
  }
  // DuckDB: with GROUP BY only the grouping columns are kept beside the
  // pivot's own.
  std::vector<std::string> grouped;
  for (const Expr* g : p.group_by) column_names(g, grouped);
  for (const Expr* g : p.group_by) indirect_expr(g, IndirectKind::kGroupBy, inner);
  auto is_used = [&](std::string_view name) {
    std::string key = lower(name);
    for (const std::string& u : used) {
      if (u == key) return true;
    }
    if (grouped.empty()) return false;
    for (const std::string& g : grouped) {
      if (g == key) return false;
    }
    return true;
  };

  Relation& rel = new_relation();
  for (const FromSource& src : inner.sources) {
    if (src.type == SourceType::kBase) {
      if (!src.columns) {
        // The source's other columns, unknown: a star column stands for them.
        RelColumn star{"*", {}, false};
        star.sources.add(Src{column_id(src.table, "*"), Kind::kIdentity, false});
        rel.columns.push_back(std::move(star));
        rel.open_tables.push_back(src.table);
        continue;
      }
      for (const std::string& c : *src.columns) {
        if (is_used(c)) continue;
        RelColumn col{c, {}, false};
        col.sources.add(Src{column_id(src.table, c), Kind::kIdentity, false});
        rel.columns.push_back(std::move(col));
      }
    } else {
      for (const RelColumn& c : src.rel->columns) {
        if (!is_used(c.name)) rel.columns.push_back(c);
      }
      for (int t : src.rel->open_tables) rel.open_tables.push_back(t);
    }
  }

  if (!unpivot) {
    SourceSet chooser;
    Out choose;
    choose.set = &chooser;
    for (const Expr* f : p.for_columns) expr(f, Kind::kConditional, inner, choose);
    std::vector<SourceSet> values;
    for (const SelectItem& a : p.aggregates) {
      SourceSet set;
      Out out;
      out.set = &set;
      expr(a.expr, Kind::kIdentity, inner, out);
      set.add_all(chooser, Kind::kIdentity);
      values.push_back(std::move(set));
    }
    // DuckDB's pivot statement without USING counts rows.
    if (p.aggregates.empty()) values.push_back(chooser);
    if (p.in_items.empty() || p.in_query || p.in_any) {
      warn("unsupported_construct", "pivot over values not listed: its columns are not known",
           p.span.begin);
    }
    for (const SelectItem& item : p.in_items) {
      for (std::size_t i = 0; i < values.size(); ++i) {
        std::string name = in_item_name(item);
        if (p.aggregates.size() > 1 && !p.aggregates[i].alias.value.empty()) {
          name.append(1, '_').append(p.aggregates[i].alias.value);
        }
        rel.columns.push_back(RelColumn{name, values[i], true});
      }
    }
  } else if (p.for_columns.empty()) {
    // DuckDB's unpivot statement without INTO: columns name and value.
    rel.columns.push_back(RelColumn{"name", {}, false});
    RelColumn value{"value", {}, false};
    for (const SelectItem& item : p.in_items) {
      Out out;
      out.set = &value.sources;
      expr(item.expr, Kind::kIdentity, inner, out);
    }
    rel.columns.push_back(std::move(value));
  } else {
    for (const Expr* f : p.for_columns) {
      std::vector<std::string> names;
      column_names(f, names);
      if (f && f->kind == ExprKind::kColumn) {
        rel.columns.push_back(
            RelColumn{std::string(static_cast<const ColumnRef*>(f)->name.last().value), {}, false});
      }
    }
    for (std::size_t j = 0; j < p.aggregates.size(); ++j) {
      const Expr* v = p.aggregates[j].expr;
      if (!v || v->kind != ExprKind::kColumn) continue;
      RelColumn col{std::string(static_cast<const ColumnRef*>(v)->name.last().value), {}, false};
      for (const SelectItem& item : p.in_items) {
        const Expr* e = item.expr;
        if (e && e->kind == ExprKind::kTuple) {
          auto* t = static_cast<const TupleExpr*>(e);
          e = j < t->items.size() ? t->items[j] : nullptr;
        }
        Out out;
        out.set = &col.sources;
        expr(e, Kind::kIdentity, inner, out);
      }
      rel.columns.push_back(std::move(col));
    }
  }

  std::string default_name;
  if (!inner.sources.empty()) default_name = inner.sources.back().exposed;
  add_relation_source(scope, rel, p.alias, default_name, false);
}

}  // namespace sqlparse::lineage
