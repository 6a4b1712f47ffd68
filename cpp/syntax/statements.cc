// Statements: queries, INSERT, CREATE TABLE .. AS, CREATE VIEW, MERGE, UPDATE,
// DELETE, and every other statement kept as text under its leading words.
//
// Storage and option clauses of CREATE / INSERT vary without end between
// dialects and never carry lineage, so they are skipped token by token (with
// balanced groups) and kept as Raw; the parts that do carry lineage (target,
// column lists, queries, assignments) are parsed fully.
#include <iterator>
#include <string>
#include <vector>

#include "syntax/grammar.h"

namespace sqlparse::syntax {
namespace {

// Words between CREATE and the kind of object it makes.
constexpr std::string_view kCreateModifiers[] = {
    "global",    "local",  "temporary", "temp",   "transient", "volatile", "external",
    "unlogged",  "secure", "recursive", "private", "live",     "streaming", "multiset",
    "dynamic",   "iceberg", "hybrid",   "set",    "public",    "or",       "replace",
    "alter",     "refresh", "materialized", "if", "not",       "exists",   "unique",
    "definer",   "force",  "noforce",   "editionable", "noneditionable", "algorithm",
    "undefined", "merge",  "temptable", "sql",    "security",  "invoker",  "aggregate",
    "virtual",
};

// Words after a column name that start its constraints rather than a type.
constexpr std::string_view kConstraintStarts[] = {
    "comment", "not",      "null",      "default",  "primary",       "references", "unique",
    "check",   "constraint", "collate", "generated", "identity",     "auto_increment",
    "autoincrement", "encode", "options", "masking", "with",         "as",         "mask",
    "tag",     "key",      "on",        "expect",   "materialized",  "alias",      "ephemeral",
    "codec",   "ttl",
};

// Entries of a column list that are table constraints, not columns.
constexpr std::string_view kTableConstraints[] = {
    "constraint", "primary", "foreign", "unique", "check", "fulltext", "spatial",
    "period",     "exclude", "like",    "projection",
};

}  // namespace

bool Parser::at_any_word(const std::string_view* words, std::size_t count,
                         std::size_t ahead) const {
  if (peek(ahead).kind != Tok::kWord) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (at_word(words[i], ahead)) return true;
  return false;
}

// ---- dispatch --------------------------------------------------------------

Statement* Parser::statement() {
  DepthGuard guard(*this);
  std::uint32_t begin = here();
  if (classic_) [[unlikely]] return classic_statement(begin);
  if (at_kw(Kw::kWith)) {
    // WITH .. INSERT / UPDATE / MERGE / DELETE, or WITH .. query. The WITH
    // nests as deep as in a query's own WITH.
    With* with = nullptr;
    {
      DepthGuard query_level(*this);
      with = with_clause();
    }
    if (at_dml_verb()) return dml_statement(begin, with);
    return query_statement(begin, with);
  }
  if (at_dml_verb()) return dml_statement(begin, nullptr);
  if (at_kw(Kw::kFrom) && insert_follows_from() != 0) return from_first_insert(begin);
  if (starts_query(0)) return query_statement(begin);
  if (at_kw(Kw::kCreate) || (at_word("define") && at_name(1)) ||
      (at_kw(Kw::kAlter) && at_kw(Kw::kView, 1)))
    return create_statement(begin);
  return other_statement(begin);
}

bool Parser::at_dml_verb() const {
  if (at_kw(Kw::kInsert) || at_kw(Kw::kUpsert) || at_kw(Kw::kDelete)) return true;
  // REPLACE [INTO] t (MySQL, SQLite); replace(..) would be a call.
  if (at_kw(Kw::kReplace)) return !at(Tok::kLParen, 1);
  if (at_kw(Kw::kMerge)) return at_kw(Kw::kInto, 1) || at_name(1);
  if (at_kw(Kw::kUpdate)) return !at_word("statistics", 1) && !at(Tok::kSemicolon, 1) && !at(Tok::kEnd, 1);
  return false;
}

Statement* Parser::dml_statement(std::uint32_t begin, With* with) {
  if (at_kw(Kw::kMerge)) return merge_statement(begin, with);
  if (at_kw(Kw::kUpdate)) return update_statement(begin, with);
  if (at_kw(Kw::kDelete)) return delete_statement(begin, with);
  return insert_statement(begin, with);
}

bool Parser::starts_query(std::size_t ahead) const {
  const Token& t = peek(ahead);
  if (t.kind == Tok::kLParen) {
    const Token& n = peek(ahead + 1);
    if (n.kind == Tok::kLParen) return starts_query(ahead + 1);
    return n.kind == Tok::kWord && (n.kw == Kw::kSelect || n.kw == Kw::kWith ||
                                    n.kw == Kw::kValues || n.kw == Kw::kFrom ||
                                    n.kw == Kw::kTable || at_pivot_statement(ahead + 1));
  }
  if (t.kind != Tok::kWord) return false;
  switch (t.kw) {
    case Kw::kSelect:
    case Kw::kWith:
    case Kw::kValues:
    case Kw::kFrom:
      return true;
    case Kw::kTable:
      return is_name_token(peek(ahead + 1));
    case Kw::kPivot:
    case Kw::kUnpivot:
      return at_pivot_statement(ahead);
    default:
      return false;
  }
}

Statement* Parser::query_statement(std::uint32_t begin, With* with) {
  auto* s = node<SelectStatement>(begin);
  s->kind = StatementKind::kSelect;
  s->query = query();
  if (with) {  // the WITH read before: the query starts there
    s->query->with = with;
    s->query->span.begin = begin;
  }
  // T-SQL select .. into t makes a table.
  if (s->query->body && s->query->body->kind == BodyKind::kSelect &&
      !static_cast<Select*>(s->query->body)->into.parts.empty()) {
    s->kind = StatementKind::kCreateTableAs;
    s->select_into = true;
  }
  return finish(s);
}

// ---- shared pieces -----------------------------------------------------------

Raw Parser::join_raw(Raw a, Raw b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  std::string joined;
  joined.reserve(a.size() + b.size() + 1);
  joined.append(a).append(" ").append(b);
  return arena_.copy(joined);
}

Raw Parser::rest_of_statement(Kw stop) {
  std::size_t from = pos_;
  while (!at_end() && !at(Tok::kSemicolon) && !is_close(peek().kind) &&
         (stop == Kw::kNone || !at_kw(stop))) {
    if (at(Tok::kError)) fail("a token");  // reports the lexer's error
    if (is_open(peek().kind))
      skip_group();
    else
      advance();
  }
  return pos_ > from ? raw_since(from) : Raw{};
}

void Parser::skip_table_hints() {
  // T-SQL table hints: t WITH (nolock, index(i)).
  while (at_kw(Kw::kWith) && at(Tok::kLParen, 1) && !starts_query(1)) {
    advance();
    skip_group();
  }
}

void Parser::skip_top_clause() {
  // T-SQL insert / update / delete TOP (n) [PERCENT].
  if (!at_kw(Kw::kTop)) return;
  advance();
  if (at(Tok::kLParen))
    skip_group();
  else
    advance();
  accept_kw(Kw::kPercent);
}

List<ColumnDef> Parser::column_defs() {
  expect(Tok::kLParen, "\"(\"");
  std::vector<ColumnDef> out;
  if (accept(Tok::kRParen)) return {};
  do {
    // MySQL key k (a) / index (a), ClickHouse index i expr type t, as
    // against a column named key or index.
    bool index = (at_word("index") || at_word("key")) &&
                 (at(Tok::kLParen, 1) || (at_name(1) && at(Tok::kLParen, 2) && at_name(3)) ||
                  (d_.id == DialectId::kClickHouse && at_word("index") && at_name(1) && at_name(2)));
    if (index || at_any_word(kTableConstraints, std::size(kTableConstraints))) {
      rest_of_column_def();
      continue;
    }
    ColumnDef c;
    c.name = ident();
    if (!at(Tok::kComma) && !at(Tok::kRParen) && !at_any_word(kConstraintStarts, std::size(kConstraintStarts))) {
      std::size_t at_type = pos_;
      try {
        c.type = type_name();
      } catch (const ParseError&) {
        // An unusual type stays in the constraint text.
        set_pos(at_type);
        c.type = nullptr;
      }
    }
    std::size_t from = pos_;
    rest_of_column_def();
    if (pos_ > from) c.constraints = raw_since(from);
    out.push_back(c);
  } while (accept(Tok::kComma));
  expect(Tok::kRParen, "\")\"");
  return arena_.list(out);
}

void Parser::rest_of_column_def() {
  while (!at_end() && !at(Tok::kComma) && !at(Tok::kSemicolon) && !is_close(peek().kind)) {
    if (at(Tok::kError)) fail("a token");
    if (is_open(peek().kind))
      skip_group();
    else
      advance();
  }
}

// ---- INSERT ----------------------------------------------------------------

Statement* Parser::insert_statement(std::uint32_t begin, With* with) {
  std::size_t start = pos_;
  auto* s = node<Insert>(begin);
  s->kind = StatementKind::kInsert;
  s->with = with;
  s->verb = "insert";
  if (accept_kw(Kw::kReplace)) {
    s->verb = "replace";
  } else if (accept_kw(Kw::kUpsert)) {
    s->verb = "upsert";
  } else {
    expect_kw(Kw::kInsert, "INSERT");
    if (at_kw(Kw::kAll) || at_kw(Kw::kFirst)) return insert_all(begin, start);
    if (accept_kw(Kw::kOr)) {  // SQLite insert or replace / ignore / abort ...
      if (accept_kw(Kw::kReplace))
        s->verb = "insert or replace";
      else if (accept_kw(Kw::kIgnore))
        s->verb = "insert or ignore";
      else if (accept_word("abort"))
        s->verb = "insert or abort";
      else if (accept_word("fail"))
        s->verb = "insert or fail";
      else if (accept_kw(Kw::kRollback))
        s->verb = "insert or rollback";
      else
        fail("REPLACE, IGNORE, ABORT, FAIL or ROLLBACK");
    }
  }
  // MySQL priority words are not kept.
  while (at_word("low_priority") || at_word("delayed") || at_word("high_priority") ||
         at_kw(Kw::kIgnore)) {
    if (at_kw(Kw::kIgnore) && s->verb == std::string_view("insert")) s->verb = "insert ignore";
    advance();
  }
  skip_top_clause();
  if (accept_kw(Kw::kInto)) {
    s->into = true;
  } else if (accept_kw(Kw::kOverwrite)) {
    s->overwrite = true;
    if (accept_kw(Kw::kInto)) s->into = true;  // Snowflake insert overwrite into
  }

  if (s->overwrite && (at_word("directory") || (at_kw(Kw::kLocal) && at_word("directory", 1)))) {
    // Hive / Spark insert overwrite [local] directory '..' [format options] query.
    std::size_t from = pos_;
    while (!at_end() && !at(Tok::kSemicolon) && !starts_query(0)) {
      if (at(Tok::kError)) fail("a token");
      if (is_open(peek().kind))
        skip_group();
      else if (is_close(peek().kind))
        fail("a query");
      else
        advance();
    }
    s->table_function = raw_since(from);
  } else {
    if (accept_kw(Kw::kTable)) s->table_keyword = true;
    if (at_kw(Kw::kFunction)) {
      // ClickHouse insert into [table] function s3(..).
      std::size_t from = pos_;
      advance();
      name();
      if (at(Tok::kLParen)) skip_group();
      s->table_function = raw_since(from);
    } else if (at_word("identifier") && at(Tok::kLParen, 1)) {
      // Snowflake identifier($name).
      std::size_t from = pos_;
      advance();
      skip_group();
      s->table_function = raw_since(from);
    } else if (at(Tok::kLParen)) {
      // Oracle insert into (select ..) values ..
      std::size_t from = pos_;
      skip_group();
      s->table_function = raw_since(from);
    } else {
      s->table = name();
      // Oracle t@dblink: the link is not kept.
      if (at(Tok::kParam) && !peek().spaced && text_of(peek())[0] == '@') advance();
    }
  }
  if (at_kw(Kw::kAs) && at_name(1) && !starts_query(1)) {
    advance();
    auto* a = arena_.make<Alias>();
    a->name = ident();
    a->as_keyword = true;
    s->alias = a;
  }
  skip_table_hints();

  // Partition, IF NOT EXISTS, columns and BY NAME come in dialect order.
  std::vector<PartitionItem> partition;
  bool have_columns = false;
  for (;;) {
    if (at_kw(Kw::kPartition) && at(Tok::kLParen, 1)) {
      advance();
      partition_spec(partition);
    } else if (at_kw(Kw::kIf) && at_kw(Kw::kNot, 1) && at_kw(Kw::kExists, 2)) {
      advance();
      advance();
      advance();
      s->if_not_exists = true;
    } else if (at(Tok::kLParen) && !have_columns && !starts_query(0)) {
      s->columns = ident_list();
      have_columns = true;
    } else if (at_kw(Kw::kBy) && at_kw(Kw::kName, 1)) {
      advance();
      advance();
      s->by_name = true;
    } else if (at_kw(Kw::kBy) && at_kw(Kw::kPosition, 1)) {
      advance();
      advance();
      s->by_position = true;
    } else if (at_kw(Kw::kReplace) && at_kw(Kw::kWhere, 1)) {
      // Databricks replace where ..: the rows replaced, not kept.
      advance();
      advance();
      expr();
    } else if (at_kw(Kw::kReplace) && at_kw(Kw::kUsing, 1)) {
      advance();
      advance();
      ident_list();
    } else if (at_word("overriding") && at_word("value", 2)) {
      advance();  // Postgres overriding system | user value: not kept
      advance();
      advance();
    } else {
      break;
    }
  }
  s->partition = arena_.list(partition);

  s->returning = output_clause();
  if (at_kw(Kw::kDefault) && at_kw(Kw::kValues, 1)) {
    advance();
    advance();
    s->default_values = true;
  } else if (at_word("value") && at(Tok::kLParen, 1)) {
    s->source = values_rows();  // MySQL VALUE (..), (..)
  } else if (at_kw(Kw::kSet) && !have_columns) {
    set_as_values(s);  // MySQL insert .. set a = 1, b = 2
  } else if (starts_query(0)) {
    s->source = query();
  } else if (!at_end() && !at(Tok::kSemicolon) && !at_insert_tail()) {
    fail("a query, VALUES or DEFAULT VALUES");
  }
  Raw tail;
  if (at_insert_tail()) tail = rest_of_statement(Kw::kReturning);
  s->tail = tail;
  if (s->returning == nullptr) s->returning = returning_clause();
  return finish(s);
}

Statement* Parser::insert_all(std::uint32_t begin, std::size_t start) {
  // Oracle INSERT ALL | FIRST [WHEN c THEN] INTO t [(cols)] [VALUES (..)] ..
  // [ELSE INTO ..] query: kept as text, with each INTO in the body as the
  // insert it amounts to, insert into t (cols) select <values> from (query)
  // where c.
  auto* o = node<Other>(begin);
  o->kind = StatementKind::kOther;
  o->head = at_kw(Kw::kAll) ? "insert all" : "insert first";
  advance();  // ALL / FIRST
  std::vector<Insert*> inserts;
  std::vector<Expr*> rows;  // the VALUES of each insert, null for none
  std::vector<Expr*> conditions;
  const bool first_match = o->head == "insert first";
  std::vector<Expr*> whens;  // the WHEN conditions so far
  // The rows that no earlier WHEN took: not (w1 or w2 ..). An ELSE branch
  // takes those, and with FIRST so does every later WHEN (its own condition
  // and this).
  auto none_of_earlier = [&]() -> Expr* {
    if (whens.empty()) return nullptr;
    Expr* any = whens[0];
    for (std::size_t i = 1; i < whens.size(); ++i) {
      auto* b = node<Binary>(any->span.begin);
      b->kind = ExprKind::kBinary;
      b->op = "or";
      b->left = any;
      b->right = whens[i];
      b->span = {any->span.begin, whens[i]->span.end};
      any = b;
    }
    auto* u = node<Unary>(any->span.begin);
    u->kind = ExprKind::kUnary;
    u->op = "not";
    u->operand = any;
    u->span = any->span;
    return u;
  };
  Expr* when = nullptr;
  for (;;) {
    if (accept_kw(Kw::kWhen)) {
      Expr* condition = expr();
      expect_kw(Kw::kThen, "THEN");
      when = condition;
      if (Expr* rest = first_match ? none_of_earlier() : nullptr) {
        auto* both = node<Binary>(condition->span.begin);
        both->kind = ExprKind::kBinary;
        both->op = "and";
        both->left = condition;
        both->right = rest;
        both->span = condition->span;
        when = both;
      }
      whens.push_back(condition);
    } else if (accept_kw(Kw::kElse)) {
      when = none_of_earlier();
    }
    if (!at_kw(Kw::kInto)) break;
    while (at_kw(Kw::kInto)) {
      std::uint32_t into_begin = here();
      advance();
      auto* ins = node<Insert>(into_begin);
      ins->kind = StatementKind::kInsert;
      ins->verb = "insert";
      ins->into = true;
      ins->table = name();
      if (at(Tok::kLParen) && !starts_query(0)) ins->columns = ident_list();
      Expr* row = nullptr;
      if (accept_kw(Kw::kValues)) {
        std::uint32_t row_begin = here();
        expect(Tok::kLParen, "\"(\"");
        auto* t = node<TupleExpr>(row_begin);
        t->kind = ExprKind::kTuple;
        t->items = expr_list();
        expect(Tok::kRParen, "\")\"");
        row = finish(t);
      }
      finish(ins);
      inserts.push_back(ins);
      rows.push_back(row);
      conditions.push_back(when);
    }
    if (!at_kw(Kw::kWhen) && !at_kw(Kw::kElse)) break;
  }
  if (inserts.empty()) fail("INTO");
  Query* source = query();
  auto* derived = node<DerivedTable>(source->span.begin);
  derived->kind = TableKind::kDerived;
  derived->query = source;
  derived->span = source->span;
  for (std::size_t i = 0; i < inserts.size(); ++i) {
    auto* sel = node<Select>(inserts[i]->span.begin);
    sel->kind = BodyKind::kSelect;
    std::vector<SelectItem> items;
    if (auto* row = static_cast<TupleExpr*>(rows[i])) {
      for (Expr* e : row->items) {
        SelectItem item;
        item.expr = e;
        item.span = e->span;
        items.push_back(item);
      }
    } else {
      auto* star = node<Star>(inserts[i]->span.begin);
      star->kind = ExprKind::kStar;
      SelectItem item;
      item.expr = star;
      items.push_back(item);
    }
    sel->items = arena_.list(items);
    sel->from = arena_.list(std::vector<TableRef*>{derived});
    sel->where = conditions[i];
    sel->span = inserts[i]->span;
    auto* q = node<Query>(inserts[i]->span.begin);
    q->body = sel;
    q->span = inserts[i]->span;
    inserts[i]->source = q;
  }
  o->text = raw_since(start);
  o->body = arena_.list(std::vector<Statement*>(inserts.begin(), inserts.end()));
  return finish(o);
}

bool Parser::at_insert_tail() const {
  // MySQL values (..) as new [(cols)] on duplicate key update ..
  if (at_kw(Kw::kAs) && at_name(1)) return true;
  return at_kw(Kw::kOn) || at_kw(Kw::kReturning) || at_word("log") || at_word("output") ||
         at_kw(Kw::kExec) || at_kw(Kw::kExecute) || at_word("option") ||
         at_kw(Kw::kSettings) || at_kw(Kw::kFormat);
}

void Parser::partition_spec(std::vector<PartitionItem>& out) {
  expect(Tok::kLParen, "\"(\"");
  do {
    PartitionItem item;
    item.column = ident();
    if (accept_op(Op::kEq)) item.value = expr();
    out.push_back(item);
  } while (accept(Tok::kComma));
  expect(Tok::kRParen, "\")\"");
}

Query* Parser::values_rows() {
  std::uint32_t begin = here();
  advance();  // VALUE
  auto* v = node<Values>(begin);
  v->kind = BodyKind::kValues;
  std::vector<Expr*> rows;
  do {
    rows.push_back(expr());
  } while (accept(Tok::kComma));
  v->rows = arena_.list(rows);
  finish(v);
  auto* q = node<Query>(begin);
  q->body = v;
  return finish(q);
}

void Parser::set_as_values(Insert* s) {
  // insert t set a = 1, b = 2 is insert t (a, b) values (1, 2).
  std::uint32_t begin = here();
  advance();  // SET
  List<Assignment> set = assignments();
  std::vector<Ident> columns;
  std::vector<Expr*> values;
  for (const Assignment& a : set) {
    if (a.parenthesised || a.columns.size() != 1) fail_at(toks_[pos_ - 1], "column = value");
    columns.push_back(a.columns[0].last());
    values.push_back(a.value);
  }
  auto* row = node<TupleExpr>(begin);
  row->kind = ExprKind::kTuple;
  row->items = arena_.list(values);
  finish(row);
  auto* v = node<Values>(begin);
  v->kind = BodyKind::kValues;
  v->rows = arena_.list(std::vector<Expr*>{row});
  finish(v);
  auto* q = node<Query>(begin);
  q->body = v;
  s->columns = arena_.list(columns);
  s->source = finish(q);
}

std::size_t Parser::insert_follows_from() const {
  // Hive FROM t INSERT .. SELECT .. [INSERT ..]: the first INSERT at depth 0,
  // or 0 when there is none.
  int depth = 0;
  for (std::size_t i = pos_ + 1; i < toks_.size(); ++i) {
    const Token& t = toks_[i];
    if (t.kind == Tok::kEnd || (t.kind == Tok::kSemicolon && depth == 0)) return 0;
    if (is_open(t.kind)) ++depth;
    if (is_close(t.kind) && --depth < 0) return 0;
    if (depth == 0 && t.kind == Tok::kWord && t.kw == Kw::kInsert) return i;
  }
  return 0;
}

Statement* Parser::from_first_insert(std::uint32_t begin) {
  std::size_t start = pos_;
  // Each part ends at the next INSERT at depth 0, which would otherwise read
  // as an alias (from t insert .., select a insert ..): that token stands as
  // a ";" while the part before it is parsed.
  struct Stop {
    Token* token = nullptr;
    Tok kind = Tok::kEnd;
    void at(Token& t) {
      release();
      token = &t;
      kind = t.kind;
      t.kind = Tok::kSemicolon;
    }
    void release() {
      if (token) token->kind = kind;
      token = nullptr;
    }
    ~Stop() { release(); }
  } stop;
  std::size_t next = insert_follows_from();
  expect_kw(Kw::kFrom, "FROM");
  stop.at(toks_[next]);
  List<TableRef*> from = from_list();
  if (pos_ != next) fail("INSERT");
  stop.release();
  std::vector<Statement*> inserts;
  while (at_kw(Kw::kInsert)) {
    std::size_t following = insert_follows_from();
    if (following != 0) stop.at(toks_[following]);
    auto* ins = static_cast<Insert*>(insert_statement(here(), nullptr));
    if (following != 0 && pos_ != following) fail("INSERT");
    stop.release();
    // The shared FROM is the FROM of each select that has none.
    if (ins->kind == StatementKind::kInsert && ins->source && ins->source->body &&
        ins->source->body->kind == BodyKind::kSelect) {
      auto* sel = static_cast<Select*>(ins->source->body);
      if (sel->from.empty()) sel->from = from;
    }
    inserts.push_back(ins);
  }
  if (inserts.empty()) fail("INSERT");
  if (inserts.size() == 1) {
    inserts[0]->span.begin = begin;
    return inserts[0];
  }
  auto* o = node<Other>(begin);
  o->kind = StatementKind::kOther;
  o->head = "from insert";
  o->text = raw_since(start);
  o->body = arena_.list(inserts);
  return finish(o);
}

// ---- CREATE TABLE .. AS / CREATE VIEW ---------------------------------------

Statement* Parser::create_statement(std::uint32_t begin) {
  std::size_t start = pos_;
  bool alter = at_kw(Kw::kAlter);
  advance();  // CREATE / DEFINE / ALTER
  bool or_replace = false;
  if (!alter && accept_kw(Kw::kOr)) {
    if (accept_kw(Kw::kReplace) || accept_kw(Kw::kAlter) || accept_word("refresh"))
      or_replace = true;
    else
      fail("REPLACE");
  }
  std::size_t mods_from = pos_;
  std::size_t mods_to = pos_;
  bool materialized = false;
  while (at(Tok::kWord) && !at_kw(Kw::kTable) && !at_kw(Kw::kView)) {
    if (at_kw(Kw::kMaterialized)) {
      materialized = true;
      advance();
      continue;
    }
    if (!at_any_word(kCreateModifiers, std::size(kCreateModifiers)) || at_word("or") || at_word("if")) break;
    advance();
    if (at_op(Op::kEq)) {  // MySQL algorithm = merge, definer = u@host
      advance();
      advance();
      while (!peek().spaced && !at_end() && !at(Tok::kSemicolon)) advance();
    }
    if (!materialized) mods_to = pos_;
  }
  Raw modifiers;
  if (mods_to > mods_from) {
    std::size_t keep = pos_;
    set_pos(mods_to);
    modifiers = raw_since(mods_from);
    set_pos(keep);
  }
  bool view = at_kw(Kw::kView);
  if (!view && (alter || !at_kw(Kw::kTable) || at_kw(Kw::kFunction, 1))) {
    set_pos(start);
    return other_statement(begin);
  }
  advance();  // TABLE / VIEW
  bool if_not_exists = false;
  if (at_kw(Kw::kIf) && at_kw(Kw::kNot, 1) && at_kw(Kw::kExists, 2)) {
    advance();
    advance();
    advance();
    if_not_exists = true;
  }
  Name target = name();

  CreateParts parts = create_parts(view);
  if (!parts.query) {
    if (view) {
      // A view without a query (ALTER VIEW .. RENAME, ..) is another statement.
      set_pos(start);
      return other_statement(begin);
    }
    // CREATE TABLE t (cols) / LIKE / CLONE: the columns still matter.
    auto* o = node<Other>(begin);
    o->kind = StatementKind::kOther;
    o->head = toks_[start].kw == Kw::kCreate ? "create table" : "define table";
    o->text = raw_since(start);
    o->table = target;
    o->columns = parts.columns;
    return finish(o);
  }
  if (view) {
    auto* v = node<CreateView>(begin);
    v->kind = StatementKind::kCreateView;
    v->or_replace = or_replace;
    v->materialized = materialized;
    v->modifiers = modifiers;
    v->if_not_exists = if_not_exists;
    v->name = target;
    v->columns = parts.columns;
    v->options_before_as = parts.options;
    v->query = parts.query;
    v->options_after = parts.after;
    return finish(v);
  }
  auto* c = node<CreateTableAs>(begin);
  c->kind = StatementKind::kCreateTableAs;
  c->or_replace = or_replace;
  c->modifiers = modifiers;
  c->if_not_exists = if_not_exists;
  c->table = target;
  c->columns = parts.columns;
  c->options_before_as = parts.options;
  c->query = parts.query;
  c->options_after = parts.after;
  return finish(c);
}

Parser::CreateParts Parser::create_parts(bool view) {
  // After the name: [columns] [options] [AS query [options]]. The column
  // list comes right after the name, or after ON CLUSTER c / TO t
  // (ClickHouse); options are skipped up to an AS that starts a query.
  CreateParts out;
  Raw options;
  std::size_t seg = pos_;
  bool column_slot = true;
  bool have_columns = false;
  auto flush = [&] {
    if (pos_ > seg) options = join_raw(options, raw_since(seg));
  };
  while (!at_end() && !at(Tok::kSemicolon)) {
    if (at_kw(Kw::kAs) && starts_query(1)) break;
    if (!view && at_kw(Kw::kSelect)) break;  // MySQL create table t [(cols)] select ..
    if (at(Tok::kLParen) && column_slot && !have_columns && !starts_query(0)) {
      flush();
      out.columns = column_defs();
      have_columns = true;
      seg = pos_;
      column_slot = false;
      continue;
    }
    if (at_kw(Kw::kOn) && at_word("cluster", 1)) {
      advance();
      advance();
      advance();  // the cluster's name or '{macro}'
      continue;
    }
    if (view && at_kw(Kw::kTo) && at_name(1)) {
      advance();
      name();
      continue;
    }
    column_slot = false;
    if (at(Tok::kError)) fail("a token");
    if (is_open(peek().kind))
      skip_group();
    else if (is_close(peek().kind))
      fail("AS");
    else
      advance();
  }
  flush();
  out.options = options;
  if (pos_ > 0 && toks_[pos_ - 1].kind == Tok::kWord && toks_[pos_ - 1].kw == Kw::kAs)
    fail("a query");  // create table t as <nothing>
  if (!accept_kw(Kw::kAs) && !(!view && at_kw(Kw::kSelect))) return out;
  out.query = query();
  // with [no] data, with [cascaded | local] check option, with no schema
  // binding, comment '..' (ClickHouse), ...
  if (at_kw(Kw::kWith) || at_kw(Kw::kComment) || at_word("option") || at_kw(Kw::kSettings))
    out.after = rest_of_statement();
  return out;
}

}  // namespace sqlparse::syntax
