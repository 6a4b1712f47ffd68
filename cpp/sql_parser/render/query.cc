// Queries: the clause map of a SELECT, set operations as right-nested runs
// of one operator (INTERSECT binding tighter), ORDER BY / LIMIT of a set
// operation under a "from" wrapper, and WITH as the last key.
#include <memory>
#include <vector>

#include "sql_parser/classic_shapes.h"
#include "sql_parser/render/render_internal.h"
#include "syntax/parser.h"

namespace sqlparse::sql_parser::render {
namespace {

bool is_set_op(const ast::QueryBody* b, bool intersect) {
  if (b->kind != ast::BodyKind::kSetOp) return false;
  return (static_cast<const ast::SetOp*>(b)->op == "intersect") == intersect;
}

void check_set_op(const ast::SetOp& s) {
  if (!s.by_name.empty() || !s.modifier.empty()) unsupported("set operation modifiers (by name, ...)");
  if (s.op == "union") {
    if (s.quantifier == "distinct") unsupported("union distinct");
  } else if (!s.quantifier.empty()) {
    unsupported(std::string(s.op) + " " + std::string(s.quantifier));
  }
}

// A CTE's name; the classic grammar takes a dotted one (with a.b as ..).
std::string cte_name(const ast::Cte& cte) {
  std::string name = ident_text(cte.name);
  for (const ast::Ident& part : cte.name_more) {
    name.push_back('.');
    append_ident(part, &name);
  }
  return name;
}

}  // namespace

Node Renderer::statement(const ast::Statement& s) {
  if (s.kind != ast::StatementKind::kSelect) unsupported("statement other than SELECT");
  const auto& select = static_cast<const ast::SelectStatement&>(s);
  if (s.with && select.query->with) unsupported("two WITH clauses");
  if (s.with == nullptr) return query(*select.query, true);
  Node q = query(*select.query, false);
  // WITH written before the statement: the same place as a query's WITH.
  List ctes;
  for (const ast::Cte& cte : s.with->ctes) {
    Node m_node = Node::empty_map();
    Map& m = m_node.mutable_map();
    m.append("name", Node::string(cte_name(cte)));
    m.append("value", query(*cte.query, true));
    ctes.push_back(std::move(m_node));
  }
  q.mutable_map().append("with", finish_list(std::move(ctes)));
  return q;
}

Node Renderer::query(const ast::Query& q, bool allow_with) {
  Depth depth(*this);
  if (q.with && !allow_with) unsupported("WITH inside a sub-query");
  if (!q.limit_by.empty()) unsupported("limit .. by");
  if (q.fetch) unsupported("fetch first");
  if (!q.pipes.empty()) unsupported("pipe operators");
  if (!q.trailing.empty()) unsupported("trailing clause (for update, settings, ...)");
  if (q.limit_comma) unsupported("limit n, m");
  if (q.offset_rows) unsupported("offset .. rows");
  if (q.offset_before_limit && q.limit) unsupported("offset before limit");
  if (q.body->kind == ast::BodyKind::kParen) unsupported("parenthesised query");
  if (q.body->kind == ast::BodyKind::kValues) unsupported("values");
  if (q.body->kind == ast::BodyKind::kTable) unsupported("table t");
  if (q.body->kind == ast::BodyKind::kPivot) unsupported("pivot statement");

  Node orderby;
  if (!q.order_by.empty()) orderby = sort_items(q.order_by);
  Node limit = q.limit ? value(q.limit) : Node();
  Node offset = q.offset ? value(q.offset) : Node();

  // The WITH clause first, so that errors come in the order the text has them.
  Node with;
  if (q.with) {
    if (q.with->recursive) unsupported("with recursive");
    List ctes;
    for (const ast::Cte& cte : q.with->ctes) {
      if (!cte.columns.empty()) unsupported("CTE column list");
      if (!cte.materialized.empty()) unsupported("materialized CTE");
      if (cte.query == nullptr) unsupported("WITH expression");
      check_name(cte.name);
      Node m_node = Node::empty_map();
      Map& m = m_node.mutable_map();
      m.append("name", Node::string(cte_name(cte)));
      m.append("value", query(*cte.query, true));
      ctes.push_back(std::move(m_node));
    }
    with = finish_list(std::move(ctes));
  }

  Node result;
  if (q.body->kind == ast::BodyKind::kSelect) {
    result = simple_select(static_cast<const ast::Select&>(*q.body));
    Map& m = result.mutable_map();
    put(m, "orderby", std::move(orderby));
    put(m, "offset", std::move(offset));
    put(m, "limit", std::move(limit));
  } else {
    // The branches and operators of the outer chain, in text order; an
    // INTERSECT chain is one branch.
    std::vector<const char*> ops;
    auto intersect_chain = [&](const ast::QueryBody* b) -> Node {
      if (!is_set_op(b, true)) {
        if (b->kind != ast::BodyKind::kSelect) unsupported("parenthesised query");
        return simple_select(static_cast<const ast::Select&>(*b));
      }
      List branches;
      std::vector<const ast::QueryBody*> todo{b};
      while (!todo.empty()) {
        const ast::QueryBody* at = todo.back();
        todo.pop_back();
        if (is_set_op(at, true)) {
          const auto& s = static_cast<const ast::SetOp&>(*at);
          check_set_op(s);
          todo.push_back(s.right);
          todo.push_back(s.left);
        } else if (at->kind == ast::BodyKind::kSelect) {
          branches.push_back(simple_select(static_cast<const ast::Select&>(*at)));
        } else {
          unsupported("parenthesised query");
        }
      }
      return single("intersect", Node::list(std::move(branches)));
    };
    // In-order walk: a set operation node is its left side, its operator,
    // its right side.
    std::vector<std::pair<const ast::QueryBody*, bool>> todo{{q.body, false}};
    List branches;
    while (!todo.empty()) {
      auto [at, op_only] = todo.back();
      todo.pop_back();
      if (op_only) {
        const auto& s = static_cast<const ast::SetOp&>(*at);
        check_set_op(s);
        ops.push_back(s.op == "union" ? (s.quantifier == "all" ? "union_all" : "union") : "except");
        continue;
      }
      if (at->kind == ast::BodyKind::kSetOp && !is_set_op(at, true)) {
        const auto& s = static_cast<const ast::SetOp&>(*at);
        todo.push_back({s.right, false});
        todo.push_back({at, true});
        todo.push_back({s.left, false});
        continue;
      }
      branches.push_back(intersect_chain(at));
    }
    if (ops.empty()) {
      // An INTERSECT chain alone takes ORDER BY / LIMIT / OFFSET as keys of
      // its own map, as a single SELECT does.
      result = std::move(branches[0]);
      Map& m = result.mutable_map();
      put(m, "orderby", std::move(orderby));
      put(m, "offset", std::move(offset));
      put(m, "limit", std::move(limit));
    } else {
      // Runs of one operator, built from the right, each holding the rest.
      Node tail;
      bool last_run = true;
      std::size_t i = ops.size();
      while (i > 0) {
        std::size_t start = i - 1;
        while (start > 0 && std::string_view(ops[start - 1]) == ops[i - 1]) --start;
        List items;
        const std::size_t branch_end = last_run ? branches.size() : i;
        for (std::size_t b = start; b < branch_end; ++b) items.push_back(std::move(branches[b]));
        if (!last_run) items.push_back(std::move(tail));
        tail = single(ops[i - 1], Node::list(std::move(items)));
        last_run = false;
        i = start;
      }
      result = std::move(tail);
      if (!orderby.is_null() || !offset.is_null() || !limit.is_null()) {
        Node wrapper_node = Node::empty_map();
        Map& wrapper = wrapper_node.mutable_map();
        wrapper.append("from", std::move(result));
        put(wrapper, "orderby", std::move(orderby));
        put(wrapper, "offset", std::move(offset));
        put(wrapper, "limit", std::move(limit));
        result = std::move(wrapper_node);
      }
    }
  }
  if (!with.is_null()) result.mutable_map().append("with", std::move(with));
  return result;
}

Node Renderer::simple_select(const ast::Select& s) {
  Depth depth(*this);
  if (s.from_first) unsupported("FROM-first query");
  if (!s.into.parts.empty()) unsupported("select .. into");
  if (s.prewhere) unsupported("prewhere");
  if (!s.connect_by.empty() || s.connect_by_condition || s.start_with) unsupported("connect by");
  if (s.group_by_all || !s.group_by_quantifier.empty() || !s.group_by_modifier.empty()) {
    unsupported("group by all / with rollup");
  }
  if (!s.windows.empty()) unsupported("window clause");
  if (s.qualify) unsupported("qualify");
  if (!s.cluster_by.empty() || !s.distribute_by.empty() || !s.sort_by.empty()) {
    unsupported("cluster / distribute / sort by");
  }
  if (!s.sample.empty()) unsupported("using sample");
  Node q_node = Node::empty_map();
  Map& q = q_node.mutable_map();
  select_clause(s, q);
  if (!s.from.empty()) q.append("from", from(s.from));
  if (s.where) put(q, "where", value(s.where));
  if (!s.group_by.empty()) {
    List items;
    items.reserve(s.group_by.size());
    std::size_t index = 0;
    for (const ast::Expr* e : s.group_by) {
      const ast::Name* alias = index < s.group_by_aliases.size() ? &s.group_by_aliases[index] : nullptr;
      ++index;
      Node v;
      if (e->kind == ast::ExprKind::kGrouping) {
        const auto& g = *static_cast<const ast::Grouping*>(e);
        if (g.form == "grouping sets") unsupported("grouping sets");
        List args;
        args.reserve(g.items.size());
        for (const ast::Expr* a : g.items) args.push_back(value(a));
        Node a = finish_list(std::move(args));
        v = single(std::string(g.form), a.is_null() ? Node::empty_map() : std::move(a));
      } else {
        v = value(e);
      }
      Node m_node = Node::empty_map();
      Map& m = m_node.mutable_map();
      put(m, "value", std::move(v));
      if (alias != nullptr && !alias->parts.empty()) m.append("name", Node::string(name_text(*alias, trusted_names_)));
      items.push_back(std::move(m_node));
    }
    put(q, "groupby", finish_list(std::move(items)));
  }
  if (s.having) put(q, "having", value(s.having));
  return q_node;
}

}  // namespace sqlparse::sql_parser::render

namespace sqlparse::sql_parser {

Node render_classic(const syntax::Statement& statement, const syntax::Dialect& dialect) {
  render::Renderer r(dialect);
  return r.statement(statement);
}

}  // namespace sqlparse::sql_parser
