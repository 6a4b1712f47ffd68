// The recursive-descent grammar shared by the clause files. Not a public header.
//
// One Parser parses one statement at a time from the script's token vector.
// Files by construct: operators.cc (binary and prefix operators), primaries.cc
// (literals, names, parentheses, CASE, arrays, postfix forms),
// functions.cc (calls, windows, special call forms), types.cc (type names),
// query.cc (WITH, set operations, SELECT and its clauses), from_clause.cc
// (table references and joins), statements.cc (INSERT, CREATE .. AS, MERGE,
// UPDATE, DELETE and other statements), script.cc (splitting and errors).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "syntax/arena.h"
#include "syntax/ast.h"
#include "syntax/dialect.h"
#include "syntax/lexer.h"
#include "syntax/parser.h"

namespace sqlparse::syntax {

inline bool is_open(Tok k) { return k == Tok::kLParen || k == Tok::kLBracket || k == Tok::kLBrace; }
inline bool is_close(Tok k) { return k == Tok::kRParen || k == Tok::kRBracket || k == Tok::kRBrace; }

// Binding powers of the binary operators, loosest first (operators.cc).
enum Prec : int {
  kPrecNone = 0,
  kPrecAssign = 1,
  kPrecOr = 2,
  kPrecXor = 3,
  kPrecAnd = 4,
  kPrecNot = 5,
  kPrecCompare = 6,
  kPrecBitOr = 7,
  kPrecBitXor = 8,
  kPrecBitAnd = 9,
  kPrecShift = 10,
  kPrecAdd = 11,
  kPrecMul = 12,
  kPrecUnary = 13,
  kPrecAtZone = 14,
  kPrecJson = 15,
};

// Whether `word` equals the lower-case `lower`, ignoring ASCII case.
inline bool equals_lower(std::string_view word, std::string_view lower) {
  if (word.size() != lower.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != lower[i]) return false;
  }
  return true;
}

// Whether `word` is one of the lower-case `words`, ignoring ASCII case.
template <std::size_t N>
bool is_one_of(std::string_view word, const std::string_view (&words)[N]) {
  for (std::string_view w : words) {
    if (equals_lower(word, w)) return true;
  }
  return false;
}

// Words that only start or end a clause and never name anything unquoted,
// one flag per keyword.
inline constexpr auto kClauseWords = [] {
  std::array<bool, static_cast<std::size_t>(Kw::kCount)> words{};
  for (Kw kw : {Kw::kSelect, Kw::kFrom, Kw::kWhere, Kw::kGroup, Kw::kHaving, Kw::kOrder, Kw::kLimit,
                Kw::kUnion, Kw::kIntersect, Kw::kExcept, Kw::kJoin, Kw::kOn, Kw::kWhen, Kw::kThen,
                Kw::kElse, Kw::kEnd, Kw::kAnd, Kw::kOr, Kw::kNot, Kw::kAs, Kw::kInto, Kw::kCase,
                Kw::kWith, Kw::kQualify, Kw::kWindow, Kw::kUsing, Kw::kIs, Kw::kIn, Kw::kBetween,
                Kw::kLike, Kw::kIlike, Kw::kInner, Kw::kCross, Kw::kNatural, Kw::kFetch, Kw::kCreate,
                Kw::kDistinct, Kw::kReturning, Kw::kPrewhere}) {
    words[static_cast<std::size_t>(kw)] = true;
  }
  return words;
}();

// Words that, followed by a string, make a typed literal: date '2020-01-01'.
bool is_literal_type(std::string_view word);

class Parser {
 public:
  // `tokens` starts with one kEnd token before the text's first (read as the
  // token before it; the parser's indices start after it) and ends with
  // kLookahead copies of the closing kEnd token after it.
  Parser(std::string_view text, std::span<Token> tokens, const Dialect& dialect, Arena& arena,
         const TextIndex* positions = nullptr);
  // How far peek() with a constant argument reads past the current token
  // without clamping at the end (the copies of kEnd stand there).
  static constexpr std::size_t kLookahead = kParserLookahead;

  // ---- statements (statements.cc) ----
  // One statement from the current token; stops before its ";" or the end.
  Statement* statement();

  // Called before each statement: the statement itself and its top query
  // are not nesting, so their two guards start below zero.
  void start_statement() { depth_ = -2; }

  // ---- position ----
  std::size_t pos() const { return pos_; }
  void set_pos(std::size_t p) {
    pos_ = p;
    cur_ = toks_.data() + p;
  }
  // Past the end stays on the last token (kEnd).
  const Token& peek(std::size_t ahead = 0) const {
    // pos_ never passes the kEnd token, which kLookahead copies follow.
    if (__builtin_constant_p(ahead) && ahead <= kLookahead) return cur_[ahead];
    const std::size_t i = pos_ + ahead;
    return toks_[i < last_ ? i : last_];
  }
  bool at_end(std::size_t ahead = 0) const { return peek(ahead).kind == Tok::kEnd; }
  std::uint32_t token_end(std::size_t index) const { return toks_[index].end; }
  bool at(Tok kind, std::size_t ahead = 0) const { return peek(ahead).kind == kind; }

  // ---- errors (script.cc) ----
  // Throws ParseError at the current token: `expecting` names what could
  // continue the statement there.
  [[noreturn]] void fail(std::string_view expecting) const;
  [[noreturn]] void fail_at(const Token& at, std::string_view expecting) const;

 private:
  friend class DepthGuard;

  // ---- token helpers ----
  void advance() {
    if (pos_ < last_) {
      ++pos_;
      ++cur_;
    }
  }
  bool at_kw(Kw kw, std::size_t ahead = 0) const {
    const Token& t = peek(ahead);
    return t.kind == Tok::kWord && t.kw == kw;
  }
  bool at_op(Op op, std::size_t ahead = 0) const {
    const Token& t = peek(ahead);
    return t.kind == Tok::kOp && t.op == op;
  }
  // An unquoted word equal to `lower` (a lower-case word), any case. Most
  // calls are answered by the length and first letter alone.
  bool at_word(std::string_view lower, std::size_t ahead = 0) const {
    const Token& t = peek(ahead);
    return t.kind == Tok::kWord && t.end - t.begin == lower.size() &&
           (text_[t.begin] | 0x20) == lower[0] && word_equals(t, lower);
  }
  bool word_equals(const Token& t, std::string_view lower) const;
  // advance() from a token known not to be the closing kEnd (the only kEnd
  // among the tokens), which needs no bound check.
  void step() {
    ++pos_;
    ++cur_;
  }
  bool accept(Tok kind) {
    if (!at(kind)) return false;
    if (kind == Tok::kEnd) return true;
    step();
    return true;
  }
  bool accept_kw(Kw kw) {
    if (!at_kw(kw)) return false;
    step();
    return true;
  }
  bool accept_op(Op op) {
    if (!at_op(op)) return false;
    step();
    return true;
  }
  bool accept_word(std::string_view lower) {
    if (!at_word(lower)) return false;
    advance();
    return true;
  }
  void expect(Tok kind, std::string_view what) {
    if (!accept(kind)) fail(what);
  }
  void expect_kw(Kw kw, std::string_view what) {
    if (!accept_kw(kw)) fail(what);
  }
  // (Tokens lie within the text: no bounds check as substr() makes.)
  std::string_view text_of(const Token& t) const { return {text_.data() + t.begin, t.end - t.begin}; }
  // Byte offset where the current token starts / the previous one ended.
  std::uint32_t here() const { return peek().begin; }
  // (Before the first token stands the leading kEnd token, ending at 0.)
  std::uint32_t prev_end() const { return cur_[-1].end; }
  Span span_from(std::uint32_t begin) const { return {begin, prev_end() < begin ? begin : prev_end()}; }

  // The tokens [from, pos) as one string: white space and comments between
  // two tokens become one space, tokens written together stay together.
  // Used for clauses the tree keeps as Raw.
  Raw raw_since(std::size_t from_token);
  // Skips a balanced (..), [..] or {..} group starting at the current token.
  void skip_group();
  // Words starting at the current token, lower-cased and joined by spaces.
  std::string_view lower_words(std::size_t from_token);

  template <class T>
  T* node(std::uint32_t begin) {
    T* n = arena_.make<T>();
    n->span = {begin, begin};
    return n;
  }
  template <class T>
  T* finish(T* n) {
    // (Only the end is written: GCC assembles a whole Span in a vector
    // register.)
    const std::uint32_t end = prev_end();
    n->span.end = end < n->span.begin ? n->span.begin : end;
    return n;
  }

  // ---- names ----
  // Whether the token can be a name: a quoted name, or a word (keywords too,
  // except those that can only start or end a clause).
  bool is_name_token(const Token& t) const {
    if (classic_) [[unlikely]] return classic_name_token(t);
    return t.kind == Tok::kQuotedName || (t.kind == Tok::kWord && !kClauseWords[static_cast<std::size_t>(t.kw)]);
  }
  bool at_name(std::size_t ahead = 0) const { return is_name_token(peek(ahead)); }
  Ident ident();  // fails when not at a name
  // The name a token spells; a plain word is its own text.
  Ident ident_of(const Token& t) {
    if (t.kind != Tok::kWord) [[unlikely]] return quoted_ident_of(t);
    return Ident{text_of(t), text_of(t), 0, {t.begin, t.end}};
  }
  Ident quoted_ident_of(const Token& t);  // a quoted name, a string, or a word
  Name name();    // a.b.c
  // An alias after a table or select item: AS name, or a bare name that is
  // not a reserved word. Empty when none.
  bool at_implicit_alias(bool for_table) const;
  // A token that ends a select item or table with no alias: opt_alias would
  // read nothing there (the common case, answered without the call).
  bool at_alias_free_end() const {
    const Tok k = peek().kind;
    return k == Tok::kComma || k == Tok::kRParen || k == Tok::kEnd || k == Tok::kSemicolon;
  }
  Ident opt_alias(bool for_table, bool* as_keyword);
  List<Ident> ident_list();  // (a, b, c), the parentheses included

  // ---- expressions (operators.cc, primaries.cc) ----
  Expr* expr();
  Expr* expr_bp(int min_prec);
  Expr* unary();
  Expr* simple_operand();  // a lone name, number or string before a plain continuation; else null
  Expr* lone_name();
  Expr* primary();
  [[gnu::noinline]] Expr* primary_other();  // primary() past its fast path
  Expr* postfix(Expr* base);
  Expr* paren_or_subquery();
  Expr* case_expr();
  Expr* interval_expr();
  Expr* array_expr(std::uint32_t begin, bool keyword);
  Expr* brace_expr();
  Expr* name_expr();
  // `value as alias` in a list that names its items (struct(..), array join):
  // Binary "as" with the alias as a one-part column.
  Expr* value_as(std::uint32_t begin, Expr* value, const Ident& alias);
  Expr* variant_path(Expr* base);
  void star_modifiers(Star* star);  // * except (..) / exclude / replace (..) / rename (..) / ilike
  bool unit_ahead(std::size_t from) const;  // an interval unit word follows within a few tokens
  bool parenthesised_query_follows();       // at "((select ..) union ..)": a query, not values
  List<Expr*> expr_list();  // a, b, c (no parentheses)
  bool at_query_start(std::size_t ahead = 0) const;  // select / with / values / from-first
  Expr* infix(Expr* left, int prec_of_op, std::uint32_t begin);
  int infix_precedence() const;
  int word_precedence(const Token& t) const;  // the words whose neighbours decide

  // ---- functions (functions.cc) ----
  Expr* function_call(Name name, std::uint32_t begin);
  Expr* special_call(const Name& name, std::uint32_t begin, bool* handled);
  Expr* function_arg();
  bool at_clause_in_call() const;  // ORDER BY, LIMIT, SEPARATOR, IGNORE NULLS inside a call
  void function_tail(Function* f);
  WindowSpec* window_spec();  // after "(", up to and including ")"
  WindowFrame* window_frame();
  List<OrderItem> order_by_items();  // after ORDER BY / SORT BY
  OrderItem order_item();

  // ---- types (types.cc) ----
  TypeName* type_name();
  bool at_type_start() const;

  // ---- queries (query.cc) ----
  Query* query();
  With* with_clause();
  bool cte_column_list_follows() const;
  QueryBody* query_body(int min_prec);
  QueryBody* query_operand();
  bool at_script_transform();
  ScriptTransform* script_transform();
  bool at_pivot_statement(std::size_t ahead) const;
  QueryBody* pivot_statement();  // from_clause.cc
  Expr* column_name();  // a plain column name, as a ColumnRef
  Select* select_body();
  Select* from_first_body();
  Values* values_body();
  void select_clauses(Select* s);
  SelectItem select_item();
  void select_item_into(SelectItem& item);  // the same into an empty item
  List<Expr*> group_by_items();
  void query_tail(Query* q);
  void pipe_ops(Query* q);

  // ---- FROM (from_clause.cc) ----
  List<TableRef*> from_list();
  TableRef* table_ref();
  TableRef* table_primary();
  TableRef* table_postfix(TableRef* t);
  TableRef* join_rest(TableRef* left);
  bool at_join_start() const;
  Alias* table_alias();
  Alias* alias_node(const Ident& name, bool as_keyword);  // null for no name
  TableRef* named_table();
  TableRef* pivot(TableRef* source, bool unpivot);
  TableRef* lateral_view(TableRef* source);

  // ---- statements (statements.cc) ----
  Statement* insert_statement(std::uint32_t begin, With* with);
  Statement* create_statement(std::uint32_t begin);
  Statement* merge_statement(std::uint32_t begin, With* with);
  Statement* update_statement(std::uint32_t begin, With* with);
  Statement* delete_statement(std::uint32_t begin, With* with);
  Statement* other_statement(std::uint32_t begin);
  List<Assignment> assignments();
  List<ColumnDef> column_defs();
  // Helpers of the statements above (statements.cc, statements_other.cc).
  struct CreateParts {  // what follows the name of CREATE TABLE / VIEW
    List<ColumnDef> columns;
    Raw options;
    Query* query = nullptr;
    Raw after;
  };
  bool at_any_word(const std::string_view* words, std::size_t count, std::size_t ahead = 0) const;
  bool at_dml_verb() const;
  Statement* dml_statement(std::uint32_t begin, With* with);
  bool starts_query(std::size_t ahead) const;
  Statement* query_statement(std::uint32_t begin, With* with = nullptr);
  Raw join_raw(Raw a, Raw b);
  // Raw tokens to the end of the statement, or to `stop` (RETURNING) outside
  // parentheses.
  Raw rest_of_statement(Kw stop = Kw::kNone);
  // RETURNING items (and what follows them), or null.
  Returning* returning_clause();
  void skip_table_hints();
  void skip_top_clause();
  Returning* output_clause();
  void rest_of_column_def();
  bool at_insert_tail() const;
  Statement* insert_all(std::uint32_t begin, std::size_t start);
  void partition_spec(std::vector<PartitionItem>& out);
  Query* values_rows();
  void set_as_values(Insert* s);
  std::size_t insert_follows_from() const;
  Statement* from_first_insert(std::uint32_t begin);
  CreateParts create_parts(bool view);
  MergeClause merge_clause();
  void skip_star_except();
  bool other_head_ok() const;
  std::string_view other_head();
  bool at_block_begin() const;
  bool if_has_then() const;
  bool try_inner_statement(std::vector<Statement*>& body);
  bool try_inner_query(std::vector<Statement*>& body);
  void scan_other(std::size_t start, std::string_view head, std::vector<Statement*>& body);

  // ---- the classic mode (classic_mode.cc) ----
  [[noreturn, gnu::cold]] void classic_fail(const Token& at, std::string_view expecting) const;
  bool classic_name_token(const Token& t) const;
  bool classic_at_bare_alias() const;
  Ident classic_alias(bool* as_keyword, List<Ident>* more);
  bool classic_infix(const Token& t);
  void classic_prefix(const Token& t);
  Statement* classic_statement(std::uint32_t begin);
  Query* classic_query(bool with_ok);
  With* classic_with();
  QueryBody* classic_body(int min_prec);
  Select* classic_select();
  List<OrderItem> classic_sort_items();
  List<TableRef*> classic_from();
  bool classic_at_join(std::size_t ahead) const;
  TableRef* classic_source();
  TableRef* classic_join(TableRef* left);
  TypeName* classic_type_name();
  Expr* classic_interval();
  bool classic_literal_type(const Token& t, std::size_t type_words) const;
  void classic_call_end(Function* f);
  void classic_number(const Token& t) const;
  Expr* classic_distinct_arg(SmallVec<SelectItem>& items, SmallVec<List<Ident>>& alias_more);
  bool classic_name_list(SmallVec<Ident>& names, SmallVec<List<Ident>>& more);
  List<Ident> classic_name_parts();
  void classic_item_tail(SelectItem& item);
  Expr* classic_bound();
  Expr* classic_cast(Expr* operand, std::uint32_t begin);
  // The classic parser's count of nested levels, which decides the nesting
  // limit of the classic mode (the DepthGuards only back it up there):
  // levels opened by ClassicNest, and those its operator chains hold, found
  // by following its precedence climbing over the operators as they come.
  struct ClassicDepth;
  friend class ClassicNest;
  void classic_nest_enter(const Token& at);
  void classic_nest_leave();
  Expr* classic_expr();                    // expr() in the classic mode
  void classic_climb(const Token& t);      // at an operator of a classic expression
  void classic_operand_end();              // after an operand: 2x is a product
  void classic_set_op_runs(const QueryBody* body);

  std::string_view text_;
  std::span<Token> toks_;  // the script's tokens, ending in kEnd
  std::size_t last_;       // index of that kEnd
  const Dialect& d_;
  Arena& arena_;
  const TextIndex* positions_;  // for error positions; null: counted when needed
  std::size_t pos_ = 0;  // written only through set_pos() and advance()
  // &toks_[pos_], kept with it: the grammar reads the current token far
  // more often than it moves.
  const Token* cur_ = nullptr;
  int depth_ = 0;
  bool no_variant_path_ = false;  // inside [..], where a:b is a slice
  bool no_type_dims_ = false;     // array<int>[..]: the [ starts the literal
  bool classic_ = false;          // refuse what the classic grammar lacks (classic_mode.cc)
  std::size_t classic_prefix_at_ = SIZE_MAX;  // token of the last prefix operator read
  std::size_t classic_bound_at_ = SIZE_MAX;   // first token of the last BETWEEN bound
  std::size_t classic_call_args_at_ = SIZE_MAX;  // first token of the last call's arguments (f(*))
  ClassicDepth* classic_depth_ = nullptr;       // set while classic_statement runs
  std::uintptr_t stack_floor_ = 0;  // this thread's (0: unknown), looked up once per parser
};

// Bounds the grammar's recursion. A counting guard stands for one level of
// nesting as a user sees it (a parenthesis, a sub-query, a call, a CASE, a
// prefix operator); the others only check that the thread's stack has room.
class DepthGuard {
 public:
  explicit DepthGuard(Parser& p, bool counts = true) : p_(p), counts_(counts ? 1 : 0) {
    p_.depth_ += counts_;
    const std::uintptr_t frame = stack_pointer();
    // A guard that does not count cannot pass the limit: the counting guard
    // that reached it has thrown already.
    if ((counts && p_.depth_ > kMaxDepth) || frame < p_.stack_floor_) [[unlikely]] too_deep(p_, counts_);
  }
  ~DepthGuard() { p_.depth_ -= counts_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  // Static, so that the guard's address never escapes: its fields then stay
  // in registers (and a guard that does not count costs no store at all).
  [[noreturn, gnu::cold]] static void too_deep(Parser& p, int counts);

  // The stack pointer where the platform lets it be read (a function that
  // asks for its frame address must set up a frame pointer), else the frame
  // address, a little above it.
  [[gnu::always_inline]] static std::uintptr_t stack_pointer() {
    std::uintptr_t sp;
#if defined(__GNUC__) && defined(__x86_64__)
    asm("mov %%rsp, %0" : "=r"(sp));
#elif defined(__GNUC__) && defined(__aarch64__)
    asm("mov %0, sp" : "=r"(sp));
#else
    sp = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
#endif
    return sp;
  }

  Parser& p_;
  int counts_;
};

// One level of the classic parser's nesting, opened at the token `ahead` of
// the current one, in the classic mode; nothing in the others.
class ClassicNest {
 public:
  explicit ClassicNest(Parser& p, std::size_t ahead = 0) : p_(p.classic_ ? &p : nullptr) {
    if (p_ != nullptr) [[unlikely]] p_->classic_nest_enter(p.peek(ahead));
  }
  ~ClassicNest() {
    if (p_ != nullptr) [[unlikely]] p_->classic_nest_leave();
  }
  ClassicNest(const ClassicNest&) = delete;
  ClassicNest& operator=(const ClassicNest&) = delete;

 private:
  Parser* p_;
};

}  // namespace sqlparse::syntax
