// The classic grammar as parse() read it before it became the statement
// grammar's classic mode plus a rendering: a recursive-descent parser over its
// own lexer. Built only as the reference the differential tests and fuzz
// target compare parse() with (SQLPARSE_CLASSIC_REFERENCE). Not a public header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sql_parser/classic_shapes.h"
#include "sql_parser/parser.h"
#include "sql_parser/reference/lexer.h"
#include "tree/node.h"
#include "tree/stack_limit.h"

namespace sqlparse::sql_parser {

// An expression with what its parent needs to know about how it was written.
struct Expr {
  enum Flag : std::uint8_t {
    kBareNull = 1,    // the NULL keyword itself (not in parentheses)
    kBareNumber = 2,  // a number literal itself (not in parentheses)
  };
  Node node;
  std::uint8_t flags = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lex_(text) {}
  Node parse_statement();

  // ---- errors (errors.cc) ----
  [[noreturn]] void fail(const Token& at, std::string_view expecting);
  [[noreturn]] void fail_here(std::string_view expecting) { fail(lex_.peek(), expecting); }

 private:
  friend class NestGuard;
  friend class FrameGuard;

  // ---- token helpers ----
  const Token& peek(int ahead = 0) { return lex_.peek(ahead); }
  void advance() { lex_.advance(); }
  bool at_kw(Kw kw, int ahead = 0) {
    const Token& t = peek(ahead);
    return t.kind == Tok::kWord && t.kw == kw;
  }
  bool at(Tok kind, int ahead = 0) { return peek(ahead).kind == kind; }
  bool accept_kw(Kw kw) {
    if (!at_kw(kw)) return false;
    advance();
    return true;
  }
  bool accept(Tok kind) {
    if (!at(kind)) return false;
    advance();
    return true;
  }
  void expect_kw(Kw kw, std::string_view what) {
    if (!accept_kw(kw)) fail_here(what);
  }
  void expect(Tok kind, std::string_view what) {
    if (!accept(kind)) fail_here(what);
  }
  std::string_view text_of(const Token& t) const { return lex_.text_of(t); }

  // ---- names (expressions.cc) ----
  // True when the token can start a name: an unquoted non-reserved word or a
  // quoted name.
  bool at_name(int ahead = 0);
  // The text of one name part (quotes removed, escapes decoded, dots in a
  // quoted part written as "\.").
  void append_name_part(const Token& t, std::string* out);
  // A dotted name a.b."c"; `allow_star` accepts a trailing .* ("t.*").
  std::string parse_dotted_name(bool allow_star, bool* ends_with_star = nullptr);
  // True when the next token can be an alias without AS.
  bool at_bare_alias();
  // [AS] alias, or null when there is none.
  Node parse_alias(bool allow_column_list);

  // ---- expressions (expressions.cc) ----
  Expr parse_expr(int min_bp = 0, bool after_tight_operator = false);
  Expr parse_prefix(int min_bp, bool after_tight_operator);
  Expr parse_primary();
  Expr parse_parenthesized();
  Node parse_name_or_call();
  Node parse_call(std::string name);
  Node parse_case();
  Node parse_cast();
  Node parse_type();
  Node parse_interval();
  Node parse_string_literal_text(const Token& t);
  Node parse_number(const Token& t);

  // ---- select list and windows (select_list.cc) ----
  void parse_select_clause(Map& query);
  Node parse_top();
  Node parse_select_items(bool in_distinct);
  Node parse_select_item(bool in_distinct);
  Node parse_distinct_items();
  Node parse_over();
  Node parse_frame();
  Node parse_sort_items();
  Node parse_group_items();

  // ---- FROM and joins (from_clause.cc) ----
  Node parse_from();
  Node parse_table_source(bool in_join);
  bool at_join();
  Node parse_join();

  // ---- queries, set operations and WITH (query.cc) ----
  Node parse_query();        // set operations with ORDER BY / LIMIT / OFFSET
  Node parse_simple_select();
  Node parse_intersect_chain();
  Node parse_with_statement();
  bool at_set_operator(int ahead = 0);

  Lexer lex_;
  int nesting_ = 0;  // nesting levels as kMaxNestingDepth counts them
  int frames_ = 0;   // recursive calls of parse_expr / parse_query
};

// JOIN, INNER, LEFT, RIGHT, FULL or CROSS: a word that can start a join.
bool is_join_keyword(const Token& t);

// One nesting level, entered at `at` (the token that opens it).
class NestGuard {
 public:
  NestGuard(Parser& p, const Token& at) : p_(p) {
    if (++p_.nesting_ > kMaxNestingDepth) p_.fail(at, kDepthText);
  }
  ~NestGuard() { --p_.nesting_; }
  NestGuard(const NestGuard&) = delete;
  NestGuard& operator=(const NestGuard&) = delete;
  static constexpr const char* kDepthText = kNestingDepthText;

 private:
  Parser& p_;
};

// A recursive call. Every cycle of the grammar passes through a NestGuard,
// so this bound is never reached before the nesting limit; it backs that
// argument up with a hard stop.
class FrameGuard {
 public:
  static constexpr int kMaxFrames = (kMaxNestingDepth + 1) * 48;
  explicit FrameGuard(Parser& p) : p_(p) {
    // A thread with a small stack stops earlier, with the same error.
    if (++p_.frames_ > kMaxFrames || stack_exhausted()) p_.fail_here(NestGuard::kDepthText);
  }
  ~FrameGuard() { --p_.frames_; }
  FrameGuard(const FrameGuard&) = delete;
  FrameGuard& operator=(const FrameGuard&) = delete;

 private:
  Parser& p_;
};

}  // namespace sqlparse::sql_parser
