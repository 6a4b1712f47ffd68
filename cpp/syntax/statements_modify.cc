// MERGE, UPDATE and DELETE, and the rows a data-modifying statement gives
// back: RETURNING and T-SQL's OUTPUT.
#include "syntax/grammar.h"

namespace sqlparse::syntax {

Returning* Parser::returning_clause() {
  if (!at_kw(Kw::kReturning)) return nullptr;
  const std::uint32_t begin = here();
  advance();
  auto* r = arena_.make<Returning>();
  SmallVec<SelectItem> items;
  do {
    items.push_back(select_item());
  } while (accept(Tok::kComma));
  r->items = arena_.list(items);
  r->rest = rest_of_statement();
  r->span = span_from(begin);
  return r;
}

Returning* Parser::output_clause() {
  // T-SQL OUTPUT inserted.a, deleted.b [INTO @t | t [(cols)]].
  if (!at_word("output")) return nullptr;
  const std::uint32_t begin = here();
  advance();
  auto* r = arena_.make<Returning>();
  r->output = true;
  SmallVec<SelectItem> items;
  do {
    // Only AS aliases: a bare word after an item is the source (VALUES ..).
    SelectItem item;
    const std::uint32_t item_begin = here();
    item.expr = expr();
    if (accept_kw(Kw::kAs)) {
      item.as_keyword = true;
      item.alias = ident();
    }
    item.span = span_from(item_begin);
    items.push_back(item);
  } while (accept(Tok::kComma));
  r->items = arena_.list(items);
  if (accept_kw(Kw::kInto)) {
    if (at(Tok::kParam)) {
      const std::size_t from = pos_;
      advance();
      r->into_variable = raw_since(from);
    } else {
      r->into_table = name();
    }
    if (at(Tok::kLParen) && !starts_query(1)) r->into_columns = ident_list();
  }
  r->span = span_from(begin);
  return r;
}

List<Assignment> Parser::assignments() {
  std::vector<Assignment> out;
  do {
    Assignment a;
    std::uint32_t begin = here();
    std::vector<Name> columns;
    if (at(Tok::kLParen)) {
      advance();
      a.parenthesised = true;
      do {
        columns.push_back(name());
      } while (accept(Tok::kComma));
      expect(Tok::kRParen, "\")\"");
    } else if (at(Tok::kParam)) {
      // T-SQL set @v = expr (also @v = col = expr).
      Name v;
      std::vector<Ident> parts{ident_of(peek())};
      v.parts = arena_.list(parts);
      v.span = {peek().begin, peek().end};
      advance();
      columns.push_back(v);
    } else {
      columns.push_back(name());
      // Postgres arr[1] = .., arr[1:2] = ..: the element is not kept.
      while (at(Tok::kLBracket)) skip_group();
    }
    if (at_op(Op::kCompoundAssign) && !a.parenthesised) {
      // T-SQL a += 1 is a = a + 1.
      std::string_view op = text_of(peek()).substr(0, 1);
      advance();
      auto* column = node<ColumnRef>(columns[0].span.begin);
      column->kind = ExprKind::kColumn;
      column->name = columns[0];
      column->span = columns[0].span;
      auto* sum = node<Binary>(begin);
      sum->kind = ExprKind::kBinary;
      sum->op = op;
      sum->left = column;
      sum->right = expr();
      a.value = finish(sum);
    } else {
      if (!accept_op(Op::kEq)) fail("\"=\"");
      a.value = expr();
    }
    a.columns = arena_.list(columns);
    a.span = span_from(begin);
    out.push_back(a);
  } while (accept(Tok::kComma));
  return arena_.list(out);
}

Statement* Parser::merge_statement(std::uint32_t begin, With* with) {
  auto* m = node<Merge>(begin);
  m->kind = StatementKind::kMerge;
  m->with = with;
  expect_kw(Kw::kMerge, "MERGE");
  skip_top_clause();
  accept_kw(Kw::kInto);
  m->target = name();
  skip_table_hints();
  bool as_keyword = false;
  const Ident alias = opt_alias(true, &as_keyword);
  m->target_alias = alias_node(alias, as_keyword);
  skip_table_hints();
  expect_kw(Kw::kUsing, "USING");
  m->source = table_ref();
  expect_kw(Kw::kOn, "ON");
  m->on = expr();
  std::vector<MergeClause> clauses;
  while (at_kw(Kw::kWhen)) clauses.push_back(merge_clause());
  if (clauses.empty()) fail("WHEN");
  m->clauses = arena_.list(clauses);
  m->returning = output_clause();
  if (at_word("option")) m->tail = rest_of_statement(Kw::kReturning);
  if (m->returning == nullptr) m->returning = returning_clause();
  return finish(m);
}

MergeClause Parser::merge_clause() {
  MergeClause c;
  std::uint32_t begin = here();
  expect_kw(Kw::kWhen, "WHEN");
  c.matched = !accept_kw(Kw::kNot);
  expect_kw(Kw::kMatched, "MATCHED");
  if (accept_kw(Kw::kBy)) {
    if (accept_kw(Kw::kTarget))
      c.by = "by target";
    else if (accept_kw(Kw::kSource))
      c.by = "by source";
    else
      fail("TARGET or SOURCE");
  }
  if (accept_kw(Kw::kAnd)) c.condition = expr();
  expect_kw(Kw::kThen, "THEN");
  if (accept_kw(Kw::kUpdate)) {
    c.action = MergeAction::kUpdate;
    if (accept_kw(Kw::kAll)) {  // Snowflake update all by name
      expect_kw(Kw::kBy, "BY");
      expect_kw(Kw::kName, "NAME");
      c.star = true;
    } else {
      expect_kw(Kw::kSet, "SET");
      if (accept(Tok::kStar)) {
        c.star = true;
        skip_star_except();
      } else {
        c.set = assignments();
      }
    }
  } else if (accept_kw(Kw::kDelete)) {
    c.action = MergeAction::kDelete;
  } else if (accept_kw(Kw::kInsert)) {
    c.action = MergeAction::kInsert;
    if (accept(Tok::kStar)) {
      c.star = true;
      skip_star_except();
    } else if (accept_kw(Kw::kRow)) {
      c.insert_row = true;
    } else if (accept_kw(Kw::kAll)) {  // Snowflake insert all by name
      expect_kw(Kw::kBy, "BY");
      expect_kw(Kw::kName, "NAME");
      c.star = true;
    } else if (at_kw(Kw::kDefault) && at_kw(Kw::kValues, 1)) {
      advance();
      advance();
    } else {
      if (at(Tok::kLParen)) c.columns = ident_list();
      expect_kw(Kw::kValues, "VALUES");
      expect(Tok::kLParen, "\"(\"");
      c.values = expr_list();
      expect(Tok::kRParen, "\")\"");
    }
  } else if (accept_kw(Kw::kDo)) {
    expect_kw(Kw::kNothing, "NOTHING");
    c.action = MergeAction::kDoNothing;
  } else {
    fail("UPDATE, DELETE, INSERT or DO NOTHING");
  }
  // Oracle: update set .. where .. [delete where ..]; insert .. where ..
  if (c.action == MergeAction::kUpdate || c.action == MergeAction::kInsert) {
    if (accept_kw(Kw::kWhere)) {
      Expr* where = expr();
      if (!c.condition) c.condition = where;
    }
    if (c.action == MergeAction::kUpdate && at_kw(Kw::kDelete) && at_kw(Kw::kWhere, 1)) {
      advance();
      advance();
      expr();
    }
  }
  c.span = span_from(begin);
  return c;
}

void Parser::skip_star_except() {
  // Databricks update set * except (a, b): the excluded columns are not kept.
  if (at_kw(Kw::kExcept) && at(Tok::kLParen, 1)) {
    advance();
    ident_list();
  }
}

Statement* Parser::update_statement(std::uint32_t begin, With* with) {
  auto* u = node<Update>(begin);
  u->kind = StatementKind::kUpdate;
  u->with = with;
  expect_kw(Kw::kUpdate, "UPDATE");
  if (accept_kw(Kw::kOr)) {  // SQLite update or ignore / replace / ...: not kept
    if (!at_kw(Kw::kIgnore) && !at_kw(Kw::kReplace) && !at_word("abort") && !at_word("fail") &&
        !at_kw(Kw::kRollback))
      fail("IGNORE, REPLACE, ABORT, FAIL or ROLLBACK");
    advance();
  }
  while (at_word("low_priority") || at_kw(Kw::kIgnore)) advance();
  skip_top_clause();
  // MySQL joins several tables: the first is the target, the others join it.
  List<TableRef*> targets = from_list();
  std::vector<TableRef*> from(targets.begin(), targets.end());
  u->target = from.front();
  from.erase(from.begin());
  expect_kw(Kw::kSet, "SET");
  u->set = assignments();
  u->returning = output_clause();
  if (accept_kw(Kw::kFrom)) {
    List<TableRef*> more = from_list();
    from.insert(from.end(), more.begin(), more.end());
  }
  u->from = arena_.list(from);
  Raw tail;
  if (at_kw(Kw::kWhere) && at_kw(Kw::kCurrent, 1) && at_kw(Kw::kOf, 2)) {
    tail = rest_of_statement();  // where current of cursor
  } else {
    if (accept_kw(Kw::kWhere)) u->where = expr();
    if (at_kw(Kw::kOrder) || at_kw(Kw::kLimit) || at_word("option") || at_word("output"))
      tail = rest_of_statement(Kw::kReturning);
    if (u->returning == nullptr) u->returning = returning_clause();
  }
  u->tail = tail;
  return finish(u);
}

Statement* Parser::delete_statement(std::uint32_t begin, With* with) {
  auto* d = node<Delete>(begin);
  d->kind = StatementKind::kDelete;
  d->with = with;
  expect_kw(Kw::kDelete, "DELETE");
  while (at_word("low_priority") || at_word("quick") || at_kw(Kw::kIgnore)) advance();
  skip_top_clause();
  accept_kw(Kw::kFrom);
  accept_kw(Kw::kOnly);
  d->table = name();
  // MySQL delete t1, t2 from ..: the further targets are not kept.
  while (accept(Tok::kComma)) name();
  if (!at_word("output")) {
    bool as_keyword = false;
    const Ident alias = opt_alias(true, &as_keyword);
    d->alias = alias_node(alias, as_keyword);
  }
  skip_table_hints();
  d->returning = output_clause();
  if (accept_kw(Kw::kUsing) || accept_kw(Kw::kFrom)) d->using_tables = from_list();
  Raw tail;
  if (at_kw(Kw::kWhere) && at_kw(Kw::kCurrent, 1) && at_kw(Kw::kOf, 2)) {
    tail = rest_of_statement();
  } else {
    if (accept_kw(Kw::kWhere)) d->where = expr();
    if (at_kw(Kw::kOrder) || at_kw(Kw::kLimit) || at_word("option") || at_word("output"))
      tail = rest_of_statement(Kw::kReturning);
    if (d->returning == nullptr) d->returning = returning_clause();
  }
  d->tail = tail;
  return finish(d);
}

}  // namespace sqlparse::syntax
