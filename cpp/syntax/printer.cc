// The syntax tree written back as SQL text.
//
// The printer writes the tokens the tree stands for, one space between them
// (none after "(" and "[", none before ")", "]" and ","), keywords in upper
// case, and everything the tree keeps as written (names, literals, Raw
// clauses) as it is. Parentheses appear exactly where the tree has a node
// for them (Paren, ParenQuery, ParenTable, TupleExpr) or where the grammar
// requires them (calls, IN lists, sub-queries), so the printed text parses
// back to the same tree.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "syntax/parser.h"
#include "syntax/to_tree.h"
#include "tree/stack_limit.h"

namespace sqlparse::syntax {
namespace {

bool is_word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

class Printer {
 public:
  std::string take() { return std::move(out_); }

  void statement(const Statement& s);

 private:
  // ---- tokens ----
  // A token, one space after the previous one (none after an opening
  // bracket, but "{ {" stays apart: "{{" is a template variable).
  void put(std::string_view t) {
    if (t.empty()) return;
    if (!out_.empty() && !tight_) {
      char last = out_.back();
      bool open = last == '(' || last == '[' || (last == '{' && t[0] != '{');
      if (!open && last != ' ') out_ += ' ';
    }
    tight_ = false;
    out_ += t;
  }
  // Words kept in lower case by the tree, written as upper-case keywords.
  void kw(std::string_view words) {
    if (words.empty()) return;
    std::string up(words);
    for (char& c : up) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    put(up);
  }
  // An operator: a word operator is a keyword, a symbol is written as is.
  void op(std::string_view o) {
    if (!o.empty() && is_word_char(o[0])) {
      kw(o);
    } else {
      put(o);
    }
  }
  // Appended with no space: ")", ",", "]", "." and a call's "(".
  void glue(std::string_view t) {
    out_ += t;
    tight_ = false;
  }
  void comma() { glue(","); }

  // ---- recursion guard ----
  // The grammar bounds nesting, so the depth here is bounded too; a thread
  // with a small stack still stops with an error rather than overflowing.
  struct Guard {
    explicit Guard(Printer&) {
      if (stack_exhausted()) throw TreeTooDeep("syntax tree too deep to print on this thread's stack");
    }
  };

  // ---- names and types ----
  void ident(const Ident& id) { put(id.text.empty() ? id.value : id.text); }
  static bool empty(const Ident& id) { return id.text.empty() && id.value.empty() && id.quote == 0; }
  void name(const Name& n) {
    bool first = true;
    for (const Ident& part : n.parts) {
      if (first) {
        ident(part);
      } else {
        glue(".");
        glue(part.text.empty() ? part.value : part.text);
      }
      first = false;
    }
  }
  void ident_list(const List<Ident>& ids) {
    put("(");
    bool first = true;
    for (const Ident& id : ids) {
      if (!first) comma();
      ident(id);
      first = false;
    }
    glue(")");
  }
  void type(const TypeName* t);

  // ---- expressions ----
  void expr(const Expr* e);
  void exprs(const List<Expr*>& items) {
    bool first = true;
    for (const Expr* e : items) {
      if (!first) comma();
      expr(e);
      first = false;
    }
  }
  void paren_exprs(const List<Expr*>& items) {
    put("(");
    exprs(items);
    glue(")");
  }
  void function(const Function& f);
  void order_items(const List<OrderItem>& items);
  void window_spec(const WindowSpec& w);
  void frame(const WindowFrame& f);

  // ---- queries ----
  void query(const Query* q);
  void paren_query(const Query* q) {
    put("(");
    query(q);
    glue(")");
  }
  void with(const With& w);
  void body(const QueryBody* b);
  void select(const Select& s);
  void select_items(const List<SelectItem>& items);
  void select_item(const SelectItem& item);
  void values(const Values& v);
  void query_tail(const Query& q);
  void pipe(const PipeOp& p);

  // ---- FROM ----
  void tables(const List<TableRef*>& items) {
    bool first = true;
    for (const TableRef* t : items) {
      if (!first) comma();
      table(t);
      first = false;
    }
  }
  void table(const TableRef* t);
  void table_body(const TableRef& t);
  void alias(const Alias* a);
  void pivot(const Pivot& p, bool unpivot);

  // ---- statements ----
  void insert(const Insert& s);
  void create_table_as(const CreateTableAs& s);
  void create_view(const CreateView& s);
  void column_defs(const List<ColumnDef>& cols);
  void merge(const Merge& s);
  void merge_clause(const MergeClause& c);
  void assignments(const List<Assignment>& set);
  void update(const Update& s);
  void delete_statement(const Delete& s);
  void other(const Other& s);

  std::string out_;
  bool tight_ = false;  // the next token follows without a space
};

// ---- types -----------------------------------------------------------------

void Printer::type(const TypeName* t) {
  if (t == nullptr) return;
  Guard guard(*this);
  put(t->name);
  if (!t->params.empty()) {
    glue(t->angle ? "<" : "(");
    tight_ = true;
    bool first = true;
    for (const TypeParam& p : t->params) {
      if (!first) comma();
      if (!empty(p.name)) {
        // name:type is read as a field in both <..> and (..); "a int" would
        // be the two-word type "a int".
        ident(p.name);
        glue(":");
      }
      type(p.type);
      first = false;
    }
    // Nested closing ">" stand apart: ">>" would be a shift.
    if (t->angle) {
      glue(out_.back() == '>' ? " >" : ">");
    } else {
      glue(")");
    }
  }
  put(t->suffix);
  for (int i = 0; i < t->array_dims; ++i) glue("[]");
}

// ---- expressions -----------------------------------------------------------

void Printer::expr(const Expr* e) {
  if (e == nullptr) return;
  Guard guard(*this);
  switch (e->kind) {
    case ExprKind::kColumn: {
      const auto& c = static_cast<const ColumnRef&>(*e);
      name(c.name);
      if (c.outer_join_mark) put("(+)");
      return;
    }
    case ExprKind::kStar: {
      const auto& s = static_cast<const Star&>(*e);
      if (s.qualifier.parts.empty()) {
        put("*");
      } else {
        name(s.qualifier);
        glue(".*");
      }
      if (s.ilike != nullptr) {
        kw("ilike");
        expr(s.ilike);
      }
      if (!s.modifier_keyword.empty()) {
        kw(s.modifier_keyword);
        ident_list(s.excluded);
      }
      if (!s.replaced.empty()) {
        kw("replace");
        paren_exprs(s.replaced);
      }
      if (!s.renamed.empty()) {
        kw("rename");
        paren_exprs(s.renamed);
      }
      return;
    }
    case ExprKind::kLiteral: {
      const auto& l = static_cast<const Literal&>(*e);
      if (l.literal_kind == LiteralKind::kTyped) put(l.type_name);
      put(l.text);
      return;
    }
    case ExprKind::kParam:
      put(static_cast<const Param&>(*e).text);
      return;
    case ExprKind::kKeyword:
      put(static_cast<const Keyword&>(*e).text);
      return;
    case ExprKind::kUnary: {
      const auto& u = static_cast<const Unary&>(*e);
      if (u.postfix) {
        expr(u.operand);
        if (u.op == "!") {
          glue("!");  // 5! (factorial); "5 !" would read as the start of "! ="
        } else {
          op(u.op);
        }
      } else {
        op(u.op);
        expr(u.operand);
      }
      return;
    }
    case ExprKind::kBinary: {
      // A left-nested chain (a or b or c ...) can be as long as the text:
      // its left spine is walked without recursion.
      std::vector<const Binary*> spine{static_cast<const Binary*>(e)};
      while (spine.back()->left != nullptr && spine.back()->left->kind == ExprKind::kBinary) {
        spine.push_back(static_cast<const Binary*>(spine.back()->left));
      }
      expr(spine.back()->left);
      for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
        op((*it)->op);
        expr((*it)->right);
        if ((*it)->escape != nullptr) {
          kw("escape");
          expr((*it)->escape);
        }
      }
      return;
    }
    case ExprKind::kBetween: {
      const auto& b = static_cast<const Between&>(*e);
      expr(b.operand);
      if (b.negated) kw("not");
      kw("between");
      if (b.symmetric) kw("symmetric");
      expr(b.low);
      kw("and");
      expr(b.high);
      return;
    }
    case ExprKind::kIn: {
      const auto& in = static_cast<const In&>(*e);
      expr(in.operand);
      if (in.negated) kw("not");
      kw("in");
      if (in.query != nullptr) {
        paren_query(in.query);
      } else if (in.unparenthesised) {
        exprs(in.items);
      } else {
        paren_exprs(in.items);
      }
      return;
    }
    case ExprKind::kQuantified: {
      const auto& q = static_cast<const Quantified&>(*e);
      expr(q.left);
      op(q.op);
      kw(q.quantifier);
      if (q.query != nullptr) {
        paren_query(q.query);
      } else if (!q.op.empty() && is_word_char(q.op[0])) {
        // like any ('a', 'b'): the list's parentheses are the tuple's own.
        expr(q.array);
      } else {
        put("(");
        expr(q.array);
        glue(")");
      }
      return;
    }
    case ExprKind::kSubquery:
      paren_query(static_cast<const SubqueryExpr&>(*e).query);
      return;
    case ExprKind::kExists: {
      const auto& s = static_cast<const SubqueryExpr&>(*e);
      if (s.negated) kw("not");
      kw("exists");
      paren_query(s.query);
      return;
    }
    case ExprKind::kArraySubquery:
      kw("array");
      glue("(");
      query(static_cast<const SubqueryExpr&>(*e).query);
      glue(")");
      return;
    case ExprKind::kCase: {
      const auto& c = static_cast<const Case&>(*e);
      kw("case");
      expr(c.operand);
      for (const WhenClause& w : c.whens) {
        kw("when");
        expr(w.condition);
        kw("then");
        expr(w.result);
      }
      if (c.else_result != nullptr) {
        kw("else");
        expr(c.else_result);
      }
      kw("end");
      return;
    }
    case ExprKind::kCast: {
      const auto& c = static_cast<const Cast&>(*e);
      if (c.style == "::") {
        expr(c.operand);
        put("::");
        type(c.type);
      } else if (c.style == "convert") {
        kw("convert");
        glue("(");
        type(c.type);
        comma();
        expr(c.operand);
        if (c.style_arg != nullptr) {
          comma();
          expr(c.style_arg);
        }
        glue(")");
      } else {
        kw(c.style);
        glue("(");
        expr(c.operand);
        kw("as");
        type(c.type);
        if (c.format != nullptr) {
          kw("format");
          expr(c.format);
        }
        glue(")");
      }
      return;
    }
    case ExprKind::kFunction:
      function(static_cast<const Function&>(*e));
      return;
    case ExprKind::kArray: {
      const auto& a = static_cast<const ArrayExpr&>(*e);
      if (a.type != nullptr) {
        type(a.type);
        glue("[");
      } else if (a.keyword) {
        kw("array");
        glue("[");
      } else {
        put("[");
      }
      exprs(a.items);
      if (!a.for_vars.empty()) {
        // [f(x) for x in xs if p(x)] (DuckDB)
        kw("for");
        bool first = true;
        for (const Ident& v : a.for_vars) {
          if (!first) comma();
          ident(v);
          first = false;
        }
        kw("in");
        expr(a.for_source);
        if (a.for_filter != nullptr) {
          kw("if");
          expr(a.for_filter);
        }
      }
      glue("]");
      return;
    }
    case ExprKind::kTuple: {
      const auto& t = static_cast<const TupleExpr&>(*e);
      if (t.keyword == "array join") {
        // ClickHouse: the list after ARRAY JOIN, written without parentheses.
        exprs(t.items);
        return;
      }
      if (t.keyword == "{" || t.keyword == "map") {
        if (t.keyword == "map") kw("map");
        put("{");
        exprs(t.items);
        glue("}");
        return;
      }
      if (t.type != nullptr) {
        type(t.type);
        glue("(");
      } else if (!t.keyword.empty()) {
        kw(t.keyword);
        glue("(");
      } else {
        put("(");
      }
      exprs(t.items);
      // (a,) is a tuple of one; (a) would be a Paren.
      if (t.keyword.empty() && t.type == nullptr && t.items.size() == 1) comma();
      glue(")");
      return;
    }
    case ExprKind::kSubscript: {
      const auto& s = static_cast<const Subscript&>(*e);
      expr(s.base);
      glue("[");
      expr(s.index);
      if (s.slice) {
        glue(":");
        expr(s.upper);
      }
      glue("]");
      return;
    }
    case ExprKind::kField: {
      const auto& f = static_cast<const FieldAccess&>(*e);
      expr(f.base);
      glue(".");
      if (f.star) {
        glue("*");
      } else {
        glue(f.field.text.empty() ? f.field.value : f.field.text);
      }
      return;
    }
    case ExprKind::kVariantPath: {
      const auto& v = static_cast<const VariantPath&>(*e);
      expr(v.base);
      glue(":");
      glue(v.path);
      return;
    }
    case ExprKind::kInterval: {
      const auto& i = static_cast<const Interval&>(*e);
      kw("interval");
      expr(i.value);
      put(i.unit);
      return;
    }
    case ExprKind::kParen:
      put("(");
      expr(static_cast<const Paren&>(*e).inner);
      glue(")");
      return;
    case ExprKind::kCollate: {
      const auto& c = static_cast<const Collate&>(*e);
      expr(c.operand);
      kw("collate");
      put(c.collation);
      return;
    }
    case ExprKind::kLambda: {
      const auto& l = static_cast<const Lambda&>(*e);
      if (l.parenthesised) {
        ident_list(l.params);
      } else if (!l.params.empty()) {
        ident(l.params[0]);
      }
      put("->");
      expr(l.body);
      return;
    }
    case ExprKind::kNamedArg: {
      const auto& n = static_cast<const NamedArg&>(*e);
      ident(n.name);
      put(n.op);
      expr(n.value);
      return;
    }
    case ExprKind::kKeywordArg: {
      const auto& k = static_cast<const KeywordArg&>(*e);
      put(k.keyword);
      expr(k.value);
      return;
    }
    case ExprKind::kGrouping: {
      const auto& g = static_cast<const Grouping&>(*e);
      kw(g.form);
      paren_exprs(g.items);
      return;
    }
  }
}

void Printer::function(const Function& f) {
  name(f.name);
  if (!f.no_parens) {
    glue("(");
    kw(f.quantifier);
    bool first = true;
    for (const Expr* a : f.args) {
      // A keyword argument (FROM x, AS t, BOTH) follows the previous one
      // after a space; the others after a comma.
      if (!first && a->kind != ExprKind::kKeywordArg) comma();
      expr(a);
      first = false;
    }
    if (!f.arg_order_by.empty()) {
      kw("order by");
      order_items(f.arg_order_by);
    }
    if (f.arg_limit != nullptr) {
      kw("limit");
      expr(f.arg_limit);
    }
    if (f.separator != nullptr) {
      kw("separator");
      expr(f.separator);
    }
    if (f.null_treatment_inside) kw(f.null_treatment);
    glue(")");
  }
  if (!f.null_treatment_inside) kw(f.null_treatment);
  if (!f.within_group.empty()) {
    kw("within group");
    put("(");
    kw("order by");
    order_items(f.within_group);
    glue(")");
  }
  if (f.filter != nullptr) {
    kw("filter");
    put("(");
    kw("where");
    expr(f.filter);
    glue(")");
  }
  put(f.keep);
  if (f.over != nullptr) {
    kw("over");
    window_spec(*f.over);
  } else if (!empty(f.over_name)) {
    kw("over");
    ident(f.over_name);
  }
}

void Printer::order_items(const List<OrderItem>& items) {
  bool first = true;
  for (const OrderItem& item : items) {
    if (!first) comma();
    expr(item.expr);
    kw(item.direction);
    if (!item.nulls.empty()) {
      kw("nulls");
      kw(item.nulls);
    }
    first = false;
  }
}

void Printer::window_spec(const WindowSpec& w) {
  put("(");
  if (!empty(w.base)) ident(w.base);
  if (!w.partition_by.empty()) {
    kw("partition by");
    exprs(w.partition_by);
  }
  if (!w.order_by.empty()) {
    kw("order by");
    order_items(w.order_by);
  }
  if (w.frame != nullptr) frame(*w.frame);
  glue(")");
}

void Printer::frame(const WindowFrame& f) {
  kw(f.units);
  if (!f.end.empty()) kw("between");
  expr(f.start_value);
  kw(f.start);
  if (!f.end.empty()) {
    kw("and");
    expr(f.end_value);
    kw(f.end);
  }
  put(f.exclude);
}

// ---- queries ---------------------------------------------------------------

void Printer::with(const With& w) {
  kw("with");
  if (w.recursive) kw("recursive");
  bool first = true;
  for (const Cte& c : w.ctes) {
    if (!first) comma();
    first = false;
    if (c.expr != nullptr) {  // ClickHouse: with <expr> as name
      expr(c.expr);
      kw("as");
      ident(c.name);
      continue;
    }
    ident(c.name);
    if (!c.columns.empty()) ident_list(c.columns);
    kw("as");
    put(c.materialized);
    paren_query(c.query);
  }
}

void Printer::query(const Query* q) {
  if (q == nullptr) return;
  Guard guard(*this);
  if (q->with != nullptr) with(*q->with);
  body(q->body);
  query_tail(*q);
}

void Printer::query_tail(const Query& q) {
  if (!q.order_by.empty()) {
    kw("order by");
    order_items(q.order_by);
  }
  auto offset = [&] {
    if (q.offset == nullptr) return;
    kw("offset");
    expr(q.offset);
    if (q.offset_rows) kw("rows");
  };
  if (q.limit_comma) {
    kw("limit");
    expr(q.offset);
    comma();
    expr(q.limit);
  } else {
    if (q.offset_before_limit) offset();
    if (q.limit != nullptr) {
      kw("limit");
      expr(q.limit);
      if (!q.limit_by.empty()) {
        kw("by");
        exprs(q.limit_by);
      }
    }
    if (!q.offset_before_limit) offset();
  }
  if (q.fetch != nullptr) {
    const Fetch& f = *q.fetch;
    kw("fetch");
    kw(f.first);
    expr(f.count);
    if (f.percent) kw("percent");
    kw(f.rows);
    kw(f.with_ties ? "with ties" : "only");
  }
  put(q.trailing);
  for (const PipeOp& p : q.pipes) pipe(p);
}

void Printer::pipe(const PipeOp& p) {
  put("|>");
  kw(p.op);
  select_items(p.items);
  if (!p.group_by.empty()) {
    kw("group by");
    exprs(p.group_by);
  }
  put(p.rest);
}

void Printer::body(const QueryBody* b) {
  if (b == nullptr) return;
  Guard guard(*this);
  switch (b->kind) {
    case BodyKind::kSelect:
      select(static_cast<const Select&>(*b));
      return;
    case BodyKind::kSetOp: {
      const auto& s = static_cast<const SetOp&>(*b);
      body(s.left);
      put(s.modifier);
      kw(s.op);
      kw(s.quantifier);
      put(s.by_name);
      body(s.right);
      return;
    }
    case BodyKind::kParen:
      paren_query(static_cast<const ParenQuery&>(*b).query);
      return;
    case BodyKind::kValues:
      values(static_cast<const Values&>(*b));
      return;
    case BodyKind::kTable:
      kw("table");
      name(static_cast<const TableBody&>(*b).name);
      return;
  }
}

void Printer::values(const Values& v) {
  kw("values");
  bool first = true;
  for (const Expr* row : v.rows) {
    if (!first) comma();
    if (v.row_keyword) kw("row");
    expr(row);
    first = false;
  }
}

void Printer::select_items(const List<SelectItem>& items) {
  bool first = true;
  for (const SelectItem& item : items) {
    if (!first) comma();
    select_item(item);
    first = false;
  }
}

void Printer::select_item(const SelectItem& item) {
  expr(item.expr);
  if (!empty(item.alias)) {
    if (item.as_keyword) kw("as");
    ident(item.alias);
  }
  if (!item.aliases.empty()) {
    if (item.as_keyword) kw("as");
    ident_list(item.aliases);
  }
}

void Printer::select(const Select& s) {
  if (s.from_first) {
    kw("from");
    tables(s.from);
  }
  if (!s.items.empty() || !s.from_first) {
    kw("select");
    kw(s.distinct);
    if (!s.distinct_on.empty()) {
      kw("on");
      paren_exprs(s.distinct_on);
    }
    if (s.top != nullptr) {
      kw("top");
      expr(s.top);
      if (s.top_percent) kw("percent");
      if (s.top_with_ties) kw("with ties");
    }
    select_items(s.items);
  }
  if (!s.into.parts.empty()) {
    kw("into");
    put(s.into_modifier);
    name(s.into);
  }
  if (!s.from_first && !s.from.empty()) {
    kw("from");
    tables(s.from);
  }
  if (s.prewhere != nullptr) {
    kw("prewhere");
    expr(s.prewhere);
  }
  if (s.where != nullptr) {
    kw("where");
    expr(s.where);
  }
  if (s.start_with != nullptr) {
    kw("start with");
    expr(s.start_with);
  }
  if (s.connect_by_condition != nullptr || !s.connect_by.empty()) {
    // The Raw keeps the words themselves: "connect by", "CONNECT BY NOCYCLE".
    if (s.connect_by.empty()) kw("connect by");
    put(s.connect_by);
    expr(s.connect_by_condition);
  }
  if (s.group_by_all || !s.group_by.empty() || !s.group_by_modifier.empty()) {
    kw("group by");
    if (s.group_by_all) kw("all");
    kw(s.group_by_quantifier);
    exprs(s.group_by);
    put(s.group_by_modifier);
  }
  if (s.having != nullptr) {
    kw("having");
    expr(s.having);
  }
  if (!s.windows.empty()) {
    kw("window");
    bool first = true;
    for (const NamedWindow& w : s.windows) {
      if (!first) comma();
      ident(w.name);
      kw("as");
      if (w.spec != nullptr) window_spec(*w.spec);
      first = false;
    }
  }
  if (s.qualify != nullptr) {
    kw("qualify");
    expr(s.qualify);
  }
  if (!s.cluster_by.empty()) {
    kw("cluster by");
    exprs(s.cluster_by);
  }
  if (!s.distribute_by.empty()) {
    kw("distribute by");
    exprs(s.distribute_by);
  }
  if (!s.sort_by.empty()) {
    kw("sort by");
    order_items(s.sort_by);
  }
  put(s.sample);
}

// ---- FROM ------------------------------------------------------------------

void Printer::alias(const Alias* a) {
  if (a == nullptr) return;
  if (a->as_keyword) kw("as");
  if (!empty(a->name)) ident(a->name);
  if (!a->columns.empty()) ident_list(a->columns);
}

void Printer::table(const TableRef* t) {
  if (t == nullptr) return;
  Guard guard(*this);
  table_body(*t);
  put(t->match_recognize);
}

void Printer::table_body(const TableRef& tr) {
  const TableRef* t = &tr;
  switch (t->kind) {
    case TableKind::kNamed: {
      const auto& n = static_cast<const NamedTable&>(*t);
      if (n.only) kw("only");
      name(n.name);
      if (!n.args.empty()) {
        glue("(");
        exprs(n.args);
        glue(")");
      }
      if (n.time_travel != nullptr) {
        const TimeTravel& tt = *n.time_travel;
        kw(tt.form);
        if (tt.form == "at" || tt.form == "before") {
          // Snowflake: AT(TIMESTAMP => value), BEFORE(STATEMENT => id)
          glue("(");
          if (!tt.kind.empty()) {
            put(tt.kind);
            put("=>");
          }
          expr(tt.value);
          glue(")");
        } else {
          expr(tt.value);
        }
      }
      put(n.partition);
      alias(n.alias);
      if (n.final) kw("final");
      put(n.hints);
      put(n.sample);
      return;
    }
    case TableKind::kDerived: {
      const auto& d = static_cast<const DerivedTable&>(*t);
      if (d.lateral) kw("lateral");
      paren_query(d.query);
      alias(d.alias);
      return;
    }
    case TableKind::kFunction: {
      const auto& f = static_cast<const TableFunction&>(*t);
      if (f.lateral) kw("lateral");
      expr(f.call);
      if (f.with_ordinality) kw("with ordinality");
      put(f.with_schema);
      alias(f.alias);
      if (f.with_offset) {
        kw("with offset");
        alias(f.offset_alias);
      }
      return;
    }
    case TableKind::kJoin: {
      const auto& j = static_cast<const Join&>(*t);
      table(j.left);
      kw(j.type);
      table(j.right);
      if (j.match_condition != nullptr) {
        kw("match_condition");
        put("(");
        expr(j.match_condition);
        glue(")");
      }
      if (j.on != nullptr) {
        kw("on");
        expr(j.on);
      }
      if (!j.using_columns.empty()) {
        kw("using");
        ident_list(j.using_columns);
        alias(j.using_alias);
      }
      return;
    }
    case TableKind::kParen: {
      const auto& p = static_cast<const ParenTable&>(*t);
      put("(");
      table(p.inner);
      glue(")");
      alias(p.alias);
      return;
    }
    case TableKind::kPivot:
      pivot(static_cast<const Pivot&>(*t), false);
      return;
    case TableKind::kUnpivot:
      pivot(static_cast<const Pivot&>(*t), true);
      return;
    case TableKind::kLateralView: {
      const auto& l = static_cast<const LateralView&>(*t);
      table(l.source);
      kw("lateral view");
      if (l.outer) kw("outer");
      expr(l.generator);
      if (!empty(l.table_alias)) ident(l.table_alias);
      if (!l.column_aliases.empty()) {
        kw("as");
        bool first = true;
        for (const Ident& id : l.column_aliases) {
          if (!first) comma();
          ident(id);
          first = false;
        }
      }
      return;
    }
    case TableKind::kValues: {
      // FROM VALUES (..), (..) t(a): written without parentheses (with
      // them it is a derived table).
      const auto& v = static_cast<const ValuesTable&>(*t);
      if (v.values != nullptr) values(*v.values);
      alias(v.alias);
      return;
    }
  }
}

void Printer::pivot(const Pivot& p, bool unpivot) {
  table(p.source);
  kw(unpivot ? "unpivot" : "pivot");
  put(p.nulls);
  put("(");
  const bool several_values = unpivot && p.aggregates.size() > 1;
  if (several_values) put("(");
  select_items(p.aggregates);
  if (several_values) glue(")");
  kw("for");
  if (p.for_columns.size() > 1) put("(");
  exprs(p.for_columns);
  if (p.for_columns.size() > 1) glue(")");
  kw("in");
  put("(");
  if (p.in_query != nullptr) {
    query(p.in_query);
  } else if (p.in_any) {
    kw("any");
  } else {
    select_items(p.in_items);
  }
  glue(")");
  if (!p.group_by.empty()) {
    kw("group by");
    exprs(p.group_by);
  }
  glue(")");
  alias(p.alias);
}

// ---- statements ------------------------------------------------------------

void Printer::column_defs(const List<ColumnDef>& cols) {
  put("(");
  bool first = true;
  for (const ColumnDef& c : cols) {
    if (!first) comma();
    ident(c.name);
    type(c.type);
    put(c.constraints);
    first = false;
  }
  glue(")");
}

void Printer::insert(const Insert& s) {
  kw(s.verb);
  if (s.overwrite) kw("overwrite");
  if (s.into) kw("into");
  if (s.table_keyword) kw("table");
  if (!s.table_function.empty()) {
    put(s.table_function);
  } else {
    name(s.table);
  }
  alias(s.alias);
  if (!s.partition.empty()) {
    kw("partition");
    put("(");
    bool first = true;
    for (const PartitionItem& p : s.partition) {
      if (!first) comma();
      ident(p.column);
      if (p.value != nullptr) {
        put("=");
        expr(p.value);
      }
      first = false;
    }
    glue(")");
  }
  if (s.if_not_exists) kw("if not exists");
  if (!s.columns.empty()) ident_list(s.columns);
  if (s.by_name) kw("by name");
  if (s.by_position) kw("by position");
  if (s.default_values) kw("default values");
  query(s.source);
  put(s.tail);
}

void Printer::create_table_as(const CreateTableAs& s) {
  kw("create");
  if (s.or_replace) kw("or replace");
  put(s.modifiers);
  kw("table");
  if (s.if_not_exists) kw("if not exists");
  name(s.table);
  if (!s.columns.empty()) column_defs(s.columns);
  put(s.options_before_as);
  kw("as");
  query(s.query);
  put(s.options_after);
}

void Printer::create_view(const CreateView& s) {
  kw("create");
  if (s.or_replace) kw("or replace");
  put(s.modifiers);
  if (s.materialized) kw("materialized");
  kw("view");
  if (s.if_not_exists) kw("if not exists");
  name(s.name);
  if (!s.columns.empty()) column_defs(s.columns);
  put(s.options_before_as);
  kw("as");
  query(s.query);
  put(s.options_after);
}

void Printer::assignments(const List<Assignment>& set) {
  bool first = true;
  for (const Assignment& a : set) {
    if (!first) comma();
    if (a.parenthesised) {
      put("(");
      bool first_column = true;
      for (const Name& n : a.columns) {
        if (!first_column) comma();
        name(n);
        first_column = false;
      }
      glue(")");
    } else if (!a.columns.empty()) {
      name(a.columns[0]);
    }
    put("=");
    expr(a.value);
    first = false;
  }
}

void Printer::merge_clause(const MergeClause& c) {
  kw("when");
  if (!c.matched) kw("not");
  kw("matched");
  kw(c.by);
  if (c.condition != nullptr) {
    kw("and");
    expr(c.condition);
  }
  kw("then");
  switch (c.action) {
    case MergeAction::kUpdate:
      kw("update set");
      if (c.star) {
        put("*");
      } else {
        assignments(c.set);
      }
      return;
    case MergeAction::kDelete:
      kw("delete");
      return;
    case MergeAction::kDoNothing:
      kw("do nothing");
      return;
    case MergeAction::kInsert:
      kw("insert");
      if (c.star) {
        put("*");
        return;
      }
      if (c.insert_row) {
        kw("row");
        return;
      }
      if (!c.columns.empty()) ident_list(c.columns);
      kw("values");
      paren_exprs(c.values);
      return;
  }
}

void Printer::merge(const Merge& s) {
  kw("merge into");
  name(s.target);
  alias(s.target_alias);
  kw("using");
  table(s.source);
  kw("on");
  expr(s.on);
  for (const MergeClause& c : s.clauses) merge_clause(c);
  put(s.tail);
}

void Printer::update(const Update& s) {
  kw("update");
  table(s.target);
  kw("set");
  assignments(s.set);
  if (!s.from.empty()) {
    kw("from");
    tables(s.from);
  }
  if (s.where != nullptr) {
    kw("where");
    expr(s.where);
  }
  put(s.tail);
}

void Printer::delete_statement(const Delete& s) {
  kw("delete from");
  name(s.table);
  alias(s.alias);
  if (!s.using_tables.empty()) {
    kw("using");
    tables(s.using_tables);
  }
  if (s.where != nullptr) {
    kw("where");
    expr(s.where);
  }
  put(s.tail);
}

// The statement's tokens hold everything, the inner statements and column
// definitions included.
void Printer::other(const Other& s) { put(s.text); }

void Printer::statement(const Statement& s) {
  Guard guard(*this);
  if (s.with != nullptr) with(*s.with);
  switch (s.kind) {
    case StatementKind::kSelect:
      query(static_cast<const SelectStatement&>(s).query);
      return;
    case StatementKind::kInsert:
      insert(static_cast<const Insert&>(s));
      return;
    case StatementKind::kCreateTableAs:
      if (is_select_into(s)) {
        query(static_cast<const SelectStatement&>(s).query);
      } else {
        create_table_as(static_cast<const CreateTableAs&>(s));
      }
      return;
    case StatementKind::kCreateView:
      create_view(static_cast<const CreateView&>(s));
      return;
    case StatementKind::kMerge:
      merge(static_cast<const Merge&>(s));
      return;
    case StatementKind::kUpdate:
      update(static_cast<const Update&>(s));
      return;
    case StatementKind::kDelete:
      delete_statement(static_cast<const Delete&>(s));
      return;
    case StatementKind::kOther:
      other(static_cast<const Other&>(s));
      return;
  }
}

}  // namespace

std::string print_sql(const Statement& statement) {
  Printer p;
  p.statement(statement);
  return p.take();
}

}  // namespace sqlparse::syntax
