// Operators: precedence climbing over binary operators (with the word
// operators IS, IN, LIKE, BETWEEN and their NOT forms, and quantified
// comparisons), and prefix operators.
//
// Precedence, loosest first: OR; XOR; AND; NOT; comparisons, IS, IN, LIKE
// and BETWEEN with the dialect operators of the same rank (~, @>, &&...);
// |; ^ and #; &; << and >>; + - ||; * / % DIV MOD; prefix - + ~; AT TIME
// ZONE and COLLATE; the JSON arrows -> ->> #> #>>. The postfix forms (::,
// subscripts, fields) bind tighter still and live with the primaries.
#include <array>
#include <cstdint>
#include <string>

#include "syntax/grammar.h"

namespace sqlparse::syntax {
namespace {

const char* op_text(Op op) {
  switch (op) {
    case Op::kPlus: return "+";
    case Op::kMinus: return "-";
    case Op::kSlash: return "/";
    case Op::kPercent: return "%";
    case Op::kConcat: return "||";
    case Op::kEq: return "=";
    case Op::kEqEq: return "==";
    case Op::kNeq: return "<>";
    case Op::kLt: return "<";
    case Op::kGt: return ">";
    case Op::kLe: return "<=";
    case Op::kGe: return ">=";
    case Op::kNullSafeEq: return "<=>";
    case Op::kArrow: return "->";
    case Op::kLongArrow: return "->>";
    case Op::kHashArrow: return "#>";
    case Op::kHashLongArrow: return "#>>";
    case Op::kContains: return "@>";
    case Op::kContainedBy: return "<@";
    case Op::kTilde: return "~";
    case Op::kTildeStar: return "~*";
    case Op::kNotTilde: return "!~";
    case Op::kNotTildeStar: return "!~*";
    case Op::kDoubleTilde: return "~~";
    case Op::kNotDoubleTilde: return "!~~";
    case Op::kAmp: return "&";
    case Op::kPipe: return "|";
    case Op::kCaret: return "^";
    case Op::kHash: return "#";
    case Op::kShiftLeft: return "<<";
    case Op::kShiftRight: return ">>";
    case Op::kColonEq: return ":=";
    case Op::kAndAnd: return "&&";
    case Op::kAtAt: return "@@";
    case Op::kQuestionPipe: return "?|";
    case Op::kQuestionAmp: return "?&";
    case Op::kHashMinus: return "#-";
    case Op::kOverlap: return "-|-";
    case Op::kBang: return "!";
    case Op::kDoubleBang: return "!!";
    case Op::kSqrt: return "|/";
    case Op::kCbrt: return "||/";
    case Op::kAt: return "@";
    case Op::kFatArrow: return "=>";
    default: return "";
  }
}

constexpr int op_precedence(Op op) {
  switch (op) {
    case Op::kEq: case Op::kEqEq: case Op::kNeq: case Op::kLt: case Op::kGt: case Op::kLe:
    case Op::kGe: case Op::kNullSafeEq: case Op::kContains: case Op::kContainedBy:
    case Op::kTilde: case Op::kTildeStar: case Op::kNotTilde: case Op::kNotTildeStar:
    case Op::kDoubleTilde: case Op::kNotDoubleTilde: case Op::kAndAnd: case Op::kAtAt:
    case Op::kQuestionPipe: case Op::kQuestionAmp: case Op::kOverlap: case Op::kHashMinus:
    case Op::kCustom: case Op::kAt:
      return kPrecCompare;
    case Op::kCompoundAssign:
      return kPrecAssign;
    case Op::kPipe: return kPrecBitOr;
    case Op::kCaret: case Op::kHash: return kPrecBitXor;
    case Op::kAmp: return kPrecBitAnd;
    case Op::kShiftLeft: case Op::kShiftRight: return kPrecShift;
    case Op::kPlus: case Op::kMinus: case Op::kConcat: return kPrecAdd;
    case Op::kSlash: case Op::kPercent: return kPrecMul;
    case Op::kArrow: case Op::kLongArrow: case Op::kHashArrow: case Op::kHashLongArrow:
      return kPrecJson;
    case Op::kColonEq: return kPrecAssign;
    default: return kPrecNone;
  }
}

// ---- binary operators ---------------------------------------------------------

// A keyword's binding power as a binary operator, or -1 where the tokens
// after it decide (word_precedence).
constexpr int keyword_precedence(Kw kw) {
  switch (kw) {
    case Kw::kOr: return kPrecOr;
    case Kw::kAnd: return kPrecAnd;
    case Kw::kIs: case Kw::kIn: case Kw::kLike: case Kw::kIlike: case Kw::kRlike:
    case Kw::kRegexp: case Kw::kBetween: case Kw::kGlob: case Kw::kIsnull: case Kw::kNotnull:
      return kPrecCompare;
    case Kw::kCollate: return kPrecAtZone;
    case Kw::kSimilar: case Kw::kNot: case Kw::kGlobal: case Kw::kAt: case Kw::kNone:
      return -1;
    default: return kPrecNone;
  }
}

// Both as tables: a lookup instead of a switch after every operand.
constexpr auto kKeywordPrecedence = [] {
  std::array<std::int8_t, static_cast<std::size_t>(Kw::kCount)> t{};
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<std::int8_t>(keyword_precedence(static_cast<Kw>(i)));
  return t;
}();
constexpr auto kOpPrecedence = [] {
  std::array<std::int8_t, 256> t{};
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<std::int8_t>(op_precedence(static_cast<Op>(i)));
  return t;
}();

}  // namespace

int Parser::infix_precedence() const {
  const Token& t = peek();
  if (t.kind == Tok::kWord) {
    const int prec = kKeywordPrecedence[static_cast<std::size_t>(t.kw)];
    return prec >= 0 ? prec : word_precedence(t);
  }
  if (t.kind == Tok::kOp) {
    // T-SQL's !< and !>, and "! =" written apart
    if (t.op == Op::kBang && (at_op(Op::kLt, 1) || at_op(Op::kGt, 1) || at_op(Op::kEq, 1))) return kPrecCompare;
    return kOpPrecedence[static_cast<std::uint8_t>(t.op)];
  }
  return t.kind == Tok::kStar ? kPrecMul : kPrecNone;
}

int Parser::word_precedence(const Token& t) const {
  switch (t.kw) {
    case Kw::kSimilar: return at_kw(Kw::kTo, 1) ? kPrecCompare : kPrecNone;
    case Kw::kNot: {
      const Token& n = peek(1);
      if (n.kind != Tok::kWord) return kPrecNone;
      switch (n.kw) {
        case Kw::kIn: case Kw::kLike: case Kw::kIlike: case Kw::kRlike: case Kw::kRegexp:
        case Kw::kBetween: case Kw::kSimilar: case Kw::kGlob:
          return kPrecCompare;
        case Kw::kNone:
          return at_word("match", 1) && !at(Tok::kLParen, 2) ? kPrecCompare : kPrecNone;
        default: return kPrecNone;
      }
    }
    case Kw::kGlobal:  // ClickHouse: x global [not] in (..)
      return at_kw(Kw::kIn, 1) || (at_kw(Kw::kNot, 1) && at_kw(Kw::kIn, 2)) ? kPrecCompare : kPrecNone;
    case Kw::kAt: return at_kw(Kw::kTime, 1) && at_kw(Kw::kZone, 2) ? kPrecAtZone : kPrecNone;
    case Kw::kNone:
      // Most such words are aliases: their length rules out the operator words.
      switch (t.end - t.begin) {
        case 3:
          if (at_word("xor")) return kPrecXor;
          if (at_word("div") || at_word("mod")) return kPrecMul;
          return kPrecNone;
        case 5:
          if (at_word("match") && !at(Tok::kLParen, 1) &&
              (d_.id == DialectId::kSqlite || d_.id == DialectId::kGeneric)) {
            return kPrecCompare;
          }
          return kPrecNone;
        case 8:
          if (at_word("overlaps")) return kPrecCompare;
          if (at_word("operator") && at(Tok::kLParen, 1)) return kPrecCompare;
          return kPrecNone;
        default:
          return kPrecNone;
      }
    default: return kPrecNone;
  }
}

Expr* Parser::expr() {
  if (classic_) [[unlikely]] return classic_expr();
  return expr_bp(kPrecNone);
}

Expr* Parser::expr_bp(int min_prec) {
  DepthGuard guard(*this, /*counts=*/false);
  const std::uint32_t begin = here();
  Expr* left = simple_operand();
  if (left == nullptr) left = unary();
  for (;;) {
    int prec = infix_precedence();
    if (prec <= min_prec) {
      if (classic_ && at_op(Op::kDoubleColon)) [[unlikely]] {
        left = classic_cast(left, begin);  // a in (1, 2)::int
        continue;
      }
      break;
    }
    if (classic_ && !classic_infix(peek())) [[unlikely]] break;  // what follows decides the error
    left = infix(left, prec, begin);
  }
  return left;
}

Expr* Parser::infix(Expr* left, int prec, std::uint32_t begin) {
  const Token t = peek();
  if (classic_) [[unlikely]] classic_climb(t);
  auto binary = [&](std::string_view op, Expr* right) {
    Binary* b = node<Binary>(begin);
    b->kind = ExprKind::kBinary;
    b->op = op;
    b->left = left;
    b->right = right;
    return finish(b);
  };
  if (t.kind == Tok::kStar) {
    step();
    return binary("*", expr_bp(prec));
  }
  if (t.kind == Tok::kOp) {
    step();
    std::string_view op = op_text(t.op);
    if (t.op == Op::kCustom || t.op == Op::kCompoundAssign) op = text_of(t);
    // "> =", "< =", "! =" written apart (T-SQL, Oracle)
    if ((t.op == Op::kGt || t.op == Op::kLt || t.op == Op::kBang) && at_op(Op::kEq)) {
      advance();
      op = t.op == Op::kGt ? ">=" : t.op == Op::kLt ? "<=" : "<>";
    } else if (t.op == Op::kLt && at_op(Op::kGt)) {
      advance();
      op = "<>";
    } else if (t.op == Op::kBang && (at_op(Op::kLt) || at_op(Op::kGt))) {
      // T-SQL: !< and !>
      op = at_op(Op::kLt) ? "!<" : "!>";
      advance();
    }
    // Quantified comparison: x = any (..), x > all (..)
    // (The classic grammar reads any (..) and some (..) as calls.)
    if (prec == kPrecCompare && (at_kw(Kw::kAny) || at_kw(Kw::kAll) || at_kw(Kw::kSome)) &&
        at(Tok::kLParen, 1) && !(classic_ && !at_kw(Kw::kAll))) {
      ClassicNest nest(*this, 1);  // the classic grammar's call any(..)
      Quantified* q = node<Quantified>(begin);
      q->kind = ExprKind::kQuantified;
      q->left = left;
      q->op = op;
      q->quantifier = at_kw(Kw::kAny) ? "any" : at_kw(Kw::kAll) ? "all" : "some";
      advance();
      advance();
      if (at_query_start()) {
        q->query = query();
      } else {
        q->array = expr();
      }
      expect(Tok::kRParen, ")");
      return finish(q);
    }
    return binary(op, expr_bp(prec));
  }
  // Words.
  if (t.kw == Kw::kGlobal) advance();
  if (at_word("operator") && at(Tok::kLParen, 1)) {
    const std::size_t from = pos_;
    advance();
    skip_group();
    const std::string_view op = lower_words(from);
    return binary(op, expr_bp(prec));
  }
  bool negated = false;
  if (at_kw(Kw::kNot)) {
    negated = true;
    advance();
  }
  const Token w = peek();
  switch (w.kw) {
    case Kw::kOr: advance(); return binary("or", expr_bp(prec));
    case Kw::kAnd: advance(); return binary("and", expr_bp(prec));
    case Kw::kIsnull:
    case Kw::kNotnull: {
      advance();
      Unary* u = node<Unary>(begin);
      u->kind = ExprKind::kUnary;
      u->op = w.kw == Kw::kIsnull ? "isnull" : "notnull";
      u->operand = left;
      u->postfix = true;
      return finish(u);
    }
    case Kw::kIs: {
      advance();
      bool is_not = accept_kw(Kw::kNot);
      if (accept_kw(Kw::kDistinct)) {
        expect_kw(Kw::kFrom, "FROM");
        return binary(is_not ? "is not distinct from" : "is distinct from", expr_bp(prec));
      }
      const std::uint32_t rb = here();
      Expr* right = nullptr;
      if (classic_ && !at_kw(Kw::kNull) && !at_kw(Kw::kTrue) && !at_kw(Kw::kFalse)) {
        right = expr_bp(prec);  // the classic grammar's a is b
      } else if (at_kw(Kw::kNull) || at_kw(Kw::kTrue) || at_kw(Kw::kFalse)) {
        Literal* l = node<Literal>(rb);
        l->kind = ExprKind::kLiteral;
        l->literal_kind = at_kw(Kw::kNull) ? LiteralKind::kNull : LiteralKind::kBoolean;
        l->text = text_of(peek());
        advance();
        right = finish(l);
      } else if (at(Tok::kWord) && (at_word("unknown") || at_word("nan") || at_word("json") ||
                                    at_word("normalized") || at_word("document"))) {
        const std::size_t from = pos_;
        advance();
        while (at_word("value") || at_word("array") || at_word("object") || at_word("scalar")) advance();
        if ((at_kw(Kw::kWith) || at_kw(Kw::kWithout)) && at_kw(Kw::kUnique, 1)) {
          advance();
          advance();
          accept_word("keys");
        }
        Keyword* k = node<Keyword>(rb);
        k->kind = ExprKind::kKeyword;
        k->text = raw_since(from);
        right = finish(k);
      } else if (at_kw(Kw::kOf)) {
        // is of (type, ..)
        const std::size_t from = pos_;
        advance();
        skip_group();
        Keyword* k = node<Keyword>(rb);
        k->kind = ExprKind::kKeyword;
        k->text = raw_since(from);
        right = finish(k);
      } else {
        fail("NULL, TRUE, FALSE, UNKNOWN or DISTINCT FROM");
      }
      return binary(is_not ? "is not" : "is", right);
    }
    case Kw::kIn: {
      advance();
      In* in = node<In>(begin);
      in->kind = ExprKind::kIn;
      in->operand = left;
      in->negated = negated;
      if (at(Tok::kLParen)) {
        ClassicNest nest(*this);
        advance();
        if (at_query_start() || (at(Tok::kLParen) && parenthesised_query_follows())) {
          in->query = query();
        } else if (!at(Tok::kRParen)) {
          in->items = expr_list();
        } else if (classic_) [[unlikely]] {
          classic_fail(peek(), "an expression");  // in ()
        }
        expect(Tok::kRParen, classic_ && in->query != nullptr ? ")" : "a comma or )");
      } else {
        // x in unnest(arr), x in @param, x in table (ClickHouse)
        SmallVec<Expr*> one{unary()};
        in->items = arena_.list(one);
        in->unparenthesised = true;
      }
      return finish(in);
    }
    case Kw::kBetween: {
      advance();
      Between* b = node<Between>(begin);
      b->kind = ExprKind::kBetween;
      b->operand = left;
      b->negated = negated;
      if (accept_word("symmetric")) {
        b->symmetric = true;
      } else {
        accept_word("asymmetric");
      }
      b->low = classic_ ? classic_bound() : expr_bp(kPrecCompare);
      expect_kw(Kw::kAnd, "AND");
      b->high = classic_ ? classic_bound() : expr_bp(kPrecCompare);
      return finish(b);
    }
    case Kw::kLike: case Kw::kIlike: case Kw::kRlike: case Kw::kRegexp: case Kw::kGlob:
    case Kw::kSimilar: {
      std::string_view op;
      switch (w.kw) {
        case Kw::kLike: op = negated ? "not like" : "like"; break;
        case Kw::kIlike: op = negated ? "not ilike" : "ilike"; break;
        case Kw::kRlike: op = negated ? "not rlike" : "rlike"; break;
        case Kw::kRegexp: op = negated ? "not regexp" : "regexp"; break;
        case Kw::kGlob: op = negated ? "not glob" : "glob"; break;
        default: op = negated ? "not similar to" : "similar to"; break;
      }
      advance();
      if (w.kw == Kw::kSimilar) expect_kw(Kw::kTo, "TO");
      // (The classic grammar reads any (..) and some (..) as calls here too.)
      if ((at_kw(Kw::kAny) || at_kw(Kw::kAll) || at_kw(Kw::kSome)) && at(Tok::kLParen, 1) &&
          !(classic_ && !at_kw(Kw::kAll))) {
        ClassicNest nest(*this, 1);
        Quantified* q = node<Quantified>(begin);
        q->kind = ExprKind::kQuantified;
        q->left = left;
        q->op = op;
        q->quantifier = at_kw(Kw::kAny) ? "any" : at_kw(Kw::kAll) ? "all" : "some";
        advance();
        const std::uint32_t tb = here();
        advance();
        if (at_query_start()) {
          q->query = query();
          expect(Tok::kRParen, ")");
        } else {
          TupleExpr* tuple = node<TupleExpr>(tb);
          tuple->kind = ExprKind::kTuple;
          tuple->items = expr_list();
          expect(Tok::kRParen, "a comma or )");
          q->array = finish(tuple);
        }
        return finish(q);
      }
      Binary* b = node<Binary>(begin);
      b->kind = ExprKind::kBinary;
      b->op = op;
      b->left = left;
      b->right = expr_bp(prec);
      if (!classic_ && accept_kw(Kw::kEscape)) b->escape = expr_bp(prec);
      return finish(b);
    }
    case Kw::kCollate: {
      advance();
      Collate* c = node<Collate>(begin);
      c->kind = ExprKind::kCollate;
      c->operand = left;
      if (classic_ ? at(Tok::kWord) || at(Tok::kQuotedName) : at(Tok::kString) || at_name()) {
        const std::size_t from = pos_;
        advance();
        while (!classic_ && at(Tok::kDot)) {  // the classic collation is one name
          advance();
          advance();
        }
        c->collation = raw_since(from);
      } else {
        fail("a collation name");
      }
      return finish(c);
    }
    case Kw::kAt:
      advance();
      advance();
      advance();
      return binary("at time zone", expr_bp(prec));
    default:
      break;
  }
  if (at_word("xor")) { advance(); return binary("xor", expr_bp(prec)); }
  if (at_word("div")) { advance(); return binary("div", expr_bp(prec)); }
  if (at_word("mod")) { advance(); return binary("mod", expr_bp(prec)); }
  if (at_word("overlaps")) { advance(); return binary("overlaps", expr_bp(prec)); }
  if (at_word("match")) { advance(); return binary(negated ? "not match" : "match", expr_bp(prec)); }
  fail("an operator");
}

// ---- prefix operators ---------------------------------------------------------

Expr* Parser::unary() {
  const Token& t = peek();
  const std::uint32_t begin = t.begin;
  std::string_view op;
  int prec = kPrecUnary;
  if (t.kind == Tok::kOp) {
    switch (t.op) {
      case Op::kMinus: op = "-"; break;
      case Op::kPlus: op = "+"; break;
      case Op::kTilde: op = "~"; break;
      case Op::kBang: op = "!"; prec = kPrecNot; break;
      case Op::kDoubleBang: op = "!!"; break;
      case Op::kSqrt: op = "|/"; break;
      case Op::kCbrt: op = "||/"; break;
      case Op::kAt: op = "@"; break;
      default: break;
    }
  } else if (t.kind == Tok::kWord) {
    if (!classic_ && at_word("approximate") && at_name(1) && at(Tok::kLParen, 2)) {
      op = "approximate";
    } else if (t.kw == Kw::kNot) {
      op = "not";
      prec = kPrecNot - 1;
    } else if (!classic_ && t.kw == Kw::kPrior && !at(Tok::kLParen, 1) && at_name(1)) {
      op = "prior";
    } else if (!classic_ && at_word("connect_by_root") && at_name(1)) {
      op = "connect_by_root";
    }
  }
  if (op.empty()) return postfix(primary());
  if (classic_) [[unlikely]] classic_prefix(t);
  DepthGuard guard(*this);
  advance();
  Unary* u = node<Unary>(begin);
  u->kind = ExprKind::kUnary;
  u->op = op;
  u->operand = expr_bp(prec);
  return finish(u);
}

}  // namespace sqlparse::syntax
