// FROM: table references, derived tables, table functions (UNNEST, FLATTEN,
// TABLE(..)), VALUES, joins of every dialect, PIVOT / UNPIVOT, Hive's
// LATERAL VIEW, time travel, sampling and table hints.
#include <array>
#include <cstdint>

#include "syntax/grammar.h"

namespace sqlparse::syntax {

List<TableRef*> Parser::from_list() {
  SmallVec<TableRef*> items;
  do {
    items.push_back(table_ref());
  } while (accept(Tok::kComma));
  return arena_.list(items);
}

TableRef* Parser::table_ref() {
  DepthGuard guard(*this, /*counts=*/false);
  TableRef* t = table_primary();
  for (;;) {
    if (at_join_start()) {
      t = join_rest(t);
    } else if (at_kw(Kw::kLateral) && at_word("view", 1)) {
      t = lateral_view(t);
    } else {
      return t;
    }
  }
}

namespace {

// The words besides the join types that may stand before JOIN (join hints,
// positional, paste), any case. By length first, which rules out most words.
bool is_join_hint(std::string_view w) {
  switch (w.size()) {
    case 4: return equals_lower(w, "hash") || equals_lower(w, "loop");
    case 5: return equals_lower(w, "paste") || equals_lower(w, "merge");
    case 6: return equals_lower(w, "lookup") || equals_lower(w, "remote") || equals_lower(w, "reduce");
    case 8: return equals_lower(w, "directed");
    case 10: return equals_lower(w, "positional");
    default: return false;
  }
}

// What a keyword is to at_join_start, from a table (it is asked after every
// table reference).
enum JoinWord : std::uint8_t { kJoinOther, kJoinJoin, kJoinApply, kJoinArray, kJoinModifier };

constexpr auto kJoinWords = [] {
  std::array<JoinWord, static_cast<std::size_t>(Kw::kCount)> w{};
  for (Kw kw : {Kw::kJoin, Kw::kStraightJoin, Kw::kArrayJoin}) w[static_cast<std::size_t>(kw)] = kJoinJoin;
  w[static_cast<std::size_t>(Kw::kApply)] = kJoinApply;
  w[static_cast<std::size_t>(Kw::kArray)] = kJoinArray;
  for (Kw kw : {Kw::kNatural, Kw::kInner, Kw::kLeft, Kw::kRight, Kw::kFull, Kw::kOuter, Kw::kCross, Kw::kSemi,
                Kw::kAnti, Kw::kAsof, Kw::kAny, Kw::kAll, Kw::kGlobal}) {
    w[static_cast<std::size_t>(kw)] = kJoinModifier;
  }
  return w;
}();

}  // namespace

bool Parser::at_join_start() const {
  std::size_t i = 0;
  // Modifier words that may come before JOIN / APPLY.
  for (;; ++i) {
    const Token& t = peek(i);
    if (t.kind != Tok::kWord) return false;
    switch (kJoinWords[static_cast<std::size_t>(t.kw)]) {
      case kJoinJoin:
        return true;
      case kJoinApply:
        return i > 0;
      case kJoinArray:
        return at_kw(Kw::kJoin, i + 1);
      case kJoinModifier:
        continue;
      case kJoinOther:
        if (i < 4 && is_join_hint(text_of(t))) continue;
        return false;
    }
    return false;
  }
}

TableRef* Parser::join_rest(TableRef* left) {
  const std::uint32_t begin = left->span.begin;
  const std::size_t from = pos_;
  while (!at_kw(Kw::kJoin) && !at_kw(Kw::kApply) && !at_kw(Kw::kStraightJoin) && !at_kw(Kw::kArrayJoin)) {
    advance();
  }
  if (at_kw(Kw::kArray) && at_kw(Kw::kJoin, 1)) advance();
  advance();
  Join* j = node<Join>(begin);
  j->kind = TableKind::kJoin;
  j->type = lower_words(from);
  j->left = left;
  const bool array_join = j->type == "array join" || j->type == "left array join" || j->type == "array_join";
  if (array_join) {
    // ClickHouse: array join arr [as a], ..
    const std::uint32_t rb = here();
    TableFunction* f = node<TableFunction>(rb);
    f->kind = TableKind::kFunction;
    TupleExpr* list = node<TupleExpr>(rb);
    list->kind = ExprKind::kTuple;
    list->keyword = "array join";
    SmallVec<Expr*> items;
    do {
      const std::uint32_t ib = here();
      Expr* e = expr();
      bool as_kw = false;
      Ident alias = opt_alias(true, &as_kw);
      if (!alias.text.empty()) e = value_as(ib, e, alias);
      items.push_back(e);
    } while (accept(Tok::kComma));
    list->items = arena_.list(items);
    f->call = finish(list);
    j->right = finish(f);
    return finish(j);
  }
  j->right = table_primary();
  // a join b join c on c1 on c2: the inner join binds first (T-SQL, standard).
  const bool needs_condition = j->type.find("cross") == std::string_view::npos &&
                               j->type.find("natural") == std::string_view::npos &&
                               j->type.find("apply") == std::string_view::npos;
  while (needs_condition && at_join_start()) j->right = join_rest(j->right);
  if (at_kw(Kw::kMatchCondition) && at(Tok::kLParen, 1)) {
    advance();
    advance();
    j->match_condition = expr();
    expect(Tok::kRParen, ")");
  }
  if (accept_kw(Kw::kOn)) {
    j->on = expr();
  } else if (accept_kw(Kw::kUsing)) {
    if (at(Tok::kLParen) && at(Tok::kRParen, 1)) {
      advance();
      fail("a column name");
    }
    j->using_columns = ident_list();
    if (at_kw(Kw::kAs) && at_name(1)) {
      Alias* a = arena_.make<Alias>();
      advance();
      a->as_keyword = true;
      a->name = ident();
      j->using_alias = a;
    }
  }
  return finish(j);
}

Alias* Parser::alias_node(const Ident& name, bool as_keyword) {
  if (name.text.empty()) return nullptr;
  Alias* a = arena_.make<Alias>();
  a->name = name;
  a->as_keyword = as_keyword;
  return a;
}

Alias* Parser::table_alias() {
  if (at_alias_free_end()) return nullptr;
  bool as_kw = false;
  const Ident name = opt_alias(true, &as_kw);
  Alias* a = alias_node(name, as_kw);
  if (a == nullptr) return nullptr;
  if (at(Tok::kLParen) && (at_name(1) || at(Tok::kRParen, 1))) {
    // t(a, b); a column may carry a type in some dialects: t(a int)
    advance();
    SmallVec<Ident> cols;
    if (!at(Tok::kRParen)) {
      do {
        cols.push_back(ident());
        if (!at(Tok::kComma) && !at(Tok::kRParen)) type_name();
      } while (accept(Tok::kComma));
    }
    expect(Tok::kRParen, "a comma or )");
    a->columns = arena_.list(cols);
  }
  return a;
}

TableRef* Parser::table_primary() {
  DepthGuard guard(*this, /*counts=*/false);  // query() counts a derived table
  const std::uint32_t begin = here();
  TableRef* t = nullptr;
  bool lateral = false;
  if (at_kw(Kw::kLateral) && !at_word("view", 1)) {
    advance();
    lateral = true;
  }
  if (at(Tok::kLParen)) {
    // A derived table, or a parenthesised join: ((select ..) x join y on ..).
    std::size_t k = 0;
    while (at(Tok::kLParen, k)) ++k;
    bool done = false;
    if (k == 1 && !lateral && peek(1).kind == Tok::kWord) {
      // T-SQL: from (delete t output deleted.a) as x
      advance();
      if (at_dml_verb()) {
        DepthGuard statement_level(*this);
        StatementTable* s = node<StatementTable>(begin);
        s->kind = TableKind::kStatement;
        s->statement = dml_statement(here(), nullptr);
        expect(Tok::kRParen, ")");
        t = finish(s);
        done = true;
      } else {
        set_pos(pos_ - 1);
      }
    }
    if (!done && at_query_start(k)) {
      const std::size_t save = pos_;
      try {
        advance();
        DerivedTable* d = node<DerivedTable>(begin);
        d->kind = TableKind::kDerived;
        d->lateral = lateral;
        d->query = query();
        expect(Tok::kRParen, ")");
        t = finish(d);
        done = true;
      } catch (const ParseError&) {
        if (k == 1) throw;
        set_pos(save);
      }
    }
    if (!done) {
      advance();
      ParenTable* p = node<ParenTable>(begin);
      p->kind = TableKind::kParen;
      p->inner = table_ref();
      expect(Tok::kRParen, ")");
      t = finish(p);
    }
  } else if (at_kw(Kw::kValues) && !at(Tok::kDot, 1) && !at(Tok::kComma, 1) && !at(Tok::kRParen, 1) &&
             !at_end()) {
    ValuesTable* v = node<ValuesTable>(begin);
    v->kind = TableKind::kValues;
    v->values = values_body();
    t = finish(v);
  } else if ((at_kw(Kw::kUnnest) || at_kw(Kw::kTable) || at_kw(Kw::kFlatten)) && at(Tok::kLParen, 1)) {
    TableFunction* f = node<TableFunction>(begin);
    f->kind = TableKind::kFunction;
    f->lateral = lateral;
    f->call = name_expr();
    t = finish(f);
  } else if (at(Tok::kString)) {
    // A file read as a table: from 'data.parquet' (DuckDB)
    NamedTable* n = node<NamedTable>(begin);
    n->kind = TableKind::kNamed;
    Ident id = ident_of(peek());
    advance();
    SmallVec<Ident> parts{id};
    n->name.parts = arena_.list(parts);
    n->name.span = id.span;
    t = finish(n);
  } else if (at(Tok::kParam)) {
    // A stage or variable used as a table: @stage/path, @tbl
    NamedTable* n = node<NamedTable>(begin);
    n->kind = TableKind::kNamed;
    const std::size_t from = pos_;
    advance();
    while (!peek().spaced && (at_op(Op::kSlash) || at(Tok::kWord) || at(Tok::kDot))) advance();
    Ident id;
    id.text = id.value = text_.substr(toks_[from].begin, prev_end() - toks_[from].begin);
    id.span = span_from(begin);
    SmallVec<Ident> parts{id};
    n->name.parts = arena_.list(parts);
    n->name.span = id.span;
    if (at(Tok::kLParen) && !peek().spaced && id.value.find('.') != std::string_view::npos) {
      // T-SQL: a method of an xml variable, @x.nodes('/r/row') t(c)
      TableFunction* f = node<TableFunction>(begin);
      f->kind = TableKind::kFunction;
      f->call = function_call(n->name, begin);
      t = finish(f);
    } else {
      t = finish(n);
    }
  } else if (at_kw(Kw::kUnpivot) && at_name(1)) {
    // Redshift PartiQL: unpivot t.obj as v at k, the attributes of an object
    advance();
    t = named_table();
    if (t->kind != TableKind::kNamed) fail("a column holding an object");
    static_cast<NamedTable*>(t)->unpivot = true;
    t->span.begin = begin;
  } else {
    t = named_table();
    if (lateral && t->kind == TableKind::kFunction) static_cast<TableFunction*>(t)->lateral = true;
  }
  return table_postfix(t);
}

TableRef* Parser::named_table() {
  const std::uint32_t begin = here();
  const bool only = at_kw(Kw::kOnly) && at_name(1);
  if (only) advance();
  // A table named by a clause word, when nothing can follow: from group
  const bool word_alone = (at_kw(Kw::kGroup) || at_kw(Kw::kOrder)) && (at_end(1) || at(Tok::kSemicolon, 1));
  if (!at_name() && !word_alone) fail("a table name");
  Name n = at_name() ? name() : Name{};
  if (n.parts.empty()) {
    SmallVec<Ident> one{ident_of(peek())};
    advance();
    n.parts = arena_.list(one);
    n.span = span_from(begin);
  }
  if (d_.id == DialectId::kBigQuery && at_op(Op::kMinus) && !peek().spaced) {
    // my-project.dataset-1.table-2: hyphenated parts are one name part each.
    std::vector<Ident> parts(n.parts.begin(), n.parts.end());
    for (;;) {
      Ident& last = parts.back();
      while (at_op(Op::kMinus) && !peek().spaced && !peek(1).spaced &&
             (at(Tok::kWord, 1) || at(Tok::kNumber, 1))) {
        advance();
        advance();
        last.text = last.value = text_.substr(last.span.begin, prev_end() - last.span.begin);
        last.span.end = prev_end();
      }
      if (!(at(Tok::kDot) && (at(Tok::kWord, 1) || at(Tok::kQuotedName, 1)))) break;
      advance();
      parts.push_back(ident_of(peek()));
      advance();
    }
    n.parts = arena_.list(parts);
    n.span = span_from(begin);
  }
  if (at(Tok::kParam) && !peek().spaced && text_of(peek())[0] == '@') {
    // Oracle database link: t@remote
    std::vector<Ident> parts(n.parts.begin(), n.parts.end());
    advance();
    Ident& last = parts.back();
    last.text = last.value = text_.substr(last.span.begin, prev_end() - last.span.begin);
    last.span.end = prev_end();
    n.parts = arena_.list(parts);
    n.span = span_from(begin);
  }
  if (at(Tok::kLParen)) {
    // A table function: generate_series(1, 10), read_parquet('x'), t(1, 2)
    TableFunction* f = node<TableFunction>(begin);
    f->kind = TableKind::kFunction;
    f->call = function_call(n, begin);
    return finish(f);
  }
  NamedTable* t = node<NamedTable>(begin);
  t->kind = TableKind::kNamed;
  t->only = only;
  t->name = n;
  accept(Tok::kStar);  // Postgres: from t *
  return finish(t);
}

TableRef* Parser::table_postfix(TableRef* t) {
  const std::uint32_t begin = t->span.begin;
  NamedTable* named = t->kind == TableKind::kNamed ? static_cast<NamedTable*>(t) : nullptr;
  auto raw_group = [&](std::size_t from) {
    while (at(Tok::kLParen)) skip_group();
    return raw_since(from);
  };
  for (int round = 0; round < 8; ++round) {
    // Every form below starts with a word (an alias may be quoted), and only
    // these reserved words start one: most tables end at a comma, a
    // parenthesis or a clause word, which leave here at once. (A new form
    // starting otherwise must be let through here.)
    const Token& next = peek();
    if (next.kind != Tok::kWord && next.kind != Tok::kQuotedName) break;
    if (next.kind == Tok::kWord && is_reserved(next.kw) && next.kw != Kw::kFor && next.kw != Kw::kAs &&
        next.kw != Kw::kWith && next.kw != Kw::kPivot && next.kw != Kw::kUnpivot && next.kw != Kw::kTablesample) {
      break;
    }
    if (named && named->time_travel == nullptr &&
        ((at_kw(Kw::kFor) && (at_kw(Kw::kSystemTime, 1) || at_kw(Kw::kTimestamp, 1) || at_kw(Kw::kVersion, 1) ||
                              at_word("system_version", 1) || (at_word("system", 1) && at_kw(Kw::kTime, 2)))) ||
         ((at_kw(Kw::kAt) || at_kw(Kw::kBefore)) && at(Tok::kLParen, 1)) ||
         ((at_kw(Kw::kVersion) || at_kw(Kw::kTimestamp)) && at_kw(Kw::kAs, 1) && at_kw(Kw::kOf, 2)))) {
      TimeTravel* tt = arena_.make<TimeTravel>();
      const std::size_t from = pos_;
      if (at_kw(Kw::kAt) || at_kw(Kw::kBefore)) {
        advance();
        tt->form = lower_words(from);
        advance();  // "("
        if (at_name() && at_op(Op::kFatArrow, 1)) {
          tt->kind = text_of(peek());
          advance();
          advance();
        }
        tt->value = expr();
        expect(Tok::kRParen, ")");
      } else {
        // for system_time as of x | between a and b | from a to b |
        // contained in (a, b) | all; version / timestamp as of x
        while (at(Tok::kWord) && !at_kw(Kw::kOf) && !at_kw(Kw::kBetween) && !at_kw(Kw::kFrom) &&
               !at_word("contained") && !at_kw(Kw::kAll)) {
          advance();
        }
        if (at_word("contained")) advance();
        if (!at(Tok::kWord)) fail("AS OF, BETWEEN, FROM, CONTAINED IN or ALL");
        const bool from_to = at_kw(Kw::kFrom);
        const bool all = at_kw(Kw::kAll);
        advance();
        tt->form = lower_words(from);
        if (!all) {
          const std::uint32_t vb = here();
          tt->value = from_to ? expr_bp(7) : expr();
          if (from_to) {
            expect_kw(Kw::kTo, "TO");
            Binary* b = node<Binary>(vb);
            b->kind = ExprKind::kBinary;
            b->op = "to";
            b->left = tt->value;
            b->right = expr_bp(7);
            tt->value = finish(b);
          }
        }
      }
      named->time_travel = tt;
    } else if (named && at_kw(Kw::kFinal)) {
      advance();
      named->final = true;
    } else if (named && named->hints.empty() &&
               ((at_kw(Kw::kWith) && at(Tok::kLParen, 1) && !at_query_start(2)) ||
                ((at_kw(Kw::kUse) || at_kw(Kw::kIgnore) || at_word("force")) &&
                 (at_word("index", 1) || at_kw(Kw::kKey, 1))))) {
      const std::size_t from = pos_;
      while (!at(Tok::kLParen) && !at_end()) advance();
      named->hints = raw_group(from);
    } else if (named && named->partition.empty() && at_kw(Kw::kPartition) && at(Tok::kLParen, 1)) {
      const std::size_t from = pos_;
      advance();
      named->partition = raw_group(from);
    } else if (named && t->alias != nullptr && named->hints.empty() && at_kw(Kw::kAt) && at_name(1) &&
               !at(Tok::kLParen, 1)) {
      // Redshift PartiQL: from t, t.items as v at index
      const std::size_t from = pos_;
      advance();
      advance();
      named->hints = raw_since(from);
    } else if (t->alias == nullptr && at_implicit_alias(true)) {
      t->alias = table_alias();
    } else if (t->alias == nullptr && at_kw(Kw::kAs)) {
      t->alias = table_alias();
    } else if (named && named->sample.empty() &&
               (at_kw(Kw::kTablesample) || (at_kw(Kw::kSample) && (at(Tok::kNumber, 1) || at(Tok::kLParen, 1))))) {
      const std::size_t from = pos_;
      advance();
      if (at(Tok::kNumber)) {
        advance();
        if (at_op(Op::kPercent) || at_kw(Kw::kPercent) || at_kw(Kw::kRows)) advance();
        if (at_op(Op::kSlash)) {
          advance();
          advance();
        }
        if (accept_kw(Kw::kOffset)) advance();
      } else {
        while (at(Tok::kWord) && !at(Tok::kLParen)) advance();
        raw_group(pos_);
      }
      if (at_word("repeatable") || at_word("seed")) {
        advance();
        raw_group(pos_);
      }
      named->sample = raw_since(from);
    } else if (t->kind == TableKind::kFunction && at_kw(Kw::kWith) && at_kw(Kw::kOrdinality, 1)) {
      advance();
      advance();
      static_cast<TableFunction*>(t)->with_ordinality = true;
    } else if (t->kind == TableKind::kFunction && at_kw(Kw::kWith) && at_kw(Kw::kOffset, 1)) {
      advance();
      advance();
      TableFunction* f = static_cast<TableFunction*>(t);
      f->with_offset = true;
      f->offset_alias = table_alias();
    } else if (t->kind == TableKind::kFunction && at_kw(Kw::kWith) && at(Tok::kLParen, 1) &&
               static_cast<TableFunction*>(t)->with_schema.empty()) {
      // openjson(..) with (col type '$.path', ..)
      const std::size_t from = pos_;
      advance();
      static_cast<TableFunction*>(t)->with_schema = raw_group(from);
    } else if (at_word("match_recognize") && at(Tok::kLParen, 1) && t->match_recognize.empty()) {
      const std::size_t from = pos_;
      advance();
      t->match_recognize = raw_group(from);
    } else if ((at_kw(Kw::kPivot) || at_kw(Kw::kUnpivot)) && (at(Tok::kLParen, 1) || at(Tok::kWord, 1))) {
      t = pivot(t, at_kw(Kw::kUnpivot));
      named = nullptr;
    } else {
      break;
    }
  }
  t->span = span_from(begin);
  return t;
}

TableRef* Parser::pivot(TableRef* source, bool unpivot) {
  DepthGuard guard(*this);
  const std::uint32_t begin = source->span.begin;
  advance();
  Pivot* p = node<Pivot>(begin);
  p->kind = unpivot ? TableKind::kUnpivot : TableKind::kPivot;
  p->source = source;
  if (unpivot && (at_kw(Kw::kInclude) || at_kw(Kw::kExclude))) {
    const std::size_t from = pos_;
    advance();
    expect_kw(Kw::kNulls, "NULLS");
    p->nulls = raw_since(from);
  }
  expect(Tok::kLParen, "(");
  SmallVec<SelectItem> aggs;
  if (unpivot) {
    // unpivot (value_col for name_col in (a, b)) / ((v1, v2) for ..) / (v1, v2 for ..)
    const bool paren = accept(Tok::kLParen);
    do {
      SelectItem it;
      it.expr = column_name();
      aggs.push_back(it);
    } while (accept(Tok::kComma));
    if (paren) expect(Tok::kRParen, ")");
  } else {
    do {
      aggs.push_back(select_item());
    } while (accept(Tok::kComma));
  }
  p->aggregates = arena_.list(aggs);
  expect_kw(Kw::kFor, "FOR");
  SmallVec<Expr*> fors;
  if (at(Tok::kLParen) && at_name(1) && (at(Tok::kComma, 2) || at(Tok::kRParen, 2))) {
    advance();
    do {
      fors.push_back(name_expr());
    } while (accept(Tok::kComma));
    expect(Tok::kRParen, ")");
  } else {
    // Spark: for name, age in (('John', 30) as c1, ..)
    do {
      fors.push_back(expr_bp(6));  // above IN
    } while (!unpivot && accept(Tok::kComma));
  }
  p->for_columns = arena_.list(fors);
  expect_kw(Kw::kIn, "IN");
  expect(Tok::kLParen, "(");
  if (at_kw(Kw::kAny)) {
    advance();
    p->in_any = true;
    if (at_kw(Kw::kOrder) && at_kw(Kw::kBy, 1)) {
      advance();
      advance();
      order_by_items();
    }
  } else if (at_query_start()) {
    p->in_query = query();
  } else {
    SmallVec<SelectItem> items;
    do {
      items.push_back(select_item());
    } while (accept(Tok::kComma));
    p->in_items = arena_.list(items);
  }
  expect(Tok::kRParen, "a comma or )");
  if (!unpivot && at_kw(Kw::kGroup) && at_kw(Kw::kBy, 1)) {
    advance();
    advance();
    p->group_by = expr_list();
  }
  expect(Tok::kRParen, ")");
  p->span = span_from(begin);
  return p;
}

Expr* Parser::column_name() {
  if (!at_name()) fail("a column name");
  return name_expr();
}

bool Parser::at_pivot_statement(std::size_t ahead) const {
  // pivot <table> [[as] alias] on .. / pivot (<query>) on ..: a name or a
  // call of pivot is never followed by ON.
  if (!at_kw(Kw::kPivot, ahead) && !at_kw(Kw::kUnpivot, ahead)) return false;
  std::size_t i = ahead + 1;
  if (at(Tok::kLParen, i)) return starts_query(i);
  for (int parts = 0; at_name(i) && at(Tok::kDot, i + 1) && parts < 8; ++parts) i += 2;
  if (!at_name(i)) return false;
  ++i;
  if (at_kw(Kw::kAs, i)) ++i;
  if (at_name(i) && !at_kw(Kw::kOn, i)) ++i;
  return at_kw(Kw::kOn, i);
}

QueryBody* Parser::pivot_statement() {
  DepthGuard guard(*this);
  const std::uint32_t begin = here();
  const bool unpivot = at_kw(Kw::kUnpivot);
  advance();
  PivotBody* b = node<PivotBody>(begin);
  b->kind = BodyKind::kPivot;
  Pivot* p = node<Pivot>(begin);
  p->kind = unpivot ? TableKind::kUnpivot : TableKind::kPivot;
  p->statement_form = true;
  p->source = table_ref();
  expect_kw(Kw::kOn, "ON");
  if (unpivot) {
    SmallVec<SelectItem> columns;
    do {
      columns.push_back(select_item());
    } while (accept(Tok::kComma));
    p->in_items = arena_.list(columns);
    if (accept_kw(Kw::kInto)) {
      if (!at_word("name")) fail("NAME");
      advance();
      SmallVec<Expr*> name_column;
      name_column.push_back(column_name());
      p->for_columns = arena_.list(name_column);
      if (!at_word("value")) fail("VALUE");
      advance();
      SmallVec<SelectItem> values;
      do {
        SelectItem it;
        it.expr = column_name();
        values.push_back(it);
      } while (accept(Tok::kComma));
      p->aggregates = arena_.list(values);
    }
  } else {
    SmallVec<Expr*> fors;
    do {
      fors.push_back(expr_bp(6));  // above IN
      if (at_kw(Kw::kIn)) {
        advance();
        expect(Tok::kLParen, "(");
        SmallVec<SelectItem> items;
        do {
          items.push_back(select_item());
        } while (accept(Tok::kComma));
        p->in_items = arena_.list(items);
        expect(Tok::kRParen, "a comma or )");
        break;
      }
    } while (accept(Tok::kComma));
    p->for_columns = arena_.list(fors);
    if (accept_kw(Kw::kUsing)) {
      SmallVec<SelectItem> aggs;
      do {
        aggs.push_back(select_item());
      } while (accept(Tok::kComma));
      p->aggregates = arena_.list(aggs);
    }
    if (at_kw(Kw::kGroup) && at_kw(Kw::kBy, 1)) {
      advance();
      advance();
      p->group_by = expr_list();
    }
  }
  finish(p);
  b->pivot = p;
  return finish(b);
}

TableRef* Parser::lateral_view(TableRef* source) {
  const std::uint32_t begin = source->span.begin;
  advance();  // lateral
  advance();  // view
  LateralView* v = node<LateralView>(begin);
  v->kind = TableKind::kLateralView;
  v->source = source;
  v->outer = accept_kw(Kw::kOuter);
  v->generator = expr();
  if (at_name() && !at_kw(Kw::kAs) && !at_kw(Kw::kLateral)) v->table_alias = ident();
  // Spark: the column aliases' AS may be left out (explode(m) t k, v).
  if (accept_kw(Kw::kAs) || (!v->table_alias.text.empty() && !at_kw(Kw::kLateral) &&
                             at_implicit_alias(true))) {
    SmallVec<Ident> cols;
    do {
      cols.push_back(ident());
    } while (accept(Tok::kComma));
    v->column_aliases = arena_.list(cols);
  }
  return finish(v);
}

}  // namespace sqlparse::syntax
