// Pipe operators (|> select, |> where ...): each reads the relation the
// operators before it made, as a source of its own scope.
#include <string>
#include <vector>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

using namespace syntax;

namespace {

// The names of a comma list kept as raw text: "a, b" / "a as x, b as y".
std::vector<std::string> raw_list(std::string_view raw) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at <= raw.size()) {
    std::size_t comma = raw.find(',', at);
    std::string_view item = raw.substr(at, comma == std::string_view::npos ? raw.npos : comma - at);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (!item.empty()) out.emplace_back(item);
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  return out;
}

std::string unquoted(std::string_view name) {
  if (name.size() >= 2 && (name.front() == '`' || name.front() == '"')) {
    name = name.substr(1, name.size() - 2);
  }
  return std::string(name);
}

}  // namespace

Relation Analyzer::pipes(const Query& q, Relation rel, Scope* parent) {
  // The FROM alias of a FROM-first query names the table until an operator
  // makes new columns (|> select, |> aggregate).
  std::string name;
  if (q.body && q.body->kind == BodyKind::kSelect) {
    auto* s = static_cast<const Select*>(q.body);
    if (s->from.size() == 1 && s->from[0]->alias && s->items.empty()) {
      name = lower(s->from[0]->alias->name.value);
    }
  }
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
    if (op.join) {
      // The input joined: every column of both sides, as select * would list them.
      join(*op.join, 0, scope, rel.indirect);
      Star st;
      st.kind = ExprKind::kStar;
      st.span = op.span;
      star(st, scope, rel);
    } else if (!op.queries.empty()) {
      rel.columns = input.columns;
      rel.open_tables = input.open_tables;
      set_operation_pipe(op, rel, parent);
      continue;
    } else if (op.op == "set") {
      // |> set a = ..: the named columns get new values, in place.
      rel.columns = input.columns;
      rel.open_tables = input.open_tables;
      for (const Assignment& a : op.set) {
        if (a.columns.empty()) continue;
        std::string key = lower(a.columns[0].last().value);
        for (RelColumn& c : rel.columns) {
          if (lower(c.name) != key) continue;
          c.sources = SourceSet();
          Out o;
          o.set = &c.sources;
          expr(a.value, Kind::kIdentity, scope, o);
        }
      }
      continue;
    } else if (op.op == "select") {
      items(rel);
    } else if (op.op == "extend") {
      rel.columns = input.columns;
      rel.open_tables = input.open_tables;
      items(rel);
      continue;
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
      continue;
    } else {
      rel.columns = input.columns;
      rel.open_tables = input.open_tables;
      if (op.op == "as") {
        name = lower(op.rest);
      } else if (op.op == "drop") {
        for (const std::string& item : raw_list(op.rest)) {
          std::string key = lower(unquoted(item));
          std::erase_if(rel.columns, [&](const RelColumn& c) { return lower(c.name) == key; });
        }
      } else if (op.op == "rename") {
        for (const std::string& item : raw_list(op.rest)) {
          std::size_t as = lower(item).find(" as ");
          if (as == std::string::npos) continue;
          std::string from = lower(unquoted(item.substr(0, as)));
          for (RelColumn& c : rel.columns) {
            if (lower(c.name) == from) c.name = unquoted(item.substr(as + 4));
          }
        }
      } else if (op.op != "order by" && op.op != "limit" && op.op != "tablesample") {
        warn("unsupported_construct", "pipe operator " + std::string(op.op) + ": not traced",
             op.span.begin);
      }
      continue;
    }
    name.clear();
  }
  return rel;
}

// |> union all (..), (..): the other inputs' columns join the input's, by
// position or by name; intersect and except only decide which rows stay.
void Analyzer::set_operation_pipe(const PipeOp& op, Relation& rel, Scope* parent) {
  for (const Query* q : op.queries) {
    Relation other = query(q, parent, false);
    if (op.op != "union") {
      for (const RelColumn& c : other.columns) {
        for (const Src& s : c.sources.items()) {
          add_indirect(rel.indirect, Indirect{s.column, IndirectKind::kFilter});
        }
      }
      for (const Indirect& i : other.indirect) add_indirect(rel.indirect, i);
      continue;
    }
    if (!op.by_name && other.columns.size() != rel.columns.size()) {
      warn("set_operation_width",
           "the inputs of union have " + std::to_string(rel.columns.size()) + " and " +
               std::to_string(other.columns.size()) + " columns",
           q ? q->span.begin : op.span.begin);
    }
    for (const Indirect& i : other.indirect) add_indirect(rel.indirect, i);
    for (std::size_t i = 0; i < other.columns.size(); ++i) {
      RelColumn* into = nullptr;
      if (!op.by_name) {
        into = i < rel.columns.size() ? &rel.columns[i] : nullptr;
      } else {
        for (RelColumn& c : rel.columns) {
          if (lower(c.name) == lower(other.columns[i].name)) into = &c;
        }
        if (!into) into = &rel.columns.emplace_back(RelColumn{other.columns[i].name, {}, false});
      }
      if (into) into->sources.add_all(other.columns[i].sources, Kind::kIdentity);
    }
    for (int t : other.open_tables) rel.open_tables.push_back(t);
  }
}

}  // namespace sqlparse::lineage
