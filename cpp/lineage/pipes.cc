// Pipe operators (|> select, |> where ...): each reads the relation the
// operators before it made, as a source of its own scope.
#include <string>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

using namespace syntax;

Relation Analyzer::pipes(const Query& q, Relation rel, Scope* parent) {
  std::string name;  // |> as name
  for (const PipeOp& op : q.pipes) {
    Relation& input = new_relation();
    input = std::move(rel);
    rel = Relation{};
    rel.indirect = input.indirect;
    Scope scope;
    scope.parent = parent;
    scope.indirect = &rel.indirect;
    add_relation_source(scope, input, nullptr, name, false);
    auto items = [&](Relation& out) {
      for (const SelectItem& item : op.items) {
        if (item.expr && item.expr->kind == ExprKind::kStar) {
          star(*static_cast<const Star*>(item.expr), scope, out);
          continue;
        }
        RelColumn c{output_name(item, out.columns.size()), {}, has_aggregate(item.expr)};
        Out o;
        o.set = &c.sources;
        expr(item.expr, Kind::kIdentity, scope, o);
        out.columns.push_back(std::move(c));
      }
    };
    if (op.op == "select") {
      items(rel);
    } else if (op.op == "extend") {
      rel.columns = input.columns;
      rel.open_tables = input.open_tables;
      items(rel);
    } else if (op.op == "aggregate") {
      for (const Expr* g : op.group_by) {
        RelColumn c{"_col_" + std::to_string(rel.columns.size()), {}, false};
        if (g && g->kind == ExprKind::kColumn) {
          c.name = std::string(static_cast<const ColumnRef*>(g)->name.last().value);
        }
        Out o;
        o.set = &c.sources;
        expr(g, Kind::kIdentity, scope, o);
        for (const Src& s : c.sources.items()) {
          add_indirect(rel.indirect, Indirect{s.column, IndirectKind::kGroupBy});
        }
        rel.columns.push_back(std::move(c));
      }
      items(rel);
    } else if (op.op == "where") {
      rel.columns = input.columns;
      rel.open_tables = input.open_tables;
      for (const SelectItem& item : op.items) indirect_expr(item.expr, IndirectKind::kFilter, scope);
    } else {
      rel.columns = input.columns;
      rel.open_tables = input.open_tables;
      if (op.op == "as") {
        name = lower(op.rest);
        continue;
      }
      if (op.op != "order by" && op.op != "limit" && op.op != "tablesample") {
        warn("unsupported_construct", "pipe operator " + std::string(op.op) + ": not traced",
             op.span.begin);
      }
    }
    name.clear();
  }
  return rel;
}

}  // namespace sqlparse::lineage
