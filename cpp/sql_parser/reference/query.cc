// Statements: WITH, set operations (UNION [ALL], INTERSECT, EXCEPT / MINUS),
// the clauses of one SELECT, and the entry point.
#include <vector>

#include "sql_parser/reference/parser_internal.h"
#include "sql_parser/reference/reference_parser.h"

namespace sqlparse::sql_parser {

Node reference_parse(std::string_view utf8_text) {
  Parser parser(utf8_text);
  return parser.parse_statement();
}

Node Parser::parse_statement() {
  Node result;
  if (at_kw(Kw::kWith)) {
    result = parse_with_statement();
  } else if (at_kw(Kw::kSelect)) {
    result = parse_query();
  } else {
    fail_here("SELECT or WITH");
  }
  if (!at(Tok::kEnd)) fail_here("end of text");
  return result;
}

Node Parser::parse_with_statement() {
  FrameGuard frame(*this);
  advance();  // WITH
  List ctes;
  do {
    if (!at_name()) fail_here("a name");
    Map cte;
    cte.append("name", Node::string(parse_dotted_name(false)));
    expect_kw(Kw::kAs, "AS");
    NestGuard nest(*this, peek());
    expect(Tok::kLParen, "\"(\"");
    if (at_kw(Kw::kWith)) {
      cte.append("value", parse_with_statement());
    } else if (at_kw(Kw::kSelect)) {
      cte.append("value", parse_query());
    } else {
      fail_here("SELECT or WITH");
    }
    expect(Tok::kRParen, "\")\"");
    ctes.push_back(Node::map(std::move(cte)));
  } while (accept(Tok::kComma));
  if (!at_kw(Kw::kSelect)) fail_here("SELECT");
  Node query = parse_query();
  query.mutable_map().append("with", finish_list(std::move(ctes)));
  return query;
}

bool Parser::at_set_operator(int ahead) {
  const Token& t = peek(ahead);
  if (t.kind != Tok::kWord) return false;
  switch (t.kw) {
    case Kw::kUnion:
      return true;
    case Kw::kIntersect:
    case Kw::kExcept:
    case Kw::kMinus:
      return at_kw(Kw::kSelect, ahead + 1);
    default:
      return false;
  }
}

Node Parser::parse_intersect_chain() {
  Node first = parse_simple_select();
  if (!(at_kw(Kw::kIntersect) && at_kw(Kw::kSelect, 1))) return first;
  List branches;
  branches.push_back(std::move(first));
  while (at_kw(Kw::kIntersect) && at_kw(Kw::kSelect, 1)) {
    advance();
    branches.push_back(parse_simple_select());
  }
  return single("intersect", Node::list(std::move(branches)));
}

Node Parser::parse_query() {
  FrameGuard frame(*this);
  Node first = parse_intersect_chain();
  List branches;
  std::vector<std::string_view> ops;
  std::vector<Token> op_tokens;
  while (at_set_operator()) {
    const Token t = peek();
    const char* key = "except";
    if (t.kw == Kw::kUnion) {
      advance();
      key = accept_kw(Kw::kAll) ? "union_all" : "union";
    } else {
      advance();
    }
    if (!at_kw(Kw::kSelect)) fail_here("SELECT");
    if (branches.empty()) branches.push_back(std::move(first));
    ops.push_back(key);
    op_tokens.push_back(t);
    branches.push_back(parse_intersect_chain());
  }

  Node orderby;
  Node offset;
  Node limit;
  if (at_kw(Kw::kOrder)) {
    advance();
    expect_kw(Kw::kBy, "BY");
    orderby = parse_sort_items();
  }
  if (accept_kw(Kw::kLimit)) limit = parse_expr().node;
  if (accept_kw(Kw::kOffset)) offset = parse_expr().node;

  if (branches.empty()) {
    Map& q = first.mutable_map();
    put(q, "orderby", std::move(orderby));
    put(q, "offset", std::move(offset));
    put(q, "limit", std::move(limit));
    return first;
  }

  // A chain of one operator is one flat list; where the operator changes, the
  // rest of the chain nests as the last operand (to the right).
  std::size_t runs = 1;
  for (std::size_t i = 1; i < ops.size(); ++i) {
    if (ops[i] != ops[i - 1] && ++runs > static_cast<std::size_t>(kMaxNestingDepth)) {
      fail(op_tokens[i], NestGuard::kDepthText);
    }
  }
  Node tail;
  bool last_run = true;
  std::size_t i = ops.size();  // runs are built from the right
  while (i > 0) {
    std::size_t start = i - 1;
    while (start > 0 && ops[start - 1] == ops[i - 1]) --start;
    // The run of ops [start, i) joins branches [start, i], or [start, i) and
    // the chain built so far.
    List items;
    const std::size_t branch_end = last_run ? branches.size() : i;
    for (std::size_t b = start; b < branch_end; ++b) items.push_back(std::move(branches[b]));
    if (!last_run) items.push_back(std::move(tail));
    tail = single(std::string(ops[i - 1]), Node::list(std::move(items)));
    last_run = false;
    i = start;
  }

  if (orderby.is_null() && offset.is_null() && limit.is_null()) return tail;
  Map wrapper;
  wrapper.append("from", std::move(tail));
  put(wrapper, "orderby", std::move(orderby));
  put(wrapper, "offset", std::move(offset));
  put(wrapper, "limit", std::move(limit));
  return Node::map(std::move(wrapper));
}

Node Parser::parse_simple_select() {
  if (!at_kw(Kw::kSelect)) fail_here("SELECT");
  Map q;
  parse_select_clause(q);
  if (at_kw(Kw::kFrom)) q.append("from", parse_from());
  if (accept_kw(Kw::kWhere)) put(q, "where", parse_expr().node);
  if (at_kw(Kw::kGroup)) {
    advance();
    expect_kw(Kw::kBy, "BY");
    put(q, "groupby", parse_group_items());
  }
  if (accept_kw(Kw::kHaving)) put(q, "having", parse_expr().node);
  return Node::map(std::move(q));
}

}  // namespace sqlparse::sql_parser
