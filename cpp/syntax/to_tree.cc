// The syntax tree as a Node (see to_tree.h for the shape).
#include "syntax/to_tree.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "syntax/parser.h"
#include "tree/stack_limit.h"

namespace sqlparse::syntax {

std::string_view statement_kind_name(StatementKind kind) {
  switch (kind) {
    case StatementKind::kSelect: return "select";
    case StatementKind::kInsert: return "insert";
    case StatementKind::kCreateTableAs: return "create_table_as";
    case StatementKind::kCreateView: return "create_view";
    case StatementKind::kMerge: return "merge";
    case StatementKind::kUpdate: return "update";
    case StatementKind::kDelete: return "delete";
    case StatementKind::kOther: return "other";
  }
  return "other";
}

// Interim: ast.h has no field that tells the two structs of this kind apart.
// Nodes are value-initialised in the arena, so a CreateTableAs holds its bool
// or_replace and zero padding where a SelectStatement holds its (never null)
// query pointer. Replace with a field of Statement once there is one.
bool is_select_into(const Statement& statement) {
  return statement.kind == StatementKind::kCreateTableAs && statement.select_into;
}

namespace {

std::string_view expr_kind_name(ExprKind k) {
  switch (k) {
    case ExprKind::kColumn: return "column";
    case ExprKind::kStar: return "star";
    case ExprKind::kLiteral: return "literal";
    case ExprKind::kParam: return "param";
    case ExprKind::kKeyword: return "keyword";
    case ExprKind::kUnary: return "unary";
    case ExprKind::kBinary: return "binary";
    case ExprKind::kBetween: return "between";
    case ExprKind::kIn: return "in";
    case ExprKind::kQuantified: return "quantified";
    case ExprKind::kSubquery: return "subquery";
    case ExprKind::kExists: return "exists";
    case ExprKind::kArraySubquery: return "array_subquery";
    case ExprKind::kCase: return "case";
    case ExprKind::kCast: return "cast";
    case ExprKind::kFunction: return "function";
    case ExprKind::kArray: return "array";
    case ExprKind::kTuple: return "tuple";
    case ExprKind::kSubscript: return "subscript";
    case ExprKind::kField: return "field";
    case ExprKind::kVariantPath: return "variant_path";
    case ExprKind::kInterval: return "interval";
    case ExprKind::kParen: return "paren";
    case ExprKind::kCollate: return "collate";
    case ExprKind::kLambda: return "lambda";
    case ExprKind::kNamedArg: return "named_arg";
    case ExprKind::kKeywordArg: return "keyword_arg";
    case ExprKind::kGrouping: return "grouping";
  }
  return "expr";
}

std::string_view body_kind_name(BodyKind k) {
  switch (k) {
    case BodyKind::kSelect: return "select";
    case BodyKind::kSetOp: return "set_op";
    case BodyKind::kParen: return "paren_query";
    case BodyKind::kValues: return "values";
    case BodyKind::kTable: return "table";
    case BodyKind::kPivot: return "pivot_query";
  }
  return "body";
}

std::string_view table_kind_name(TableKind k) {
  switch (k) {
    case TableKind::kNamed: return "named_table";
    case TableKind::kDerived: return "derived_table";
    case TableKind::kFunction: return "table_function";
    case TableKind::kJoin: return "join";
    case TableKind::kParen: return "paren_table";
    case TableKind::kPivot: return "pivot";
    case TableKind::kUnpivot: return "unpivot";
    case TableKind::kLateralView: return "lateral_view";
    case TableKind::kValues: return "values_table";
    case TableKind::kStatement: return "statement_table";
  }
  return "table_ref";
}

std::string_view literal_kind_name(LiteralKind k) {
  switch (k) {
    case LiteralKind::kNumber: return "number";
    case LiteralKind::kString: return "string";
    case LiteralKind::kBoolean: return "boolean";
    case LiteralKind::kNull: return "null";
    case LiteralKind::kTyped: return "typed";
  }
  return "";
}

std::string_view merge_action_name(MergeAction a) {
  switch (a) {
    case MergeAction::kUpdate: return "update";
    case MergeAction::kInsert: return "insert";
    case MergeAction::kDelete: return "delete";
    case MergeAction::kDoNothing: return "do_nothing";
  }
  return "";
}

using NodeList = sqlparse::List;  // a Node list (not an arena List)

Node str(std::string_view s) { return Node::string(std::string(s)); }

// Byte offsets of the statement to character offsets of the script. Pure
// ASCII needs no table; otherwise one prefix table covers the statement.
class CharOffsets {
 public:
  CharOffsets(std::string_view text, Span range, std::size_t char_begin)
      : text_(text), begin_(range.begin) {
    const std::size_t end = range.end < text.size() ? range.end : text.size();
    if (begin_ > end) begin_ = static_cast<std::uint32_t>(end);
    base_ = char_begin != static_cast<std::size_t>(-1) ? char_begin : char_offset(text, begin_);
    size_ = end - begin_;
    bool ascii = true;
    for (std::size_t i = begin_; i < end && ascii; ++i) ascii = static_cast<unsigned char>(text[i]) < 0x80;
    if (ascii) return;
    table_.resize(size_ + 1);
    std::size_t chars = 0;
    for (std::size_t i = 0; i < size_; ++i) {
      table_[i] = static_cast<std::uint32_t>(chars);
      chars += (static_cast<unsigned char>(text[begin_ + i]) & 0xC0) != 0x80;
    }
    table_[size_] = static_cast<std::uint32_t>(chars);
  }

  std::size_t at(std::size_t byte) const {
    if (byte < begin_ || byte > begin_ + size_) return char_offset(text_, byte);  // outside: rare
    const std::size_t i = byte - begin_;
    return base_ + (table_.empty() ? i : table_[i]);
  }

 private:
  std::string_view text_;
  std::uint32_t begin_;
  std::size_t base_ = 0;
  std::size_t size_ = 0;
  std::vector<std::uint32_t> table_;
};

// One map being built: "type" first, then only the fields that were written.
class Obj {
 public:
  explicit Obj(std::string_view type) { m_.append("type", str(type)); }

  void text(const char* key, std::string_view v) {
    if (!v.empty()) m_.append(key, str(v));
  }
  void flag(const char* key, bool b) {
    if (b) m_.append(key, Node::boolean(true));
  }
  void number(const char* key, std::int64_t n) {
    if (n != 0) m_.append(key, Node::integer(n));
  }
  void node(const char* key, Node n) {
    if (!n.is_null()) m_.append(key, std::move(n));
  }
  void list(const char* key, NodeList items) {
    if (!items.empty()) m_.append(key, Node::list(std::move(items)));
  }
  Map& map() { return m_; }
  Node done() { return Node::map(std::move(m_)); }

 private:
  Map m_;
};

class TreeBuilder {
 public:
  TreeBuilder(const CharOffsets& chars, bool spans) : chars_(chars), spans_(spans) {}

  Node statement(const Statement& s);

 private:
  // Bounds the recursion: the thread's stack, and the depth of Node that
  // the conversion to Python accepts.
  class Guard {
   public:
    explicit Guard(TreeBuilder& b, int levels = 1) : b_(b), levels_(levels) {
      b_.depth_ += levels_;
      if (b_.depth_ > kMaxTreeDepth || stack_exhausted()) {
        b_.depth_ -= levels_;
        throw TreeTooDeep("syntax tree too deep to convert");
      }
    }
    ~Guard() { b_.depth_ -= levels_; }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    TreeBuilder& b_;
    int levels_;
  };

  Obj obj(std::string_view type, Span span) {
    Obj o(type);
    if (spans_) {
      o.node("span", Node::list({Node::integer(static_cast<std::int64_t>(chars_.at(span.begin))),
                                 Node::integer(static_cast<std::int64_t>(chars_.at(span.end)))}));
    }
    return o;
  }

  // ---- names ----
  static Node ident(const Ident& id) {
    if (id.text.empty() && id.value.empty() && id.quote == 0) return Node();
    if (id.quote == 0) return str(id.value.empty() ? id.text : id.value);
    Map m;
    m.append("value", str(id.value));
    m.append("quote", str(std::string_view(&id.quote, 1)));
    return Node::map(std::move(m));
  }
  static NodeList idents(const List<Ident>& ids) {
    NodeList out;
    out.reserve(ids.size());
    for (const Ident& id : ids) out.push_back(ident(id));
    return out;
  }
  static Node name(const Name& n) {
    if (n.parts.empty()) return Node();
    return Node::list(idents(n.parts));
  }

  // ---- lists ----
  template <class T, class F>
  NodeList each(const List<T>& items, F&& f) {
    Guard guard(*this);  // the list's own level
    NodeList out;
    out.reserve(items.size());
    for (const T& item : items) out.push_back(f(item));
    return out;
  }
  NodeList exprs(const List<Expr*>& items) {
    return each(items, [&](const Expr* e) { return expr(e); });
  }
  NodeList order_items(const List<OrderItem>& items) {
    return each(items, [&](const OrderItem& o) { return order_item(o); });
  }
  NodeList select_items(const List<SelectItem>& items) {
    return each(items, [&](const SelectItem& s) { return select_item(s); });
  }
  NodeList tables(const List<TableRef*>& items) {
    return each(items, [&](const TableRef* t) { return table(t); });
  }

  Node type(const TypeName* t);
  Node expr(const Expr* e);
  void expr_fields(const Expr& e, Obj& o);
  void function_fields(const Function& f, Obj& o);
  Node order_item(const OrderItem& item);
  Node window_spec(const WindowSpec* w);
  Node query(const Query* q);
  Node with(const With* w);
  Node body(const QueryBody* b);
  void select_fields(const Select& s, Obj& o);
  Node select_item(const SelectItem& item);
  Node returning(const Returning* r);
  Node values_node(const Values* v);
  Node table(const TableRef* t);
  void table_fields(const TableRef& t, Obj& o);
  Node alias(const Alias* a);
  NodeList column_defs(const List<ColumnDef>& cols);
  NodeList assignments(const List<Assignment>& set);
  Node merge_clause(const MergeClause& c);
  void statement_fields(const Statement& s, Obj& o);

  Node binary_chain(const Binary& top);

  const CharOffsets& chars_;
  bool spans_;
  int depth_ = 0;
};

// ---- types and expressions -------------------------------------------------

Node TreeBuilder::type(const TypeName* t) {
  if (t == nullptr) return Node();
  Guard guard(*this);
  Obj o = obj("type_name", t->span);
  o.text("name", t->name);
  o.list("params", each(t->params, [&](const TypeParam& p) {
    Obj po("type_param");
    po.node("name", ident(p.name));
    po.node("data_type", type(p.type));
    return po.done();
  }));
  o.flag("angle", t->angle);
  o.text("suffix", t->suffix);
  o.number("array_dims", t->array_dims);
  return o.done();
}

Node TreeBuilder::expr(const Expr* e) {
  if (e == nullptr) return Node();
  if (e->kind == ExprKind::kBinary) return binary_chain(static_cast<const Binary&>(*e));
  Guard guard(*this);
  Obj o = obj(expr_kind_name(e->kind), e->span);
  expr_fields(*e, o);
  return o.done();
}

// A left-nested chain (a or b or c ..., 1 + 2 + 3 ...) can be as long as the
// text: it is built from the innermost operand outwards, without recursion.
Node TreeBuilder::binary_chain(const Binary& top) {
  std::vector<const Binary*> spine{&top};
  while (spine.back()->left != nullptr && spine.back()->left->kind == ExprKind::kBinary) {
    spine.push_back(static_cast<const Binary*>(spine.back()->left));
  }
  // The chain's maps nest spine.size() deep; the operands of the k-th map
  // from the top sit k levels below this one.
  const int length = static_cast<int>(spine.size());
  Node left;
  {
    Guard guard(*this, length);
    left = expr(spine.back()->left);
  }
  for (int k = length - 1; k >= 0; --k) {
    const Binary& b = *spine[static_cast<std::size_t>(k)];
    Guard guard(*this, k + 1);
    Obj o = obj("binary", b.span);
    o.text("op", b.op);
    o.node("left", std::move(left));
    o.node("right", expr(b.right));
    o.node("escape", expr(b.escape));
    left = o.done();
  }
  return left;
}

void TreeBuilder::expr_fields(const Expr& e, Obj& o) {
  switch (e.kind) {
    case ExprKind::kColumn: {
      const auto& c = static_cast<const ColumnRef&>(e);
      o.node("name", name(c.name));
      o.flag("outer_join_mark", c.outer_join_mark);
      return;
    }
    case ExprKind::kStar: {
      const auto& s = static_cast<const Star&>(e);
      o.node("qualifier", name(s.qualifier));
      o.text("modifier_keyword", s.modifier_keyword);
      o.list("excluded", idents(s.excluded));
      o.list("replaced", exprs(s.replaced));
      o.list("renamed", exprs(s.renamed));
      o.node("ilike", expr(s.ilike));
      return;
    }
    case ExprKind::kLiteral: {
      const auto& l = static_cast<const Literal&>(e);
      o.text("literal_kind", literal_kind_name(l.literal_kind));
      o.text("text", l.text);
      o.text("type_name", l.type_name);
      return;
    }
    case ExprKind::kParam:
      o.text("text", static_cast<const Param&>(e).text);
      return;
    case ExprKind::kKeyword:
      o.text("text", static_cast<const Keyword&>(e).text);
      return;
    case ExprKind::kUnary: {
      const auto& u = static_cast<const Unary&>(e);
      o.text("op", u.op);
      o.node("operand", expr(u.operand));
      o.flag("postfix", u.postfix);
      return;
    }
    case ExprKind::kBinary:  // binary_chain
      return;
    case ExprKind::kBetween: {
      const auto& b = static_cast<const Between&>(e);
      o.node("operand", expr(b.operand));
      o.node("low", expr(b.low));
      o.node("high", expr(b.high));
      o.flag("negated", b.negated);
      o.flag("symmetric", b.symmetric);
      return;
    }
    case ExprKind::kIn: {
      const auto& in = static_cast<const In&>(e);
      o.node("operand", expr(in.operand));
      o.list("items", exprs(in.items));
      o.node("query", query(in.query));
      o.flag("negated", in.negated);
      o.flag("unparenthesised", in.unparenthesised);
      return;
    }
    case ExprKind::kQuantified: {
      const auto& q = static_cast<const Quantified&>(e);
      o.node("left", expr(q.left));
      o.text("op", q.op);
      o.text("quantifier", q.quantifier);
      o.node("query", query(q.query));
      o.node("array", expr(q.array));
      return;
    }
    case ExprKind::kSubquery:
    case ExprKind::kExists:
    case ExprKind::kArraySubquery: {
      const auto& s = static_cast<const SubqueryExpr&>(e);
      o.node("query", query(s.query));
      o.flag("negated", s.negated);
      return;
    }
    case ExprKind::kCase: {
      const auto& c = static_cast<const Case&>(e);
      o.node("operand", expr(c.operand));
      o.list("whens", each(c.whens, [&](const WhenClause& w) {
        Obj wo("when");
        wo.node("condition", expr(w.condition));
        wo.node("result", expr(w.result));
        return wo.done();
      }));
      o.node("else_result", expr(c.else_result));
      return;
    }
    case ExprKind::kCast: {
      const auto& c = static_cast<const Cast&>(e);
      o.text("style", c.style);
      o.node("operand", expr(c.operand));
      o.node("data_type", type(c.type));
      o.node("format", expr(c.format));
      o.node("style_arg", expr(c.style_arg));
      return;
    }
    case ExprKind::kFunction:
      function_fields(static_cast<const Function&>(e), o);
      return;
    case ExprKind::kArray: {
      const auto& a = static_cast<const ArrayExpr&>(e);
      o.list("items", exprs(a.items));
      o.flag("keyword", a.keyword);
      o.node("data_type", type(a.type));
      o.list("for_vars", idents(a.for_vars));
      o.node("for_source", expr(a.for_source));
      o.node("for_filter", expr(a.for_filter));
      return;
    }
    case ExprKind::kTuple: {
      const auto& t = static_cast<const TupleExpr&>(e);
      o.list("items", exprs(t.items));
      o.text("keyword", t.keyword);
      o.node("data_type", type(t.type));
      return;
    }
    case ExprKind::kSubscript: {
      const auto& s = static_cast<const Subscript&>(e);
      o.node("base", expr(s.base));
      o.node("index", expr(s.index));
      o.node("upper", expr(s.upper));
      o.flag("slice", s.slice);
      return;
    }
    case ExprKind::kField: {
      const auto& f = static_cast<const FieldAccess&>(e);
      o.node("base", expr(f.base));
      o.node("field", ident(f.field));
      o.flag("star", f.star);
      return;
    }
    case ExprKind::kVariantPath: {
      const auto& v = static_cast<const VariantPath&>(e);
      o.node("base", expr(v.base));
      o.text("path", v.path);
      return;
    }
    case ExprKind::kInterval: {
      const auto& i = static_cast<const Interval&>(e);
      o.node("value", expr(i.value));
      o.text("unit", i.unit);
      return;
    }
    case ExprKind::kParen:
      o.node("inner", expr(static_cast<const Paren&>(e).inner));
      return;
    case ExprKind::kCollate: {
      const auto& c = static_cast<const Collate&>(e);
      o.node("operand", expr(c.operand));
      o.text("collation", c.collation);
      return;
    }
    case ExprKind::kLambda: {
      const auto& l = static_cast<const Lambda&>(e);
      o.list("params", idents(l.params));
      o.flag("parenthesised", l.parenthesised);
      o.node("body", expr(l.body));
      return;
    }
    case ExprKind::kNamedArg: {
      const auto& n = static_cast<const NamedArg&>(e);
      o.node("name", ident(n.name));
      o.text("op", n.op);
      o.node("value", expr(n.value));
      return;
    }
    case ExprKind::kKeywordArg: {
      const auto& k = static_cast<const KeywordArg&>(e);
      o.text("keyword", k.keyword);
      o.node("value", expr(k.value));
      return;
    }
    case ExprKind::kGrouping: {
      const auto& g = static_cast<const Grouping&>(e);
      o.text("form", g.form);
      o.list("items", exprs(g.items));
      return;
    }
  }
}

void TreeBuilder::function_fields(const Function& f, Obj& o) {
  o.node("name", name(f.name));
  o.list("args", exprs(f.args));
  o.text("quantifier", f.quantifier);
  o.list("arg_order_by", order_items(f.arg_order_by));
  o.node("arg_limit", expr(f.arg_limit));
  o.node("separator", expr(f.separator));
  o.text("null_treatment", f.null_treatment);
  o.flag("null_treatment_inside", f.null_treatment_inside);
  o.flag("no_parens", f.no_parens);
  o.node("filter", expr(f.filter));
  o.list("within_group", order_items(f.within_group));
  o.text("keep", f.keep);
  o.node("over", window_spec(f.over));
  o.node("over_name", ident(f.over_name));
}

Node TreeBuilder::order_item(const OrderItem& item) {
  Obj o = obj("order_item", item.span);
  o.node("expr", expr(item.expr));
  o.text("direction", item.direction);
  o.text("nulls", item.nulls);
  return o.done();
}

Node TreeBuilder::window_spec(const WindowSpec* w) {
  if (w == nullptr) return Node();
  Obj o = obj("window_spec", w->span);
  o.node("base", ident(w->base));
  o.list("partition_by", exprs(w->partition_by));
  o.list("order_by", order_items(w->order_by));
  if (const WindowFrame* f = w->frame) {
    Obj fo("window_frame");
    fo.text("units", f->units);
    fo.node("start_value", expr(f->start_value));
    fo.text("start", f->start);
    fo.node("end_value", expr(f->end_value));
    fo.text("end", f->end);
    fo.text("exclude", f->exclude);
    o.node("frame", fo.done());
  }
  return o.done();
}

// ---- queries ---------------------------------------------------------------

Node TreeBuilder::with(const With* w) {
  if (w == nullptr) return Node();
  Obj o = obj("with", w->span);
  o.flag("recursive", w->recursive);
  o.list("ctes", each(w->ctes, [&](const Cte& c) {
    Obj co = obj("cte", c.span);
    co.node("name", ident(c.name));
    co.list("columns", idents(c.columns));
    co.text("materialized", c.materialized);
    co.node("query", query(c.query));
    co.node("dml", c.dml == nullptr ? Node() : statement(*c.dml));
    co.node("expr", expr(c.expr));
    return co.done();
  }));
  return o.done();
}

Node TreeBuilder::query(const Query* q) {
  if (q == nullptr) return Node();
  Guard guard(*this);
  Obj o = obj("query", q->span);
  o.node("with", with(q->with));
  o.node("body", body(q->body));
  o.list("order_by", order_items(q->order_by));
  o.node("limit", expr(q->limit));
  o.node("offset", expr(q->offset));
  o.flag("offset_rows", q->offset_rows);
  o.flag("limit_comma", q->limit_comma);
  o.flag("offset_before_limit", q->offset_before_limit);
  o.list("limit_by", exprs(q->limit_by));
  if (const Fetch* f = q->fetch) {
    Obj fo("fetch");
    fo.text("first", f->first);
    fo.node("count", expr(f->count));
    fo.flag("percent", f->percent);
    fo.text("rows", f->rows);
    fo.flag("with_ties", f->with_ties);
    o.node("fetch", fo.done());
  }
  o.list("pipes", each(q->pipes, [&](const PipeOp& p) {
    Obj po = obj("pipe_op", p.span);
    po.text("op", p.op);
    po.node("join", table(p.join));
    po.text("quantifier", p.quantifier);
    po.flag("by_name", p.by_name);
    po.list("queries", each(p.queries, [&](const Query* q) { return query(q); }));
    po.list("set", assignments(p.set));
    po.list("items", select_items(p.items));
    po.list("group_by", exprs(p.group_by));
    po.text("rest", p.rest);
    return po.done();
  }));
  o.text("trailing", q->trailing);
  return o.done();
}

Node TreeBuilder::body(const QueryBody* b) {
  if (b == nullptr) return Node();
  Guard guard(*this);
  if (b->kind == BodyKind::kValues) return values_node(static_cast<const Values*>(b));
  Obj o = obj(body_kind_name(b->kind), b->span);
  switch (b->kind) {
    case BodyKind::kSelect:
      select_fields(static_cast<const Select&>(*b), o);
      break;
    case BodyKind::kSetOp: {
      const auto& s = static_cast<const SetOp&>(*b);
      o.text("op", s.op);
      o.text("quantifier", s.quantifier);
      o.text("by_name", s.by_name);
      o.text("modifier", s.modifier);
      o.node("left", body(s.left));
      o.node("right", body(s.right));
      break;
    }
    case BodyKind::kParen:
      o.node("query", query(static_cast<const ParenQuery&>(*b).query));
      break;
    case BodyKind::kTable:
      o.node("name", name(static_cast<const TableBody&>(*b).name));
      break;
    case BodyKind::kPivot:
      o.node("pivot", table(static_cast<const PivotBody&>(*b).pivot));
      break;
    case BodyKind::kValues:
      break;
  }
  return o.done();
}

Node TreeBuilder::values_node(const Values* v) {
  if (v == nullptr) return Node();
  Obj o = obj("values", v->span);
  o.list("rows", exprs(v->rows));
  o.flag("row_keyword", v->row_keyword);
  return o.done();
}

void TreeBuilder::select_fields(const Select& s, Obj& o) {
  o.flag("from_first", s.from_first);
  o.text("distinct", s.distinct);
  o.list("distinct_on", exprs(s.distinct_on));
  o.node("top", expr(s.top));
  o.flag("top_percent", s.top_percent);
  o.flag("top_with_ties", s.top_with_ties);
  if (s.transform != nullptr) {
    const ScriptTransform& t = *s.transform;
    Obj to = obj("script_transform", t.span);
    to.list("args", exprs(t.args));
    to.text("before_using", t.before_using);
    to.text("script", t.script);
    to.flag("as_parenthesised", t.as_parenthesised);
    to.list("columns", column_defs(t.columns));
    to.text("after", t.after);
    o.node("transform", to.done());
  }
  o.list("items", select_items(s.items));
  o.node("into", name(s.into));
  o.text("into_modifier", s.into_modifier);
  o.list("from", tables(s.from));
  o.node("prewhere", expr(s.prewhere));
  o.node("where", expr(s.where));
  o.text("connect_by", s.connect_by);
  o.node("connect_by_condition", expr(s.connect_by_condition));
  o.node("start_with", expr(s.start_with));
  o.flag("group_by_all", s.group_by_all);
  o.text("group_by_quantifier", s.group_by_quantifier);
  o.list("group_by", exprs(s.group_by));
  o.text("group_by_modifier", s.group_by_modifier);
  o.node("having", expr(s.having));
  o.list("windows", each(s.windows, [&](const NamedWindow& w) {
    Obj wo("named_window");
    wo.node("name", ident(w.name));
    wo.node("spec", window_spec(w.spec));
    return wo.done();
  }));
  o.node("qualify", expr(s.qualify));
  o.list("cluster_by", exprs(s.cluster_by));
  o.list("distribute_by", exprs(s.distribute_by));
  o.list("sort_by", order_items(s.sort_by));
  o.text("sample", s.sample);
}

Node TreeBuilder::returning(const Returning* r) {
  if (r == nullptr) return Node();
  Obj o = obj("returning", r->span);
  o.flag("output", r->output);
  o.list("items", select_items(r->items));
  o.text("into_variable", r->into_variable);
  o.node("into_table", name(r->into_table));
  o.list("into_columns", idents(r->into_columns));
  o.text("rest", r->rest);
  return o.done();
}

Node TreeBuilder::select_item(const SelectItem& item) {
  Obj o = obj("select_item", item.span);
  o.node("expr", expr(item.expr));
  o.node("alias", ident(item.alias));
  o.flag("as_keyword", item.as_keyword);
  o.list("aliases", idents(item.aliases));
  return o.done();
}

// ---- FROM ------------------------------------------------------------------

Node TreeBuilder::alias(const Alias* a) {
  if (a == nullptr) return Node();
  Obj o("alias");
  o.node("name", ident(a->name));
  o.list("columns", idents(a->columns));
  o.flag("as_keyword", a->as_keyword);
  return o.done();
}

Node TreeBuilder::table(const TableRef* t) {
  if (t == nullptr) return Node();
  Guard guard(*this);
  Obj o = obj(table_kind_name(t->kind), t->span);
  table_fields(*t, o);
  o.node("alias", alias(t->alias));
  o.text("match_recognize", t->match_recognize);
  return o.done();
}

void TreeBuilder::table_fields(const TableRef& t, Obj& o) {
  switch (t.kind) {
    case TableKind::kNamed: {
      const auto& n = static_cast<const NamedTable&>(t);
      o.node("name", name(n.name));
      o.flag("only", n.only);
      o.flag("unpivot", n.unpivot);
      o.flag("final", n.final);
      if (const TimeTravel* tt = n.time_travel) {
        Obj to("time_travel");
        to.text("form", tt->form);
        to.node("value", expr(tt->value));
        to.text("kind", tt->kind);
        o.node("time_travel", to.done());
      }
      o.text("sample", n.sample);
      o.text("hints", n.hints);
      o.text("partition", n.partition);
      o.list("args", exprs(n.args));
      return;
    }
    case TableKind::kDerived: {
      const auto& d = static_cast<const DerivedTable&>(t);
      o.node("query", query(d.query));
      o.flag("lateral", d.lateral);
      return;
    }
    case TableKind::kStatement: {
      const Statement* s = static_cast<const StatementTable&>(t).statement;
      o.node("statement", s == nullptr ? Node() : statement(*s));
      return;
    }
    case TableKind::kFunction: {
      const auto& f = static_cast<const TableFunction&>(t);
      o.node("call", expr(f.call));
      o.flag("lateral", f.lateral);
      o.flag("with_ordinality", f.with_ordinality);
      o.node("offset_alias", alias(f.offset_alias));
      o.flag("with_offset", f.with_offset);
      o.text("with_schema", f.with_schema);
      return;
    }
    case TableKind::kJoin: {
      const auto& j = static_cast<const Join&>(t);
      o.text("join_type", j.type);
      o.node("left", table(j.left));
      o.node("right", table(j.right));
      o.node("on", expr(j.on));
      o.list("using_columns", idents(j.using_columns));
      o.node("using_alias", alias(j.using_alias));
      o.node("match_condition", expr(j.match_condition));
      return;
    }
    case TableKind::kParen:
      o.node("inner", table(static_cast<const ParenTable&>(t).inner));
      return;
    case TableKind::kPivot:
    case TableKind::kUnpivot: {
      const auto& p = static_cast<const Pivot&>(t);
      o.node("source", table(p.source));
      o.list("aggregates", select_items(p.aggregates));
      o.list("for_columns", exprs(p.for_columns));
      o.list("in_items", select_items(p.in_items));
      o.node("in_query", query(p.in_query));
      o.flag("in_any", p.in_any);
      o.text("nulls", p.nulls);
      o.list("group_by", exprs(p.group_by));
      o.flag("statement_form", p.statement_form);
      return;
    }
    case TableKind::kLateralView: {
      const auto& l = static_cast<const LateralView&>(t);
      o.node("source", table(l.source));
      o.flag("outer", l.outer);
      o.node("generator", expr(l.generator));
      o.node("table_alias", ident(l.table_alias));
      o.list("column_aliases", idents(l.column_aliases));
      return;
    }
    case TableKind::kValues:
      o.node("values", values_node(static_cast<const ValuesTable&>(t).values));
      return;
  }
}

// ---- statements ------------------------------------------------------------

NodeList TreeBuilder::column_defs(const List<ColumnDef>& cols) {
  return each(cols, [&](const ColumnDef& c) {
    Obj o("column_def");
    o.node("name", ident(c.name));
    o.node("data_type", type(c.type));
    o.text("constraints", c.constraints);
    return o.done();
  });
}

NodeList TreeBuilder::assignments(const List<Assignment>& set) {
  return each(set, [&](const Assignment& a) {
    Obj o = obj("assignment", a.span);
    o.list("columns", each(a.columns, [&](const Name& n) { return name(n); }));
    o.flag("parenthesised", a.parenthesised);
    o.node("value", expr(a.value));
    return o.done();
  });
}

Node TreeBuilder::merge_clause(const MergeClause& c) {
  Obj o = obj("merge_clause", c.span);
  o.flag("matched", c.matched);
  o.text("by", c.by);
  o.node("condition", expr(c.condition));
  o.text("action", merge_action_name(c.action));
  o.list("set", assignments(c.set));
  o.list("columns", idents(c.columns));
  o.list("values", exprs(c.values));
  o.flag("insert_row", c.insert_row);
  o.flag("star", c.star);
  return o.done();
}

void TreeBuilder::statement_fields(const Statement& s, Obj& o) {
  switch (s.kind) {
    case StatementKind::kSelect:
      o.node("query", query(static_cast<const SelectStatement&>(s).query));
      return;
    case StatementKind::kInsert: {
      const auto& i = static_cast<const Insert&>(s);
      o.text("verb", i.verb);
      o.flag("overwrite", i.overwrite);
      o.flag("into", i.into);
      o.flag("table_keyword", i.table_keyword);
      o.node("table", name(i.table));
      o.node("alias", alias(i.alias));
      o.text("table_function", i.table_function);
      o.list("partition", each(i.partition, [&](const PartitionItem& p) {
        Obj po("partition_item");
        po.node("column", ident(p.column));
        po.node("value", expr(p.value));
        return po.done();
      }));
      o.flag("if_not_exists", i.if_not_exists);
      o.list("columns", idents(i.columns));
      o.flag("by_name", i.by_name);
      o.flag("by_position", i.by_position);
      o.node("source", query(i.source));
      o.flag("default_values", i.default_values);
      o.text("tail", i.tail);
      o.node("returning", returning(i.returning));
      return;
    }
    case StatementKind::kCreateTableAs: {
      if (is_select_into(s)) {
        o.node("query", query(static_cast<const SelectStatement&>(s).query));
        return;
      }
      const auto& c = static_cast<const CreateTableAs&>(s);
      o.flag("or_replace", c.or_replace);
      o.text("modifiers", c.modifiers);
      o.flag("if_not_exists", c.if_not_exists);
      o.node("table", name(c.table));
      o.list("columns", column_defs(c.columns));
      o.text("options_before_as", c.options_before_as);
      o.node("query", query(c.query));
      o.text("options_after", c.options_after);
      return;
    }
    case StatementKind::kCreateView: {
      const auto& c = static_cast<const CreateView&>(s);
      o.flag("or_replace", c.or_replace);
      o.flag("materialized", c.materialized);
      o.text("modifiers", c.modifiers);
      o.flag("if_not_exists", c.if_not_exists);
      o.node("name", name(c.name));
      o.list("columns", column_defs(c.columns));
      o.text("options_before_as", c.options_before_as);
      o.node("query", query(c.query));
      o.text("options_after", c.options_after);
      return;
    }
    case StatementKind::kMerge: {
      const auto& m = static_cast<const Merge&>(s);
      o.node("target", name(m.target));
      o.node("target_alias", alias(m.target_alias));
      o.node("source", table(m.source));
      o.node("on", expr(m.on));
      o.list("clauses", each(m.clauses, [&](const MergeClause& c) { return merge_clause(c); }));
      o.text("tail", m.tail);
      o.node("returning", returning(m.returning));
      return;
    }
    case StatementKind::kUpdate: {
      const auto& u = static_cast<const Update&>(s);
      o.node("target", table(u.target));
      o.list("set", assignments(u.set));
      o.list("from", tables(u.from));
      o.node("where", expr(u.where));
      o.text("tail", u.tail);
      o.node("returning", returning(u.returning));
      return;
    }
    case StatementKind::kDelete: {
      const auto& d = static_cast<const Delete&>(s);
      o.node("table", name(d.table));
      o.node("alias", alias(d.alias));
      o.list("using_tables", tables(d.using_tables));
      o.node("where", expr(d.where));
      o.text("tail", d.tail);
      o.node("returning", returning(d.returning));
      return;
    }
    case StatementKind::kOther: {
      const auto& x = static_cast<const Other&>(s);
      o.text("head", x.head);
      o.text("text", x.text);
      o.list("body", each(x.body, [&](const Statement* inner) {
        return inner == nullptr ? Node() : statement(*inner);
      }));
      o.list("columns", column_defs(x.columns));
      o.node("table", name(x.table));
      return;
    }
  }
}

// The struct's name: the kind's name, except for a SELECT statement (which
// may also be a select .. into of kind create_table_as).
std::string_view statement_struct_name(const Statement& s) {
  if (s.kind == StatementKind::kSelect || is_select_into(s)) return "select_statement";
  return statement_kind_name(s.kind);
}

Node TreeBuilder::statement(const Statement& s) {
  Guard guard(*this);
  Obj o = obj(statement_struct_name(s), s.span);
  o.text("kind", statement_kind_name(s.kind));
  o.node("with", with(s.with));
  statement_fields(s, o);
  return o.done();
}

}  // namespace

Node statement_to_tree(const Statement& statement, std::string_view text, bool spans,
                       std::size_t char_begin) {
  if (!spans) {
    CharOffsets none({}, {}, 0);
    return TreeBuilder(none, false).statement(statement);
  }
  CharOffsets chars(text, statement.span, char_begin);
  return TreeBuilder(chars, true).statement(statement);
}

}  // namespace sqlparse::syntax
