// Tokens of a SQL script, in one pass over the text.
//
// The whole script is tokenised up front (the grammar looks several tokens
// ahead in places, and statements are split on tokens, so that a ";" inside
// a string, a quoted name or a comment never splits). Comments and hints are
// dropped here. Tokens refer to the text by byte offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "syntax/dialect.h"
#include "syntax/keywords.h"

namespace sqlparse::syntax {

enum class Tok : std::uint8_t {
  kEnd,
  kError,       // see LexError
  kWord,        // unquoted name or keyword
  kQuotedName,  // "x", `x`, [x]
  kString,      // 'x', N'x', E'x', $$x$$, "x" where that is a string, r'x', b'x'
  kNumber,
  kParam,       // ?, ?1, $1, ${x}, @x, @@x, %s, %(x)s
  kOp,          // see Op
  kLParen,
  kRParen,
  kLBracket,
  kRBracket,
  kLBrace,
  kRBrace,
  kComma,
  kDot,
  kSemicolon,
  kStar,
};

enum class Op : std::uint8_t {
  kNone,
  kPlus, kMinus, kSlash, kPercent, kConcat, kDoubleColon, kColon, kEq, kEqEq, kNeq, kLt, kGt,
  kLe, kGe, kNullSafeEq, kArrow, kLongArrow, kHashArrow, kHashLongArrow, kContains,
  kContainedBy, kTilde, kTildeStar, kNotTilde, kNotTildeStar, kDoubleTilde, kNotDoubleTilde,
  kBang, kAmp, kPipe, kCaret, kHash, kShiftLeft, kShiftRight, kFatArrow, kColonEq, kPipeGt,
  kAndAnd, kAt, kAtAt, kQuestionPipe, kQuestionAmp, kSqrt, kCbrt, kDoubleBang, kHashMinus,
  kOverlap,         // -|-
  kCompoundAssign,  // += -= *= /= %= &= |= ^= (T-SQL)
  kCustom,          // any other run of operator characters (Postgres: <->, &<, |>>, ~=)
};

enum class LexError : std::uint8_t {
  kBadChar,
  kUnterminatedString,
  kUnterminatedName,
  kUnterminatedComment,
};

struct Token {
  Tok kind = Tok::kEnd;
  Op op = Op::kNone;
  Kw kw = Kw::kNone;       // kWord only
  std::uint8_t sub = 0;    // LexError for kError; quote/prefix char for kString/kQuotedName
  bool spaced = true;      // white space or a comment stands right before the token
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
};

// A growable array of tokens that the scanner writes straight into (a
// vector would be filled through a copy or a capacity check per token).
class TokenArray {
 public:
  TokenArray() = default;
  ~TokenArray() {
    if (data_ != nullptr) ::operator delete(data_);
  }
  TokenArray(const TokenArray&) = delete;
  TokenArray& operator=(const TokenArray&) = delete;

  Token* data() const { return data_; }
  Token* begin() const { return data_; }
  Token* end() const { return data_ + size_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  void clear() { size_ = 0; }
  // Room for at least `n` tokens after the first size().
  void reserve_more(std::size_t n) {
    if (capacity_ - size_ < n) grow(size_ + n);
  }
  // The first `n` tokens (n <= capacity(), those past size() written since).
  void set_size(std::size_t n) { size_ = n; }
  void push_back(const Token& t) {
    reserve_more(1);
    data_[size_++] = t;
  }
  // Frees the storage.
  void release();

 private:
  void grow(std::size_t at_least);

  Token* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Tokenises `text`. The result always ends with one kEnd token (at the end of
// the text); a kError token, when present, is the last before it.
std::vector<Token> tokenize(std::string_view text, const Dialect& dialect);
// The same into `out` (cleared first), whose capacity a caller may reuse.
void tokenize(std::string_view text, const Dialect& dialect, std::vector<Token>& out);

// Zero bytes that tokenize_padded needs after the text: the scanner then
// reads ahead (sixteen bytes at a time) without checking for the end.
inline constexpr std::size_t kTextPadding = 32;
// tokenize() of a text followed in memory by kTextPadding zero bytes. With
// `lead`, one more kEnd token (at offset 0) comes first: the parser reads it
// as the token before the text's first.
void tokenize_padded(std::string_view text, const Dialect& dialect, std::vector<Token>& out, bool lead = false);
// The same into `out` (cleared first), with `end_copies` more copies of the
// closing kEnd token after it (the parser asks for kParserLookahead).
inline constexpr std::size_t kParserLookahead = 8;
void tokenize_padded(std::string_view text, const Dialect& dialect, TokenArray& out, bool lead,
                     std::size_t end_copies);

}  // namespace sqlparse::syntax
