// Expressions: names, calls, CASE, CAST and operators by precedence climbing.
//
// Binding powers, loosest first. Every SQL operator group has its own level
// (a chain of one level nests to the left), and a prefix operator takes an
// operand of the next tighter level only, so "- - a" and "not not a" are not
// expressions. The one extension: right after a multiplicative or ||
// operator, a minus sign negates the single operand that follows (2 * -3).
#include "sql_parser/binding_powers.h"
#include "sql_parser/reference/parser_internal.h"

namespace sqlparse::sql_parser {
namespace {

enum class Op : std::uint8_t {
  kNone, kOr, kAnd, kNotSimilar, kSimilar, kNotRlike, kRlike, kNotLike, kLike, kIs, kIsNot,
  kNotIn, kIn, kNotBetween, kBetween, kEq, kNeq, kLt, kGt, kLe, kGe, kBitOr, kBitAnd, kAdd,
  kSub, kMul, kDiv, kMod, kConcat, kCollate, kCast,
};

struct Infix {
  Op op = Op::kNone;
  int bp = 0;
  int tokens = 0;  // tokens the operator spells
  const char* key = nullptr;
  bool flat = false;  // add, mul, and, or: one list for the whole chain
};

// Expr::flags bit for an operator map whose operands may be spliced into an
// enclosing chain of the same operator (flattening crosses parentheses).
constexpr std::uint8_t kFlatChain = 4;

}  // namespace

namespace {

Infix infix_at(Lexer& lex) {
  const Token& t = lex.peek();
  switch (t.kind) {
    case Tok::kEq: return {Op::kEq, kBpEq, 1, "eq"};
    case Tok::kNeq: return {Op::kNeq, kBpEq, 1, "neq"};
    case Tok::kLt: return {Op::kLt, kBpCompare, 1, "lt"};
    case Tok::kGt: return {Op::kGt, kBpCompare, 1, "gt"};
    case Tok::kLe: return {Op::kLe, kBpCompare, 1, "lte"};
    case Tok::kGe: return {Op::kGe, kBpCompare, 1, "gte"};
    case Tok::kPipe: return {Op::kBitOr, kBpBitOr, 1, "binary_or"};
    case Tok::kAmp: return {Op::kBitAnd, kBpBitAnd, 1, "binary_and"};
    case Tok::kPlus: return {Op::kAdd, kBpAdd, 1, "add", true};
    case Tok::kMinus: return {Op::kSub, kBpAdd, 1, "sub"};
    case Tok::kStar: return {Op::kMul, kBpMul, 1, "mul", true};
    case Tok::kImplicitMul: return {Op::kMul, kBpMul, 1, "mul", true};
    case Tok::kSlash: return {Op::kDiv, kBpMul, 1, "div"};
    case Tok::kPercent: return {Op::kMod, kBpMul, 1, "mod"};
    case Tok::kConcat: return {Op::kConcat, kBpConcat, 1, "concat"};
    case Tok::kDoubleColon: return {Op::kCast, kBpCast, 1, "cast"};
    case Tok::kWord: break;
    default: return {};
  }
  switch (t.kw) {
    case Kw::kOr: return {Op::kOr, kBpOr, 1, "or", true};
    case Kw::kAnd: return {Op::kAnd, kBpAnd, 1, "and", true};
    case Kw::kLike: return {Op::kLike, kBpLike, 1, "like"};
    case Kw::kRlike: return {Op::kRlike, kBpRlike, 1, "rlike"};
    case Kw::kIn: return {Op::kIn, kBpIn, 1, "in"};
    case Kw::kBetween: return {Op::kBetween, kBpBetween, 1, "between"};
    case Kw::kCollate: return {Op::kCollate, kBpCollate, 1, "collate"};
    case Kw::kSimilar:
      if (lex.peek(1).kind == Tok::kWord && lex.peek(1).kw == Kw::kTo) {
        return {Op::kSimilar, kBpSimilar, 2, "similar_to"};
      }
      return {};
    case Kw::kIs:
      if (lex.peek(1).kind == Tok::kWord && lex.peek(1).kw == Kw::kNot) return {Op::kIsNot, kBpIsNot, 2, "is_not"};
      return {Op::kIs, kBpIs, 1, "eq"};
    case Kw::kNot: {
      const Token& n = lex.peek(1);
      if (n.kind != Tok::kWord) return {};
      switch (n.kw) {
        case Kw::kLike: return {Op::kNotLike, kBpNotLike, 2, "not_like"};
        case Kw::kRlike: return {Op::kNotRlike, kBpNotRlike, 2, "not_rlike"};
        case Kw::kIn: return {Op::kNotIn, kBpNotIn, 2, "nin"};
        case Kw::kBetween: return {Op::kNotBetween, kBpNotBetween, 2, "not_between"};
        case Kw::kSimilar:
          if (lex.peek(2).kind == Tok::kWord && lex.peek(2).kw == Kw::kTo) {
            return {Op::kNotSimilar, kBpNotSimilar, 3, "not_similar_to"};
          }
          return {};
        default: return {};
      }
    }
    default: return {};
  }
}

// The operand list of a binary operator map.
Node pair_node(const char* key, Node left, Node right) {
  List items;
  items.reserve(2);
  items.push_back(std::move(left));
  items.push_back(std::move(right));
  return single(key, finish_list(std::move(items)));
}

// Appends the operands of `e` to `chain`: its own operands when it is a chain
// of the same operator, else e itself.
void append_operand(List& chain, const char* key, Expr& e) {
  if ((e.flags & kFlatChain) && e.node.is_map()) {
    const Map& m = e.node.as_map();
    if (m.size() == 1 && m.entries()[0].first == key && m.entries()[0].second.is_list()) {
      for (const Node& n : m.entries()[0].second.as_list()) chain.push_back(n);
      return;
    }
  }
  chain.push_back(std::move(e.node));
}

}  // namespace

Expr Parser::parse_expr(int min_bp, bool after_tight_operator) {
  FrameGuard frame(*this);
  Expr left = parse_prefix(min_bp, after_tight_operator);

  // Nesting that this chain adds while it is being built; given back on exit.
  struct Owed {
    int& nesting;
    int count = 0;
    ~Owed() { nesting -= count; }
  } owed{nesting_};
  auto wrap = [&](const Token& at) {
    ++owed.count;
    if (++nesting_ > kMaxNestingDepth) fail(at, NestGuard::kDepthText);
  };

  List chain;  // operands of a pending add/mul/and/or chain
  const char* chain_key = nullptr;
  auto close_chain = [&]() {
    if (!chain_key) return;
    left.node = single(chain_key, finish_list(std::move(chain)));
    left.flags = kFlatChain;
    chain = List();
    chain_key = nullptr;
  };

  for (;;) {
    const Infix op = infix_at(lex_);
    if (op.op == Op::kNone || op.bp < min_bp) break;
    const Token op_token = peek();
    for (int i = 0; i < op.tokens; ++i) advance();

    if (op.flat) {
      const bool tight = op.bp >= kBpMul;
      Expr right = parse_expr(op.bp + 1, tight);
      if (chain_key == op.key) {
        append_operand(chain, op.key, right);
        continue;
      }
      close_chain();
      wrap(op_token);
      chain_key = op.key;
      append_operand(chain, op.key, left);
      append_operand(chain, op.key, right);
      left.flags = 0;
      continue;
    }
    close_chain();
    wrap(op_token);

    Node result;
    switch (op.op) {
      case Op::kEq:
      case Op::kNeq:
      case Op::kIs:
      case Op::kIsNot: {
        Expr right = parse_expr(op.bp + 1);
        const bool equal = op.op == Op::kEq || op.op == Op::kIs;
        // Comparing with the NULL keyword itself tests for a missing value.
        if ((right.flags & Expr::kBareNull) || (left.flags & Expr::kBareNull)) {
          Node other = (right.flags & Expr::kBareNull) ? std::move(left.node) : std::move(right.node);
          result = single(equal ? "missing" : "exists", std::move(other));
        } else {
          result = pair_node(op.op == Op::kNeq ? "neq" : op.key, std::move(left.node), std::move(right.node));
        }
        break;
      }
      case Op::kBetween:
      case Op::kNotBetween: {
        Expr low = parse_expr(kBpEq);
        expect_kw(Kw::kAnd, "AND");
        Expr high = parse_expr(kBpEq);
        List items;
        items.reserve(3);
        items.push_back(std::move(left.node));
        items.push_back(std::move(low.node));
        items.push_back(std::move(high.node));
        result = single(op.key, finish_list(std::move(items)));
        break;
      }
      case Op::kCollate: {
        const Token t = peek();
        if (t.kind != Tok::kWord && t.kind != Tok::kQuotedName) fail(t, "a collation name");
        std::string name;
        append_name_part(t, &name);
        advance();
        result = pair_node("collate", std::move(left.node), Node::string(std::move(name)));
        break;
      }
      case Op::kCast: {
        Node type = parse_type();
        result = pair_node("cast", std::move(left.node), std::move(type));
        break;
      }
      default: {
        const bool tight = op.bp >= kBpMul;
        Expr right = parse_expr(op.bp + 1, tight);
        result = pair_node(op.key, std::move(left.node), std::move(right.node));
        break;
      }
    }
    left.node = std::move(result);
    left.flags = 0;
  }
  close_chain();
  return left;
}

Expr Parser::parse_prefix(int min_bp, bool after_tight_operator) {
  const Token t = peek();
  if (t.kind == Tok::kMinus && (min_bp <= kBpNeg || after_tight_operator)) {
    NestGuard nest(*this, t);
    advance();
    // Right after * / % ||, the minus takes only the operand of that operator.
    Expr operand = parse_expr(after_tight_operator && min_bp > kBpNeg ? min_bp : kBpMul);
    if (operand.flags & Expr::kBareNumber) return {negate_number(operand.node), 0};
    return {single("neg", std::move(operand.node)), 0};
  }
  if (t.kind == Tok::kPlus && peek(1).kind == Tok::kNumber &&
      static_cast<NumberKind>(peek(1).sub) != NumberKind::kHex) {
    advance();
    return parse_primary();
  }
  if (t.kind == Tok::kWord && t.kw == Kw::kNot && min_bp <= kBpNot) {
    NestGuard nest(*this, t);
    advance();
    Expr operand = parse_expr(kBpNot + 1);
    return {single("not", std::move(operand.node)), 0};
  }
  if (t.kind == Tok::kTilde && min_bp <= kBpBitNot) {
    NestGuard nest(*this, t);
    advance();
    Expr operand = parse_expr(kBpBitNot + 1);
    return {single("binary_not", std::move(operand.node)), 0};
  }
  return parse_primary();
}

Expr Parser::parse_primary() {
  const Token t = peek();
  switch (t.kind) {
    case Tok::kNumber: {
      Node n = parse_number(t);
      advance();
      return {std::move(n), static_cast<NumberKind>(t.sub) == NumberKind::kHex ? std::uint8_t(0)
                                                                                : std::uint8_t(Expr::kBareNumber)};
    }
    case Tok::kString: {
      Node s = parse_string_literal_text(t);
      advance();
      return {single("literal", std::move(s)), 0};
    }
    case Tok::kLParen:
      return parse_parenthesized();
    case Tok::kQuotedName:
      return {parse_name_or_call(), 0};
    case Tok::kWord:
      switch (t.kw) {
        case Kw::kNull:
          advance();
          return {Node(), Expr::kBareNull};
        case Kw::kTrue:
        case Kw::kFalse:
          advance();
          return {Node::boolean(t.kw == Kw::kTrue), 0};
        case Kw::kCase:
          return {parse_case(), 0};
        case Kw::kCast:
          if (at(Tok::kLParen, 1)) return {parse_cast(), 0};
          break;
        case Kw::kInterval:
          return {parse_interval(), 0};
        default:
          if (!is_reserved(t.kw)) return {parse_name_or_call(), 0};
          break;
      }
      break;
    default:
      break;
  }
  fail(t, "an expression");
}

Expr Parser::parse_parenthesized() {
  NestGuard nest(*this, peek());
  advance();
  if (at_kw(Kw::kSelect)) {
    Node q = parse_query();
    expect(Tok::kRParen, "\")\"");
    return {std::move(q), 0};
  }
  Expr first = parse_expr();
  if (accept(Tok::kRParen)) return {std::move(first.node), static_cast<std::uint8_t>(first.flags & kFlatChain)};
  List items;
  items.push_back(std::move(first.node));
  while (accept(Tok::kComma)) items.push_back(parse_expr().node);
  expect(Tok::kRParen, "\",\" or \")\"");
  return {finish_list(std::move(items)), 0};
}

// ---- names -------------------------------------------------------------------

bool Parser::at_name(int ahead) {
  const Token& t = peek(ahead);
  return t.kind == Tok::kQuotedName || (t.kind == Tok::kWord && !is_reserved(t.kw));
}

void Parser::append_name_part(const Token& t, std::string* out) {
  std::string_view raw = text_of(t);
  if (t.kind != Tok::kQuotedName) {
    out->append(raw);
    return;
  }
  std::string_view body = raw.substr(1, raw.size() - 2);
  std::string decoded;
  if (t.sub) {
    unescape(body, t.quote, &decoded);
    body = decoded;
  }
  // A dot inside a quoted part is written "\." so that it stays one part.
  for (char c : body) {
    if (c == '.') out->push_back('\\');
    out->push_back(c);
  }
}

std::string Parser::parse_dotted_name(bool allow_star, bool* ends_with_star) {
  std::string out;
  if (!at_name()) fail_here("a name");
  append_name_part(peek(), &out);
  advance();
  while (at(Tok::kDot)) {
    const Token next = peek(1);
    if (next.kind == Tok::kWord || next.kind == Tok::kQuotedName) {
      advance();
      out.push_back('.');
      append_name_part(next, &out);
      advance();
    } else if (allow_star && next.kind == Tok::kStar) {
      advance();
      advance();
      out += ".*";
      if (ends_with_star) *ends_with_star = true;
      break;
    } else {
      fail(next, "a name");
    }
  }
  return out;
}

Node Parser::parse_name_or_call() {
  const Token first = peek();
  bool star = false;
  std::string name = parse_dotted_name(true, &star);
  if (star) return Node::string(std::move(name));
  if (at(Tok::kLParen)) return parse_call(ascii_lower(name));
  const bool one_word = first.kind == Tok::kWord && first.end - first.begin == name.size();
  if (one_word && at(Tok::kString)) {
    // date '2020-01-01' and the other date/time literals.
    std::string lower = ascii_lower(name);
    if (is_datetime_type(lower)) {
      const Token s = peek();
      Node text = parse_string_literal_text(s);
      advance();
      return single(std::move(lower), single("literal", std::move(text)));
    }
  }
  return Node::string(std::move(name));
}

Node Parser::parse_call(std::string name) {
  NestGuard nest(*this, peek());
  advance();  // (
  Node args;
  bool ignore_nulls = false;
  if (at(Tok::kRParen)) {
    // no arguments
  } else if (at_kw(Kw::kDistinct)) {
    advance();
    args = single("distinct", parse_distinct_items());
  } else if (at(Tok::kStar) && at(Tok::kRParen, 1)) {
    advance();
    args = Node::string("*");
  } else if (at_kw(Kw::kSelect)) {
    args = parse_query();
  } else if (name == "extract" && peek().kind == Tok::kWord && at_kw(Kw::kFrom, 1)) {
    // extract(year from d)
    List items;
    items.push_back(Node::string(ascii_lower(text_of(peek()))));
    advance();
    advance();
    items.push_back(parse_expr().node);
    args = finish_list(std::move(items));
  } else {
    List items;
    items.push_back(parse_expr().node);
    while (accept(Tok::kComma)) items.push_back(parse_expr().node);
    args = finish_list(std::move(items));
  }
  if (at_kw(Kw::kIgnore) && at_kw(Kw::kNulls, 1)) {
    advance();
    advance();
    ignore_nulls = true;
  }
  expect(Tok::kRParen, "\")\"");
  Map m;
  m.append(std::move(name), args.is_null() ? Node::empty_map() : std::move(args));
  if (ignore_nulls) m.append("ignore_nulls", Node::boolean(true));
  return Node::map(std::move(m));
}

Node Parser::parse_case() {
  NestGuard nest(*this, peek());
  advance();  // CASE
  Node subject;
  bool simple = false;
  if (!at_kw(Kw::kWhen)) {
    subject = parse_expr().node;
    simple = true;
  }
  List branches;
  if (!at_kw(Kw::kWhen)) fail_here("WHEN");
  while (accept_kw(Kw::kWhen)) {
    Node condition = parse_expr().node;
    // CASE x WHEN v: the branch tests x = v.
    if (simple) condition = pair_node("eq", subject, std::move(condition));
    expect_kw(Kw::kThen, "THEN");
    Node result = parse_expr().node;
    Map branch;
    put(branch, "when", std::move(condition));
    put(branch, "then", std::move(result));
    branches.push_back(Node::map(std::move(branch)));
  }
  if (accept_kw(Kw::kElse)) branches.push_back(parse_expr().node);
  expect_kw(Kw::kEnd, "WHEN, ELSE or END");
  return single("case", finish_list(std::move(branches)));
}

Node Parser::parse_cast() {
  advance();  // CAST
  NestGuard nest(*this, peek());
  advance();  // (
  Node value = parse_expr().node;
  expect_kw(Kw::kAs, "AS");
  Node type = parse_type();
  expect(Tok::kRParen, "\")\"");
  return pair_node("cast", std::move(value), std::move(type));
}

Node Parser::parse_type() {
  const Token t = peek();
  if (t.kind != Tok::kWord) fail(t, "a type name");
  std::string name = ascii_lower(text_of(t));
  if (!is_type_name(name)) fail(t, "a type name");
  advance();
  if (name == "double" && at_kw(Kw::kPrecision)) {
    advance();
    name = "double_precision";
  }
  Node args;
  if (at(Tok::kLParen)) {
    NestGuard nest(*this, peek());
    advance();
    List items;
    items.push_back(parse_expr().node);
    while (accept(Tok::kComma)) items.push_back(parse_expr().node);
    expect(Tok::kRParen, "\")\"");
    args = finish_list(std::move(items));
  }
  Map m;
  m.append(std::move(name), args.is_null() ? Node::empty_map() : std::move(args));
  return Node::map(std::move(m));
}

}  // namespace sqlparse::sql_parser
