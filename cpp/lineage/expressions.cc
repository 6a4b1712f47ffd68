// Expressions to sources: each column reference reached, with the kind of its
// path (the context `ctx` composed with what lies between).
#include <string>

#include "lineage/analyzer.h"

namespace sqlparse::lineage {

using namespace syntax;

namespace {

std::string function_name(const Function& f) {
  return f.name.parts.empty() ? std::string() : lower(f.name.last().value);
}

// Functions whose date-part argument (day, month ..) is a word, not a column.
bool takes_date_part(std::string_view name) {
  return name == "datediff" || name == "dateadd" || name == "datepart" || name == "datename" ||
         name == "date_trunc" || name == "datetrunc" || name == "timestampdiff" ||
         name == "timestampadd" || name == "date_diff" || name == "date_add" ||
         name == "date_sub" || name == "date_part" || name == "datediff_big" ||
         name == "timestamp_diff" || name == "timestamp_trunc" || name == "last_day";
}

bool is_date_part(const Expr* e) {
  if (!e || e->kind != ExprKind::kColumn) return false;
  const auto& name = static_cast<const ColumnRef*>(e)->name;
  if (name.parts.size() != 1 || name.parts[0].quote != 0) return false;
  static constexpr std::string_view kParts[] = {
      "year", "yy", "yyyy", "quarter", "qq", "q", "month", "mm", "m", "week", "wk", "ww",
      "isoweek", "isowk", "day", "dd", "d", "dayofyear", "dy", "y", "weekday", "dw", "hour",
      "hh", "minute", "mi", "n", "second", "ss", "s", "millisecond", "ms", "microsecond",
      "mcs", "nanosecond", "ns", "epoch", "dayofweek", "days", "months", "years", "hours",
      "minutes", "seconds"};
  const std::string word = lower(name.parts[0].value);
  for (std::string_view p : kParts) {
    if (word == p) return true;
  }
  return false;
}

}  // namespace

void Analyzer::expr(const Expr* e, Kind ctx, Scope& scope, Out& out) {
  if (!e) return;
  DepthGuard guard(*this);
  const Kind tr = compose(ctx, Kind::kTransformation);
  switch (e->kind) {
    case ExprKind::kColumn:
      column_ref(*static_cast<const ColumnRef*>(e), ctx, scope, out);
      return;
    case ExprKind::kStar:
    case ExprKind::kLiteral:
    case ExprKind::kParam:
    case ExprKind::kKeyword:
      return;
    case ExprKind::kUnary:
      expr(static_cast<const Unary*>(e)->operand, tr, scope, out);
      return;
    case ExprKind::kBinary: {
      // A left-nested chain (a + b + c ..) walks its spine in a loop, so that
      // long chains need no deep recursion; operands stay in text order.
      std::vector<const Binary*> spine;
      const Expr* left = e;
      while (left && left->kind == ExprKind::kBinary) {
        spine.push_back(static_cast<const Binary*>(left));
        left = spine.back()->left;
      }
      expr(left, tr, scope, out);
      for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
        expr((*it)->right, tr, scope, out);
        expr((*it)->escape, tr, scope, out);
      }
      return;
    }
    case ExprKind::kBetween: {
      auto* b = static_cast<const Between*>(e);
      expr(b->operand, tr, scope, out);
      expr(b->low, tr, scope, out);
      expr(b->high, tr, scope, out);
      return;
    }
    case ExprKind::kIn: {
      auto* in = static_cast<const In*>(e);
      expr(in->operand, tr, scope, out);
      for (const Expr* item : in->items) expr(item, tr, scope, out);
      if (in->query) subquery(in->query, false, tr, scope, out);
      return;
    }
    case ExprKind::kQuantified: {
      auto* q = static_cast<const Quantified*>(e);
      expr(q->left, tr, scope, out);
      expr(q->array, tr, scope, out);
      if (q->query) subquery(q->query, false, tr, scope, out);
      return;
    }
    case ExprKind::kSubquery:
    case ExprKind::kArraySubquery:
      subquery(static_cast<const SubqueryExpr*>(e)->query, true, ctx, scope, out);
      return;
    case ExprKind::kExists:
      subquery(static_cast<const SubqueryExpr*>(e)->query, false,
               compose(ctx, Kind::kConditional), scope, out);
      return;
    case ExprKind::kCase: {
      auto* c = static_cast<const Case*>(e);
      const Kind cond = compose(ctx, Kind::kConditional);
      expr(c->operand, cond, scope, out);
      for (const WhenClause& w : c->whens) {
        expr(w.condition, cond, scope, out);
        expr(w.result, tr, scope, out);
      }
      expr(c->else_result, tr, scope, out);
      return;
    }
    case ExprKind::kCast: {
      auto* c = static_cast<const Cast*>(e);
      expr(c->operand, tr, scope, out);
      expr(c->format, tr, scope, out);
      expr(c->style_arg, tr, scope, out);
      return;
    }
    case ExprKind::kFunction:
      function(*static_cast<const Function*>(e), ctx, scope, out);
      return;
    case ExprKind::kArray:
      for (const Expr* item : static_cast<const ArrayExpr*>(e)->items) expr(item, tr, scope, out);
      return;
    case ExprKind::kTuple:
      for (const Expr* item : static_cast<const TupleExpr*>(e)->items) expr(item, tr, scope, out);
      return;
    case ExprKind::kSubscript: {
      auto* s = static_cast<const Subscript*>(e);
      expr(s->base, tr, scope, out);
      expr(s->index, tr, scope, out);
      expr(s->upper, tr, scope, out);
      return;
    }
    case ExprKind::kField:
      expr(static_cast<const FieldAccess*>(e)->base, tr, scope, out);
      return;
    case ExprKind::kVariantPath:
      expr(static_cast<const VariantPath*>(e)->base, tr, scope, out);
      return;
    case ExprKind::kInterval:
      expr(static_cast<const Interval*>(e)->value, tr, scope, out);
      return;
    case ExprKind::kParen:
      expr(static_cast<const Paren*>(e)->inner, ctx, scope, out);
      return;
    case ExprKind::kCollate:
      expr(static_cast<const Collate*>(e)->operand, tr, scope, out);
      return;
    case ExprKind::kLambda: {
      auto* l = static_cast<const Lambda*>(e);
      const std::size_t before = lambda_params_.size();
      for (const Ident& p : l->params) lambda_params_.push_back(p.value);
      expr(l->body, tr, scope, out);
      lambda_params_.resize(before);
      return;
    }
    case ExprKind::kNamedArg:
      expr(static_cast<const NamedArg*>(e)->value, ctx, scope, out);
      return;
    case ExprKind::kKeywordArg:
      expr(static_cast<const KeywordArg*>(e)->value, ctx, scope, out);
      return;
    case ExprKind::kGrouping:
      for (const Expr* item : static_cast<const Grouping*>(e)->items) expr(item, ctx, scope, out);
      return;
  }
}

void Analyzer::function(const Function& f, Kind ctx, Scope& scope, Out& out) {
  const std::string name = function_name(f);
  const bool aggregate = is_aggregate_function(name) && !f.no_parens;
  const Kind arg_kind = compose(ctx, aggregate ? Kind::kAggregation : Kind::kTransformation);
  const bool chooser = (name == "if" || name == "iif") && f.args.size() >= 2;
  const bool date_part = takes_date_part(name);
  for (std::uint32_t i = 0; i < f.args.size(); ++i) {
    if (date_part && is_date_part(f.args[i])) continue;
    Kind k = chooser && i == 0 ? compose(ctx, Kind::kConditional) : arg_kind;
    expr(f.args[i], k, scope, out);
  }
  for (const OrderItem& o : f.arg_order_by) expr(o.expr, arg_kind, scope, out);
  for (const OrderItem& o : f.within_group) expr(o.expr, arg_kind, scope, out);
  expr(f.separator, arg_kind, scope, out);
  expr(f.filter, compose(ctx, Kind::kConditional), scope, out);
  if (f.over || !f.over_name.value.empty()) {
    window(f.over, f.over_name.value.empty() ? nullptr : &f.over_name, ctx, scope, out);
  }
}

// The partition and order of a window (its own, and the named window it
// builds on), read in a window context.
void Analyzer::window(const WindowSpec* spec, const Ident* name, Kind ctx, Scope& scope,
                      Out& out) {
  const Kind wk = compose(ctx, Kind::kWindow);
  for (int hops = 0; hops < 16; ++hops) {
    if (spec) {
      for (const Expr* p : spec->partition_by) expr(p, wk, scope, out);
      for (const OrderItem& o : spec->order_by) expr(o.expr, wk, scope, out);
      name = spec->base.value.empty() ? nullptr : &spec->base;
    }
    if (!name) return;
    spec = nullptr;
    for (Scope* s = &scope; s && !spec; s = s->parent) {
      if (!s->select) continue;
      for (const NamedWindow& w : s->select->windows) {
        if (lower(w.name.value) == lower(name->value)) {
          spec = w.spec;
          break;
        }
      }
    }
    if (!spec) return;
  }
}

// A sub-query inside an expression. As a value (`scalar`), its first column
// flows in and the columns deciding its rows are conditional; inside a
// condition, all of it reads into that condition, its own joins keeping
// their kind.
void Analyzer::subquery(const Query* q, bool scalar, Kind ctx, Scope& scope, Out& out) {
  if (!q) return;
  Relation rel = query(q, &scope, false);
  if (out.set) {
    for (std::size_t i = 0; i < rel.columns.size(); ++i) {
      if (scalar && i > 0) break;
      emit(out, rel.columns[i].sources, scalar ? ctx : compose(ctx, Kind::kConditional));
    }
    for (const Indirect& ind : rel.indirect) {
      emit_column(out, ind.column, compose(ctx, Kind::kConditional), false);
    }
  } else if (out.ind) {
    for (const RelColumn& c : rel.columns) {
      for (const Src& s : c.sources.items()) emit_column(out, s.column, s.kind, false);
    }
    for (const Indirect& ind : rel.indirect) add_indirect(*out.ind, ind);
  }
}

void Analyzer::indirect_expr(const Expr* e, IndirectKind kind, Scope& scope) {
  if (!e || !scope.indirect) return;
  Out out;
  out.ind = scope.indirect;
  out.ind_kind = kind;
  expr(e, Kind::kIdentity, scope, out);
}

bool Analyzer::has_aggregate(const Expr* e, int depth) const {
  if (!e || depth > 200) return false;
  switch (e->kind) {
    case ExprKind::kFunction: {
      auto* f = static_cast<const Function*>(e);
      if (!f->over && f->over_name.value.empty() && is_aggregate_function(function_name(*f))) {
        return true;
      }
      for (const Expr* a : f->args) {
        if (has_aggregate(a, depth + 1)) return true;
      }
      return false;
    }
    case ExprKind::kUnary: return has_aggregate(static_cast<const Unary*>(e)->operand, depth + 1);
    case ExprKind::kBinary: {
      auto* b = static_cast<const Binary*>(e);
      return has_aggregate(b->left, depth + 1) || has_aggregate(b->right, depth + 1);
    }
    case ExprKind::kParen: return has_aggregate(static_cast<const Paren*>(e)->inner, depth + 1);
    case ExprKind::kCast: return has_aggregate(static_cast<const Cast*>(e)->operand, depth + 1);
    case ExprKind::kCase: {
      auto* c = static_cast<const Case*>(e);
      for (const WhenClause& w : c->whens) {
        if (has_aggregate(w.condition, depth + 1) || has_aggregate(w.result, depth + 1)) return true;
      }
      return has_aggregate(c->else_result, depth + 1) || has_aggregate(c->operand, depth + 1);
    }
    default:
      return false;
  }
}

}  // namespace sqlparse::lineage
