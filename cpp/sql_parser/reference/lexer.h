// Tokens of the SQL text, produced on demand with a few tokens of lookahead.
//
// Tokens refer to the input by byte offsets; the text of names and literals is
// only copied (and unescaped) when the parser builds a node from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sql_parser/text.h"

namespace sqlparse::sql_parser {

enum class Tok : std::uint8_t {
  kEnd,
  kError,       // a character or sequence that cannot start a token
  kWord,        // unquoted name or keyword (see Token::kw)
  kQuotedName,  // "name", `name` or [name]
  kString,      // 'text'
  kNumber,      // see NumberKind
  kLParen,
  kRParen,
  kComma,
  kDot,
  kStar,
  kPlus,
  kMinus,
  kSlash,
  kPercent,
  kConcat,       // ||
  kDoubleColon,  // ::
  kEq,           // = or ==
  kNeq,          // != or <>
  kLt,
  kGt,
  kLe,
  kGe,
  kAmp,
  kPipe,
  kTilde,
  kImplicitMul,  // between a number and a name written against it: 2x
};

enum class NumberKind : std::uint8_t { kInt, kIntExponent, kFloat, kHex };

// Why a kError token cannot start a token.
enum class LexError : std::uint8_t {
  kBadChar,
  kBlockComment,
  kUnterminatedString,
  kUnterminatedName,
  kBadEscape,
  kSubscript,  // [ written against a name or ")": a subscript, not a quoted name
};

// Keywords the grammar recognises. Words up to kLastReserved are reserved:
// they are never names or aliases unless quoted.
enum class Kw : std::uint8_t {
  kNone,
  kAll, kAnd, kAs, kAsc, kBetween, kBy, kCase, kCast, kCollate, kCross, kDesc, kDistinct,
  kElse, kEnd, kFalse, kFrom, kFull, kGroup, kHaving, kIn, kInner, kInterval, kIs, kJoin,
  kLeft, kLike, kLimit, kNocase, kNot, kNull, kOffset, kOn, kOr, kOrder, kOuter, kOver,
  kPartition, kRight, kRlike, kSelect, kThen, kTrue, kUnion, kUsing, kWhen, kWhere, kWith,
  kWithin,
  kLastReserved = kWithin,
  // Words with a meaning in some positions only; elsewhere they are names.
  kCurrent, kExcept, kFollowing, kIgnore, kIntersect, kMinus, kNatural, kNulls, kPercent,
  kPreceding, kPrecision, kRange, kRow, kRows, kSimilar, kTies, kTo, kTop, kUnbounded,
};

inline bool is_reserved(Kw kw) { return kw != Kw::kNone && kw <= Kw::kLastReserved; }

struct Token {
  Tok kind = Tok::kEnd;
  Kw kw = Kw::kNone;
  std::uint8_t sub = 0;      // NumberKind, LexError, or for names/strings: 1 when escapes occur
  char quote = 0;            // opening quote of kString / kQuotedName
  std::size_t begin = 0;     // byte offsets into the text
  std::size_t end = 0;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text);

  const Token& peek(int ahead = 0) {
    while (count_ <= ahead) fill();
    return buf_[(head_ + ahead) & kMask];
  }
  void advance() {
    if (count_ == 0) fill();
    head_ = (head_ + 1) & kMask;
    --count_;
  }
  std::string_view text() const { return text_; }
  std::string_view text_of(const Token& t) const { return text_.substr(t.begin, t.end - t.begin); }
  // End of the meaningful text (trailing white space and ";" excluded).
  std::size_t limit() const { return limit_; }

 private:
  static constexpr int kSize = 4;
  static constexpr int kMask = kSize - 1;
  void fill();
  Token scan();
  void skip_space_and_comments();
  Token scan_number(std::size_t start);
  Token scan_quoted(std::size_t start, char open, char close, Tok kind);
  Token scan_word(std::size_t start);

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t limit_ = 0;
  bool pending_mul_ = false;  // a number ended right before a name
  Tok prev_kind_ = Tok::kEnd;  // the token before, and where it ended
  std::size_t prev_end_ = 0;
  Token buf_[kSize];
  int head_ = 0;
  int count_ = 0;
};

}  // namespace sqlparse::sql_parser
