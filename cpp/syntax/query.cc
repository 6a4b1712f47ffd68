// Queries: WITH, set operations (INTERSECT binds tighter than UNION and
// EXCEPT), SELECT with its clauses in any order, VALUES, TABLE t, FROM-first
// queries, ORDER BY / LIMIT / OFFSET / FETCH and pipe operators.
#include "syntax/grammar.h"

namespace sqlparse::syntax {
namespace {

int set_op_precedence(Kw kw) {
  switch (kw) {
    case Kw::kUnion: case Kw::kExcept: case Kw::kMinus: return 1;
    case Kw::kIntersect: return 2;
    default: return 0;
  }
}

}  // namespace

Query* Parser::query() {
  if (classic_) [[unlikely]] return classic_query(false);
  DepthGuard guard(*this);
  const std::uint32_t begin = here();
  Query* q = arena_.make<Query>();
  if (at_kw(Kw::kWith)) q->with = with_clause();
  q->body = query_body(0);
  query_tail(q);
  q->span = span_from(begin);
  return q;
}

With* Parser::with_clause() {
  const std::uint32_t begin = here();
  expect_kw(Kw::kWith, "WITH");
  With* w = arena_.make<With>();
  w->recursive = accept_kw(Kw::kRecursive);
  SmallVec<Cte> ctes;
  do {
    Cte c;
    const std::uint32_t cb = here();
    if (!(at_name() && (at_kw(Kw::kAs, 1) || (at(Tok::kLParen, 1) && cte_column_list_follows())))) {
      // ClickHouse: with <expression> as name
      c.expr = expr();
      expect_kw(Kw::kAs, "AS");
      c.name = ident();
      c.span = span_from(cb);
      ctes.push_back(c);
      continue;
    }
    c.name = ident();
    if (at(Tok::kLParen)) c.columns = ident_list();
    if (at_kw(Kw::kAs)) {
      advance();
    } else if (!at(Tok::kLParen)) {
      fail("AS");
    }
    if (at_kw(Kw::kNot) && at_kw(Kw::kMaterialized, 1)) {
      const std::size_t from = pos_;
      advance();
      advance();
      c.materialized = raw_since(from);
    } else if (at_kw(Kw::kMaterialized)) {
      const std::size_t from = pos_;
      advance();
      c.materialized = raw_since(from);
    }
    expect(Tok::kLParen, "(");
    if (at_dml_verb()) {
      // Postgres: a data-modifying statement whose RETURNING rows are the CTE's.
      DepthGuard statement_level(*this);
      c.dml = dml_statement(here(), nullptr);
    } else {
      c.query = query();
    }
    expect(Tok::kRParen, ")");
    c.span = span_from(cb);
    ctes.push_back(c);
  } while (accept(Tok::kComma));
  w->ctes = arena_.list(ctes);
  w->span = span_from(begin);
  return w;
}

bool Parser::cte_column_list_follows() const {
  // name (a, b) as (..): the parenthesis after the name holds names only.
  std::size_t i = 2;
  for (;; i += 2) {
    if (!at_name(i)) return false;
    if (at(Tok::kRParen, i + 1)) break;
    if (!at(Tok::kComma, i + 1)) return false;
  }
  return (at_kw(Kw::kAs, i + 2) && (at(Tok::kLParen, i + 3) || at_kw(Kw::kNot, i + 3) ||
                                    at_kw(Kw::kMaterialized, i + 3))) ||
         at(Tok::kLParen, i + 2);
}

QueryBody* Parser::query_body(int min_prec) {
  DepthGuard guard(*this, /*counts=*/false);
  const std::uint32_t begin = here();
  QueryBody* left = query_operand();
  for (;;) {
    // BigQuery: [left | full | inner] [outer] union all by name
    std::size_t skip = 0;
    if (at_kw(Kw::kLeft) || at_kw(Kw::kFull) || at_kw(Kw::kInner)) {
      skip = at_kw(Kw::kOuter, 1) ? 2 : 1;
    }
    const Token& t = peek(skip);
    int prec = t.kind == Tok::kWord ? set_op_precedence(t.kw) : 0;
    if (prec == 0 || prec <= min_prec) break;
    SetOp* s = node<SetOp>(begin);
    s->kind = BodyKind::kSetOp;
    if (skip > 0) {
      const std::size_t from = pos_;
      for (std::size_t i = 0; i < skip; ++i) advance();
      s->modifier = lower_words(from);
    }
    s->op = t.kw == Kw::kUnion ? "union" : t.kw == Kw::kIntersect ? "intersect"
          : t.kw == Kw::kExcept ? "except" : "minus";
    advance();
    if (accept_kw(Kw::kAll)) {
      s->quantifier = "all";
    } else if (accept_kw(Kw::kDistinct)) {
      s->quantifier = "distinct";
    }
    if (at_kw(Kw::kBy) && at_kw(Kw::kName, 1)) {
      const std::size_t from = pos_;
      advance();
      advance();
      if (at_kw(Kw::kOn) && at(Tok::kLParen, 1)) {
        advance();
        skip_group();
      }
      s->by_name = raw_since(from);
    } else if (at_kw(Kw::kCorresponding)) {
      const std::size_t from = pos_;
      advance();
      if (at_kw(Kw::kBy) && at(Tok::kLParen, 1)) {
        advance();
        skip_group();
      }
      s->by_name = raw_since(from);
    }
    s->left = left;
    s->right = query_body(prec);
    s->span = span_from(begin);
    left = s;
  }
  return left;
}

QueryBody* Parser::query_operand() {
  const std::uint32_t begin = here();
  if (at_kw(Kw::kSelect)) return select_body();
  if (at(Tok::kLParen)) {
    DepthGuard guard(*this, /*counts=*/false);  // query() counts it
    advance();
    ParenQuery* p = node<ParenQuery>(begin);
    p->kind = BodyKind::kParen;
    p->query = query();
    expect(Tok::kRParen, ")");
    return finish(p);
  }
  if (at_kw(Kw::kValues)) return values_body();
  if (at_kw(Kw::kFrom)) return from_first_body();
  if (at_pivot_statement(0)) return pivot_statement();
  if (at_kw(Kw::kTable) && at_name(1)) {
    advance();
    TableBody* t = node<TableBody>(begin);
    t->kind = BodyKind::kTable;
    t->name = name();
    return finish(t);
  }
  fail("SELECT, VALUES or a query in parentheses");
}

Values* Parser::values_body() {
  const std::uint32_t begin = here();
  expect_kw(Kw::kValues, "VALUES");
  Values* v = node<Values>(begin);
  v->kind = BodyKind::kValues;
  SmallVec<Expr*> rows;
  do {
    if (at_kw(Kw::kRow) && at(Tok::kLParen, 1)) {
      v->row_keyword = true;
      advance();
    }
    rows.push_back(at(Tok::kLParen) ? paren_or_subquery() : expr());
  } while (accept(Tok::kComma));
  v->rows = arena_.list(rows);
  return finish(v);
}

Select* Parser::select_body() {
  const std::uint32_t begin = here();
  expect_kw(Kw::kSelect, "SELECT");
  Select* s = node<Select>(begin);
  s->kind = BodyKind::kSelect;
  // MySQL's select modifiers carry nothing for the tree. (Each is nine
  // bytes or more: most select lists start with a shorter word.)
  while (peek().end - peek().begin >= 9 && (at_word("straight_join") || at_word("sql_calc_found_rows") || at_word("sql_no_cache") ||
         at_word("sql_cache") || at_word("high_priority") || at_word("sql_small_result") ||
         at_word("sql_big_result") || at_word("sql_buffer_result"))) {
    advance();
  }
  if (at_kw(Kw::kDistinct)) {
    advance();
    s->distinct = "distinct";
    if (at_kw(Kw::kOn) && at(Tok::kLParen, 1)) {
      advance();
      advance();
      s->distinct_on = expr_list();
      expect(Tok::kRParen, "a comma or )");
    }
  } else if (at_kw(Kw::kDistinctrow)) {
    advance();
    s->distinct = "distinctrow";
  } else if (at_kw(Kw::kUnique) && !at(Tok::kComma, 1)) {
    advance();
    s->distinct = "distinct";
  } else if (at_kw(Kw::kAll) && !at(Tok::kComma, 1) && !at_kw(Kw::kFrom, 1)) {
    advance();
    s->distinct = "all";
  }
  if (at_kw(Kw::kTop) && (at(Tok::kNumber, 1) || at(Tok::kLParen, 1) || at(Tok::kParam, 1))) {
    advance();
    if (at(Tok::kLParen)) {
      s->top = paren_or_subquery();
    } else {
      s->top = primary();
    }
    if (accept_kw(Kw::kPercent)) s->top_percent = true;
    if (at_kw(Kw::kWith) && at_kw(Kw::kTies, 1)) {
      advance();
      advance();
      s->top_with_ties = true;
    }
  }
  // BigQuery: select as struct / as value
  if (at_kw(Kw::kAs) && (at_kw(Kw::kStruct, 1) || at_word("value", 1))) {
    advance();
    advance();
  }
  SmallVec<SelectItem> items;
  if (at_script_transform()) {
    s->transform = script_transform();
  } else if (!at_kw(Kw::kFrom) && !at_end() && !at(Tok::kSemicolon) && !at(Tok::kRParen)) {
    do {
      // A trailing comma before FROM (BigQuery, Snowflake, DuckDB).
      if (!items.empty() && (at_kw(Kw::kFrom) || at(Tok::kRParen) || at_end())) break;
      select_item_into(items.emplace_back());
    } while (accept(Tok::kComma));
  }
  s->items = arena_.list(items);
  // Oracle and MySQL select into variables only, never into a table.
  const bool into_variables = d_.id == DialectId::kOracle || d_.id == DialectId::kMysql;
  if (at_kw(Kw::kInto) && !into_variables && !at(Tok::kParam, 1) && !at_kw(Kw::kOutfile, 1) &&
      !at_word("dumpfile", 1) && !at_op(Op::kColon, 1)) {
    advance();
    const std::size_t from = pos_;
    if (at_kw(Kw::kTemporary) || at_kw(Kw::kTemp) || at_word("unlogged")) {
      advance();
      s->into_modifier = raw_since(from);
    }
    accept_kw(Kw::kTable);
    s->into = name();
  } else if (at_kw(Kw::kInto) || (at_word("bulk") && at_word("collect", 1))) {
    // into @var / :var / outfile '..', bulk collect into (Oracle): no lineage;
    // kept out of the tree.
    advance();
    while (!at_end() && !at_kw(Kw::kFrom) && !at(Tok::kSemicolon) && !at(Tok::kRParen)) advance();
  }
  select_clauses(s);
  return finish(s);
}

bool Parser::at_script_transform() {
  // transform (..) using '..', not Spark's transform(array, x -> ..) call.
  if (!at_word("transform") || !at(Tok::kLParen, 1)) return false;
  const std::size_t save = pos_;
  advance();
  bool found = false;
  try {
    skip_group();
    found = at_kw(Kw::kUsing) || at_word("row") || at_word("recordwriter");
  } catch (const ParseError&) {
  }
  set_pos(save);
  return found;
}

ScriptTransform* Parser::script_transform() {
  const std::uint32_t begin = here();
  advance();  // transform
  auto* t = arena_.make<ScriptTransform>();
  expect(Tok::kLParen, "(");
  if (!at(Tok::kRParen)) t->args = expr_list();
  expect(Tok::kRParen, "a comma or )");
  // Row format and record writer clauses are kept as written.
  auto clauses = [&] {
    const std::size_t from = pos_;
    while (at_word("row") || at_word("recordwriter") || at_word("recordreader")) {
      while (!at_end() && !at(Tok::kSemicolon) && !is_close(peek().kind) && !at_kw(Kw::kUsing) &&
             !at_kw(Kw::kFrom) && !at_kw(Kw::kWhere) && !at_kw(Kw::kAs)) {
        if (at(Tok::kError)) fail("a token");
        if (is_open(peek().kind))
          skip_group();
        else
          advance();
      }
    }
    return pos_ > from ? raw_since(from) : Raw{};
  };
  t->before_using = clauses();
  expect_kw(Kw::kUsing, "USING");
  if (!at(Tok::kString)) fail("the program, as a string");
  const std::size_t script = pos_;
  advance();
  t->script = raw_since(script);
  if (accept_kw(Kw::kAs)) {
    if (at(Tok::kLParen)) {
      t->as_parenthesised = true;
      t->columns = column_defs();
    } else {
      SmallVec<ColumnDef> columns;
      do {
        ColumnDef c;
        c.name = ident();
        columns.push_back(c);
      } while (accept(Tok::kComma));
      t->columns = arena_.list(columns);
    }
  }
  t->after = clauses();
  t->span = span_from(begin);
  return t;
}

Select* Parser::from_first_body() {
  const std::uint32_t begin = here();
  expect_kw(Kw::kFrom, "FROM");
  Select* s = node<Select>(begin);
  s->kind = BodyKind::kSelect;
  s->from_first = true;
  s->from = from_list();
  if (accept_kw(Kw::kSelect)) {
    if (at_kw(Kw::kDistinct)) {
      advance();
      s->distinct = "distinct";
    }
    SmallVec<SelectItem> items;
    do {
      items.push_back(select_item());
    } while (accept(Tok::kComma));
    s->items = arena_.list(items);
  }
  select_clauses(s);
  return finish(s);
}

SelectItem Parser::select_item() {
  SelectItem item;
  select_item_into(item);
  return item;
}

void Parser::select_item_into(SelectItem& item) {
  const std::uint32_t begin = here();
  // T-SQL: select alias = expr
  if (d_.id == DialectId::kTsql && at_name() && at_op(Op::kEq, 1) && peek().kind != Tok::kString) {
    item.alias = ident();
    item.as_keyword = true;
    advance();
    item.expr = expr();
    item.span = span_from(begin);
    return;
  }
  item.expr = expr();
  if (at_kw(Kw::kAs) && at(Tok::kLParen, 1)) {
    // explode(m) as (k, v)
    advance();
    item.as_keyword = true;
    item.aliases = ident_list();
  } else if (!at_alias_free_end()) {
    item.alias = opt_alias(false, &item.as_keyword);
  }
  item.span = span_from(begin);
}

void Parser::select_clauses(Select* s) {
  for (;;) {
    if (at_kw(Kw::kFrom) && s->from.empty()) {
      step();
      s->from = from_list();
    } else if (at_kw(Kw::kPrewhere) && s->prewhere == nullptr) {
      advance();
      s->prewhere = expr();
    } else if (at_kw(Kw::kWhere) && s->where == nullptr) {
      step();
      s->where = expr();
    } else if (at_kw(Kw::kStart) && at_kw(Kw::kWith, 1) && s->start_with == nullptr) {
      advance();
      advance();
      s->start_with = expr();
    } else if (at_kw(Kw::kConnect) && at_kw(Kw::kBy, 1) && s->connect_by_condition == nullptr) {
      const std::size_t from = pos_;
      advance();
      advance();
      if (at_word("nocycle")) advance();
      s->connect_by = raw_since(from);
      s->connect_by_condition = expr();
    } else if (at_kw(Kw::kGroup) && at_kw(Kw::kBy, 1) && s->group_by.empty() && !s->group_by_all) {
      step();
      step();
      if (at_kw(Kw::kAll) && !at(Tok::kLParen, 1) && !at(Tok::kComma, 1)) {
        advance();
        s->group_by_all = true;
      } else {
        if (at_kw(Kw::kDistinct) || at_kw(Kw::kAll)) {
          s->group_by_quantifier = at_kw(Kw::kDistinct) ? "distinct" : "all";
          advance();
        }
        s->group_by = group_by_items();
        if ((at_kw(Kw::kGrouping) && at_kw(Kw::kSets, 1)) || ((at_kw(Kw::kRollup) || at_kw(Kw::kCube)) && at(Tok::kLParen, 1))) {
          List<Expr*> more = group_by_items();
          std::vector<Expr*> all(s->group_by.begin(), s->group_by.end());
          all.insert(all.end(), more.begin(), more.end());
          s->group_by = arena_.list(all);
        }
      }
      if (at_kw(Kw::kWith) && (at_kw(Kw::kRollup, 1) || at_kw(Kw::kCube, 1) || at_kw(Kw::kTotals, 1))) {
        const std::size_t from = pos_;
        advance();
        advance();
        s->group_by_modifier = raw_since(from);
      }
    } else if (at_kw(Kw::kHaving) && s->having == nullptr) {
      advance();
      s->having = expr();
    } else if (at_kw(Kw::kWindow) && at_name(1) && s->windows.empty()) {
      advance();
      SmallVec<NamedWindow> windows;
      do {
        NamedWindow w;
        w.name = ident();
        expect_kw(Kw::kAs, "AS");
        if (at(Tok::kLParen)) {
          w.spec = window_spec();
        } else {
          w.spec = arena_.make<WindowSpec>();
          w.spec->span.begin = here();
          w.spec->base = ident();
          w.spec->span = span_from(w.spec->span.begin);
        }
        windows.push_back(w);
      } while (accept(Tok::kComma));
      s->windows = arena_.list(windows);
    } else if (at_kw(Kw::kQualify) && s->qualify == nullptr) {
      advance();
      s->qualify = expr();
    } else if (at_kw(Kw::kCluster) && at_kw(Kw::kBy, 1) && s->cluster_by.empty()) {
      advance();
      advance();
      s->cluster_by = expr_list();
    } else if (at_kw(Kw::kDistribute) && at_kw(Kw::kBy, 1) && s->distribute_by.empty()) {
      advance();
      advance();
      s->distribute_by = expr_list();
    } else if (at_kw(Kw::kSort) && at_kw(Kw::kBy, 1) && s->sort_by.empty()) {
      advance();
      advance();
      s->sort_by = order_by_items();
    } else if (at_kw(Kw::kUsing) && at_kw(Kw::kSample, 1) && s->sample.empty()) {
      // DuckDB: using sample 10% / reservoir(50 rows) repeatable (1)
      const std::size_t from = pos_;
      advance();
      advance();
      while (!at_end() && (at(Tok::kNumber) || at(Tok::kWord) || at_op(Op::kPercent) || at(Tok::kLParen)) &&
             !at_kw(Kw::kUnion) && !at_kw(Kw::kExcept) && !at_kw(Kw::kIntersect) && !at_kw(Kw::kOrder) &&
             !at_kw(Kw::kLimit) && !at_kw(Kw::kWhere) && !at_kw(Kw::kGroup)) {
        if (at(Tok::kLParen)) {
          skip_group();
        } else {
          advance();
        }
      }
      s->sample = raw_since(from);
    } else {
      return;
    }
  }
}

List<Expr*> Parser::group_by_items() {
  SmallVec<Expr*> items;
  do {
    // A trailing comma (DuckDB) before the end of the clause.
    if (!items.empty() && (at_end() || at(Tok::kSemicolon) || at(Tok::kRParen) ||
                           (at(Tok::kWord) && is_reserved(peek().kw) && peek().kw != Kw::kCase &&
                            peek().kw != Kw::kNot && peek().kw != Kw::kNull && peek().kw != Kw::kTrue &&
                            peek().kw != Kw::kFalse))) {
      break;
    }
    const std::uint32_t begin = here();
    std::string_view form;
    if ((at_kw(Kw::kRollup) || at_kw(Kw::kCube)) && at(Tok::kLParen, 1)) {
      form = at_kw(Kw::kRollup) ? "rollup" : "cube";
      advance();
    } else if (at_kw(Kw::kGrouping) && at_kw(Kw::kSets, 1) && at(Tok::kLParen, 2)) {
      form = "grouping sets";
      advance();
      advance();
    }
    if (form.empty()) {
      items.push_back(expr());
      continue;
    }
    DepthGuard guard(*this);
    expect(Tok::kLParen, "(");
    Grouping* g = node<Grouping>(begin);
    g->kind = ExprKind::kGrouping;
    g->form = form;
    if (!at(Tok::kRParen)) g->items = group_by_items();
    expect(Tok::kRParen, "a comma or )");
    items.push_back(finish(g));
  } while (accept(Tok::kComma));
  return arena_.list(items);
}

void Parser::query_tail(Query* q) {
  if ((at_kw(Kw::kOrder) && at_kw(Kw::kBy, 1)) || (at_kw(Kw::kOrder) && at_word("siblings", 1) && at_kw(Kw::kBy, 2))) {
    advance();
    if (at_word("siblings")) advance();
    advance();
    q->order_by = order_by_items();
  }
  for (int round = 0; round < 2; ++round) {
    if (at_kw(Kw::kLimit) && q->limit == nullptr) {
      advance();
      if (at_kw(Kw::kAll)) {
        const std::uint32_t b = here();
        Keyword* k = node<Keyword>(b);
        k->kind = ExprKind::kKeyword;
        k->text = text_of(peek());
        advance();
        q->limit = finish(k);
      } else {
        q->limit = expr();
      }
      if (q->offset == nullptr && accept(Tok::kComma)) {
        // MySQL: limit offset, count
        q->limit_comma = true;
        q->offset = q->limit;
        q->limit = expr();
      }
      if (at_kw(Kw::kBy)) {
        advance();
        q->limit_by = expr_list();
      }
    }
    if (at_kw(Kw::kOffset) && q->offset == nullptr) {
      advance();
      q->offset_before_limit = q->limit == nullptr;
      q->offset = expr();
      if (at_kw(Kw::kRow) || at_kw(Kw::kRows)) {
        advance();
        q->offset_rows = true;
      }
    }
  }
  if (at_kw(Kw::kFetch) && (at_kw(Kw::kFirst, 1) || at_kw(Kw::kNext, 1))) {
    advance();
    Fetch* f = arena_.make<Fetch>();
    f->first = at_kw(Kw::kFirst) ? "first" : "next";
    advance();
    if (!at_kw(Kw::kRow) && !at_kw(Kw::kRows)) f->count = expr_bp(6);
    if (accept_kw(Kw::kPercent)) f->percent = true;
    if (at_kw(Kw::kRow) || at_kw(Kw::kRows)) {
      f->rows = at_kw(Kw::kRow) ? "row" : "rows";
      advance();
    }
    if (at_kw(Kw::kWith) && at_kw(Kw::kTies, 1)) {
      advance();
      advance();
      f->with_ties = true;
    } else {
      expect_kw(Kw::kOnly, "ONLY or WITH TIES");
    }
    q->fetch = f;
  }
  // Clauses with no lineage, kept as written: locking, ClickHouse settings
  // and format, T-SQL for xml / option (..).
  const bool trailing =
      (at_kw(Kw::kFor) && (at_kw(Kw::kUpdate, 1) || at_word("share", 1) || at_word("xml", 1) ||
                           at_word("json", 1) || at_word("browse", 1) || at_word("read", 1) ||
                           at_word("no", 1) || at_word("key", 1))) ||
      (at_kw(Kw::kLock) && at_kw(Kw::kIn, 1)) || (at_word("option") && at(Tok::kLParen, 1)) ||
      at_kw(Kw::kSettings) || (at_kw(Kw::kFormat) && at_name(1)) ||
      (at_kw(Kw::kInto) && at_kw(Kw::kOutfile, 1)) || (at_kw(Kw::kComment) && at(Tok::kString, 1)) || (at_kw(Kw::kUsing) && at_kw(Kw::kSample, 1)) ||
      (at_kw(Kw::kWith) && (at_word("check", 1) || at_word("read", 1)));
  if (trailing) {
    const std::size_t from = pos_;
    while (!at_end() && !at(Tok::kSemicolon) && !at(Tok::kRParen) && !at(Tok::kError)) {
      if (at(Tok::kLParen)) {
        skip_group();
      } else {
        advance();
      }
    }
    q->trailing = raw_since(from);
  }
  if (at_op(Op::kPipeGt)) pipe_ops(q);
}

void Parser::pipe_ops(Query* q) {
  SmallVec<PipeOp> pipes;
  while (accept_op(Op::kPipeGt)) {
    PipeOp p;
    const std::uint32_t begin = here();
    const std::size_t from = pos_;
    if (at_join_start()) {
      // |> [left] join t on ..: the pipe's input is the left side.
      auto* input = node<NamedTable>(begin);
      input->kind = TableKind::kNamed;
      p.join = static_cast<Join*>(join_rest(input));
      p.join->left = nullptr;
      p.op = "join";
      p.span = span_from(begin);
      pipes.push_back(p);
      continue;
    }
    if (at_kw(Kw::kOrder) && at_kw(Kw::kBy, 1)) {
      advance();
      advance();
    } else {
      if (!at(Tok::kWord)) fail("a pipe operator");
      advance();
    }
    p.op = lower_words(from);
    if (p.op == "union" || p.op == "intersect" || p.op == "except") {
      if (at_kw(Kw::kAll) || at_kw(Kw::kDistinct)) {
        p.quantifier = at_kw(Kw::kAll) ? "all" : "distinct";
        advance();
      }
      if (at_kw(Kw::kBy) && at_kw(Kw::kName, 1)) {
        advance();
        advance();
        p.by_name = true;
      }
      SmallVec<Query*> queries;
      do {
        expect(Tok::kLParen, "(");
        queries.push_back(query());
        expect(Tok::kRParen, ")");
      } while (accept(Tok::kComma));
      p.queries = arena_.list(queries);
    } else if (p.op == "set") {
      p.set = assignments();
    } else if (p.op == "select" || p.op == "extend" || p.op == "aggregate" || p.op == "where") {
      if (p.op == "where") {
        SelectItem item;
        item.expr = expr();
        SmallVec<SelectItem> one{item};
        p.items = arena_.list(one);
      } else {
        SmallVec<SelectItem> items;
        auto group_start = [&] {
          return at_kw(Kw::kGroup) && (at_kw(Kw::kBy, 1) || (at_kw(Kw::kAnd, 1) && at_kw(Kw::kOrder, 2)));
        };
        if (!group_start()) {
          do {
            items.push_back(select_item());
            if (!accept_kw(Kw::kAsc)) accept_kw(Kw::kDesc);  // ordering suffixes carry no lineage
          } while (accept(Tok::kComma));
        }
        p.items = arena_.list(items);
        if (p.op == "aggregate" && group_start()) {
          advance();
          if (accept_kw(Kw::kAnd)) advance();
          advance();
          SmallVec<Expr*> groups;
          do {
            SelectItem g = select_item();
            groups.push_back(g.expr);
            if (!accept_kw(Kw::kAsc)) accept_kw(Kw::kDesc);
          } while (accept(Tok::kComma));
          p.group_by = arena_.list(groups);
        }
      }
    } else {
      const std::size_t rest = pos_;
      while (!at_end() && !at(Tok::kSemicolon) && !at(Tok::kRParen) && !at_op(Op::kPipeGt) &&
             !at(Tok::kError)) {
        if (at(Tok::kLParen)) {
          skip_group();
        } else {
          advance();
        }
      }
      p.rest = raw_since(rest);
    }
    p.span = span_from(begin);
    pipes.push_back(p);
  }
  q->pipes = arena_.list(pipes);
}

}  // namespace sqlparse::syntax
