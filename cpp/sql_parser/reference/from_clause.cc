// FROM: table sources, sub-queries, table functions and joins.
#include "sql_parser/reference/parser_internal.h"

namespace sqlparse::sql_parser {

Node Parser::parse_from() {
  advance();  // FROM
  List sources;
  sources.push_back(parse_table_source(false));
  for (;;) {
    if (accept(Tok::kComma)) {
      sources.push_back(parse_table_source(false));
    } else if (at_join()) {
      sources.push_back(parse_join());
    } else {
      break;
    }
  }
  return finish_list(std::move(sources));
}

Node Parser::parse_table_source(bool in_join) {
  Node value;
  const Token t = peek();
  if (t.kind == Tok::kLParen) {
    NestGuard nest(*this, t);
    advance();
    if (!at_kw(Kw::kSelect)) fail_here("SELECT");
    value = parse_query();
    expect(Tok::kRParen, "\")\"");
  } else if (at_name()) {
    std::string name = parse_dotted_name(false);
    value = at(Tok::kLParen) ? parse_call(ascii_lower(name)) : Node::string(std::move(name));
  } else {
    fail(t, "a table name or a sub-query");
  }
  Node alias = parse_alias(true);
  if (alias.is_null() && value.is_string()) return value;
  Map m;
  // Aliased join sources list the name first.
  if (in_join && !alias.is_null()) {
    m.append("name", std::move(alias));
    m.append("value", std::move(value));
  } else {
    m.append("value", std::move(value));
    put(m, "name", std::move(alias));
  }
  return Node::map(std::move(m));
}

bool is_join_keyword(const Token& t) {
  if (t.kind != Tok::kWord) return false;
  switch (t.kw) {
    case Kw::kJoin:
    case Kw::kInner:
    case Kw::kLeft:
    case Kw::kRight:
    case Kw::kFull:
    case Kw::kCross:
      return true;
    default:
      return false;
  }
}

bool Parser::at_join() {
  const Token& t = peek();
  if (is_join_keyword(t)) return true;
  // NATURAL starts a join only when a join keyword follows it.
  return t.kind == Tok::kWord && t.kw == Kw::kNatural && !at_bare_alias();
}

Node Parser::parse_join() {
  std::string kind;
  if (accept_kw(Kw::kNatural)) kind = "natural ";
  const Token t = peek();
  advance();
  switch (t.kw) {
    case Kw::kJoin:
      kind += "join";
      break;
    case Kw::kInner:
      expect_kw(Kw::kJoin, "JOIN");
      kind += "inner join";
      break;
    case Kw::kCross:
      expect_kw(Kw::kJoin, "JOIN");
      kind += "cross join";
      break;
    case Kw::kLeft:
    case Kw::kRight:
    case Kw::kFull:
      kind += t.kw == Kw::kLeft ? "left" : t.kw == Kw::kRight ? "right" : "full";
      if (accept_kw(Kw::kOuter)) kind += " outer";
      expect_kw(Kw::kJoin, kind.find("outer") == std::string::npos ? "OUTER or JOIN" : "JOIN");
      kind += " join";
      break;
    default:
      fail(t, "JOIN");
  }
  Map m;
  m.append(std::move(kind), parse_table_source(true));
  if (accept_kw(Kw::kOn)) {
    put(m, "on", parse_expr().node);
  } else if (at_kw(Kw::kUsing)) {
    advance();
    NestGuard nest(*this, peek());
    expect(Tok::kLParen, "\"(\"");
    List columns;
    do {
      columns.push_back(Node::string(parse_dotted_name(false)));
    } while (accept(Tok::kComma));
    expect(Tok::kRParen, "\",\" or \")\"");
    m.append("using", finish_list(std::move(columns)));
  }
  return Node::map(std::move(m));
}

}  // namespace sqlparse::sql_parser
