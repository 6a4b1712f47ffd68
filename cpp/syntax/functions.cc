// Function calls: arguments (named, lambdas, DISTINCT, ORDER BY / LIMIT /
// SEPARATOR inside), the call forms with keywords between their arguments
// (CAST, EXTRACT, TRIM, SUBSTRING, POSITION, OVERLAY, CONVERT), and what
// may follow a call: IGNORE NULLS, WITHIN GROUP, FILTER, KEEP and OVER.
#include "syntax/grammar.h"

namespace sqlparse::syntax {
namespace {

bool name_is(const Name& n, std::string_view lower) {
  return n.parts.size() == 1 && n.parts[0].quote == 0 && equals_lower(n.parts[0].text, lower);
}

}  // namespace

Expr* Parser::function_call(Name name, std::uint32_t begin) {
  DepthGuard guard(*this);
  ClassicNest nest(*this);
  bool handled = false;
  Expr* special = special_call(name, begin, &handled);
  if (handled) return special;
  advance();  // "("
  classic_call_args_at_ = pos_;
  Function* f = node<Function>(begin);
  f->kind = ExprKind::kFunction;
  f->name = name;
  if (at_kw(Kw::kDistinct) || (!classic_ && at_kw(Kw::kAll) && !at(Tok::kRParen, 1))) {
    f->quantifier = at_kw(Kw::kDistinct) ? "distinct" : "all";
    advance();
  }
  SmallVec<Expr*> args;
  SmallVec<SelectItem> classic_items;  // classic mode: the arguments after DISTINCT are select items
  SmallVec<List<Ident>> classic_alias_more;
  if (!at(Tok::kRParen)) {
    for (;;) {
      if (!classic_ && at_clause_in_call()) break;
      args.push_back(classic_ && !f->quantifier.empty() ? classic_distinct_arg(classic_items, classic_alias_more)
                                                        : function_arg());
      // Keywords between arguments: json_value(x, '$.a' returning int),
      // json_object('a' value x), xmlelement(name "n", ..).
      while (!classic_ && at(Tok::kWord) && !at_clause_in_call()) {
        const std::uint32_t kb = here();
        const std::size_t from = pos_;
        advance();
        while (at(Tok::kWord) && peek().kw != Kw::kNone && !at(Tok::kLParen, 1) && !at_clause_in_call() &&
               peek().kw != Kw::kNull && peek().kw != Kw::kTrue && peek().kw != Kw::kFalse &&
               peek().kw != Kw::kCase && peek().kw != Kw::kNot && !at_query_start()) {
          advance();
        }
        KeywordArg* k = node<KeywordArg>(kb);
        k->kind = ExprKind::kKeywordArg;
        k->keyword = raw_since(from);
        if (!at(Tok::kComma) && !at(Tok::kRParen) && !at_clause_in_call()) k->value = expr();
        args.push_back(finish(k));
      }
      if (!accept(Tok::kComma)) break;
    }
  }
  f->args = arena_.list(args);
  if (classic_) [[unlikely]] {
    for (const SelectItem& item : classic_items) {
      if (!item.alias.text.empty() || item.value_window != nullptr || item.expr->kind == ExprKind::kFunction) {
        f->classic_distinct_items = arena_.list(classic_items);
        f->classic_arg_alias_more = arena_.list(classic_alias_more);
        break;
      }
    }
    classic_call_end(f);
  }
  // The clauses inside a call, in any order: order by, limit, separator, ignore nulls.
  for (int round = 0; round < 4; ++round) {
    if (at_kw(Kw::kOrder) && at_kw(Kw::kBy, 1) && f->arg_order_by.empty()) {
      advance();
      advance();
      f->arg_order_by = order_by_items();
    } else if (at_kw(Kw::kLimit) && f->arg_limit == nullptr) {
      advance();
      f->arg_limit = expr();
    } else if (at_kw(Kw::kSeparator) && f->separator == nullptr) {
      advance();
      f->separator = expr();
    } else if ((at_kw(Kw::kIgnore) || at_kw(Kw::kRespect)) && at_kw(Kw::kNulls, 1) && f->null_treatment.empty()) {
      f->null_treatment = at_kw(Kw::kIgnore) ? "ignore nulls" : "respect nulls";
      f->null_treatment_inside = true;
      advance();
      advance();
    } else {
      break;
    }
  }
  expect(Tok::kRParen, "a comma or )");
  function_tail(f);
  return finish(f);
}

bool Parser::at_clause_in_call() const {
  return (at_kw(Kw::kOrder) && at_kw(Kw::kBy, 1)) || at_kw(Kw::kLimit) || at_kw(Kw::kSeparator) ||
         ((at_kw(Kw::kIgnore) || at_kw(Kw::kRespect)) && at_kw(Kw::kNulls, 1));
}

Expr* Parser::function_arg() {
  const std::uint32_t begin = here();
  // name => value, name := value
  if (at_name() && (at_op(Op::kFatArrow, 1) || at_op(Op::kColonEq, 1))) {
    NamedArg* n = node<NamedArg>(begin);
    n->kind = ExprKind::kNamedArg;
    n->name = ident();
    n->op = at_op(Op::kFatArrow) ? "=>" : ":=";
    advance();
    n->value = expr();
    return finish(n);
  }
  // The classic grammar takes a bare query only as a call's only argument.
  if (at_query_start() && (!classic_ || toks_[pos_ - 1].kind == Tok::kLParen)) {
    SubqueryExpr* s = node<SubqueryExpr>(begin);
    s->kind = ExprKind::kSubquery;
    s->query = query();
    if (classic_ && !at(Tok::kRParen)) [[unlikely]] classic_fail(peek(), ")");
    return finish(s);
  }
  // A leading keyword: openrowset(bulk 'f', ..), ml.predict(model m, table t),
  // f(variadic arr).
  const Token& t = peek();
  const Token& n = peek(1);
  if (!classic_ && t.kind == Tok::kWord &&
      (n.kind == Tok::kString || n.kind == Tok::kQuotedName || (n.kind == Tok::kWord && n.kw == Kw::kNone)) &&
      t.kw != Kw::kInterval && t.kw != Kw::kCase && t.kw != Kw::kNot && t.kw != Kw::kExists &&
      t.kw != Kw::kDistinct && t.kw != Kw::kAll && t.kw != Kw::kPrior && t.kw != Kw::kNull &&
      t.kw != Kw::kTrue && t.kw != Kw::kFalse && !(n.kind == Tok::kString && is_literal_type(text_of(t)))) {
    // Kept as a prefix word on the argument, so that it prints after a comma.
    Unary* u = node<Unary>(begin);
    u->kind = ExprKind::kUnary;
    const std::size_t from = pos_;
    advance();
    u->op = lower_words(from);
    u->operand = function_arg();
    return finish(u);
  }
  Expr* e = expr();
  return e;
}

void Parser::function_tail(Function* f) {
  if (classic_) return;  // OVER / WITHIN GROUP: after a select item's value (classic_mode.cc)
  if ((at_kw(Kw::kIgnore) || at_kw(Kw::kRespect)) && at_kw(Kw::kNulls, 1)) {
    f->null_treatment = at_kw(Kw::kIgnore) ? "ignore nulls" : "respect nulls";
    advance();
    advance();
  }
  if (at_kw(Kw::kWithin) && at_kw(Kw::kGroup, 1)) {
    advance();
    advance();
    expect(Tok::kLParen, "(");
    expect_kw(Kw::kOrder, "ORDER BY");
    expect_kw(Kw::kBy, "BY");
    f->within_group = order_by_items();
    expect(Tok::kRParen, ")");
  }
  if (at_kw(Kw::kFilter) && at(Tok::kLParen, 1)) {
    advance();
    advance();
    accept_kw(Kw::kWhere);
    f->filter = expr();
    expect(Tok::kRParen, ")");
  }
  if (at_kw(Kw::kKeep) && at(Tok::kLParen, 1)) {
    const std::size_t from = pos_;
    advance();
    skip_group();
    f->keep = raw_since(from);
  }
  if ((at_kw(Kw::kIgnore) || at_kw(Kw::kRespect)) && at_kw(Kw::kNulls, 1) && f->null_treatment.empty()) {
    f->null_treatment = at_kw(Kw::kIgnore) ? "ignore nulls" : "respect nulls";
    advance();
    advance();
  }
  if (at_kw(Kw::kOver)) {
    advance();
    if (at(Tok::kLParen)) {
      f->over = window_spec();
    } else {
      f->over_name = ident();
    }
  }
}

Expr* Parser::special_call(const Name& name, std::uint32_t begin, bool* handled) {
  *handled = false;
  if (name.parts.size() != 1 || name.parts[0].quote != 0) return nullptr;
  const Kw kw = keyword_of(name.parts[0].text);
  const bool is_cast = kw == Kw::kCast || (!classic_ && (kw == Kw::kTryCast || kw == Kw::kSafeCast ||
                                                        name_is(name, "try_cast") || name_is(name, "safe_cast")));
  if (is_cast) {
    *handled = true;
    advance();  // "("
    Cast* c = node<Cast>(begin);
    c->kind = ExprKind::kCast;
    c->style = kw == Kw::kCast ? "cast" : (kw == Kw::kTryCast || name_is(name, "try_cast")) ? "try_cast" : "safe_cast";
    c->operand = expr();
    expect_kw(Kw::kAs, "AS");
    c->type = type_name();
    if (accept_kw(Kw::kFormat)) c->format = expr();
    expect(Tok::kRParen, ")");
    return finish(c);
  }
  // The classic grammar's calls are plain, but for extract(part from x).
  if (classic_ && (kw != Kw::kExtract || !at(Tok::kWord, 1) || !at_kw(Kw::kFrom, 2) || at_kw(Kw::kDistinct, 1) ||
                   at_kw(Kw::kSelect, 1))) {
    return nullptr;
  }
  if (kw == Kw::kConvert && d_.id == DialectId::kTsql) {
    // convert(type, expr [, style])
    *handled = true;
    advance();
    Cast* c = node<Cast>(begin);
    c->kind = ExprKind::kCast;
    c->style = "convert";
    c->type = type_name();
    expect(Tok::kComma, ",");
    c->operand = expr();
    if (accept(Tok::kComma)) c->style_arg = expr();
    expect(Tok::kRParen, ")");
    return finish(c);
  }
  // Calls with keywords between their arguments.
  std::string_view first_kw;  // a keyword that may lead the first argument
  if (kw == Kw::kExtract) {
    // extract(year from d): the part is a keyword, not a column.
    *handled = true;
    advance();
    Function* f = node<Function>(begin);
    f->kind = ExprKind::kFunction;
    f->name = name;
    SmallVec<Expr*> args;
    const bool part_call = !classic_ && at(Tok::kWord) && at(Tok::kLParen, 1) && at(Tok::kWord, 2) &&
                           at(Tok::kRParen, 3) && at_kw(Kw::kFrom, 4);  // week(monday)
    if (at(Tok::kWord) && (at_kw(Kw::kFrom, 1) || part_call)) {
      Keyword* k = node<Keyword>(here());
      k->kind = ExprKind::kKeyword;
      const std::size_t from = pos_;
      advance();
      if (part_call) skip_group();
      k->text = raw_since(from);
      args.push_back(finish(k));
      KeywordArg* source = node<KeywordArg>(here());
      source->kind = ExprKind::kKeywordArg;
      source->keyword = text_of(peek());
      advance();
      source->value = expr();
      args.push_back(finish(source));
    } else {
      args.push_back(expr());
      while (accept(Tok::kComma)) args.push_back(expr());
    }
    f->args = arena_.list(args);
    if (classic_) classic_call_end(f);  // extract(year from x ignore nulls)
    expect(Tok::kRParen, ")");
    function_tail(f);
    return finish(f);
  }
  const bool is_trim = kw == Kw::kTrim;
  const bool is_substring = kw == Kw::kSubstring || name_is(name, "substr");
  const bool is_position = kw == Kw::kPosition;
  const bool is_overlay = name_is(name, "overlay");
  if (!is_trim && !is_substring && !is_position && !is_overlay) return nullptr;
  // Only the keyword form needs this path; a plain comma list is an ordinary call.
  {
    std::size_t i = 1;
    int depth = 0;
    bool keyworded = false;
    for (;; ++i) {
      const Token& t = peek(i);
      if (t.kind == Tok::kEnd || t.kind == Tok::kError) break;
      if (t.kind == Tok::kLParen || t.kind == Tok::kLBracket) ++depth;
      if (t.kind == Tok::kRParen || t.kind == Tok::kRBracket) {
        if (depth == 0) break;
        --depth;
      }
      if (depth == 0 && t.kind == Tok::kWord &&
          (t.kw == Kw::kFrom || t.kw == Kw::kFor || (is_position && t.kw == Kw::kIn) ||
           (is_overlay && at_word("placing", i)) ||
           (is_trim && i == 1 && (t.kw == Kw::kBoth || t.kw == Kw::kLeading || t.kw == Kw::kTrailing)))) {
        keyworded = true;
        break;
      }
      if (depth == 0 && t.kind == Tok::kComma) break;
    }
    if (!keyworded) return nullptr;
  }
  *handled = true;
  advance();  // "("
  Function* f = node<Function>(begin);
  f->kind = ExprKind::kFunction;
  f->name = name;
  SmallVec<Expr*> args;
  if (is_trim && (at_kw(Kw::kBoth) || at_kw(Kw::kLeading) || at_kw(Kw::kTrailing))) {
    first_kw = text_of(peek());
    const std::uint32_t kb = here();
    advance();
    KeywordArg* k = node<KeywordArg>(kb);
    k->kind = ExprKind::kKeywordArg;
    k->keyword = first_kw;
    if (!at_kw(Kw::kFrom)) k->value = expr_bp(6);
    args.push_back(finish(k));
  } else if (!(is_trim && at_kw(Kw::kFrom))) {
    args.push_back(expr_bp(6));  // above IN, so position(a in b) keeps its IN
  }
  for (;;) {
    const bool key = at_kw(Kw::kFrom) || at_kw(Kw::kFor) || (is_position && at_kw(Kw::kIn)) ||
                     (is_overlay && at_word("placing"));
    if (!key) break;
    const std::uint32_t kb = here();
    KeywordArg* k = node<KeywordArg>(kb);
    k->kind = ExprKind::kKeywordArg;
    k->keyword = text_of(peek());
    advance();
    k->value = expr();
    args.push_back(finish(k));
  }
  while (accept(Tok::kComma)) args.push_back(expr());
  expect(Tok::kRParen, ")");
  f->args = arena_.list(args);
  function_tail(f);
  return finish(f);
}

// ---- windows and ordering -----------------------------------------------------

WindowSpec* Parser::window_spec() {
  DepthGuard guard(*this);
  const std::uint32_t begin = here();
  expect(Tok::kLParen, "(");
  WindowSpec* w = arena_.make<WindowSpec>();
  w->span.begin = begin;
  if (!classic_ && at_name() && !at_kw(Kw::kPartition) && !at_kw(Kw::kOrder) && !at_kw(Kw::kRows) &&
      !at_kw(Kw::kRange) && !at_kw(Kw::kGroups)) {
    w->base = ident();
  }
  if (classic_ && (at_kw(Kw::kPartition) || at_kw(Kw::kOrder)) && !at_kw(Kw::kBy, 1)) classic_fail(peek(1), "BY");
  if (at_kw(Kw::kPartition) && at_kw(Kw::kBy, 1)) {
    advance();
    advance();
    w->partition_by = expr_list();
  }
  if (classic_ && at_kw(Kw::kOrder) && !at_kw(Kw::kBy, 1)) classic_fail(peek(1), "BY");
  if ((at_kw(Kw::kOrder) || (!classic_ && at_kw(Kw::kSort))) && at_kw(Kw::kBy, 1)) {
    advance();
    advance();
    w->order_by = classic_ ? classic_sort_items() : order_by_items();
  }
  if (at_kw(Kw::kRows) || at_kw(Kw::kRange) || at_kw(Kw::kGroups)) w->frame = window_frame();
  expect(Tok::kRParen, ")");
  w->span = span_from(begin);
  return w;
}

WindowFrame* Parser::window_frame() {
  WindowFrame* f = arena_.make<WindowFrame>();
  f->units = at_kw(Kw::kRows) ? "rows" : at_kw(Kw::kRange) ? "range" : "groups";
  advance();
  auto bound = [&](Expr** value) -> std::string_view {
    if (at_kw(Kw::kUnbounded)) {
      advance();
      if (accept_kw(Kw::kPreceding)) return "unbounded preceding";
      expect_kw(Kw::kFollowing, "PRECEDING or FOLLOWING");
      return "unbounded following";
    }
    if (classic_ && at_kw(Kw::kCurrent) && !at_kw(Kw::kRow, 1)) classic_fail(peek(1), "ROW");
    if (at_kw(Kw::kCurrent) && at_kw(Kw::kRow, 1)) {
      advance();
      advance();
      return "current row";
    }
    if (classic_ && !(at(Tok::kNumber) && (text_of(peek()).size() < 2 || (text_of(peek())[1] | 0x20) != 'x'))) {
      classic_fail(peek(), "UNBOUNDED, CURRENT ROW or a number");
    }
    *value = classic_ ? primary() : expr_bp(6);  // the classic bound is one number
    if (accept_kw(Kw::kPreceding)) return "preceding";
    expect_kw(Kw::kFollowing, "PRECEDING or FOLLOWING");
    return "following";
  };
  if (accept_kw(Kw::kBetween)) {
    f->start = bound(&f->start_value);
    expect_kw(Kw::kAnd, "AND");
    f->end = bound(&f->end_value);
  } else {
    f->start = bound(&f->start_value);
  }
  if (!classic_ && at_kw(Kw::kExclude)) {
    const std::size_t from = pos_;
    advance();
    if (at_kw(Kw::kCurrent) || at_kw(Kw::kNo)) {
      advance();
      advance();
    } else {
      advance();
    }
    f->exclude = raw_since(from);
  }
  return f;
}

List<OrderItem> Parser::order_by_items() {
  SmallVec<OrderItem> items;
  do {
    items.push_back(order_item());
  } while (accept(Tok::kComma));
  return arena_.list(items);
}

OrderItem Parser::order_item() {
  OrderItem o;
  const std::uint32_t begin = here();
  o.expr = expr();
  if (accept_kw(Kw::kAsc)) {
    o.direction = "asc";
  } else if (accept_kw(Kw::kDesc)) {
    o.direction = "desc";
  } else if (at_kw(Kw::kUsing) && (at(Tok::kOp, 1) || at_word("operator", 1))) {
    // Postgres: order by a using <
    const std::size_t from = pos_;
    advance();
    if (at(Tok::kOp)) {
      advance();
    } else {
      advance();
      skip_group();
    }
    o.direction = lower_words(from);
  }
  if (at_kw(Kw::kNulls) && (at_kw(Kw::kFirst, 1) || at_kw(Kw::kLast, 1))) {
    advance();
    o.nulls = at_kw(Kw::kFirst) ? "first" : "last";
    advance();
  }
  // ClickHouse: order by x with fill ..
  o.span = span_from(begin);
  return o;
}

}  // namespace sqlparse::syntax
