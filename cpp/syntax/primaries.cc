// Primaries and postfix forms: literals (typed, adjacent strings), names and
// calls, parameters, parentheses, tuples and lambdas, sub-queries, CASE,
// INTERVAL, array and struct literals, star modifiers, and the postfix forms
// :: casts, subscripts, field access, method calls and variant paths.
#include <string>

#include "syntax/grammar.h"

namespace sqlparse::syntax {
namespace {

bool is_unit_word(std::string_view w) {
  static constexpr std::string_view kUnits[] = {
      "year", "years", "quarter", "quarters", "month", "months", "week", "weeks", "day", "days",
      "hour", "hours", "minute", "minutes", "second", "seconds", "millisecond", "milliseconds",
      "microsecond", "microseconds", "nanosecond", "nanoseconds", "epoch", "year_month",
      "day_hour", "day_minute", "day_second", "hour_minute", "hour_second", "minute_second",
      "day_microsecond", "hour_microsecond", "minute_microsecond", "second_microsecond",
      "decade", "century", "millennium", "isoyear", "dow", "doy", "isodow", "y", "m", "d", "h",
      "mins", "secs", "ms", "us"};
  return is_one_of(w, kUnits);
}

// Niladic functions written without parentheses.
[[gnu::noinline]] bool is_niladic_name(std::string_view w) {
  static constexpr std::string_view kNames[] = {
      "current_date", "current_time", "current_timestamp", "localtime", "localtimestamp",
      "current_user", "session_user", "current_role", "sysdate", "systimestamp",
      "current_schema", "current_catalog", "current_database", "sysdatetime", "getdate"};
  return is_one_of(w, kNames);
}

// Inline, as nearly every name is turned down by the first test.
inline bool is_niladic(std::string_view w) {
  // All are 7 to 17 bytes long and start with cu, ge, lo, se or sy (which
  // most column names, such as c_custkey or l_tax, do not).
  if (w.size() < 7 || w.size() > 17) return false;
  const char c = static_cast<char>(w[0] | 0x20);
  const char d = static_cast<char>(w[1] | 0x20);
  const bool may_be = (c == 'c' && d == 'u') || (c == 'g' && d == 'e') || (c == 'l' && d == 'o') ||
                      (c == 's' && (d == 'e' || d == 'y'));
  return may_be && is_niladic_name(w);
}

}  // namespace

bool is_literal_type(std::string_view w) {
  static constexpr std::string_view kTypes[] = {
      "date", "time", "timestamp", "timestamptz", "timestamp_ltz", "timestamp_ntz",
      "timestamp_tz", "datetime", "numeric", "decimal", "json", "jsonb", "uuid", "inet",
      "bytea", "bigint", "int", "integer", "real", "float", "double", "boolean", "bool", "char",
      "varchar", "text", "bignumeric", "smallint", "tinyint", "varbinary", "binary", "cidr",
      "macaddr", "xml", "point", "geography", "geometry", "money", "blob", "string"};
  return is_one_of(w, kTypes);
}

// ---- primaries ----------------------------------------------------------------

bool Parser::at_query_start(std::size_t ahead) const {
  const Token& t = peek(ahead);
  if (t.kind != Tok::kWord) return false;
  if (classic_) [[unlikely]] return t.kw == Kw::kSelect;  // a classic sub-query starts with SELECT
  switch (t.kw) {
    case Kw::kSelect: return true;
    case Kw::kWith: return at_name(ahead + 1) || at_kw(Kw::kRecursive, ahead + 1);
    case Kw::kValues: return at(Tok::kLParen, ahead + 1) || at_kw(Kw::kRow, ahead + 1);
    case Kw::kFrom: return at_name(ahead + 1) || at(Tok::kLParen, ahead + 1);
    case Kw::kTable: return at_name(ahead + 1) && !at(Tok::kLParen, ahead + 2);
    case Kw::kPivot:
    case Kw::kUnpivot: return at_pivot_statement(ahead);
    default: return false;
  }
}

List<Expr*> Parser::expr_list() {
  SmallVec<Expr*> items;
  do {
    if (!items.empty() && !classic_ && (at(Tok::kRParen) || at(Tok::kRBracket))) break;  // a trailing comma
    items.push_back(expr());
  } while (accept(Tok::kComma));
  return arena_.list(items);
}

Expr* Parser::primary() {
  // Most operands are names: a quoted name, or a word that is no keyword and
  // not a typed literal's type (date '..'). They need none of the checks
  // below, nor the registers those save.
  const Token& t = peek();
  if (t.kind == Tok::kQuotedName ||
      (t.kind == Tok::kWord && t.kw == Kw::kNone && !classic_ && peek(1).kind != Tok::kString)) {
    return name_expr();
  }
  return primary_other();
}

Expr* Parser::primary_other() {
  const Token t = peek();
  const std::uint32_t begin = t.begin;
  switch (t.kind) {
    case Tok::kNumber: {
      if (classic_) [[unlikely]] classic_number(t);
      step();
      Literal* l = node<Literal>(begin);
      l->kind = ExprKind::kLiteral;
      l->literal_kind = LiteralKind::kNumber;
      l->text = text_of(t);
      return finish(l);
    }
    case Tok::kString: {
      step();
      // Adjacent strings are one literal: 'a' 'b'; U&'..' may name its escape.
      while (!classic_ && at(Tok::kString) && peek().sub == t.sub && peek().spaced) advance();
      if (!classic_ && at_word("uescape") && at(Tok::kString, 1)) {
        advance();
        advance();
      }
      Literal* l = node<Literal>(begin);
      l->kind = ExprKind::kLiteral;
      l->literal_kind = LiteralKind::kString;
      l->text = text_.substr(begin, prev_end() - begin);
      return finish(l);
    }
    case Tok::kParam: {
      step();
      Param* p = node<Param>(begin);
      p->kind = ExprKind::kParam;
      p->text = text_of(t);
      return finish(p);
    }
    case Tok::kOp:
      if (t.op == Op::kColon && !peek(1).spaced &&
          (at(Tok::kWord, 1) || at(Tok::kNumber, 1) || at(Tok::kString, 1) || at(Tok::kQuotedName, 1))) {
        advance();
        advance();
        Param* p = node<Param>(begin);
        p->kind = ExprKind::kParam;
        p->text = text_.substr(begin, prev_end() - begin);
        return finish(p);
      }
      break;
    case Tok::kLParen:
      return paren_or_subquery();
    case Tok::kLBracket:
      advance();
      return array_expr(begin, false);
    case Tok::kLBrace:
      return brace_expr();
    case Tok::kStar: {
      if (classic_ && !(at(Tok::kRParen, 1) && pos_ == classic_call_args_at_)) {
        classic_fail(t, "an expression");  // only a call's f(*), not (*) or varchar(*)
      }
      advance();
      Star* s = node<Star>(begin);
      s->kind = ExprKind::kStar;
      star_modifiers(s);
      return finish(s);
    }
    case Tok::kQuotedName:
      return name_expr();
    case Tok::kWord:
      break;
    case Tok::kError:
      fail("an expression");
    default:
      fail("an expression");
  }
  if (t.kind != Tok::kWord) fail("an expression");
  switch (t.kw) {
    case Kw::kNull: case Kw::kTrue: case Kw::kFalse: {
      advance();
      Literal* l = node<Literal>(begin);
      l->kind = ExprKind::kLiteral;
      l->literal_kind = t.kw == Kw::kNull ? LiteralKind::kNull : LiteralKind::kBoolean;
      l->text = text_of(t);
      return finish(l);
    }
    case Kw::kCase:
      return case_expr();
    case Kw::kExists:
      if (at(Tok::kLParen, 1) && (!classic_ || at_kw(Kw::kSelect, 2))) {
        ClassicNest nest(*this, 1);  // the classic grammar's call exists(..)
        advance();
        advance();
        SubqueryExpr* s = node<SubqueryExpr>(begin);
        s->kind = ExprKind::kExists;
        s->query = query();
        expect(Tok::kRParen, ")");
        return finish(s);
      }
      break;
    case Kw::kInterval:
      if (classic_) [[unlikely]] return classic_interval();
      if (peek(1).kind == Tok::kString || peek(1).kind == Tok::kNumber || at(Tok::kLParen, 1) ||
          at(Tok::kParam, 1) || at_op(Op::kMinus, 1) || (at_name(1) && is_unit_word(text_of(peek(2)))) ||
          (at_name(1) && at(Tok::kLParen, 2)) || (at_name(1) && unit_ahead(2))) {
        return interval_expr();
      }
      break;
    case Kw::kArray:
      if (at(Tok::kLBracket, 1)) {
        advance();
        advance();
        return array_expr(begin, true);
      }
      if (at(Tok::kLParen, 1) && at_query_start(2)) {
        ClassicNest nest(*this, 1);
        advance();
        advance();
        SubqueryExpr* s = node<SubqueryExpr>(begin);
        s->kind = ExprKind::kArraySubquery;
        s->query = query();
        expect(Tok::kRParen, ")");
        return finish(s);
      }
      if (!classic_ && at_op(Op::kLt, 1)) {
        // array<int>[1, 2] (BigQuery): the [ opens the literal, not an array type suffix
        no_type_dims_ = true;
        TypeName* type = type_name();
        no_type_dims_ = false;
        if (at(Tok::kLBracket)) {
          advance();
          ArrayExpr* a = static_cast<ArrayExpr*>(array_expr(begin, true));
          a->type = type;
          return a;
        }
        fail("[");
      }
      break;
    case Kw::kStruct:  // a plain call in the classic grammar
      if (!classic_ && (at(Tok::kLParen, 1) || at_op(Op::kLt, 1))) {
        ClassicNest nest(*this, 1);
        TypeName* type = nullptr;
        if (at_op(Op::kLt, 1)) {
          type = type_name();
        } else {
          advance();
        }
        expect(Tok::kLParen, "(");
        TupleExpr* tuple = node<TupleExpr>(begin);
        tuple->kind = ExprKind::kTuple;
        tuple->keyword = "struct";
        tuple->type = type;
        SmallVec<Expr*> items;
        if (!at(Tok::kRParen)) {
          do {
            const std::uint32_t ib = here();
            Expr* e = expr();
            if (!classic_ && accept_kw(Kw::kAs)) e = value_as(ib, e, ident());
            items.push_back(e);
          } while (accept(Tok::kComma));
        }
        expect(Tok::kRParen, classic_ ? ")" : "a comma or )");
        tuple->items = arena_.list(items);
        return finish(tuple);
      }
      break;
    case Kw::kRow:  // a plain call in the classic grammar
      if (!classic_ && at(Tok::kLParen, 1)) {
        ClassicNest nest(*this, 1);
        advance();
        advance();
        TupleExpr* tuple = node<TupleExpr>(begin);
        tuple->kind = ExprKind::kTuple;
        tuple->keyword = "row";
        if (!at(Tok::kRParen)) tuple->items = expr_list();
        expect(Tok::kRParen, classic_ ? ")" : "a comma or )");
        return finish(tuple);
      }
      break;
    case Kw::kMap:
      if (at(Tok::kLBrace, 1)) {
        advance();
        TupleExpr* tuple = static_cast<TupleExpr*>(brace_expr());
        tuple->keyword = "map";
        tuple->span.begin = begin;
        return tuple;
      }
      break;
    case Kw::kDefault:
      if (!at(Tok::kLParen, 1) && !at(Tok::kDot, 1)) {
        advance();
        Keyword* k = node<Keyword>(begin);
        k->kind = ExprKind::kKeyword;
        k->text = text_of(t);
        return finish(k);
      }
      break;
    default:
      break;
  }
  // A typed literal: date '2020-01-01', timestamp with time zone '..'.
  std::size_t type_words = 1;
  if ((t.kw == Kw::kTimestamp || t.kw == Kw::kTime) && (at_kw(Kw::kWith, 1) || at_kw(Kw::kWithout, 1))) {
    type_words = at_kw(Kw::kLocal, 2) ? 5 : 4;
    if (!at_kw(Kw::kZone, type_words - 1)) type_words = 1;
  }
  if (peek(type_words).kind == Tok::kString &&
      (classic_ ? classic_literal_type(t, type_words) : is_literal_type(text_of(t)))) {
    const std::size_t from = pos_;
    for (std::size_t i = 0; i < type_words; ++i) advance();
    Literal* l = node<Literal>(begin);
    l->kind = ExprKind::kLiteral;
    l->literal_kind = LiteralKind::kTyped;
    l->type_name = type_words == 1 ? text_of(t) : raw_since(from);
    l->text = text_of(peek());
    advance();
    return finish(l);
  }
  if (!is_name_token(t) && !(classic_ && t.kw == Kw::kCast && at(Tok::kLParen, 1))) fail("an expression");
  return name_expr();
}

// Most operands are a lone name, number or string followed by a comma, a
// parenthesis, a clause word or a binary operator. Those take no prefix,
// postfix or special form, so they are built here without the checks of
// unary(), primary() and postfix(); null leaves any other operand to them.
Expr* Parser::simple_operand() {
  const Token& t = peek();
  // The token after the operand. (A dot and a name are never the kEnd
  // token, so the walk stops at kEnd at the latest.)
  const Token* after = &t + 1;
  if (t.kind == Tok::kWord || t.kind == Tok::kQuotedName) {
    if (t.kind == Tok::kWord && t.kw != Kw::kNone) return nullptr;
    if (classic_ && !classic_name_token(t)) [[unlikely]] return nullptr;  // nocase: reserved only there
    while (after->kind == Tok::kDot && (after[1].kind == Tok::kWord || after[1].kind == Tok::kQuotedName)) after += 2;
  } else if (t.kind != Tok::kNumber && t.kind != Tok::kString) {
    return nullptr;
  }
  const Token& n = *after;
  switch (n.kind) {
    case Tok::kComma: case Tok::kRParen: case Tok::kSemicolon: case Tok::kEnd: case Tok::kStar:
      break;
    case Tok::kOp:
      // :: casts, : paths, ! factorials and -> lambdas are postfix forms
      if (n.op == Op::kDoubleColon || n.op == Op::kColon || n.op == Op::kBang || n.op == Op::kArrow) {
        return nullptr;
      }
      break;
    case Tok::kWord:
      if (!kClauseWords[static_cast<std::size_t>(n.kw)]) return nullptr;
      break;
    default:
      return nullptr;
  }
  // (Only tail calls from here on: the checks above need no saved registers.)
  if (t.kind == Tok::kNumber || t.kind == Tok::kString) return primary();
  if (after != &t + 1) return name_expr();
  return lone_name();
}

// A one-part name followed by what ends an operand (simple_operand); null for
// a niladic function name.
Expr* Parser::lone_name() {
  const Token& t = peek();
  if (t.kind == Tok::kWord && is_niladic(text_of(t))) return nullptr;
  // The column and its one part in one allocation, each written whole.
  static_assert(sizeof(ColumnRef) % alignof(Ident) == 0);
  void* const memory = arena_.allocate(sizeof(ColumnRef) + sizeof(Ident), alignof(ColumnRef));
  void* const part_memory = static_cast<char*>(memory) + sizeof(ColumnRef);
  Ident* const part = t.kind == Tok::kWord ? ::new (part_memory) Ident{text_of(t), text_of(t), 0, {t.begin, t.end}}
                                           : ::new (part_memory) Ident(quoted_ident_of(t));
  // One token: the name, its part and the column all span just it.
  ColumnRef* c = ::new (memory) ColumnRef();
  c->kind = ExprKind::kColumn;
  c->span = {t.begin, t.end};
  c->name.parts = {part, 1};
  c->name.span = c->span;
  step();
  return c;
}

Expr* Parser::value_as(std::uint32_t begin, Expr* value, const Ident& alias) {
  Binary* b = node<Binary>(begin);
  b->kind = ExprKind::kBinary;
  b->op = "as";
  b->left = value;
  ColumnRef* c = node<ColumnRef>(alias.span.begin);
  c->kind = ExprKind::kColumn;
  SmallVec<Ident> parts{alias};
  c->name.parts = arena_.list(parts);
  c->name.span = alias.span;
  b->right = finish(c);
  return finish(b);
}

Expr* Parser::name_expr() {
  const Token& first = peek();
  const std::uint32_t begin = first.begin;
  const bool identifier_call = at_word("identifier") && at(Tok::kLParen, 1) &&
                               (d_.id == DialectId::kSnowflake || d_.id == DialectId::kGeneric);
  advance();
  // identifier('db.t') / identifier($var): a name given by a string or variable.
  if (identifier_call) skip_group();
  // The parts go straight into the arena: counted first (a dot is never the
  // kEnd token, so the walk stops there at the latest), then read.
  std::uint32_t count = 1;
  for (const Token* t = cur_; t->kind == Tok::kDot && (t[1].kind == Tok::kWord || t[1].kind == Tok::kQuotedName); t += 2) {
    ++count;
  }
  Name name;
  Ident* const parts = static_cast<Ident*>(arena_.allocate(sizeof(Ident) * count, alignof(Ident)));
  name.parts = {parts, count};
  if (identifier_call) {
    const std::string_view written = text_.substr(begin, prev_end() - begin);
    ::new (static_cast<void*>(parts)) Ident{written, written, 0, {begin, prev_end()}};
  } else if (first.kind == Tok::kWord) {
    ::new (static_cast<void*>(parts)) Ident{text_of(first), text_of(first), 0, {first.begin, first.end}};
  } else {
    ::new (static_cast<void*>(parts)) Ident(quoted_ident_of(first));
  }
  for (std::uint32_t i = 1; i < count; ++i) {
    step();  // the dot, then the part
    ::new (static_cast<void*>(parts + i)) Ident(ident_of(peek()));
    step();
  }
  if (at(Tok::kDot) && at(Tok::kStar, 1)) {
    advance();
    advance();
    Star* s = node<Star>(begin);
    s->kind = ExprKind::kStar;
    s->qualifier.parts = name.parts;
    s->qualifier.span = {begin, name.parts.back().span.end};
    star_modifiers(s);
    return finish(s);
  }
  if (at(Tok::kParam) && at(Tok::kLParen, 1) && !peek().spaced && text_of(peek())[0] == '@') {
    // Oracle: a function over a database link, pkg.f@remote(..)
    advance();
    Ident& last = name.parts.back();
    last.text = last.value = text_.substr(last.span.begin, prev_end() - last.span.begin);
    last.span.end = prev_end();
  }
  name.span = span_from(begin);
  const bool outer_join_mark = !classic_ && at(Tok::kLParen) && at_op(Op::kPlus, 1) && at(Tok::kRParen, 2);
  if (at(Tok::kLParen) && !outer_join_mark) return function_call(name, begin);
  // A lambda parameter: x -> x + 1 (not a JSON arrow, whose right side is a key).
  const bool plain_word = name.parts.size() == 1 && name.parts[0].quote == 0;
  if (plain_word && at_op(Op::kArrow) && peek(1).kind != Tok::kString &&
      peek(1).kind != Tok::kNumber && peek(1).kind != Tok::kParam) {
    advance();
    Lambda* l = node<Lambda>(begin);
    l->kind = ExprKind::kLambda;
    l->params = name.parts;
    l->body = expr();
    return finish(l);
  }
  if (plain_word && is_niladic(name.parts[0].text)) {
    Function* f = node<Function>(begin);
    f->kind = ExprKind::kFunction;
    f->name = name;
    f->no_parens = true;
    return finish(f);
  }
  ColumnRef* c = node<ColumnRef>(begin);
  c->kind = ExprKind::kColumn;
  c->name = name;
  // Oracle's outer-join mark: a.b (+)
  if (outer_join_mark) {
    advance();
    advance();
    advance();
    c->outer_join_mark = true;
  }
  return finish(c);
}

Expr* Parser::paren_or_subquery() {
  const std::uint32_t begin = here();
  ClassicNest nest(*this);
  // A query in parentheses, possibly as the first operand of a set operation
  // whose operands are themselves parenthesised: ((select 1) union (select 2)).
  std::size_t k = 0;
  while (at(Tok::kLParen, k)) ++k;
  DepthGuard guard(*this, /*counts=*/!at_query_start(k));  // query() counts a sub-query
  if (at_query_start(k)) {
    const std::size_t save = pos_;
    if (k == 1) {
      advance();
      SubqueryExpr* s = node<SubqueryExpr>(begin);
      s->kind = ExprKind::kSubquery;
      s->query = query();
      expect(Tok::kRParen, ")");
      return finish(s);
    }
    try {
      advance();
      Query* q = query();
      expect(Tok::kRParen, ")");
      SubqueryExpr* s = node<SubqueryExpr>(begin);
      s->kind = ExprKind::kSubquery;
      s->query = q;
      return finish(s);
    } catch (const ParseError&) {
      set_pos(save);
    }
  }
  advance();
  if (!classic_ && at(Tok::kRParen)) {
    advance();
    TupleExpr* t = node<TupleExpr>(begin);
    t->kind = ExprKind::kTuple;
    return finish(t);
  }
  Expr* first = expr();
  if (at(Tok::kComma)) {
    SmallVec<Expr*> items{first};
    while (accept(Tok::kComma)) {
      if (!classic_ && at(Tok::kRParen)) break;  // (a, ) a one-element tuple
      items.push_back(expr());
    }
    expect(Tok::kRParen, "a comma or )");
    // (x, y) -> x + y
    if (at_op(Op::kArrow)) {
      bool all_names = true;
      SmallVec<Ident> params;
      for (Expr* e : items) {
        if (e->kind != ExprKind::kColumn || static_cast<ColumnRef*>(e)->name.parts.size() != 1) {
          all_names = false;
          break;
        }
        params.push_back(static_cast<ColumnRef*>(e)->name.parts[0]);
      }
      if (all_names) {
        advance();
        Lambda* l = node<Lambda>(begin);
        l->kind = ExprKind::kLambda;
        l->params = arena_.list(params);
        l->parenthesised = true;
        l->body = expr();
        return finish(l);
      }
    }
    TupleExpr* t = node<TupleExpr>(begin);
    t->kind = ExprKind::kTuple;
    t->items = arena_.list(items);
    return finish(t);
  }
  expect(Tok::kRParen, classic_ ? "a comma or )" : ")");
  Paren* p = node<Paren>(begin);
  p->kind = ExprKind::kParen;
  p->inner = first;
  return finish(p);
}

Expr* Parser::case_expr() {
  const std::uint32_t begin = here();
  DepthGuard guard(*this);
  ClassicNest nest(*this);
  advance();
  Case* c = node<Case>(begin);
  c->kind = ExprKind::kCase;
  if (!at_kw(Kw::kWhen)) c->operand = expr();
  SmallVec<WhenClause> whens;
  while (accept_kw(Kw::kWhen)) {
    WhenClause w;
    w.condition = expr();
    expect_kw(Kw::kThen, "THEN");
    w.result = expr();
    whens.push_back(w);
  }
  if (whens.empty()) fail("WHEN");
  c->whens = arena_.list(whens);
  if (accept_kw(Kw::kElse)) c->else_result = expr();
  expect_kw(Kw::kEnd, "WHEN, ELSE or END");
  if (!classic_) accept_kw(Kw::kCase);  // end case (some procedural dialects)
  return finish(c);
}

bool Parser::parenthesised_query_follows() {
  // ((select ..) union (select ..)): a query whose first operand is in
  // parentheses, against a list of values or sub-queries. Decided by trying.
  std::size_t k = 0;
  while (at(Tok::kLParen, k)) ++k;
  if (!at_query_start(k)) return false;
  const std::size_t save = pos_;
  bool query_then_close = false;
  try {
    query();
    query_then_close = at(Tok::kRParen);
  } catch (const ParseError&) {
  }
  set_pos(save);
  return query_then_close;
}

bool Parser::unit_ahead(std::size_t from) const {
  // A unit word within the next few tokens, outside parentheses and not a
  // name part (t.day).
  int depth = 0;
  for (std::size_t i = from; i < from + 12; ++i) {
    const Token& t = peek(i);
    if (t.kind == Tok::kEnd || t.kind == Tok::kComma || t.kind == Tok::kSemicolon) return false;
    if (t.kind == Tok::kLParen) ++depth;
    if (t.kind == Tok::kRParen && --depth < 0) return false;
    if (depth == 0 && t.kind == Tok::kWord && is_unit_word(text_of(t)) && peek(i - 1).kind != Tok::kDot) {
      return true;
    }
  }
  return false;
}

void Parser::star_modifiers(Star* star) {
  if (classic_) return;
  for (;;) {
    if ((at_kw(Kw::kExcept) || at_kw(Kw::kExclude)) &&
        ((at(Tok::kLParen, 1) && !at_query_start(2)) || (at_kw(Kw::kExclude) && at_name(1)))) {
      star->modifier_keyword = at_kw(Kw::kExcept) ? "except" : "exclude";
      advance();
      SmallVec<Ident> names;
      if (accept(Tok::kLParen)) {
        do {
          if (!names.empty() && at(Tok::kRParen)) break;
          names.push_back(name().last());
        } while (accept(Tok::kComma));
        expect(Tok::kRParen, "a comma or )");
      } else {
        names.push_back(name().last());
      }
      star->excluded = arena_.list(names);
    } else if ((at_kw(Kw::kReplace) || at_kw(Kw::kRename)) && (at(Tok::kLParen, 1) || at_name(1))) {
      const bool replace = at_kw(Kw::kReplace);
      advance();
      SmallVec<Expr*> pairs;
      const bool paren = accept(Tok::kLParen);
      do {
        if (paren && !pairs.empty() && at(Tok::kRParen)) break;
        const std::uint32_t pb = here();
        Binary* b = node<Binary>(pb);
        b->kind = ExprKind::kBinary;
        b->op = "as";
        b->left = expr();
        expect_kw(Kw::kAs, "AS");
        const std::uint32_t nb = here();
        ColumnRef* c = node<ColumnRef>(nb);
        c->kind = ExprKind::kColumn;
        Ident id = ident();
        SmallVec<Ident> parts{id};
        c->name.parts = arena_.list(parts);
        c->name.span = id.span;
        b->right = finish(c);
        pairs.push_back(finish(b));
      } while (paren && accept(Tok::kComma));
      if (paren) expect(Tok::kRParen, "a comma or )");
      (replace ? star->replaced : star->renamed) = arena_.list(pairs);
    } else if (at_kw(Kw::kIlike) && at(Tok::kString, 1)) {
      advance();
      star->ilike = primary();
    } else {
      return;
    }
  }
}

Expr* Parser::interval_expr() {
  const std::uint32_t begin = here();
  advance();
  Interval* iv = node<Interval>(begin);
  iv->kind = ExprKind::kInterval;
  if (at_op(Op::kMinus) || at_op(Op::kPlus)) {
    iv->value = unary();
  } else if (at_name() && !at(Tok::kLParen, 1) && !is_unit_word(text_of(peek(1))) && unit_ahead(1)) {
    iv->value = expr_bp(kPrecAnd);  // interval a.b + c day (ClickHouse)
  } else {
    iv->value = postfix(primary());
  }
  if (at(Tok::kWord) && is_unit_word(text_of(peek()))) {
    const std::size_t from = pos_;
    advance();
    if (at(Tok::kLParen) && at(Tok::kNumber, 1)) skip_group();
    if (at_kw(Kw::kTo) && is_unit_word(text_of(peek(1)))) {
      advance();
      advance();
      if (at(Tok::kLParen) && at(Tok::kNumber, 1)) skip_group();
    }
    iv->unit = raw_since(from);
  }
  return finish(iv);
}

Expr* Parser::array_expr(std::uint32_t begin, bool keyword) {
  // After "[".
  DepthGuard guard(*this);
  ArrayExpr* a = node<ArrayExpr>(begin);
  a->kind = ExprKind::kArray;
  a->keyword = keyword;
  if (!at(Tok::kRBracket)) {
    SmallVec<Expr*> items;
    do {
      if (at(Tok::kRBracket)) break;  // trailing comma
      items.push_back(expr());
      if (items.size() == 1 && at_kw(Kw::kFor) && at_name(1)) {
        // [f(x) for x in xs if p(x)]
        advance();
        SmallVec<Ident> vars;
        do {
          vars.push_back(ident());
        } while (accept(Tok::kComma));
        a->for_vars = arena_.list(vars);
        expect_kw(Kw::kIn, "IN");
        a->for_source = expr_bp(kPrecCompare);
        if (accept_kw(Kw::kIf)) a->for_filter = expr();
        break;
      }
    } while (accept(Tok::kComma));
    a->items = arena_.list(items);
  }
  expect(Tok::kRBracket, "a comma or ]");
  return finish(a);
}

Expr* Parser::brace_expr() {
  // {'a': 1, 'b': x} (DuckDB struct, map literal) — also {a: 1}.
  const std::uint32_t begin = here();
  DepthGuard guard(*this);
  expect(Tok::kLBrace, "{");
  TupleExpr* t = node<TupleExpr>(begin);
  t->kind = ExprKind::kTuple;
  t->keyword = "{";
  SmallVec<Expr*> items;
  if (!at(Tok::kRBrace)) {
    do {
      if (at(Tok::kRBrace)) break;
      const std::uint32_t ib = here();
      Expr* key;
      if (at_name() && at_op(Op::kColon, 1)) {
        key = name_expr();
      } else {
        key = expr_bp(kPrecCompare);
      }
      if (!accept_op(Op::kColon)) fail(":");
      Binary* b = node<Binary>(ib);
      b->kind = ExprKind::kBinary;
      b->op = ":";
      b->left = key;
      b->right = expr();
      items.push_back(finish(b));
    } while (accept(Tok::kComma));
  }
  expect(Tok::kRBrace, "a comma or }");
  t->items = arena_.list(items);
  return finish(t);
}

// ---- postfix forms ------------------------------------------------------------

Expr* Parser::postfix(Expr* base) {
  const std::uint32_t begin = base->span.begin;
  for (;;) {
    if (at_op(Op::kDoubleColon)) {
      if (classic_) [[unlikely]] classic_climb(peek());
      advance();
      Cast* c = node<Cast>(begin);
      c->kind = ExprKind::kCast;
      c->style = "::";
      c->operand = base;
      c->type = type_name();
      base = finish(c);
    } else if (at(Tok::kLBracket)) {
      DepthGuard guard(*this);
      advance();
      Subscript* s = node<Subscript>(begin);
      s->kind = ExprKind::kSubscript;
      s->base = base;
      const bool saved = no_variant_path_;
      no_variant_path_ = true;
      if (!at_op(Op::kColon)) s->index = expr();
      if (accept_op(Op::kColon)) {
        s->slice = true;
        if (!at(Tok::kRBracket)) s->upper = expr();
      }
      no_variant_path_ = saved;
      expect(Tok::kRBracket, "]");
      base = finish(s);
    } else if (classic_ && at(Tok::kDot)) {
      // A dotted name goes on with a name; after anything else "." has no reading.
      // (current_date and the like are plain names to the classic grammar.)
      const bool name = base->kind == ExprKind::kColumn ||
                        (base->kind == ExprKind::kFunction && static_cast<const Function*>(base)->no_parens);
      if (name) classic_fail(peek(1), "a name");
      return base;
    } else if (at(Tok::kDot) && (at(Tok::kWord, 1) || at(Tok::kQuotedName, 1) || at(Tok::kStar, 1))) {
      advance();
      FieldAccess* f = node<FieldAccess>(begin);
      f->kind = ExprKind::kField;
      f->base = base;
      if (at(Tok::kStar)) {
        f->star = true;
      } else {
        f->field = ident_of(peek());
      }
      advance();
      base = finish(f);
      if (!f->star && at(Tok::kLParen)) {
        // A method call: (x).upper(), xml.value('.', 'int'): the call of the
        // field's name with the object as its first argument.
        DepthGuard guard(*this);
        advance();
        Function* call = node<Function>(begin);
        call->kind = ExprKind::kFunction;
        SmallVec<Ident> parts{f->field};
        call->name.parts = arena_.list(parts);
        call->name.span = f->field.span;
        SmallVec<Expr*> args{f->base};
        if (!at(Tok::kRParen)) {
          do {
            args.push_back(function_arg());
          } while (accept(Tok::kComma));
        }
        expect(Tok::kRParen, "a comma or )");
        call->args = arena_.list(args);
        function_tail(call);
        base = finish(call);
      }
    } else if (at_op(Op::kBang) && !peek().spaced && d_.id == DialectId::kDuckDb &&
               !(at_op(Op::kEq, 1) && !peek(1).spaced)) {
      // 5! (factorial)
      advance();
      Unary* u = node<Unary>(begin);
      u->kind = ExprKind::kUnary;
      u->op = "!";
      u->operand = base;
      u->postfix = true;
      base = finish(u);
    } else if (at_op(Op::kColon) && d_.colon_variant_path && !no_variant_path_ && !peek(1).spaced &&
               (at(Tok::kWord, 1) || at(Tok::kQuotedName, 1) || at(Tok::kString, 1))) {
      base = variant_path(base);
    } else {
      return base;
    }
  }
}

Expr* Parser::variant_path(Expr* base) {
  // v:a.b[0]:c — after the variant column, up to the first token that does not
  // continue the path.
  const std::uint32_t begin = base->span.begin;
  advance();  // ':'
  const std::size_t from = pos_;
  advance();
  for (;;) {
    if ((at(Tok::kDot) || at_op(Op::kColon)) && !peek(1).spaced &&
        (at(Tok::kWord, 1) || at(Tok::kQuotedName, 1))) {
      advance();
      advance();
    } else if (at(Tok::kLBracket) && !peek().spaced) {
      skip_group();
    } else {
      break;
    }
  }
  VariantPath* v = node<VariantPath>(begin);
  v->kind = ExprKind::kVariantPath;
  v->base = base;
  v->path = text_.substr(toks_[from].begin, prev_end() - toks_[from].begin);
  return finish(v);
}

}  // namespace sqlparse::syntax
