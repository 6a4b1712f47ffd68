// The syntax tree written back as SQL text.
//
// The printer writes the tokens the tree stands for, one space between them
// (none after "(" and "[", none before ")", "]" and ","), keywords in upper
// case, and everything the tree keeps as written (names, literals, Raw
// clauses) as it is. Parentheses appear exactly where the tree has a node
// for them (Paren, ParenQuery, ParenTable, TupleExpr) or where the grammar
// requires them (calls, IN lists, sub-queries), so the printed text parses
// back to the same tree.
#include <string>
#include <vector>

#include "syntax/parser.h"
#include "syntax/printer_internal.h"

namespace sqlparse::syntax {
namespace printing {

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
        idents(a.for_vars);
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
      // 7 .f: glued, "7." would read as a number.
      if (!out_.empty() && out_.back() >= '0' && out_.back() <= '9') glue(" ");
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
        put("(");
        idents(l.params);
        // (x,) -> ..: (x) -> .. would be a JSON arrow on a Paren.
        if (l.params.size() == 1) comma();
        glue(")");
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
    for (std::size_t i = 0; i < f.args.size(); ++i) {
      // A keyword argument (FROM x, AS t, BOTH) follows the previous one
      // after a space; the others after a comma.
      const Expr* a = f.args[i];
      if (i > 0 && a->kind != ExprKind::kKeywordArg) comma();
      const bool keyword_next = i + 1 < f.args.size() && f.args[i + 1]->kind == ExprKind::kKeywordArg;
      if (a->kind == ExprKind::kSubquery && keyword_next) {
        // f(from t like 'x'): a query argument written bare; in parentheses
        // the keyword would continue it as an operator.
        query(static_cast<const SubqueryExpr*>(a)->query);
      } else {
        expr(a);
      }
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

}  // namespace printing

std::string print_sql(const Statement& statement) {
  printing::Printer p;
  p.statement(statement);
  return p.take();
}

}  // namespace sqlparse::syntax
