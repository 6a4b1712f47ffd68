// The classic mode of the grammar: the subset the classic parser
// (sql_parser/) reads, so that its tree can be rendered from the typed tree.
//
// The query structure of the classic grammar is small (WITH, SELECT with
// FROM / WHERE / GROUP BY / HAVING, UNION [ALL] / INTERSECT / EXCEPT /
// MINUS, ORDER BY, LIMIT, OFFSET) and lives here whole; the expression
// grammar is shared, with small classic_ checks where a construct the
// classic grammar lacks starts. Lexical differences are settled on the
// token vector before parsing (classic_tokens.cc). A refusal is a
// ParseError at the first token that cannot continue a classic query, in
// the classic parser's message format.
#include <algorithm>
#include <charconv>
#include <array>
#include <iterator>
#include <string>

#include "sql_parser/binding_powers.h"
#include "sql_parser/classic_shapes.h"  // the classic type names and interval units
#include "sql_parser/parser.h"
#include "sql_parser/reserved_words.h"
#include "syntax/classic_mode.h"
#include "syntax/grammar.h"

namespace sqlparse::syntax {

// ---- errors and names -----------------------------------------------------------

void Parser::classic_fail(const Token& at, std::string_view expecting) const {
  // The shared grammar's wording of what may follow, in the classic words.
  if (expecting == "the end of the statement") {
    expecting = "end of text";
  } else if (expecting == "a comma or )") {
    expecting = "\",\" or \")\"";
  } else if (expecting == ")") {
    expecting = "\")\"";
  } else if (expecting == "(") {
    expecting = "\"(\"";
  }
  // A token the lexer could not finish is reported as what it lacks.
  std::string lacks;
  if (at.kind == Tok::kError) {
    const char c = text_[at.begin];
    switch (static_cast<LexError>(at.sub)) {
      case LexError::kUnterminatedString:
        expecting = "a string closed by '";
        break;
      case LexError::kUnterminatedName: {
        // [ against a name or ")" is the classic subscript error, reported
        // as what the context expected.
        const Token* prev = nullptr;
        for (std::size_t i = 1; i <= last_; ++i) {
          if (toks_[i].begin == at.begin && toks_[i].kind == at.kind) prev = &toks_[i - 1];
        }
        const bool subscript = c == '[' && !at.spaced && prev != nullptr &&
                               (prev->kind == Tok::kWord || prev->kind == Tok::kQuotedName ||
                                prev->kind == Tok::kRParen);
        if (!subscript) {
          lacks = std::string("a name closed by ") + (c == '[' ? ']' : c);
          expecting = lacks;
        }
        break;
      }
      default:
        if (at.op == Op::kCustom) expecting = "valid backslash escapes";
        break;
    }
  }
  // The classic parser's message: the end of the text is where its
  // meaningful part ends (trailing white space and ";" left out).
  std::size_t byte = at.begin;
  const bool at_end = at.kind == Tok::kEnd ||
                      (at.kind == Tok::kSemicolon &&
                       text_.find_first_not_of("; \n\t\r\f\v", at.begin) == std::string_view::npos);
  if (at_end) {
    byte = text_.size();
    while (byte > 0 && (text_[byte - 1] == ';' || text_[byte - 1] == ' ' || text_[byte - 1] == '\n' ||
                        text_[byte - 1] == '\t' || text_[byte - 1] == '\r' || text_[byte - 1] == '\f' ||
                        text_[byte - 1] == '\v')) {
      --byte;
    }
  }
  throw classic_error(text_, byte, expecting, at_end);
}

ParseError classic_error(std::string_view text, std::size_t byte, std::string_view expecting, bool at_end) {
  ParseError e;
  e.expecting = std::string(expecting);
  std::size_t chars = 0;
  std::size_t column = 0;
  int line = 1;
  for (std::size_t i = 0; i < byte; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80) continue;
    ++chars;
    ++column;
    if (c == '\n') {
      ++line;
      column = 0;
    }
  }
  e.offset = chars;
  e.line = line;
  e.column = static_cast<int>(column) + 1;
  e.found = at_end ? "end of text" : classic_found_text(text, byte);
  e.message = "Expecting " + e.expecting + ", found \"" + e.found + "\" (at char " + std::to_string(e.offset) +
              "), (line:" + std::to_string(e.line) + ", col:" + std::to_string(e.column) + ")";
  return e;
}

namespace {

// Per keyword id: whether its word is a classic reserved word, so a word the
// lexer knew needs no search. (Words cut out of longer tokens have no id.)
constexpr auto kClassicReservedKw = [] {
  std::array<bool, static_cast<std::size_t>(Kw::kCount)> reserved{};
  std::size_t i = 0;
#define SQLPARSE_KW_RESERVED(name, text, implicit_alias) \
  ++i;                                                    \
  reserved[i] = std::find(std::begin(sql_parser::kClassicReserved), std::end(sql_parser::kClassicReserved), \
                          std::string_view(text)) != std::end(sql_parser::kClassicReserved);
  SQLPARSE_KEYWORDS(SQLPARSE_KW_RESERVED)
#undef SQLPARSE_KW_RESERVED
  return reserved;
}();

}  // namespace

bool Parser::classic_name_token(const Token& t) const {
  if (t.kind == Tok::kQuotedName) return true;
  if (t.kind == Tok::kWord && t.kw != Kw::kNone) return !kClassicReservedKw[static_cast<std::size_t>(t.kw)];
  return (t.kind == Tok::kWord || t.kind == Tok::kParam) && !sql_parser::is_classic_reserved(text_of(t));
}

bool Parser::classic_at_bare_alias() const {
  const Token& t = peek();
  if (!classic_name_token(t)) return false;
  if (t.kind != Tok::kWord) return true;
  switch (t.kw) {
    case Kw::kNatural:  // natural join
      return !classic_at_join(1);
    case Kw::kIntersect: case Kw::kExcept: case Kw::kMinus:
      return !at_kw(Kw::kSelect, 1);
    default:
      return true;
  }
}

Ident Parser::classic_alias(bool* as_keyword, List<Ident>* more) {
  *as_keyword = false;
  if (at_kw(Kw::kAs)) {
    advance();
    *as_keyword = true;
    if (!classic_name_token(peek())) classic_fail(peek(), "an alias");
  } else if (!classic_at_bare_alias()) {
    return {};
  }
  Ident id = ident_of(peek());
  advance();
  *more = classic_name_parts();  // a dotted alias: as b.c
  return id;
}

// ---- nesting ------------------------------------------------------------------
//
// The classic parser counts a level for each construct it nests (ClassicNest
// stands for its NestGuard) and for each operator of a chain that its
// precedence climbing nests (a - b - c holds two). The shared grammar ranks
// operators otherwise, so the climb is followed here as the operators come:
// one frame per call of the classic parse_expr, which holds the levels of the
// operators it took until it returns, which is when an operator binding
// looser than the frame's own power comes, or the expression ends. An
// operator that may extend a flat chain (+ * AND OR) is counted only once
// its right operand has been read, and not at all when it extends one.

struct Parser::ClassicDepth {
  enum Chain : std::uint8_t { kNoChain, kAdd, kMul, kAnd, kOr };  // the flat operators
  struct Frame {                // (no initialisers: the inline ones stay unwritten)
    std::int8_t min_bp;         // the frame takes operators binding at least this
    Chain chain;                // the flat operator whose chain it extends
    Chain flat;                 // the operand of this flat operator of the frame below,
    bool tight;                 // the operand of * / % ||, where "-" takes one operand
    bool bound;                 // a BETWEEN bound
    int levels;                 // levels it holds: its operators', its prefix operator's
    std::uint32_t op_at;        // where that flat operator is written
  };
  static Frame frame(int min_bp, bool tight = false) {
    return {static_cast<std::int8_t>(min_bp), kNoChain, kNoChain, tight, false, 0, 0};
  }

  // The frames of the expressions being read, innermost last; most texts
  // need a few, held inline.
  class Frames {
   public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Frame& operator[](std::size_t i) { return i < kInline ? inline_[i] : spill_[i - kInline]; }
    Frame& back() { return (*this)[size_ - 1]; }
    void push_back(const Frame& f) {
      if (size_ < kInline) {
        inline_[size_] = f;
      } else if (size_ - kInline < spill_.size()) {
        spill_[size_ - kInline] = f;
      } else {
        spill_.push_back(f);
      }
      ++size_;
    }
    void pop_back() { --size_; }
    void shrink(std::size_t size) { size_ = size; }

   private:
    static constexpr std::size_t kInline = 32;
    Frame inline_[kInline];
    std::vector<Frame> spill_;
    std::size_t size_ = 0;
  };

  int levels = 0;
  Frames frames;
  // Where the frames of the innermost expression being read begin (its
  // first is pushed with its first operator); none outside expressions.
  std::size_t region = SIZE_MAX;
  std::size_t product_at = SIZE_MAX;  // the last 2x read as a product

  // The innermost frame of the expression being read, or null outside one.
  Frame* top() {
    if (region == SIZE_MAX) return nullptr;
    if (frames.size() == region) frames.push_back(frame(0));
    return &frames.back();
  }

  // Ends the frames above `size`, innermost first; false (and `at`, where
  // the classic parser fails) when a flat operator they complete is one
  // level too many.
  bool pop_to(std::size_t size, Token* at) {
    while (frames.size() > size) {
      const Frame f = frames.back();
      frames.pop_back();
      levels -= f.levels;
      Frame& below = frames.back();
      if (f.flat == kNoChain || below.chain == f.flat) continue;
      below.chain = f.flat;
      if (levels >= sql_parser::kMaxNestingDepth) {
        at->kind = Tok::kOp;
        at->begin = f.op_at;
        return false;
      }
      ++levels;
      ++below.levels;
    }
    return true;
  }
  // The same when an error unwinds the parse: the levels only.
  void drop_to(std::size_t size) {
    for (std::size_t i = size; i < frames.size(); ++i) levels -= frames[i].levels;
    frames.shrink(size);
  }
};

namespace {

constexpr std::string_view kClassicDepthText = sql_parser::kNestingDepthText;

// The shared DepthGuards count a call of a sub-query twice where the classic
// parser counts it once: in the classic mode they allow this many more
// levels, and only back the classic count up.
constexpr int kClassicGuardSlack = 2 * kMaxDepth;

}  // namespace

void Parser::classic_nest_enter(const Token& at) {
  ClassicDepth& d = *classic_depth_;
  if (d.levels >= sql_parser::kMaxNestingDepth) [[unlikely]] classic_fail(at, kClassicDepthText);
  ++d.levels;
}

void Parser::classic_nest_leave() { --classic_depth_->levels; }

Expr* Parser::classic_expr() {
  // One call of the classic parse_expr from outside an expression.
  ClassicDepth& d = *classic_depth_;
  struct Region {
    ClassicDepth& d;
    std::size_t outer;
    ~Region() {
      d.drop_to(d.region);
      d.region = outer;
    }
  } region{d, d.region};
  d.region = d.frames.size();
  Expr* e = expr_bp(kPrecNone);
  classic_operand_end();
  Token at;
  if (d.frames.size() > d.region + 1 && !d.pop_to(d.region + 1, &at)) classic_fail(at, kClassicDepthText);
  return e;
}

void Parser::classic_climb(const Token& t) {
  classic_operand_end();
  ClassicDepth& d = *classic_depth_;
  if (d.region == SIZE_MAX) return;  // a window frame's bound, a number to the classic parser
  using Chain = ClassicDepth::Chain;
  int bp = 0;
  Chain flat = Chain::kNoChain;
  bool operand = true;
  bool between = false;
  if (t.kind == Tok::kStar) {
    bp = sql_parser::kBpMul;
    flat = Chain::kMul;
  } else if (t.kind == Tok::kOp) {
    switch (t.op) {
      case Op::kEq: case Op::kEqEq: case Op::kNeq: bp = sql_parser::kBpEq; break;
      case Op::kLt: case Op::kGt: case Op::kLe: case Op::kGe: bp = sql_parser::kBpCompare; break;
      case Op::kPipe: bp = sql_parser::kBpBitOr; break;
      case Op::kAmp: bp = sql_parser::kBpBitAnd; break;
      case Op::kPlus: bp = sql_parser::kBpAdd; flat = Chain::kAdd; break;
      case Op::kMinus: bp = sql_parser::kBpAdd; break;
      case Op::kSlash: case Op::kPercent: bp = sql_parser::kBpMul; break;
      case Op::kConcat: bp = sql_parser::kBpConcat; break;
      case Op::kDoubleColon: bp = sql_parser::kBpCast; operand = false; break;
      default: return;
    }
  } else if (t.kind == Tok::kWord) {
    const bool is_not = t.kw == Kw::kNot || (t.kw == Kw::kIs && at_kw(Kw::kNot, 1));
    const Kw kw = t.kw == Kw::kNot ? peek(1).kw : t.kw;
    switch (kw) {
      case Kw::kOr: bp = sql_parser::kBpOr; flat = Chain::kOr; break;
      case Kw::kAnd: bp = sql_parser::kBpAnd; flat = Chain::kAnd; break;
      case Kw::kLike: bp = is_not ? sql_parser::kBpNotLike : sql_parser::kBpLike; break;
      case Kw::kRlike: bp = is_not ? sql_parser::kBpNotRlike : sql_parser::kBpRlike; break;
      case Kw::kSimilar: bp = is_not ? sql_parser::kBpNotSimilar : sql_parser::kBpSimilar; break;
      case Kw::kIn: bp = is_not ? sql_parser::kBpNotIn : sql_parser::kBpIn; break;
      case Kw::kIs: bp = is_not ? sql_parser::kBpIsNot : sql_parser::kBpIs; break;
      case Kw::kBetween: bp = is_not ? sql_parser::kBpNotBetween : sql_parser::kBpBetween; between = true; break;
      case Kw::kCollate: bp = sql_parser::kBpCollate; operand = false; break;
      default: return;
    }
  } else {
    return;
  }
  // The frames that stop before this operator return; the next takes it.
  d.top();
  std::size_t top = d.frames.size();
  while (top > d.region + 1 && d.frames[top - 1].min_bp > bp) --top;
  Token at;
  if (!d.pop_to(top, &at)) classic_fail(at, kClassicDepthText);
  ClassicDepth::Frame right = ClassicDepth::frame(bp + 1, bp >= sql_parser::kBpMul);
  if (flat != Chain::kNoChain) {
    // Counted when its right operand ends (pop_to).
    right.flat = flat;
    right.op_at = t.begin;
    d.frames.push_back(right);
    return;
  }
  ClassicDepth::Frame& f = d.frames.back();
  f.chain = Chain::kNoChain;
  classic_nest_enter(t);
  ++f.levels;
  // Its right operand: a frame of its own (BETWEEN's bounds: classic_bound).
  if (operand && !between) d.frames.push_back(right);
}

void Parser::classic_operand_end() {
  // A number written against a name (2x) is, to the classic lexer, the
  // number, a product operator, and the name.
  if (pos_ == 0) return;
  const Token& t = toks_[pos_ - 1];
  const char c = text_[t.begin];
  if (!((c >= '0' && c <= '9') || c == '.') || (t.kind != Tok::kWord && t.kind != Tok::kNumber)) return;
  ClassicDepth& d = *classic_depth_;
  if (d.region == SIZE_MAX || d.product_at == pos_ - 1) return;
  const std::size_t n = classic_number_prefix(text_of(t));
  if (n == 0 || n >= t.end - t.begin) return;
  classic_depth_->product_at = pos_ - 1;
  Token product = t;
  product.kind = Tok::kStar;
  product.begin = static_cast<std::uint32_t>(t.begin + n);
  classic_climb(product);
}

// The classic parser reads a chain of set operators as runs of one operator
// and refuses more than 1,000 runs, at the operator that starts the next one
// (INTERSECT binds tighter and is not counted; EXCEPT and MINUS are one).
void Parser::classic_set_op_runs(const QueryBody* body) {
  std::vector<const SetOp*> ops;  // the chain, in the order written
  while (body->kind == BodyKind::kSetOp && static_cast<const SetOp*>(body)->op != "intersect") {
    ops.push_back(static_cast<const SetOp*>(body));
    body = ops.back()->left;
  }
  std::reverse(ops.begin(), ops.end());
  auto key = [](const SetOp* s) {
    return s->op == "union" ? (s->quantifier == "all" ? 1 : 0) : 2;
  };
  int runs = 1;
  for (std::size_t i = 1; i < ops.size(); ++i) {
    if (key(ops[i]) == key(ops[i - 1])) continue;
    if (++runs <= sql_parser::kMaxNestingDepth) continue;
    // The operator is the first token after its left operand.
    const std::uint32_t after = ops[i]->left->span.end;
    const auto at = std::lower_bound(toks_.begin(), toks_.begin() + static_cast<std::ptrdiff_t>(last_), after,
                                     [](const Token& t, std::uint32_t b) { return t.begin < b; });
    classic_fail(*at, kClassicDepthText);
  }
}

// ---- operators ----------------------------------------------------------------

// Whether the token continues an expression as a classic binary operator.
// A word operator the classic grammar lacks ends the expression there (it
// may be an alias, or the caller's error names what was due); a few
// operator forms fail at once.
bool Parser::classic_infix(const Token& t) {
  classic_operand_end();  // 2x: its product comes before what follows
  // The classic parser takes the operator, then finds no operand after it.
  auto refuse = [&](const Token& at) {
    classic_climb(t);
    classic_fail(at, "an expression");
  };
  if (t.kind == Tok::kStar) return true;
  if (t.kind == Tok::kOp) {
    // "< =" and "> =" written apart, and "< >", are not operators.
    if ((t.op == Op::kLt || t.op == Op::kGt) && (at_op(Op::kEq, 1) || (t.op == Op::kLt && at_op(Op::kGt, 1)))) {
      refuse(peek(1));
    }
    const bool binary = classic_operator(t.op) && t.op != Op::kTilde && t.op != Op::kDoubleColon;
    if (binary && at_kw(Kw::kAll, 1)) refuse(peek(1));  // x > all (..); a ~ all ends at the ~
    return binary;
  }
  if (t.kind != Tok::kWord) return false;
  switch (t.kw) {
    case Kw::kOr: case Kw::kAnd: case Kw::kIn: case Kw::kBetween: case Kw::kCollate: case Kw::kSimilar:
      return true;
    case Kw::kLike: case Kw::kRlike:
      if (at_kw(Kw::kAll, 1)) refuse(peek(1));
      return true;
    case Kw::kIs: {
      const std::size_t next = at_kw(Kw::kNot, 1) ? 2 : 1;
      if (at_kw(Kw::kDistinct, next)) refuse(peek(next));
      return true;
    }
    case Kw::kNot:
      if (at_kw(Kw::kLike, 1) || at_kw(Kw::kRlike, 1) || at_kw(Kw::kIn, 1) || at_kw(Kw::kBetween, 1) ||
          (at_kw(Kw::kSimilar, 1) && at_kw(Kw::kTo, 2))) {
        if (at_kw(Kw::kAll, 2)) refuse(peek(2));
        return true;
      }
      return false;
    default:
      return false;
  }
}

// The classic grammar takes a prefix operator only where the binding power
// of the operand position allows it: "-" not right after a prefix "-" or
// "~"; "~" not after + - * / % || or a prefix "-" / "~"; NOT only at the
// start of an expression or after AND / OR.
void Parser::classic_prefix(const Token& t) {
  const bool minus = t.kind == Tok::kOp && t.op == Op::kMinus;
  const bool tilde = t.kind == Tok::kOp && t.op == Op::kTilde;
  const bool negation = t.kind == Tok::kWord && t.kw == Kw::kNot;
  if (t.kind == Tok::kOp && t.op == Op::kPlus && at(Tok::kNumber, 1) && !(text_of(peek(1)).size() > 1 &&
                                                                        (text_of(peek(1))[1] | 0x20) == 'x')) {
    return;  // +6 is a number
  }
  if (!minus && !tilde && !negation) classic_fail(t, "an expression");
  bool ok = true;
  if (pos_ > 0) {
    const Token& p = toks_[pos_ - 1];
    const bool after_prefix = classic_prefix_at_ == pos_ - 1;
    if (after_prefix) {
      const bool after_minus = p.kind == Tok::kOp && p.op == Op::kMinus;
      const bool after_not = p.kind == Tok::kWord && p.kw == Kw::kNot;
      ok = after_minus ? false : after_not ? !negation : minus;  // after "~": only "-"
    } else if (p.kind == Tok::kOp || p.kind == Tok::kStar) {
      const bool additive = p.kind == Tok::kStar || p.op == Op::kPlus || p.op == Op::kMinus ||
                            p.op == Op::kSlash || p.op == Op::kPercent || p.op == Op::kConcat;
      ok = !negation && !(tilde && additive);
    } else if (p.kind == Tok::kWord) {
      switch (p.kw) {
        case Kw::kOr:
          break;
        case Kw::kAnd:
          ok = !(negation && classic_bound_at_ == pos_);
          break;
        case Kw::kLike: case Kw::kRlike: case Kw::kBetween: case Kw::kIs: case Kw::kTo: case Kw::kIn:
        case Kw::kNot:  // the NOT of "is not" (a prefix NOT is after_prefix)
          ok = !negation;
          break;
        default:
          break;
      }
    }
  }
  if (!ok) classic_fail(t, "an expression");
  classic_prefix_at_ = pos_;
  // The operator holds one level while its operand, read at the classic
  // binding power, goes on.
  ClassicDepth::Frame* top = classic_depth_->top();
  if (top == nullptr) return;
  const ClassicDepth::Frame& in = *top;
  using sql_parser::kBpMul;
  using sql_parser::kBpNeg;
  const int operand = minus ? (in.tight && in.min_bp > kBpNeg ? int{in.min_bp} : int{kBpMul})
                    : negation ? sql_parser::kBpNot + 1 : sql_parser::kBpBitNot + 1;
  classic_nest_enter(t);
  ClassicDepth::Frame f = ClassicDepth::frame(operand);
  f.levels = 1;
  classic_depth_->frames.push_back(f);
}

// ---- queries ------------------------------------------------------------------

Statement* Parser::classic_statement(std::uint32_t begin) {
  ClassicDepth depth;
  struct Run {
    Parser& p;
    ~Run() {
      p.classic_depth_ = nullptr;
      p.depth_ += kClassicGuardSlack;
    }
  } run{*this};
  classic_depth_ = &depth;
  depth_ -= kClassicGuardSlack;
  if (!at_kw(Kw::kWith) && !at_kw(Kw::kSelect)) classic_fail(peek(), "SELECT or WITH");
  auto* s = node<SelectStatement>(begin);
  s->kind = StatementKind::kSelect;
  s->query = classic_query(true);
  // Only ";" and white space may follow: one statement per text, and no
  // comment after its ";" (the classic lexer trims only those off the end).
  if (!at_end()) {
    std::size_t i = 0;
    while (at(Tok::kSemicolon, i)) ++i;
    if (i == 0 || !at_end(i)) classic_fail(peek(), "end of text");
    for (std::size_t k = peek().begin; k < text_.size(); ++k) {
      const unsigned char c = static_cast<unsigned char>(text_[k]);
      if (c != ';' && c != ' ' && (c < '\t' || c > '\r')) classic_fail(peek(), "end of text");
    }
    set_pos(pos_ + i);
  }
  return finish(s);
}

Query* Parser::classic_query(bool with_ok) {
  DepthGuard guard(*this);
  const std::uint32_t begin = here();
  Query* q = arena_.make<Query>();
  if (with_ok && at_kw(Kw::kWith)) {
    q->with = classic_with();
    if (!at_kw(Kw::kSelect)) classic_fail(peek(), "SELECT");
  } else if (!at_kw(Kw::kSelect)) {
    classic_fail(peek(), "SELECT");
  }
  q->body = classic_body(0);
  if (at_kw(Kw::kOrder)) {
    advance();
    if (!accept_kw(Kw::kBy)) classic_fail(peek(), "BY");
    q->order_by = classic_sort_items();
  }
  if (accept_kw(Kw::kLimit)) q->limit = expr();
  if (accept_kw(Kw::kOffset)) q->offset = expr();
  classic_set_op_runs(q->body);
  q->span = span_from(begin);
  return q;
}

With* Parser::classic_with() {
  const std::uint32_t begin = here();
  advance();  // WITH
  With* w = arena_.make<With>();
  SmallVec<Cte> ctes;
  do {
    Cte c;
    const std::uint32_t cb = here();
    if (!classic_name_token(peek())) classic_fail(peek(), "a name");
    c.name = ident_of(peek());
    advance();
    SmallVec<Ident> more;  // with a.b as (..): any word may follow the dot
    while (at(Tok::kDot)) {
      advance();
      if (!at(Tok::kWord) && !at(Tok::kQuotedName)) classic_fail(peek(), "a name");  // (or the lexer's error)
      more.push_back(ident_of(peek()));
      advance();
    }
    if (!more.empty()) c.name_more = arena_.list(more);
    if (!accept_kw(Kw::kAs)) classic_fail(peek(), "AS");
    ClassicNest nest(*this);
    if (!accept(Tok::kLParen)) classic_fail(peek(), "\"(\"");
    if (!at_kw(Kw::kSelect) && !at_kw(Kw::kWith)) classic_fail(peek(), "SELECT or WITH");
    c.query = classic_query(true);
    if (!accept(Tok::kRParen)) classic_fail(peek(), "\")\"");
    c.span = span_from(cb);
    ctes.push_back(c);
  } while (accept(Tok::kComma));
  w->ctes = arena_.list(ctes);
  w->span = span_from(begin);
  return w;
}

// Set operations: INTERSECT binds tighter than UNION / EXCEPT / MINUS, and
// INTERSECT / EXCEPT / MINUS are operators only before SELECT.
QueryBody* Parser::classic_body(int min_prec) {
  DepthGuard guard(*this, /*counts=*/false);
  const std::uint32_t begin = here();
  QueryBody* left = classic_select();
  for (;;) {
    const Token& t = peek();
    int prec = 0;
    if (t.kind == Tok::kWord && t.kw == Kw::kUnion) {
      prec = 1;
    } else if (t.kind == Tok::kWord && at_kw(Kw::kSelect, 1)) {
      prec = t.kw == Kw::kIntersect ? 2 : (t.kw == Kw::kExcept || t.kw == Kw::kMinus) ? 1 : 0;
    }
    if (prec == 0 || prec <= min_prec) break;
    SetOp* s = node<SetOp>(begin);
    s->kind = BodyKind::kSetOp;
    s->op = t.kw == Kw::kUnion ? "union" : t.kw == Kw::kIntersect ? "intersect"
          : t.kw == Kw::kExcept ? "except" : "minus";
    advance();
    if (s->op == "union" && accept_kw(Kw::kAll)) s->quantifier = "all";
    if (!at_kw(Kw::kSelect)) classic_fail(peek(), "SELECT");
    s->left = left;
    s->right = classic_body(prec);
    s->span = span_from(begin);
    left = s;
  }
  return left;
}

Select* Parser::classic_select() {
  const std::uint32_t begin = here();
  if (!accept_kw(Kw::kSelect)) classic_fail(peek(), "SELECT");
  Select* s = node<Select>(begin);
  s->kind = BodyKind::kSelect;
  auto at_top = [&] { return at_kw(Kw::kTop) && (at(Tok::kNumber, 1) || at(Tok::kLParen, 1)); };
  auto top = [&] {
    advance();
    if (at(Tok::kNumber)) {
      s->top = primary();
    } else {
      DepthGuard nest(*this);
      ClassicNest level(*this);
      const std::uint32_t pb = here();
      advance();
      Expr* value = expr();
      if (!accept(Tok::kRParen)) classic_fail(peek(), "\")\"");
      Paren* p = node<Paren>(pb);
      p->kind = ExprKind::kParen;
      p->inner = value;
      s->top = finish(p);
    }
    if (accept_kw(Kw::kPercent)) s->top_percent = true;
    if (at_kw(Kw::kWith) && at_kw(Kw::kTies, 1)) {
      advance();
      advance();
      s->top_with_ties = true;
    }
  };
  if (at_top()) top();
  if (accept_kw(Kw::kDistinct)) {
    s->distinct = "distinct";
    if (s->top == nullptr && at_top()) top();
  }
  SmallVec<SelectItem> items;
  SmallVec<List<Ident>> alias_more;
  bool dotted = false;
  do {
    SelectItem item;
    List<Ident> more;
    const std::uint32_t ib = here();
    if (at(Tok::kStar) && peek().end > peek().begin) {  // not the product of 5x (top 5x)
      Star* star = node<Star>(ib);
      star->kind = ExprKind::kStar;
      advance();
      item.expr = finish(star);
    } else {
      item.expr = expr();
      classic_item_tail(item);
      item.alias = classic_alias(&item.as_keyword, &more);
      dotted = dotted || !more.empty();
    }
    item.span = span_from(ib);
    items.push_back(item);
    alias_more.push_back(more);
  } while (accept(Tok::kComma));
  s->items = arena_.list(items);
  if (dotted) s->item_alias_more = arena_.list(alias_more);
  if (at_kw(Kw::kFrom)) {
    advance();
    s->from = classic_from();
  }
  if (accept_kw(Kw::kWhere)) s->where = expr();
  if (at_kw(Kw::kGroup)) {
    advance();
    if (!accept_kw(Kw::kBy)) classic_fail(peek(), "BY");
    SmallVec<Expr*> groups;
    SmallVec<Name> names;
    bool named = false;
    do {
      groups.push_back(expr());
      bool as_keyword = false;
      Name name;  // group by a as g
      const std::uint32_t nb = here();
      List<Ident> more;
      const Ident alias = classic_alias(&as_keyword, &more);
      if (!alias.text.empty()) {
        SmallVec<Ident> parts{alias};
        for (const Ident& p : more) parts.push_back(p);
        name.parts = arena_.list(parts);
        name.span = span_from(nb);
        named = true;
      }
      names.push_back(name);
    } while (accept(Tok::kComma));
    s->group_by = arena_.list(groups);
    if (named) s->group_by_aliases = arena_.list(names);
  }
  if (accept_kw(Kw::kHaving)) s->having = expr();
  return finish(s);
}

List<OrderItem> Parser::classic_sort_items() {
  SmallVec<OrderItem> items;
  do {
    OrderItem item;
    const std::uint32_t ib = here();
    item.expr = expr();
    if (accept_kw(Kw::kAsc)) {
      item.direction = "asc";
    } else if (accept_kw(Kw::kDesc)) {
      item.direction = "desc";
    }
    item.span = span_from(ib);
    items.push_back(item);
  } while (accept(Tok::kComma));
  return arena_.list(items);
}

// ---- FROM -----------------------------------------------------------------------

List<TableRef*> Parser::classic_from() {
  SmallVec<TableRef*> items;
  items.push_back(classic_source());
  for (;;) {
    if (accept(Tok::kComma)) {
      items.push_back(classic_source());
    } else if (classic_at_join(0)) {
      items.back() = classic_join(items.back());
    } else {
      break;
    }
  }
  return arena_.list(items);
}

bool Parser::classic_at_join(std::size_t ahead) const {
  const Token& t = peek(ahead);
  if (t.kind != Tok::kWord) return false;
  switch (t.kw) {
    case Kw::kJoin: case Kw::kInner: case Kw::kLeft: case Kw::kRight: case Kw::kFull: case Kw::kCross:
      return true;
    case Kw::kNatural:
      return ahead == 0 && classic_at_join(1);
    default:
      return false;
  }
}

TableRef* Parser::classic_source() {
  DepthGuard guard(*this, /*counts=*/false);
  const std::uint32_t begin = here();
  TableRef* t = nullptr;
  if (at(Tok::kLParen)) {
    ClassicNest nest(*this);
    advance();
    if (!at_kw(Kw::kSelect)) classic_fail(peek(), "SELECT");
    DerivedTable* d = node<DerivedTable>(begin);
    d->kind = TableKind::kDerived;
    d->query = classic_query(false);
    if (!accept(Tok::kRParen)) classic_fail(peek(), "\")\"");
    t = finish(d);
  } else if (classic_name_token(peek())) {
    Name n = name();
    if (at(Tok::kLParen)) {
      TableFunction* f = node<TableFunction>(begin);
      f->kind = TableKind::kFunction;
      f->call = function_call(n, begin);
      t = finish(f);
    } else {
      NamedTable* named = node<NamedTable>(begin);
      named->kind = TableKind::kNamed;
      named->name = n;
      t = finish(named);
    }
  } else {
    classic_fail(peek(), "a table name or a sub-query");
  }
  bool as_keyword = false;
  List<Ident> more;
  Ident alias = classic_alias(&as_keyword, &more);
  if (alias.text.empty()) return t;
  Alias* a = arena_.make<Alias>();
  a->name = alias;
  a->name_more = more;
  a->as_keyword = as_keyword;
  if (at(Tok::kLParen)) {
    DepthGuard nest(*this);
    ClassicNest level(*this);
    advance();
    SmallVec<Ident> cols;
    SmallVec<List<Ident>> cols_more;
    const bool dotted = classic_name_list(cols, cols_more);
    if (!accept(Tok::kRParen)) classic_fail(peek(), "\",\" or \")\"");
    a->columns = arena_.list(cols);
    if (dotted) a->columns_more = arena_.list(cols_more);
  }
  t->alias = a;
  t->span = span_from(begin);
  return t;
}

// The further parts of a dotted name after its first (.b.c): any word or
// quoted name follows a dot there.
List<Ident> Parser::classic_name_parts() {
  SmallVec<Ident> parts;
  while (at(Tok::kDot)) {
    if (!at(Tok::kWord, 1) && !at(Tok::kQuotedName, 1)) classic_fail(peek(1), "a name");
    advance();
    parts.push_back(ident_of(peek()));
    advance();
  }
  return arena_.list(parts);
}

// A comma-separated list of dotted names (t w (a, b.c), using (a.b)): per
// name its first part and its further parts. Whether any name is dotted.
bool Parser::classic_name_list(SmallVec<Ident>& names, SmallVec<List<Ident>>& more) {
  bool dotted = false;
  do {
    if (!classic_name_token(peek())) classic_fail(peek(), "a name");
    names.push_back(ident_of(peek()));
    advance();
    more.push_back(classic_name_parts());
    dotted = dotted || !more.back().empty();
  } while (accept(Tok::kComma));
  return dotted;
}

TableRef* Parser::classic_join(TableRef* left) {
  const std::size_t from = pos_;
  accept_kw(Kw::kNatural);
  const Token k = peek();
  advance();
  switch (k.kw) {
    case Kw::kJoin:
      break;
    case Kw::kInner: case Kw::kCross:
      if (!accept_kw(Kw::kJoin)) classic_fail(peek(), "JOIN");
      break;
    case Kw::kLeft: case Kw::kRight: case Kw::kFull: {
      const bool outer = accept_kw(Kw::kOuter);
      if (!accept_kw(Kw::kJoin)) classic_fail(peek(), outer ? "JOIN" : "OUTER or JOIN");
      break;
    }
    default:
      classic_fail(k, "JOIN");
  }
  Join* j = node<Join>(left->span.begin);
  j->kind = TableKind::kJoin;
  j->type = lower_words(from);
  j->left = left;
  j->right = classic_source();
  if (accept_kw(Kw::kOn)) {
    j->on = expr();
  } else if (at_kw(Kw::kUsing)) {
    advance();
    DepthGuard nest(*this);
    ClassicNest level(*this);
    if (!accept(Tok::kLParen)) classic_fail(peek(), "\"(\"");
    SmallVec<Ident> cols;
    SmallVec<List<Ident>> cols_more;
    const bool dotted = classic_name_list(cols, cols_more);
    if (!accept(Tok::kRParen)) classic_fail(peek(), "\",\" or \")\"");
    j->using_columns = arena_.list(cols);
    if (dotted) j->classic_using_more = arena_.list(cols_more);
  }
  return finish(j);
}

// ---- types, intervals, typed literals, calls ---------------------------------

// A classic type: one of the classic type words (double precision), with
// optional parameters in parentheses, and nothing more.
TypeName* Parser::classic_type_name() {
  const Token& t = peek();
  if (t.kind != Tok::kWord || !sql_parser::is_type_name(sql_parser::ascii_lower(text_of(t)))) {
    classic_fail(t, "a type name");
  }
  std::size_t end = pos_ + 1;
  if (equals_lower(text_of(t), "double") && at_word("precision", 1)) ++end;
  const std::size_t start = pos_;
  const std::size_t name_tokens = end - start;
  if (end < last_ && toks_[end].kind == Tok::kLParen) {
    // The classic parameters are expressions, and the type ends after them.
    const std::uint32_t begin = here();
    ClassicNest level(*this, end - pos_);
    set_pos(end + 1);
    SmallVec<Expr*> params;
    do {
      params.push_back(expr());
    } while (accept(Tok::kComma));
    if (!accept(Tok::kRParen)) classic_fail(peek(), "\")\"");
    TypeName* type = arena_.make<TypeName>();
    type->name = name_tokens == 1 ? text_of(toks_[start])
                                  : arena_.copy(std::string(text_of(toks_[start])) + " " +
                                                std::string(text_of(toks_[start + 1])));
    type->classic_params = arena_.list(params);
    type->span = span_from(begin);
    return type;
  }
  // No parameters: the classic type is its name alone, and what follows
  // (with time zone, unsigned, int[], array<int>, a dot) is read by the
  // caller (an alias, an operator, or the error).
  const std::uint32_t begin = here();
  TypeName* type = arena_.make<TypeName>();
  type->name = name_tokens == 1 ? text_of(toks_[start])
                                : arena_.copy(std::string(text_of(toks_[start])) + " " +
                                              std::string(text_of(toks_[start + 1])));
  set_pos(end);
  type->span = span_from(begin);
  return type;
}

// A BETWEEN bound: comparisons (= < ..) bind tighter than BETWEEN there.
Expr* Parser::classic_bound() {
  const std::uint32_t begin = here();
  classic_bound_at_ = pos_;
  ClassicDepth& d = *classic_depth_;
  if (d.top() != nullptr) {
    // The classic parse_expr of a bound; at the AND, the low one has returned.
    if (pos_ > 0 && toks_[pos_ - 1].kind == Tok::kWord && toks_[pos_ - 1].kw == Kw::kAnd) {
      std::size_t low = d.frames.size();
      while (low > d.region + 1 && !d.frames[low - 1].bound) --low;
      Token at;
      if (d.frames[low - 1].bound && !d.pop_to(low - 1, &at)) classic_fail(at, kClassicDepthText);
    }
    ClassicDepth::Frame bound = ClassicDepth::frame(sql_parser::kBpEq);
    bound.bound = true;
    d.frames.push_back(bound);
  }
  Expr* e = expr_bp(kPrecCompare);
  for (;;) {
    const Token& t = peek();
    if (t.kind != Tok::kOp) {
      classic_operand_end();
      return e;
    }
    switch (t.op) {
      case Op::kEq: case Op::kEqEq: case Op::kNeq: case Op::kLt: case Op::kGt: case Op::kLe: case Op::kGe:
        if (!classic_infix(t)) return e;  // refuses "< =" and "< >" written apart
        e = infix(e, kPrecCompare, begin);
        break;
      default:
        classic_operand_end();
        return e;
    }
  }
}

// "::" binds tightest of all classic operators, also after an operator
// form the statement grammar ends (x in (..)::int, a collate nocase::int).
Expr* Parser::classic_cast(Expr* operand, std::uint32_t begin) {
  classic_climb(peek());
  advance();  // ::
  Cast* c = node<Cast>(begin);
  c->kind = ExprKind::kCast;
  c->style = "::";
  c->operand = operand;
  c->type = type_name();
  return finish(c);
}

// INTERVAL n unit, or INTERVAL 'n unit[, n unit ..]'.
Expr* Parser::classic_interval() {
  const Token& amount = peek(1);
  std::size_t end = pos_ + 2;
  const std::string_view text = text_of(amount);
  if (amount.kind == Tok::kNumber && !(text.size() > 1 && (text[1] | 0x20) == 'x')) {
    classic_number(amount);  // the amount is read before its unit
    const Token& unit = peek(2);
    if (unit.kind != Tok::kWord || sql_parser::interval_unit(text_of(unit)).empty()) {
      classic_fail(unit, "an interval unit");
    }
    end = pos_ + 3;
  } else if (amount.kind == Tok::kString) {
    std::string_view body = text.substr(1, text.size() - 2);
    for (;;) {
      const std::size_t comma = body.find(',');
      Node value;
      std::string_view unit;
      if (!sql_parser::parse_interval_piece(body.substr(0, comma), &value, &unit)) {
        classic_fail(amount, "an interval such as '3 day'");
      }
      if (comma == std::string_view::npos) break;
      body.remove_prefix(comma + 1);
    }
  } else {
    classic_fail(amount, "an interval amount");
  }
  // Built here: the shared reading would take a unit after the string
  // (interval '1 day' y) or a cast into the value (interval '1 day'::date).
  Interval* iv = node<Interval>(here());
  iv->kind = ExprKind::kInterval;
  advance();
  iv->value = primary();
  if (pos_ + 1 == end) {
    iv->unit = text_of(peek());
    advance();
  }
  return finish(iv);
}

bool Parser::classic_literal_type(const Token& t, std::size_t type_words) const {
  return type_words == 1 && sql_parser::is_datetime_type(sql_parser::ascii_lower(text_of(t)));
}

// An integer of more than 4,300 digits (1e5000 too) is refused where it is
// read, as the classic parser refuses it.
void Parser::classic_number(const Token& t) const {
  const std::string_view s = text_of(t);
  if (s.size() > 1 && (s[1] | 0x20) == 'x') return;  // hex
  if (s.find('.') != std::string_view::npos) return;  // a float
  const std::size_t e = s.find_first_of("eE");
  const std::string_view mantissa = s.substr(0, e);
  const std::size_t first = mantissa.find_first_not_of('0');
  if (first == std::string_view::npos) return;
  std::size_t zeros = 0;
  if (e != std::string_view::npos) {
    std::string_view exp = s.substr(e + 1);
    if (!exp.empty() && exp[0] == '-') return;  // a float
    if (!exp.empty() && exp[0] == '+') exp.remove_prefix(1);
    const std::size_t exp_digits = exp.find_first_not_of('0');
    if (exp_digits != std::string_view::npos) {
      if (exp.size() - exp_digits > 5) classic_fail(t, "a number of at most 4300 digits");
      std::from_chars(exp.data() + exp_digits, exp.data() + exp.size(), zeros);
    }
  }
  if (mantissa.size() - first + zeros > sql_parser::kMaxIntegerDigits) {
    classic_fail(t, "a number of at most 4300 digits");
  }
}

// An argument after DISTINCT: a select item, so * or a value with an alias
// ("ignore" too).
Expr* Parser::classic_distinct_arg(SmallVec<SelectItem>& items, SmallVec<List<Ident>>& alias_more) {
  SelectItem item;
  List<Ident> more;
  const std::uint32_t begin = here();
  if (at(Tok::kStar) && peek().end > peek().begin) {
    Star* star = node<Star>(begin);
    star->kind = ExprKind::kStar;
    advance();
    item.expr = finish(star);
  } else {
    item.expr = function_arg();
    classic_item_tail(item);
    if (at_kw(Kw::kAs) || classic_at_bare_alias()) item.alias = classic_alias(&item.as_keyword, &more);
  }
  item.span = span_from(begin);
  items.push_back(item);
  alias_more.push_back(more);
  return item.expr;
}

// After a call's arguments: only IGNORE NULLS may come before the ")".
void Parser::classic_call_end(Function* f) {
  if (!f->quantifier.empty() && f->args.empty()) classic_fail(peek(), "an expression");  // count(distinct)
  if (at_kw(Kw::kIgnore) && at_kw(Kw::kNulls, 1)) {
    f->null_treatment = "ignore nulls";
    f->null_treatment_inside = true;
    advance();
    advance();
  }
  if (!at(Tok::kRParen)) classic_fail(peek(), "\")\"");
}

// WITHIN GROUP (ORDER BY ..) and OVER (..) follow a select item's value,
// which must then be a call.
void Parser::classic_item_tail(SelectItem& item) {
  if (!at_kw(Kw::kWithin) && !at_kw(Kw::kOver)) return;
  Function* f = nullptr;
  if (item.expr->kind == ExprKind::kFunction) {
    f = static_cast<Function*>(item.expr);
  } else {
    // a + f(b) over (..): the window belongs to the whole value.
    f = node<Function>(here());
    item.value_window = f;
  }
  if (accept_kw(Kw::kWithin)) {
    if (!accept_kw(Kw::kGroup)) classic_fail(peek(), "GROUP");
    DepthGuard nest(*this);
    ClassicNest level(*this);
    if (!accept(Tok::kLParen)) classic_fail(peek(), "\"(\"");
    if (!accept_kw(Kw::kOrder)) classic_fail(peek(), "ORDER BY");
    if (!accept_kw(Kw::kBy)) classic_fail(peek(), "BY");
    f->within_group = classic_sort_items();
    if (!accept(Tok::kRParen)) classic_fail(peek(), "\")\"");
  }
  if (accept_kw(Kw::kOver)) {
    ClassicNest level(*this);
    if (!at(Tok::kLParen)) classic_fail(peek(), "\"(\"");
    // A frame's bound is a number to the classic parser: whatever the
    // shared grammar reads on after it holds no levels.
    struct Outside {
      ClassicDepth& d;
      std::size_t region;
      ~Outside() { d.region = region; }
    } outside{*classic_depth_, classic_depth_->region};
    classic_depth_->region = SIZE_MAX;
    f->over = window_spec();
  }
  f->span.end = prev_end();
}

}  // namespace sqlparse::syntax
