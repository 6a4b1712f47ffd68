// The SELECT clause (TOP, DISTINCT, items, windows) and the item lists of
// GROUP BY and ORDER BY.
#include "sql_parser/reference/parser_internal.h"

namespace sqlparse::sql_parser {

void Parser::parse_select_clause(Map& query) {
  advance();  // SELECT
  auto at_top = [&] { return at_kw(Kw::kTop) && (at(Tok::kNumber, 1) || at(Tok::kLParen, 1)); };
  Node top;
  if (at_top()) top = parse_top();
  const bool distinct = accept_kw(Kw::kDistinct);
  // DISTINCT TOP n reads as TOP n DISTINCT.
  if (distinct && top.is_null() && at_top()) top = parse_top();
  put(query, "top", std::move(top));
  if (distinct) {
    query.append("select", single("value", single("distinct", parse_distinct_items())));
  } else {
    put(query, "select", parse_select_items(false));
  }
}

Node Parser::parse_top() {
  advance();  // TOP
  Node value;
  if (at(Tok::kNumber)) {
    value = parse_number(peek());
    advance();
  } else {
    NestGuard nest(*this, peek());
    advance();
    value = parse_expr().node;
    expect(Tok::kRParen, "\")\"");
  }
  const bool percent = accept_kw(Kw::kPercent);
  bool ties = false;
  if (at_kw(Kw::kWith) && at_kw(Kw::kTies, 1)) {
    advance();
    advance();
    ties = true;
  }
  if (!ties && !percent) return value;
  Map m;
  if (ties) m.append("ties", Node::boolean(true));
  put(m, percent ? "percent" : "value", std::move(value));
  return Node::map(std::move(m));
}

Node Parser::parse_select_items(bool in_distinct) {
  List items;
  items.push_back(parse_select_item(in_distinct));
  while (accept(Tok::kComma)) items.push_back(parse_select_item(in_distinct));
  return finish_list(std::move(items));
}

Node Parser::parse_distinct_items() { return parse_select_items(true); }

Node Parser::parse_select_item(bool in_distinct) {
  if (at(Tok::kStar)) {
    advance();
    return in_distinct ? single("value", Node::string("*")) : Node::string("*");
  }
  Map item;
  // The value stays even when it is NULL, so that the item keeps its place.
  item.append("value", parse_expr().node);
  if (at_kw(Kw::kWithin)) {
    advance();
    expect_kw(Kw::kGroup, "GROUP");
    NestGuard nest(*this, peek());
    expect(Tok::kLParen, "\"(\"");
    expect_kw(Kw::kOrder, "ORDER BY");
    expect_kw(Kw::kBy, "BY");
    Node order = parse_sort_items();
    expect(Tok::kRParen, "\")\"");
    item.append("within", single("orderby", std::move(order)));
  }
  if (at_kw(Kw::kOver)) item.append("over", parse_over());
  put(item, "name", parse_alias(false));
  return Node::map(std::move(item));
}

Node Parser::parse_over() {
  advance();  // OVER
  NestGuard nest(*this, peek());
  expect(Tok::kLParen, "\"(\"");
  Map over;
  if (accept_kw(Kw::kPartition)) {
    expect_kw(Kw::kBy, "BY");
    List items;
    items.push_back(parse_expr().node);
    while (accept(Tok::kComma)) items.push_back(parse_expr().node);
    put(over, "partitionby", finish_list(std::move(items)));
  }
  if (accept_kw(Kw::kOrder)) {
    expect_kw(Kw::kBy, "BY");
    put(over, "orderby", parse_sort_items());
  }
  if (at_kw(Kw::kRows) || at_kw(Kw::kRange)) over.append("range", parse_frame());
  expect(Tok::kRParen, "\")\"");
  return Node::map(std::move(over));
}

Node Parser::parse_frame() {
  advance();  // ROWS or RANGE
  // A bound as an offset from the current row; null when unbounded.
  auto bound = [&]() -> Node {
    if (accept_kw(Kw::kUnbounded)) {
      if (!accept_kw(Kw::kPreceding) && !accept_kw(Kw::kFollowing)) fail_here("PRECEDING or FOLLOWING");
      return Node();
    }
    if (accept_kw(Kw::kCurrent)) {
      expect_kw(Kw::kRow, "ROW");
      return Node::integer(0);
    }
    const Token t = peek();
    if (t.kind != Tok::kNumber || static_cast<NumberKind>(t.sub) == NumberKind::kHex) {
      fail(t, "UNBOUNDED, CURRENT ROW or a number");
    }
    Node n = parse_number(t);
    advance();
    if (accept_kw(Kw::kPreceding)) return negate_number(n);
    expect_kw(Kw::kFollowing, "PRECEDING or FOLLOWING");
    return n;
  };
  Node low;
  Node high;
  if (accept_kw(Kw::kBetween)) {
    low = bound();
    expect_kw(Kw::kAnd, "AND");
    high = bound();
  } else {
    low = bound();
    high = Node::integer(0);
  }
  Map m;
  put(m, "min", std::move(low));
  put(m, "max", std::move(high));
  return Node::map(std::move(m));
}

Node Parser::parse_sort_items() {
  List items;
  do {
    Map item;
    put(item, "value", parse_expr().node);
    if (accept_kw(Kw::kAsc)) {
      item.append("sort", Node::string("asc"));
    } else if (accept_kw(Kw::kDesc)) {
      item.append("sort", Node::string("desc"));
    }
    items.push_back(Node::map(std::move(item)));
  } while (accept(Tok::kComma));
  return finish_list(std::move(items));
}

Node Parser::parse_group_items() {
  List items;
  do {
    Map item;
    put(item, "value", parse_expr().node);
    put(item, "name", parse_alias(false));
    items.push_back(Node::map(std::move(item)));
  } while (accept(Tok::kComma));
  return finish_list(std::move(items));
}

// ---- aliases -----------------------------------------------------------------

bool Parser::at_bare_alias() {
  if (!at_name()) return false;
  const Token& t = peek();
  if (t.kind != Tok::kWord) return true;
  switch (t.kw) {
    case Kw::kNatural:  // NATURAL JOIN ...
      return !is_join_keyword(peek(1));
    case Kw::kIntersect:
    case Kw::kExcept:
    case Kw::kMinus:
      return !at_kw(Kw::kSelect, 1);
    default:
      return true;
  }
}

Node Parser::parse_alias(bool allow_column_list) {
  std::string name;
  if (accept_kw(Kw::kAs)) {
    if (!at_name()) fail_here("an alias");
    name = parse_dotted_name(false);
  } else if (at_bare_alias()) {
    name = parse_dotted_name(false);
  } else {
    return Node();
  }
  if (allow_column_list && at(Tok::kLParen)) {
    NestGuard nest(*this, peek());
    advance();
    List columns;
    do {
      columns.push_back(Node::string(parse_dotted_name(false)));
    } while (accept(Tok::kComma));
    expect(Tok::kRParen, "\",\" or \")\"");
    return single(std::move(name), finish_list(std::move(columns)));
  }
  return Node::string(std::move(name));
}

}  // namespace sqlparse::sql_parser
