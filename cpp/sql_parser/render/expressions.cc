// Expressions of the typed tree as classic operator maps, literals and calls.
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "sql_parser/text.h"
#include "sql_parser/classic_shapes.h"
#include "sql_parser/render/render_internal.h"
#include "tree/stack_limit.h"

namespace sqlparse::sql_parser::render {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

const ast::Query& unwrap_parens(const ast::Query& q) {
  const ast::Query* at = &q;
  while (at->body->kind == ast::BodyKind::kParen && at->with == nullptr && at->order_by.empty() &&
         at->limit == nullptr && at->offset == nullptr && at->fetch == nullptr && at->pipes.empty() &&
         at->trailing.empty() && at->limit_by.empty()) {
    at = static_cast<const ast::ParenQuery*>(at->body)->query;
  }
  return *at;
}

Node pair_node(const char* key, Node left, Node right) {
  List items;
  items.reserve(2);
  items.push_back(std::move(left));
  items.push_back(std::move(right));
  return single(key, finish_list(std::move(items)));
}

std::size_t number_prefix_of_digits(std::string_view s) {
  std::size_t i = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && std::isxdigit(static_cast<unsigned char>(s[2]))) {
    i = 2;  // 0x1Fg: the hex number, then a name
    while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) ++i;
    return i;
  }
  while (i < s.size() && is_digit(s[i])) ++i;
  if (i == 0 && !(s.size() > 1 && s[0] == '.' && is_digit(s[1]))) return 0;  // .5x: 0.5 times x
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && is_digit(s[i])) ++i;
  }
  if (i + 1 < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && is_digit(s[j])) {
      while (j < s.size() && is_digit(s[j])) ++j;
      i = j;
    }
  }
  return i;
}

namespace {

// A number written against a name (2x) multiplies in the classic grammar.
Rendered implicit_product(std::string_view text) {
  const std::size_t n = number_prefix(text);
  if (n == 0 || n == text.size()) unsupported("number form");
  std::string_view rest = text.substr(n);
  for (char c : rest) {
    const bool name_char = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_' ||
                           c == '$' || c == '@' || static_cast<unsigned char>(c) >= 0x80;
    if (!name_char) unsupported("number form");
  }
  List items;
  items.reserve(2);
  items.push_back(number_node(text.substr(0, n)));
  items.push_back(Node::string(std::string(rest)));
  return {single("mul", finish_list(std::move(items))), Rendered::kFlatChain};
}

}  // namespace

Node interval(const ast::Interval& iv, bool unit_in_text, bool backslash_escapes) {
  if (iv.value == nullptr) unsupported("interval without a value");
  if (iv.value->kind != ast::ExprKind::kLiteral) unsupported("interval of an expression");
  const auto& lit = *static_cast<const ast::Literal*>(iv.value);
  if (lit.literal_kind == ast::LiteralKind::kNumber) {
    std::string_view unit = interval_unit(iv.unit);
    if (unit.empty()) unsupported("interval unit the classic grammar lacks");
    Node amount = number_node(lit.text);
    if (amount.is_map()) unsupported("hex interval amount");
    return interval_node(std::move(amount), unit);
  }
  if (lit.literal_kind != ast::LiteralKind::kString) unsupported("interval of a non-literal");
  if (!iv.unit.empty() && !unit_in_text) unsupported("interval 'n' unit");
  std::string s = string_text(lit.text, backslash_escapes);
  List parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = s.find(',', start);
    std::string_view piece = std::string_view(s).substr(
        start, comma == std::string::npos ? std::string_view::npos : comma - start);
    Node amount;
    std::string_view unit;
    if (!parse_interval_piece(piece, &amount, &unit)) unsupported("interval text the classic grammar lacks");
    parts.push_back(interval_node(std::move(amount), unit));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (parts.size() == 1) return std::move(parts[0]);
  return single("add", Node::list(std::move(parts)));
}

namespace {

}  // namespace

// ---- names and literals -----------------------------------------------------

namespace {

// Characters of an unquoted classic name: letters (any Unicode letter),
// digits, "_", "@" and "$". 1 for the ASCII ones, 2 for bytes that start or
// continue a UTF-8 sequence (decoded and tested as a letter), 0 otherwise.
constexpr auto kNameByte = [] {
  std::array<std::uint8_t, 256> kind{};
  for (int c = 0; c < 256; ++c) {
    kind[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@' ||
                      c == '$'
                  ? 1
                  : c >= 0x80 ? 2 : 0;
  }
  return kind;
}();

bool classic_name_chars(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::uint8_t kind = kNameByte[static_cast<unsigned char>(text[i])];
    if (kind == 1) [[likely]] {
      ++i;
      continue;
    }
    if (kind == 0) return false;
    std::uint32_t cp = 0;
    i += decode_utf8(text, i, &cp);
    if (cp == 0xFFFFFFFFu || !is_unicode_letter(cp)) return false;
  }
  return !text.empty();
}

}  // namespace

void check_name(const ast::Ident& id, bool trusted) {
  if (!trusted && id.quote == 0 && is_classic_reserved(id.text)) unsupported("reserved word as a name");
}

void unsupported(const std::string& reason) { throw RenderError(reason); }

void append_ident(const ast::Ident& id, std::string* out, bool trusted) {
  if (id.quote == 0) {
    if (!trusted && !classic_name_chars(id.text)) unsupported("name characters the classic grammar lacks");
    out->append(id.text);
    return;
  }
  if (id.quote != '"' && id.quote != '`' && id.quote != '[') unsupported("name in other quotes");
  if (id.text.size() < 2) unsupported("quoted name");
  std::string decoded;
  if (!unescape(id.text.substr(1, id.text.size() - 2), id.quote, &decoded)) {
    unsupported("bad escape in a quoted name");
  }
  for (char c : decoded) {
    if (c == '.') out->push_back('\\');
    out->push_back(c);
  }
}

std::string ident_text(const ast::Ident& id, bool trusted) {
  std::string out;
  append_ident(id, &out, trusted);
  return out;
}

std::string name_text(const ast::Name& name, bool trusted) {
  if (name.parts.empty()) unsupported("empty name");
  check_name(name.parts[0], trusted);
  if (name.parts.size() == 1) {
    const ast::Ident& only = name.parts[0];
    if (only.quote == 0) {
      if (!trusted && !classic_name_chars(only.text)) unsupported("name characters the classic grammar lacks");
      return std::string(only.text);
    }
  }
  std::string out;
  std::size_t size = name.parts.size();
  for (const ast::Ident& part : name.parts) size += part.text.size();
  out.reserve(size);
  for (std::size_t i = 0; i < name.parts.size(); ++i) {
    if (i) out.push_back('.');
    append_ident(name.parts[i], &out, trusted);
  }
  return out;
}

Node name_node(const ast::Name& name, bool trusted) {
  if (trusted && name.parts.size() == 1 && name.parts[0].quote == 0) return Node::string_copy(name.parts[0].text);
  return Node::string(name_text(name, trusted));
}

Node number_node(std::string_view s) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    return single("hex", Node::string(std::string(s.substr(2))));
  }
  std::size_t i = 0;
  while (i < s.size() && is_digit(s[i])) ++i;
  const std::size_t int_digits = i;
  bool point = false;
  if (i < s.size() && s[i] == '.') {
    point = true;
    ++i;
    while (i < s.size() && is_digit(s[i])) ++i;
  }
  if (i == 0 || (point && i == 1 && int_digits == 0)) unsupported("number form");
  std::size_t e = s.npos;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    e = i++;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t exp_start = i;
    while (i < s.size() && is_digit(s[i])) ++i;
    if (i == exp_start) unsupported("number form");
  }
  if (i != s.size()) unsupported("number form");
  if (!point && e == s.npos) {
    std::size_t first = s.find_first_not_of('0');
    if (first != s.npos && s.size() - first > kMaxIntegerDigits) unsupported("number too long");
    return Node::integer_from_text(s);
  }
  if (!point && s[e + 1] != '-') {
    // 1e3 is the integer 1000.
    std::string_view mantissa = s.substr(0, e);
    std::string_view exp = s.substr(e + 1);
    if (!exp.empty() && exp[0] == '+') exp.remove_prefix(1);
    std::size_t first = mantissa.find_first_not_of('0');
    if (first == s.npos) return Node::integer(0);
    std::size_t zeros = 0;
    std::size_t exp_digits = exp.find_first_not_of('0');
    if (exp_digits != s.npos) {
      if (exp.size() - exp_digits > 5) unsupported("number too long");
      std::from_chars(exp.data() + exp_digits, exp.data() + exp.size(), zeros);
    }
    if (mantissa.size() - first + zeros > kMaxIntegerDigits) unsupported("number too long");
    std::string text(mantissa.substr(first));
    text.append(zeros, '0');
    return Node::integer_from_text(text);
  }
  double d = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (ec == std::errc::result_out_of_range) {
    bool tiny = e != s.npos && e + 1 < s.size() && s[e + 1] == '-';
    d = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc() || ptr != s.data() + s.size()) {
    unsupported("number form");
  }
  return Node::number(d);
}

std::string string_text(std::string_view literal, bool backslash_escapes) {
  if (literal.size() < 2 || literal.front() != '\'' || literal.back() != '\'') {
    unsupported("string literal with a prefix or other quotes");
  }
  // One literal only: a quote inside is doubled or escaped ('a' 'b' is two).
  const std::string_view body = literal.substr(1, literal.size() - 2);
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\\' && backslash_escapes) {
      ++i;
    } else if (body[i] == '\'') {
      if (i + 1 >= body.size() || body[i + 1] != '\'') unsupported("adjacent string literals");
      ++i;
    }
  }
  std::string out;
  if (!unescape(body, '\'', &out)) unsupported("bad escape in a string");
  return out;
}

void Depth::too_deep() {
  --r_.depth_;
  unsupported("nesting too deep");
}

// ---- expressions --------------------------------------------------------------

Rendered Renderer::expr(const ast::Expr* e) {
  if (e == nullptr) unsupported("missing expression");
  Depth depth(*this);
  using K = ast::ExprKind;
  switch (e->kind) {
    case K::kColumn: {
      const auto& c = *static_cast<const ast::ColumnRef*>(e);
      if (c.outer_join_mark) unsupported("outer join mark (+)");
      const ast::Ident& first = c.name.parts[0];
      const bool number_first = first.quote == 0 && !first.text.empty() && (is_digit(first.text[0]) || first.text[0] == '.');
      if (c.name.parts.size() == 1 && number_first) return implicit_product(first.text);
      if (number_first) {
        unsupported("number written against a dotted name");  // 2x.y: 2 times x.y
      }
      return {name_node(c.name, trusted_names_), 0};
    }
    case K::kStar: {
      const auto& s = *static_cast<const ast::Star*>(e);
      if (!s.modifier_keyword.empty() || !s.replaced.empty() || !s.renamed.empty() || s.ilike) {
        unsupported("star modifiers (except, replace, ...)");
      }
      if (s.qualifier.parts.empty()) return {Node::string("*"), 0};
      return {Node::string(name_text(s.qualifier, trusted_names_) + ".*"), 0};
    }
    case K::kLiteral: {
      const auto& l = *static_cast<const ast::Literal*>(e);
      switch (l.literal_kind) {
        case ast::LiteralKind::kNumber: {
          if (number_prefix(l.text) != l.text.size() && number_prefix(l.text) != 0) {  // 2d, 0x1Fs
            return implicit_product(l.text);
          }
          Node n = number_node(l.text);
          const bool hex = n.is_map();
          return {std::move(n), hex ? std::uint8_t(0) : std::uint8_t(Rendered::kBareNumber)};
        }
        case ast::LiteralKind::kString:
          return {single("literal", Node::string(string_text(l.text, backslash_escapes_))), 0};
        case ast::LiteralKind::kBoolean:
          return {Node::boolean(l.text.size() == 4), 0};
        case ast::LiteralKind::kNull:
          return {Node(), Rendered::kBareNull};
        case ast::LiteralKind::kTyped: {
          std::string lower = ascii_lower(l.type_name);
          if (!is_datetime_type(lower)) unsupported("typed literal other than date/time");
          return {single(std::move(lower), single("literal", Node::string(string_text(l.text, backslash_escapes_)))), 0};
        }
      }
      unsupported("literal");
    }
    case K::kParam: {
      const auto& p = *static_cast<const ast::Param*>(e);
      // @a and $1 are names in the classic grammar.
      if (!p.text.empty() && (p.text[0] == '@' || p.text[0] == '$')) {
        return {Node::string(std::string(p.text)), 0};
      }
      unsupported("parameter (?, :x)");
    }
    case K::kUnary:
    case K::kBinary:
    case K::kBetween:
    case K::kIn:
    case K::kQuantified:
    case K::kCollate:
      return operators(e);
    case K::kSubquery:
      return {query(unwrap_parens(*static_cast<const ast::SubqueryExpr*>(e)->query), false), 0};
    case K::kExists: {
      const auto& s = *static_cast<const ast::SubqueryExpr*>(e);
      Node n = single("exists", query(unwrap_parens(*s.query), false));
      if (s.negated) n = single("not", std::move(n));
      return {std::move(n), 0};
    }
    case K::kCase: {
      const auto& c = *static_cast<const ast::Case*>(e);
      Node subject;
      if (c.operand) subject = value(c.operand);
      List branches;
      branches.reserve(c.whens.size() + (c.else_result ? 1 : 0));
      for (const ast::WhenClause& w : c.whens) {
        Node condition = value(w.condition);
        if (c.operand) condition = pair_node("eq", subject, std::move(condition));
        Node branch_node = Node::empty_map();
        Map& branch = branch_node.mutable_map();
        put(branch, "when", std::move(condition));
        put(branch, "then", value(w.result));
        branches.push_back(std::move(branch_node));
      }
      if (c.else_result) branches.push_back(value(c.else_result));
      return {single("case", finish_list(std::move(branches))), 0};
    }
    case K::kCast: {
      const auto& c = *static_cast<const ast::Cast*>(e);
      if (c.style == "::") return operators(e);
      if (c.style != "cast") unsupported(std::string(c.style) + " form");
      if (c.format || c.style_arg) unsupported("cast with a format");
      Node operand = value(c.operand);
      return {pair_node("cast", std::move(operand), type(*c.type)), 0};
    }
    case K::kFunction:
      return {function(*static_cast<const ast::Function*>(e), false), 0};
    case K::kInterval:
      return {interval(*static_cast<const ast::Interval*>(e), e == unit_is_alias_, backslash_escapes_), 0};
    case K::kParen: {
      Rendered inner = expr(static_cast<const ast::Paren*>(e)->inner);
      inner.flags &= Rendered::kFlatChain;
      return inner;
    }
    case K::kTuple: {
      const auto& t = *static_cast<const ast::TupleExpr*>(e);
      if (t.type || (t.keyword != "" && t.keyword != "row" && t.keyword != "struct")) {
        unsupported("map constructor");
      }
      List items;
      items.reserve(t.items.size());
      for (const ast::Expr* item : t.items) {
        if (item->kind == ast::ExprKind::kBinary && static_cast<const ast::Binary*>(item)->op == "as") {
          unsupported("struct field alias");
        }
        items.push_back(value(item));
      }
      Node list = finish_list(std::move(items));
      if (t.keyword.empty()) {
        if (t.items.empty()) unsupported("empty parentheses");
        return {std::move(list), 0};
      }
      // row(..) and struct(..) are ordinary calls there.
      return {single(ascii_lower(t.keyword), list.is_null() ? Node::empty_map() : std::move(list)), 0};
    }
    case K::kKeyword: {
      // A bare word is a name in the classic grammar (x is json).
      std::string_view text = static_cast<const ast::Keyword*>(e)->text;
      if (text.find(' ') != std::string_view::npos) unsupported("bare keyword value");
      if (is_classic_reserved(text)) unsupported("reserved word as a name");
      return {Node::string(std::string(text)), 0};
    }
    case K::kArraySubquery:
      return {single("array", query(*static_cast<const ast::SubqueryExpr*>(e)->query, false)), 0};
    case K::kArray: unsupported("array literal");
    case K::kSubscript: unsupported("subscript");
    case K::kField: {
      // @@global.x: one dotted name in the classic grammar.
      const auto& f = *static_cast<const ast::FieldAccess*>(e);
      if (f.star || f.base->kind != ast::ExprKind::kParam) unsupported("field access (x).f");
      Rendered base = expr(f.base);
      return {Node::string(base.node.as_string() + "." + ident_text(f.field)), 0};
    }
    case K::kVariantPath: unsupported("variant path v:a");
    case K::kLambda: unsupported("lambda");
    case K::kNamedArg: unsupported("named argument");
    case K::kKeywordArg: unsupported("keyword argument");
    case K::kGrouping: unsupported("grouping sets / rollup / cube outside group by");
  }
  unsupported("expression");
}

Node Renderer::function(const ast::Function& f, bool in_select_item) {
  if (!in_select_item && (f.over || !f.over_name.text.empty() || !f.within_group.empty())) {
    unsupported("window call inside an expression");
  }
  if (!f.over_name.text.empty()) unsupported("named window");
  if (!f.arg_order_by.empty() || f.arg_limit || f.separator) unsupported("order by / limit inside a call");
  if (f.filter) unsupported("filter (where ..)");
  if (!f.keep.empty()) unsupported("keep (..)");
  if (!f.null_treatment.empty() && (f.null_treatment != "ignore nulls" || !f.null_treatment_inside)) {
    unsupported("null treatment outside the call");
  }
  std::string name = name_text(f.name, trusted_names_);
  if (f.no_parens) return Node::string(std::move(name));
  // @x.f(..) reaches the typed tree as f(@x, ..); the classic grammar reads
  // one dotted call name.
  std::size_t first_arg = 0;
  if (!f.args.empty() && f.args[0]->span.begin < f.name.span.begin) {
    if (f.args[0]->kind != ast::ExprKind::kParam) unsupported("method call (x).f()");
    name = std::string(static_cast<const ast::Param*>(f.args[0])->text) + "." + name;
    first_arg = 1;
  }
  name = ascii_lower(name);
  Node args;
  if (first_arg && (!f.quantifier.empty() || (f.args.size() > 1 && f.args[1]->kind == ast::ExprKind::kStar))) {
    unsupported("method call form");
  }
  if (f.quantifier == "distinct") {
    List items;
    items.reserve(f.args.size());
    for (std::size_t i = 0; i < f.args.size(); ++i) {
      if (i < f.classic_distinct_items.size()) {  // classic mode: select items (an alias, a window)
        items.push_back(select_item(f.classic_distinct_items[i], true, &f.classic_arg_alias_more[i]));
      } else {
        Node item_node = Node::empty_map();
        item_node.mutable_map().append("value", value(f.args[i]));  // kept when null: count(distinct null)
        items.push_back(std::move(item_node));
      }
    }
    args = single("distinct", finish_list(std::move(items)));
  } else if (!f.quantifier.empty()) {
    unsupported("all inside a call");
  } else if (f.args.size() == 1 && f.args[0]->kind == ast::ExprKind::kStar &&
             static_cast<const ast::Star*>(f.args[0])->qualifier.parts.empty()) {
    args = value(f.args[0]);
  } else if (f.args.size() == 2 && f.args[0]->kind == ast::ExprKind::kKeyword &&
             f.args[1]->kind == ast::ExprKind::kKeywordArg) {
    // extract(year from d)
    const auto& part = *static_cast<const ast::Keyword*>(f.args[0]);
    const auto& source = *static_cast<const ast::KeywordArg*>(f.args[1]);
    if (name != "extract" || ascii_lower(source.keyword) != "from") unsupported("keyword arguments");
    List items;
    items.reserve(2);
    items.push_back(Node::string(ascii_lower(part.text)));
    items.push_back(value(source.value));
    args = finish_list(std::move(items));
  } else {
    List items;
    items.reserve(f.args.size() - first_arg);
    for (std::size_t i = first_arg; i < f.args.size(); ++i) items.push_back(value(f.args[i]));
    args = finish_list(std::move(items));
  }
  Node m_node = Node::empty_map();
  Map& m = m_node.mutable_map();
  m.append(std::move(name), args.is_null() ? Node::empty_map() : std::move(args));
  if (!f.null_treatment.empty()) m.append("ignore_nulls", Node::boolean(true));
  return m_node;
}

Node Renderer::type(const ast::TypeName& t) {
  if (!t.suffix.empty() || t.array_dims || t.angle) unsupported("type form the classic grammar lacks");
  std::string name = ascii_lower(t.name);
  if (name == "double precision") {
    name = "double_precision";
  } else if (!is_type_name(name)) {
    unsupported("type name the classic grammar lacks");
  }
  Node args;
  if (!t.classic_params.empty()) {
    List items;
    items.reserve(t.classic_params.size());
    for (const ast::Expr* p : t.classic_params) items.push_back(value(p));
    args = finish_list(std::move(items));
  } else if (!t.params.empty()) {
    List items;
    items.reserve(t.params.size());
    for (const ast::TypeParam& p : t.params) {
      if (!p.name.text.empty() || p.type == nullptr || !p.type->params.empty()) unsupported("type parameter");
      items.push_back(number_node(p.type->name));
    }
    args = finish_list(std::move(items));
  }
  Node m_node = Node::empty_map();
  Map& m = m_node.mutable_map();
  m.append(std::move(name), args.is_null() ? Node::empty_map() : std::move(args));
  return m_node;
}

}  // namespace sqlparse::sql_parser::render
