// The select list, TOP, windows and sort items in the classic shapes.
#include "sql_parser/classic_shapes.h"
#include "sql_parser/render/render_internal.h"

namespace sqlparse::sql_parser::render {

void Renderer::select_clause(const ast::Select& s, Map& out) {
  if (s.items.empty()) unsupported("select without items (or FROM-first)");
  if (s.top) {
    if (s.top->kind != ast::ExprKind::kLiteral && s.top->kind != ast::ExprKind::kParen) {
      unsupported("top without a number or parentheses");
    }
    Node count = value(s.top);
    if (!s.top_with_ties && !s.top_percent) {
      put(out, "top", std::move(count));
    } else {
      Node m_node = Node::empty_map();
      Map& m = m_node.mutable_map();
      if (s.top_with_ties) m.append("ties", Node::boolean(true));
      put(m, s.top_percent ? "percent" : "value", std::move(count));
      out.append("top", std::move(m_node));
    }
  }
  if (!s.distinct_on.empty()) unsupported("distinct on (..)");
  if (s.transform != nullptr) unsupported("select transform (..) using");
  const bool distinct = s.distinct == "distinct";
  if (!s.distinct.empty() && !distinct) unsupported("select " + std::string(s.distinct));
  List items;
  items.reserve(s.items.size());
  std::size_t index = 0;
  for (const ast::SelectItem& item : s.items) {
    const ast::List<ast::Ident>* more = index < s.item_alias_more.size() ? &s.item_alias_more[index] : nullptr;
    ++index;
    items.push_back(select_item(item, distinct, more));
  }
  if (distinct) {
    out.append("select", single("value", single("distinct", finish_list(std::move(items)))));
  } else {
    put(out, "select", finish_list(std::move(items)));
  }
}

namespace {

// The interval '..' word that ends an item as written, if any.
const ast::Interval* trailing_interval(const ast::Expr* e) {
  for (;;) {
    switch (e->kind) {
      case ast::ExprKind::kBinary: e = static_cast<const ast::Binary*>(e)->right; continue;
      case ast::ExprKind::kUnary:
        if (static_cast<const ast::Unary*>(e)->postfix) return nullptr;
        e = static_cast<const ast::Unary*>(e)->operand;
        continue;
      case ast::ExprKind::kBetween: e = static_cast<const ast::Between*>(e)->high; continue;
      case ast::ExprKind::kInterval: {
        const auto* iv = static_cast<const ast::Interval*>(e);
        const bool text = iv->value != nullptr && iv->value->kind == ast::ExprKind::kLiteral &&
                          static_cast<const ast::Literal*>(iv->value)->literal_kind == ast::LiteralKind::kString;
        return text && !iv->unit.empty() && iv->unit.find(' ') == std::string_view::npos ? iv : nullptr;
      }
      default: return nullptr;
    }
  }
}

}  // namespace

Node Renderer::select_item(const ast::SelectItem& item, bool in_distinct, const ast::List<ast::Ident>* alias_more) {
  if (!item.aliases.empty()) unsupported("alias list as (a, b)");
  const ast::Expr* e = item.expr;
  if (e->kind == ast::ExprKind::kStar && static_cast<const ast::Star*>(e)->qualifier.parts.empty()) {
    Node star = value(e);
    if (!item.alias.text.empty()) unsupported("alias of *");
    return in_distinct ? single("value", std::move(star)) : star;
  }
  Node m_node = Node::empty_map();
  Map& m = m_node.mutable_map();
  const ast::Function* call = nullptr;
  if (e->kind == ast::ExprKind::kFunction) call = static_cast<const ast::Function*>(e);
  if (call || item.value_window) {
    Depth depth(*this);
    m.append("value", call ? function(*call, true) : value(e));
    const ast::Function& w = call ? *call : *item.value_window;
    if (!w.within_group.empty()) m.append("within", single("orderby", sort_items(w.within_group)));
    if (w.over) m.append("over", window(*w.over));
  } else if (const ast::Interval* iv = item.alias.text.empty() ? trailing_interval(e) : nullptr) {
    // interval '1 day' d: the word after the text is the item's alias there.
    ast::Ident alias;
    alias.text = iv->unit;
    check_name(alias);
    unit_is_alias_ = iv;
    m.append("value", value(e));
    unit_is_alias_ = nullptr;
    m.append("name", Node::string(ident_text(alias)));
    return m_node;
  } else {
    m.append("value", value(e));
  }
  if (!item.alias.text.empty()) {
    // a[1] in a dialect where [1] is a name: a subscript for the classic lexer.
    if (!trusted_names_ && item.alias.quote == '[' && item.alias.span.begin == e->span.end) unsupported("subscript");
    check_name(item.alias, trusted_names_);
    if (trusted_names_ && item.alias.quote == 0 && (alias_more == nullptr || alias_more->empty())) {
      m.append("name", Node::string_copy(item.alias.text));
    } else {
      std::string name = ident_text(item.alias, trusted_names_);
      if (alias_more != nullptr) {
        for (const ast::Ident& part : *alias_more) {  // as b.c (classic mode)
          name.push_back('.');
          append_ident(part, &name, trusted_names_);
        }
      }
      m.append("name", Node::string(std::move(name)));
    }
  }
  return m_node;
}

Node Renderer::window(const ast::WindowSpec& w) {
  if (!w.base.text.empty()) unsupported("window based on a named window");
  Node over_node = Node::empty_map();
  Map& over = over_node.mutable_map();
  if (!w.partition_by.empty()) {
    List items;
    items.reserve(w.partition_by.size());
    for (const ast::Expr* e : w.partition_by) items.push_back(value(e));
    put(over, "partitionby", finish_list(std::move(items)));
  }
  if (!w.order_by.empty()) put(over, "orderby", sort_items(w.order_by));
  if (w.frame) over.append("range", frame(*w.frame));
  return over_node;
}

Node Renderer::frame(const ast::WindowFrame& f) {
  if (f.units != "rows" && f.units != "range") unsupported("frame units " + std::string(f.units));
  if (!f.exclude.empty()) unsupported("frame exclusion");
  auto bound = [&](const ast::Expr* v, std::string_view word) -> Node {
    if (word == "unbounded preceding" || word == "unbounded following") return Node();
    if (word == "current row") return Node::integer(0);
    if (v == nullptr || v->kind != ast::ExprKind::kLiteral ||
        static_cast<const ast::Literal*>(v)->literal_kind != ast::LiteralKind::kNumber) {
      unsupported("frame bound other than a number");
    }
    Node n = number_node(static_cast<const ast::Literal*>(v)->text);
    if (n.is_map()) unsupported("frame bound other than a number");
    if (word == "preceding") return negate_number(n);
    if (word == "following") return n;
    unsupported("frame bound " + std::string(word));
  };
  Node low = bound(f.start_value, f.start);
  Node high = f.end.empty() ? Node::integer(0) : bound(f.end_value, f.end);
  Node m_node = Node::empty_map();
  Map& m = m_node.mutable_map();
  put(m, "min", std::move(low));
  put(m, "max", std::move(high));
  return m_node;
}

Node Renderer::sort_items(const ast::List<ast::OrderItem>& items) {
  List out;
  out.reserve(items.size());
  for (const ast::OrderItem& item : items) {
    if (!item.nulls.empty()) unsupported("nulls first / last");
    if (!item.direction.empty() && item.direction != "asc" && item.direction != "desc") {
      unsupported("order by .. using");
    }
    Node m_node = Node::empty_map();
    Map& m = m_node.mutable_map();
    put(m, "value", value(item.expr));
    if (!item.direction.empty()) m.append("sort", Node::string(std::string(item.direction)));
    out.push_back(std::move(m_node));
  }
  return finish_list(std::move(out));
}

}  // namespace sqlparse::sql_parser::render
