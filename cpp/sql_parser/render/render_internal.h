// The renderer shared by the files of cpp/sql_parser/render. Not a public header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sql_parser/render/classic_render.h"
#include "sql_parser/reserved_words.h"
#include "syntax/ast.h"
#include "tree/node.h"
#include "tree/stack_limit.h"

namespace sqlparse::sql_parser::render {

namespace ast = sqlparse::syntax;

// A rendered expression with what its parent needs to know about how it was
// written (the classic parser carries the same flags).
struct Rendered {
  enum Flag : std::uint8_t {
    kBareNull = 1,    // the NULL keyword itself (not in parentheses)
    kBareNumber = 2,  // a number literal itself (not in parentheses)
    kFlatChain = 4,   // an add/mul/and/or map whose operands an enclosing chain splices in
  };
  Node node;
  std::uint8_t flags = 0;
};

[[noreturn]] void unsupported(const std::string& reason);

// One identifier as the classic tree writes it: quotes removed, escapes
// decoded, a dot inside a quoted part written "\.". `trusted`: the text was
// read in the classic mode, whose tokens and grammar already hold unquoted
// names to the classic name characters and keep reserved words out of them.
void append_ident(const ast::Ident& id, std::string* out, bool trusted = false);
std::string ident_text(const ast::Ident& id, bool trusted = false);
// Refuses an unquoted reserved word where the classic grammar wants a name.
void check_name(const ast::Ident& id, bool trusted = false);
// A dotted name, parts joined by ".".
std::string name_text(const ast::Name& name, bool trusted = false);
// name_text as a string node.
Node name_node(const ast::Name& name, bool trusted);
// A number literal as written (1, 1.5, 1e3, 0x1F).
Node number_node(std::string_view text);
// The text of a plain '..' string literal, decoded. `backslash_escapes`: the
// dialect that read it lets \' stand inside a string; otherwise only doubled
// quotes do, and a backslash is an ordinary character to the token's extent.
std::string string_text(std::string_view literal, bool backslash_escapes);
// ((select ..)) in an expression: the query inside the extra parentheses,
// which the classic grammar reads as parentheses around an operand.
const ast::Query& unwrap_parens(const ast::Query& q);
// An interval literal; `unit_in_text`: a word after interval '..' is not
// its unit (the classic grammar reads it as an alias).
Node interval(const ast::Interval& iv, bool unit_in_text, bool backslash_escapes);
// {key: [left, right]} after the list rules.
Node pair_node(const char* key, Node left, Node right);
// Length of the number a classic token starts with ("2" of 2x, "1.0" of
// 1.0_000); 0 when the text does not start with one. Most texts asked about
// are names, which the first character settles.
std::size_t number_prefix_of_digits(std::string_view s);
inline std::size_t number_prefix(std::string_view s) {
  if (s.empty() || !((s[0] >= '0' && s[0] <= '9') || s[0] == '.')) return 0;
  return number_prefix_of_digits(s);
}

class Renderer {
 public:
  // `dialect.classic`: the statement was read in the classic mode, so names
  // need no check (see append_ident) and [x] after a name is already refused.
  explicit Renderer(const syntax::Dialect& dialect)
      : backslash_escapes_(dialect.backslash_escapes), trusted_names_(dialect.classic) {}

  Node statement(const ast::Statement& s);

  // ---- queries (query.cc) ----
  // `allow_with`: a WITH clause may stand here (statement level, CTE bodies).
  Node query(const ast::Query& q, bool allow_with);
  Node simple_select(const ast::Select& s);

  // ---- expressions (expressions.cc) ----
  Rendered expr(const ast::Expr* e);
  Node value(const ast::Expr* e) { return expr(e).node; }
  Node function(const ast::Function& f, bool in_select_item);
  Node type(const ast::TypeName& t);

  // ---- select list, windows, sorting (select_list.cc) ----
  void select_clause(const ast::Select& s, Map& out);
  Node select_item(const ast::SelectItem& item, bool in_distinct, const ast::List<ast::Ident>* alias_more = nullptr);
  Node window(const ast::WindowSpec& w);
  Node sort_items(const ast::List<ast::OrderItem>& items);

  // ---- FROM (from_clause.cc) ----
  Node from(const ast::List<ast::TableRef*>& refs);

 private:
  friend class Depth;
  friend class Climb;
  // Operator expressions, read again with the classic precedence (operators.cc).
  Rendered operators(const ast::Expr* e);
  Node frame(const ast::WindowFrame& f);
  Node table_source(const ast::TableRef& t, bool in_join);
  void append_from(const ast::TableRef& t, List& out, std::string_view pending_join);

  const bool backslash_escapes_;
  const bool trusted_names_;
  int depth_ = 0;
  // This thread's stack floor, looked up once per rendering.
  const char* stack_floor_ = stack_floor();
  // The interval whose "unit" is the select item's alias (interval '1 day' d).
  const ast::Interval* unit_is_alias_ = nullptr;
};

// One level of recursion; throws RenderError past kMaxRenderDepth or when the
// thread's stack runs low.
class Depth {
 public:
  explicit Depth(Renderer& r) : r_(r) {
    const bool stack_low = r_.stack_floor_ != nullptr &&
                           static_cast<const char*>(__builtin_frame_address(0)) < r_.stack_floor_;
    if (++r_.depth_ > kMaxRenderDepth || stack_low) [[unlikely]] too_deep();
  }
  ~Depth() { --r_.depth_; }
  Depth(const Depth&) = delete;
  Depth& operator=(const Depth&) = delete;

 private:
  [[noreturn]] void too_deep();
  Renderer& r_;
};

}  // namespace sqlparse::sql_parser::render
