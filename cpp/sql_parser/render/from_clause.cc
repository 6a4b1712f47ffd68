// FROM lists and joins: sources as strings or value/name maps, joins as
// {kind: source, on / using} entries after the sources they follow.
#include "sql_parser/classic_shapes.h"
#include "sql_parser/render/render_internal.h"

namespace sqlparse::sql_parser::render {
namespace {

bool classic_join_type(std::string_view type) {
  if (type.substr(0, 8) == "natural ") type.remove_prefix(8);
  return type == "join" || type == "inner join" || type == "left join" || type == "left outer join" ||
         type == "right join" || type == "right outer join" || type == "full join" ||
         type == "full outer join" || type == "cross join";
}

}  // namespace

Node Renderer::from(const ast::List<ast::TableRef*>& refs) {
  List out;
  out.reserve(refs.size());
  for (const ast::TableRef* t : refs) append_from(*t, out, {});
  return finish_list(std::move(out));
}

// A join tree is left-deep: its left side first, then one entry per join.
// A join written right after another join's source without its condition
// (a join b join c on ..) nests to the right in the typed tree; the classic
// list reads it flat, the outer join kind keying the inner left source.
void Renderer::append_from(const ast::TableRef& t, List& out, std::string_view pending_join) {
  Depth depth(*this);
  if (t.kind != ast::TableKind::kJoin) {
    if (pending_join.empty()) {
      out.push_back(table_source(t, false));
    } else {
      Node m_node = Node::empty_map();
      Map& m = m_node.mutable_map();
      m.append(std::string(pending_join), table_source(t, true));
      out.push_back(std::move(m_node));
    }
    return;
  }
  const auto& j = static_cast<const ast::Join&>(t);
  if (j.alias) unsupported("alias of a join");
  if (!classic_join_type(j.type)) unsupported("join type " + std::string(j.type));
  if (j.using_alias || j.match_condition) unsupported("join using alias / match_condition");
  if (j.on && !j.using_columns.empty()) unsupported("join with on and using");
  append_from(*j.left, out, pending_join);
  if (j.right->kind == ast::TableKind::kJoin) {
    if (j.on || !j.using_columns.empty()) unsupported("nested join on the right");
    append_from(*j.right, out, j.type);
    return;
  }
  Node m_node = Node::empty_map();
  Map& m = m_node.mutable_map();
  m.append(std::string(j.type), table_source(*j.right, true));
  if (j.on) put(m, "on", value(j.on));
  if (!j.using_columns.empty()) {
    List columns;
    columns.reserve(j.using_columns.size());
    for (std::size_t i = 0; i < j.using_columns.size(); ++i) {
      check_name(j.using_columns[i], trusted_names_);
      std::string column = ident_text(j.using_columns[i], trusted_names_);
      if (i < j.classic_using_more.size()) {
        for (const ast::Ident& part : j.classic_using_more[i]) {  // using (a.b) (classic mode)
          column.push_back('.');
          append_ident(part, &column, trusted_names_);
        }
      }
      columns.push_back(Node::string(std::move(column)));
    }
    m.append("using", finish_list(std::move(columns)));
  }
  out.push_back(std::move(m_node));
}

Node Renderer::table_source(const ast::TableRef& t, bool in_join) {
  if (!t.match_recognize.empty()) unsupported("match_recognize");
  Node source;
  switch (t.kind) {
    case ast::TableKind::kNamed: {
      const auto& n = static_cast<const ast::NamedTable&>(t);
      if (n.only || n.final || n.time_travel || !n.sample.empty() || !n.hints.empty() ||
          !n.partition.empty()) {
        unsupported("table modifiers (only, hints, sampling, time travel ...)");
      }
      if (n.args.empty()) {
        source = name_node(n.name, trusted_names_);
        break;
      }
      const std::string name = name_text(n.name, trusted_names_);
      List args;
      args.reserve(n.args.size());
      for (const ast::Expr* a : n.args) args.push_back(value(a));
      Node a = finish_list(std::move(args));
      Node m_node = Node::empty_map();
      Map& m = m_node.mutable_map();
      m.append(ascii_lower(name), a.is_null() ? Node::empty_map() : std::move(a));
      source = std::move(m_node);
      break;
    }
    case ast::TableKind::kDerived: {
      const auto& d = static_cast<const ast::DerivedTable&>(t);
      if (d.lateral) unsupported("lateral");
      source = query(*d.query, false);
      break;
    }
    case ast::TableKind::kFunction: {
      const auto& f = static_cast<const ast::TableFunction&>(t);
      if (f.lateral || f.with_ordinality || f.offset_alias || f.with_offset || !f.with_schema.empty()) {
        unsupported("table function modifiers");
      }
      if (f.call == nullptr || f.call->kind != ast::ExprKind::kFunction) unsupported("table expression");
      source = function(*static_cast<const ast::Function*>(f.call), false);
      break;
    }
    case ast::TableKind::kParen: unsupported("parenthesised join");
    case ast::TableKind::kPivot: unsupported("pivot");
    case ast::TableKind::kUnpivot: unsupported("unpivot");
    case ast::TableKind::kLateralView: unsupported("lateral view");
    case ast::TableKind::kStatement: unsupported("data-modifying statement in FROM");
    case ast::TableKind::kValues: {
      // values (1, 2): a call of "values" in the classic grammar.
      const ast::Values* v = static_cast<const ast::ValuesTable&>(t).values;
      if (v == nullptr || v->rows.size() != 1 || v->row_keyword) unsupported("values in FROM");
      const ast::Expr* row = v->rows[0];
      if (row->kind != ast::ExprKind::kTuple && row->kind != ast::ExprKind::kParen) unsupported("values without parentheses");
      List args;
      if (row->kind == ast::ExprKind::kTuple && static_cast<const ast::TupleExpr*>(row)->keyword.empty()) {
        for (const ast::Expr* a : static_cast<const ast::TupleExpr*>(row)->items) args.push_back(value(a));
      } else {
        args.push_back(value(row));
      }
      Node a = finish_list(std::move(args));
      source = single("values", a.is_null() ? Node::empty_map() : std::move(a));
      break;
    }
    case ast::TableKind::kJoin: unsupported("nested join");
  }
  Node alias;
  if (t.alias) {
    check_name(t.alias->name, trusted_names_);
    if (trusted_names_ && t.alias->name.quote == 0 && t.alias->name_more.empty() && t.alias->columns.empty()) {
      alias = Node::string_copy(t.alias->name.text);
    } else {
      std::string name = ident_text(t.alias->name, trusted_names_);
      for (const ast::Ident& part : t.alias->name_more) {  // as b.c (classic mode)
        name.push_back('.');
        append_ident(part, &name, trusted_names_);
      }
      if (t.alias->columns.empty()) {
        alias = Node::string(std::move(name));
      } else {
        List columns;
        columns.reserve(t.alias->columns.size());
        for (std::size_t i = 0; i < t.alias->columns.size(); ++i) {
          check_name(t.alias->columns[i], trusted_names_);
          std::string column = ident_text(t.alias->columns[i], trusted_names_);
          if (i < t.alias->columns_more.size()) {
            for (const ast::Ident& part : t.alias->columns_more[i]) {  // t w (a.b) (classic mode)
              column.push_back('.');
              append_ident(part, &column, trusted_names_);
            }
          }
          columns.push_back(Node::string(std::move(column)));
        }
        alias = single(std::move(name), finish_list(std::move(columns)));
      }
    }
  }
  if (alias.is_null() && source.is_string()) return source;
  Node m_node = Node::empty_map();
  Map& m = m_node.mutable_map();
  if (in_join && !alias.is_null()) {
    m.append("name", std::move(alias));
    m.append("value", std::move(source));
  } else {
    m.append("value", std::move(source));
    put(m, "name", std::move(alias));
  }
  return m_node;
}

}  // namespace sqlparse::sql_parser::render
