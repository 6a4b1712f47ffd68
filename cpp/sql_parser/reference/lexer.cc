#include "sql_parser/reference/lexer.h"
#include "sql_parser/text.h"
#include "sql_parser/reserved_words.h"

#include <algorithm>
#include <array>

namespace sqlparse::sql_parser {
namespace {

struct KeywordEntry {
  std::string_view name;
  Kw kw;
};

// Sorted by name (checked at compile time below).
constexpr KeywordEntry kKeywords[] = {
    {"all", Kw::kAll},
    {"and", Kw::kAnd},
    {"as", Kw::kAs},
    {"asc", Kw::kAsc},
    {"between", Kw::kBetween},
    {"by", Kw::kBy},
    {"case", Kw::kCase},
    {"cast", Kw::kCast},
    {"collate", Kw::kCollate},
    {"cross", Kw::kCross},
    {"current", Kw::kCurrent},
    {"desc", Kw::kDesc},
    {"distinct", Kw::kDistinct},
    {"else", Kw::kElse},
    {"end", Kw::kEnd},
    {"except", Kw::kExcept},
    {"false", Kw::kFalse},
    {"following", Kw::kFollowing},
    {"from", Kw::kFrom},
    {"full", Kw::kFull},
    {"group", Kw::kGroup},
    {"having", Kw::kHaving},
    {"ignore", Kw::kIgnore},
    {"in", Kw::kIn},
    {"inner", Kw::kInner},
    {"intersect", Kw::kIntersect},
    {"interval", Kw::kInterval},
    {"is", Kw::kIs},
    {"join", Kw::kJoin},
    {"left", Kw::kLeft},
    {"like", Kw::kLike},
    {"limit", Kw::kLimit},
    {"minus", Kw::kMinus},
    {"natural", Kw::kNatural},
    {"nocase", Kw::kNocase},
    {"not", Kw::kNot},
    {"null", Kw::kNull},
    {"nulls", Kw::kNulls},
    {"offset", Kw::kOffset},
    {"on", Kw::kOn},
    {"or", Kw::kOr},
    {"order", Kw::kOrder},
    {"outer", Kw::kOuter},
    {"over", Kw::kOver},
    {"partition", Kw::kPartition},
    {"percent", Kw::kPercent},
    {"preceding", Kw::kPreceding},
    {"precision", Kw::kPrecision},
    {"range", Kw::kRange},
    {"right", Kw::kRight},
    {"rlike", Kw::kRlike},
    {"row", Kw::kRow},
    {"rows", Kw::kRows},
    {"select", Kw::kSelect},
    {"similar", Kw::kSimilar},
    {"then", Kw::kThen},
    {"ties", Kw::kTies},
    {"to", Kw::kTo},
    {"top", Kw::kTop},
    {"true", Kw::kTrue},
    {"unbounded", Kw::kUnbounded},
    {"union", Kw::kUnion},
    {"using", Kw::kUsing},
    {"when", Kw::kWhen},
    {"where", Kw::kWhere},
    {"with", Kw::kWith},
    {"within", Kw::kWithin},
};

constexpr bool keywords_sorted() {
  for (std::size_t i = 1; i < std::size(kKeywords); ++i) {
    if (!(kKeywords[i - 1].name < kKeywords[i].name)) return false;
  }
  return true;
}
static_assert(keywords_sorted(), "kKeywords must be sorted by name");

// The reserved keywords (up to Kw::kLastReserved) are exactly the shared list.
constexpr bool reserved_words_shared() {
  std::size_t reserved = 0;
  for (const KeywordEntry& e : kKeywords) {
    const bool listed = std::binary_search(std::begin(kClassicReserved), std::end(kClassicReserved), e.name);
    if (listed != (e.kw <= Kw::kLastReserved)) return false;
    reserved += listed ? 1 : 0;
  }
  return reserved == std::size(kClassicReserved) &&
         reserved == static_cast<std::size_t>(Kw::kLastReserved);
}
static_assert(reserved_words_shared(), "reserved keywords must be those of reserved_words.h");

constexpr std::size_t kLongestKeyword = 9;

// For each first letter, the range of kKeywords starting with it.
struct LetterRange {
  std::uint8_t begin = 0, end = 0;
};
constexpr std::array<LetterRange, 26> make_letter_index() {
  std::array<LetterRange, 26> index{};
  for (std::size_t i = 0; i < std::size(kKeywords); ++i) {
    auto& r = index[static_cast<std::size_t>(kKeywords[i].name[0] - 'a')];
    if (r.begin == r.end) r.begin = static_cast<std::uint8_t>(i);
    r.end = static_cast<std::uint8_t>(i + 1);
  }
  return index;
}
constexpr std::array<LetterRange, 26> kLetterIndex = make_letter_index();

Kw lookup_keyword(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongestKeyword) return Kw::kNone;
  char lower[kLongestKeyword];
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    lower[i] = c;
  }
  if (lower[0] < 'a' || lower[0] > 'z') return Kw::kNone;
  const LetterRange r = kLetterIndex[static_cast<std::size_t>(lower[0] - 'a')];
  for (std::size_t i = r.begin; i < r.end; ++i) {
    const std::string_view name = kKeywords[i].name;
    if (name.size() == word.size() && std::char_traits<char>::compare(name.data(), lower, word.size()) == 0) {
      return kKeywords[i].kw;
    }
  }
  return Kw::kNone;
}

inline bool is_ascii_letter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool is_hex(unsigned char c) { return is_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
inline bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Length of the identifier-start character at text[i], 0 when there is none.
// `digits` also accepts digits (identifier continuation).
std::size_t name_char(std::string_view text, std::size_t i, bool digits) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    return (is_ascii_letter(c) || c == '_' || c == '@' || c == '$' || (digits && is_digit(c))) ? 1 : 0;
  }
  std::uint32_t cp = 0;
  std::size_t n = decode_utf8(text, i, &cp);
  return is_unicode_letter(cp) ? n : 0;
}

}  // namespace

Lexer::Lexer(std::string_view text) : text_(text) {
  std::size_t end = text.size();
  while (end > 0 && (is_space(static_cast<unsigned char>(text[end - 1])) || text[end - 1] == ';')) --end;
  limit_ = end;
}

void Lexer::fill() {
  Token t = scan();
  prev_kind_ = t.kind;
  prev_end_ = t.end;
  buf_[(head_ + count_) & kMask] = t;
  ++count_;
}

void Lexer::skip_space_and_comments() {
  while (pos_ < limit_) {
    unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if (is_space(c)) {
      ++pos_;
    } else if (c == '#' || (c == '-' && pos_ + 1 < limit_ && text_[pos_ + 1] == '-')) {
      while (pos_ < limit_ && text_[pos_] != '\n') ++pos_;
    } else {
      return;
    }
  }
}

Token Lexer::scan() {
  if (pending_mul_) {
    pending_mul_ = false;
    Token t;
    t.kind = Tok::kImplicitMul;
    t.begin = t.end = pos_;
    return t;
  }
  skip_space_and_comments();
  Token t;
  t.begin = pos_;
  if (pos_ >= limit_) {
    t.kind = Tok::kEnd;
    t.begin = t.end = limit_;
    return t;
  }
  const std::size_t start = pos_;
  const char c = text_[start];
  const char next = start + 1 < limit_ ? text_[start + 1] : '\0';
  auto punct = [&](Tok kind, std::size_t len) {
    t.kind = kind;
    pos_ = start + len;
    t.end = pos_;
    return t;
  };
  switch (c) {
    case '(': return punct(Tok::kLParen, 1);
    case ')': return punct(Tok::kRParen, 1);
    case ',': return punct(Tok::kComma, 1);
    case '*': return punct(Tok::kStar, 1);
    case '+': return punct(Tok::kPlus, 1);
    case '-': return punct(Tok::kMinus, 1);
    case '%': return punct(Tok::kPercent, 1);
    case '&': return punct(Tok::kAmp, 1);
    case '~': return punct(Tok::kTilde, 1);
    case '/':
      if (next == '*') {
        t.sub = static_cast<std::uint8_t>(LexError::kBlockComment);
        return punct(Tok::kError, 2);
      }
      return punct(Tok::kSlash, 1);
    case '|': return next == '|' ? punct(Tok::kConcat, 2) : punct(Tok::kPipe, 1);
    case ':':
      if (next == ':') return punct(Tok::kDoubleColon, 2);
      break;
    case '=': return punct(Tok::kEq, next == '=' ? 2 : 1);
    case '!':
      if (next == '=') return punct(Tok::kNeq, 2);
      break;
    case '<':
      if (next == '=') return punct(Tok::kLe, 2);
      if (next == '>') return punct(Tok::kNeq, 2);
      return punct(Tok::kLt, 1);
    case '>': return next == '=' ? punct(Tok::kGe, 2) : punct(Tok::kGt, 1);
    case '.':
      if (is_digit(static_cast<unsigned char>(next))) return scan_number(start);
      return punct(Tok::kDot, 1);
    case '\'': return scan_quoted(start, '\'', '\'', Tok::kString);
    case '"': return scan_quoted(start, '"', '"', Tok::kQuotedName);
    case '`': return scan_quoted(start, '`', '`', Tok::kQuotedName);
    case '[':
      // a[1], f(x)[1], array[1, 2]: subscripts and array literals are not
      // part of the grammar; [name] elsewhere is a quoted name.
      if (start == prev_end_ && (prev_kind_ == Tok::kWord || prev_kind_ == Tok::kQuotedName ||
                                 prev_kind_ == Tok::kRParen)) {
        t.sub = static_cast<std::uint8_t>(LexError::kSubscript);
        return punct(Tok::kError, 1);
      }
      return scan_quoted(start, '[', ']', Tok::kQuotedName);
    default:
      if (is_digit(static_cast<unsigned char>(c))) return scan_number(start);
      if (name_char(text_.substr(0, limit_), start, false)) return scan_word(start);
      break;
  }
  // One whole character that cannot start a token.
  std::uint32_t cp = 0;
  std::size_t len = decode_utf8(text_.substr(0, limit_), start, &cp);
  t.sub = static_cast<std::uint8_t>(LexError::kBadChar);
  return punct(Tok::kError, len);
}

Token Lexer::scan_number(std::size_t start) {
  Token t;
  t.kind = Tok::kNumber;
  t.begin = start;
  std::size_t i = start;
  const auto at = [&](std::size_t k) -> unsigned char {
    return k < limit_ ? static_cast<unsigned char>(text_[k]) : 0;
  };
  NumberKind kind = NumberKind::kInt;
  if (at(i) == '0' && (at(i + 1) | 0x20) == 'x' && is_hex(at(i + 2))) {
    i += 2;
    while (is_hex(at(i))) ++i;
    kind = NumberKind::kHex;
  } else {
    while (is_digit(at(i))) ++i;
    if (at(i) == '.') {
      kind = NumberKind::kFloat;
      ++i;
      while (is_digit(at(i))) ++i;
    }
    if ((at(i) | 0x20) == 'e') {
      std::size_t j = i + 1;
      if (at(j) == '+' || at(j) == '-') ++j;
      if (is_digit(at(j))) {
        while (is_digit(at(j))) ++j;
        if (kind == NumberKind::kInt) kind = NumberKind::kIntExponent;
        i = j;
      }
    }
  }
  t.sub = static_cast<std::uint8_t>(kind);
  t.end = pos_ = i;
  // A name written right after a number multiplies it (2x is 2 * x).
  if (i < limit_ && name_char(text_.substr(0, limit_), i, false)) pending_mul_ = true;
  return t;
}

Token Lexer::scan_quoted(std::size_t start, char open, char close, Tok kind) {
  Token t;
  t.kind = kind;
  t.quote = open;
  t.begin = start;
  std::size_t i = start + 1;
  bool escapes = false;
  // The closing quote may sit in the stripped tail (a name ending the text).
  const std::size_t n = text_.size();
  for (;;) {
    std::size_t found = text_.find(close, i);
    if (found == std::string_view::npos) {
      t.kind = Tok::kError;
      t.sub = static_cast<std::uint8_t>(kind == Tok::kString ? LexError::kUnterminatedString
                                                                : LexError::kUnterminatedName);
      t.end = pos_ = std::max(limit_, start + 1);
      return t;
    }
    if (!escapes && text_.substr(i, found - i).find('\\') != std::string_view::npos) escapes = true;
    if (found + 1 < n && text_[found + 1] == close) {
      escapes = true;
      i = found + 2;
      continue;
    }
    i = found + 1;
    break;
  }
  t.end = i;
  if (i > limit_) limit_ = i;  // the stripped tail belonged to this token
  pos_ = i;
  t.sub = escapes ? 1 : 0;
  if (escapes && !unescape(text_.substr(start + 1, i - start - 2), open, nullptr)) {
    t.kind = Tok::kError;
    t.sub = static_cast<std::uint8_t>(LexError::kBadEscape);
  }
  return t;
}

Token Lexer::scan_word(std::size_t start) {
  Token t;
  t.kind = Tok::kWord;
  t.begin = start;
  std::size_t i = start;
  const std::string_view text = text_.substr(0, limit_);
  while (i < limit_) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (is_ascii_letter(c) || is_digit(c) || c == '_' || c == '@' || c == '$') {
        ++i;
        continue;
      }
      break;
    }
    std::size_t len = name_char(text, i, true);
    if (len == 0) break;
    i += len;
  }
  t.end = pos_ = i;
  t.kw = lookup_keyword(text.substr(start, i - start));
  return t;
}

}  // namespace sqlparse::sql_parser
