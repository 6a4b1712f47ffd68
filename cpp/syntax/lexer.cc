// The tokeniser. One forward pass; the dialect decides quoting and comments.
#include "syntax/lexer.h"

#include <array>
#include <bit>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sqlparse::syntax {
namespace {

// Character classes, one table lookup each.
enum : std::uint8_t {
  kClassNameStart = 1,
  kClassNameChar = 2,
  kClassSpace = 4,
  kClassDigit = 8,
  kClassSkipStart = 16,  // white space, or a character that may start a comment
  kClassOpChar = 32,     // + - / < > = ~ ! @ # % ^ & |
};

constexpr std::array<std::uint8_t, 256> kClasses = [] {
  std::array<std::uint8_t, 256> c{};
  for (int i = 0; i < 256; ++i) {
    const bool letter = (i >= 'a' && i <= 'z') || (i >= 'A' && i <= 'Z') || i == '_' || i >= 0x80;
    const bool digit = i >= '0' && i <= '9';
    if (letter) c[i] |= kClassNameStart | kClassNameChar;
    if (digit) c[i] |= kClassDigit | kClassNameChar;
    if (i == '$') c[i] |= kClassNameChar;
    if (i == ' ' || i == '\t' || i == '\n' || i == '\r' || i == '\f' || i == '\v') c[i] |= kClassSpace;
    if ((c[i] & kClassSpace) || i == '-' || i == '#' || i == '/') c[i] |= kClassSkipStart;
    for (const char op : {'+', '-', '/', '<', '>', '=', '~', '!', '@', '#', '%', '^', '&', '|'}) {
      if (i == op) c[i] |= kClassOpChar;
    }
  }
  return c;
}();

inline std::uint8_t char_class(char c) { return kClasses[static_cast<unsigned char>(c)]; }
inline bool is_digit(char c) { return char_class(c) & kClassDigit; }
inline bool is_name_start(char c) { return char_class(c) & kClassNameStart; }
inline bool is_name_char(char c) { return char_class(c) & kClassNameChar; }
inline bool is_space(char c) { return char_class(c) & kClassSpace; }
inline bool may_skip(char c) { return char_class(c) & kClassSkipStart; }

// The end of a run of name characters / white space starting at i, sixteen
// bytes at a time where SSE2 is there (names and indentation are most of a
// script's bytes).
#if defined(__SSE2__)
inline std::size_t first_zero_bit(int mask) { return static_cast<std::size_t>(__builtin_ctz(~mask & 0xFFFF)); }

// Bytes in [low, low + count): shifted so that low lands on -128, one signed
// compare decides.
inline __m128i in_range(__m128i v, char low, int count) {
  const __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(-128 - low)));
  return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + count)));
}
#endif

#if defined(__SSE2__)
// A bit per name character of the sixteen bytes.
inline int name_char_mask(__m128i v) {
  const __m128i folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
  __m128i ok = _mm_cmplt_epi8(v, _mm_setzero_si128());  // bytes >= 0x80
  ok = _mm_or_si128(ok, in_range(folded, 'a', 26));
  ok = _mm_or_si128(ok, in_range(v, '0', 10));
  ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('_')));
  ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('$')));
  return _mm_movemask_epi8(ok);
}
#endif

// The text is padded (kTextPadding zero bytes, which are neither name
// characters nor white space): a run stops there at the latest, so no load
// starts past the end nor reaches past the padding.
[[gnu::always_inline]] inline std::size_t skip_name_chars(const char* p, std::size_t i) {
#if defined(__SSE2__)
  for (;;) {
    const int mask = name_char_mask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
    if (mask != 0xFFFF) return i + first_zero_bit(mask);
    i += 16;
  }
#else
  while (is_name_char(p[i])) ++i;
  return i;
#endif
}

// The rest of a word longer than sixteen bytes: out of line, so that the
// loop's constants do not claim registers on the common path.
[[gnu::noinline]] std::size_t skip_long_name(const char* p, std::size_t i) { return skip_name_chars(p, i); }

std::size_t skip_spaces(const char* p, std::size_t i) {
#if defined(__SSE2__)
  for (;;) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    __m128i ok = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
    ok = _mm_or_si128(ok, in_range(v, '\t', 5));  // \t \n \v \f \r
    const int mask = _mm_movemask_epi8(ok);
    if (mask != 0xFFFF) return i + first_zero_bit(mask);
    i += 16;
  }
#else
  while (is_space(p[i])) ++i;
  return i;
#endif
}

struct OpSpelling {
  const char* text;
  Op op;
};

// Longest first within each leading character.
constexpr OpSpelling kOps[] = {
    {"->>", Op::kLongArrow}, {"->", Op::kArrow},       {"-|-", Op::kOverlap},
    {"#>>", Op::kHashLongArrow}, {"#>", Op::kHashArrow}, {"#-", Op::kHashMinus},
    {"<=>", Op::kNullSafeEq}, {"<@", Op::kContainedBy}, {"<<", Op::kShiftLeft},
    {"<=", Op::kLe},         {"<>", Op::kNeq},         {"<", Op::kLt},
    {">>", Op::kShiftRight}, {">=", Op::kGe},          {">", Op::kGt},
    {"@>", Op::kContains},   {"@@", Op::kAtAt},        {"@", Op::kAt},
    {"!~~", Op::kNotDoubleTilde}, {"!~*", Op::kNotTildeStar}, {"!~", Op::kNotTilde},
    {"!=", Op::kNeq},        {"!!", Op::kDoubleBang},  {"!", Op::kBang},
    {"~~", Op::kDoubleTilde}, {"~*", Op::kTildeStar},  {"~", Op::kTilde},
    {"||/", Op::kCbrt},      {"||", Op::kConcat},      {"|/", Op::kSqrt},
    {"|>", Op::kPipeGt},     {"|", Op::kPipe},
    {"::", Op::kDoubleColon}, {":=", Op::kColonEq},    {":", Op::kColon},
    {"=>", Op::kFatArrow},   {"==", Op::kEqEq},        {"=", Op::kEq},
    {"&&", Op::kAndAnd},     {"&", Op::kAmp},
    {"?|", Op::kQuestionPipe}, {"?&", Op::kQuestionAmp},
    {"+", Op::kPlus},        {"/", Op::kSlash},        {"%", Op::kPercent},
    {"^", Op::kCaret},       {"#", Op::kHash},         {"-", Op::kMinus},
};

inline bool is_op_char(char ch) { return char_class(ch) & kClassOpChar; }

struct OpEntry {
  const char* text = nullptr;
  std::uint8_t length = 0;
  Op op = Op::kNone;
};

// The spellings of kOps grouped by first character, longest first.
using OpRow = std::array<OpEntry, 6>;

const OpRow& ops_starting_with(char c) {
  static const OpRow kNoOps{};
  if (static_cast<unsigned char>(c) >= 128) return kNoOps;
  static const std::array<OpRow, 128> rows = [] {
    std::array<OpRow, 128> r{};
    for (const OpSpelling& o : kOps) {
      OpRow& row = r[static_cast<unsigned char>(o.text[0]) & 127];
      std::size_t n = std::strlen(o.text);
      std::size_t i = 0;
      while (row[i].length >= n) ++i;  // kOps lists longer spellings first
      for (std::size_t j = row.size() - 1; j > i; --j) row[j] = row[j - 1];
      row[i] = {o.text, static_cast<std::uint8_t>(n), o.op};
    }
    return r;
  }();
  return rows[static_cast<unsigned char>(c) & 127];
}

// Tokens of one character (their Tok), 0 for the other characters. Those
// marked kLooksAhead are one only when the next character allows: a "."
// before a digit starts a number, T-SQL's "*=" is an operator.
constexpr std::uint8_t kLooksAhead = 0x80;
constexpr std::array<std::uint8_t, 256> kSingleTokens = [] {
  std::array<std::uint8_t, 256> t{};
  const auto set = [&t](char c, Tok kind, std::uint8_t flags = 0) {
    t[static_cast<unsigned char>(c)] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(kind) | flags);
  };
  set('(', Tok::kLParen);
  set(')', Tok::kRParen);
  set(',', Tok::kComma);
  set(';', Tok::kSemicolon);
  set(']', Tok::kRBracket);
  set('}', Tok::kRBrace);
  set('.', Tok::kDot, kLooksAhead);
  set('*', Tok::kStar, kLooksAhead);
  return t;
}();
static_assert(static_cast<std::uint8_t>(Tok::kStar) < kLooksAhead);

// The first n bytes of a word of up to eight (none for one byte: no keyword
// is that short).
constexpr std::array<std::uint64_t, 9> kShortKeyMasks = {
    0, 0, 0xFFFF, 0xFFFFFF, 0xFFFFFFFF, 0xFFFFFFFFFF, 0xFFFFFFFFFFFF, 0xFFFFFFFFFFFFFF, ~std::uint64_t{0}};

// A token's first eight bytes (kind, op, kw, sub, spaced) as one word in
// Token's layout, so that the hot paths store a token as two words.
static_assert(sizeof(Token) == 16 && offsetof(Token, kind) == 0 && offsetof(Token, op) == 1 &&
              offsetof(Token, kw) == 2 && offsetof(Token, sub) == 4 && offsetof(Token, spaced) == 5 &&
              offsetof(Token, begin) == 8 && offsetof(Token, end) == 12);
// `spaced` is kSpacedBit or 0.
inline constexpr std::uint64_t kSpacedBit = std::uint64_t{1} << 40;
constexpr std::uint64_t head_word(Tok kind, Kw kw, std::uint64_t spaced, Op op = Op::kNone) {
  return static_cast<std::uint64_t>(kind) | std::uint64_t{static_cast<std::uint8_t>(op)} << 8 |
         std::uint64_t{static_cast<std::uint16_t>(kw)} << 16 | spaced;
}

// Operators of one character when no operator character follows: no longer
// spelling starting with them goes on with anything else, and none of these
// characters starts another kind of token.
constexpr std::array<Op, 256> kSingleOps = [] {
  std::array<Op, 256> t{};
  t['='] = Op::kEq;
  t['<'] = Op::kLt;
  t['>'] = Op::kGt;
  t['+'] = Op::kPlus;
  t['-'] = Op::kMinus;
  t['/'] = Op::kSlash;
  return t;
}();

// Writes the token of head_word `head` and [begin, end) into raw storage.
inline void put_token(Token* at, std::uint64_t head, std::size_t begin, std::size_t end) {
  if constexpr (std::endian::native == std::endian::little) {
    const auto b = static_cast<std::uint32_t>(begin);
    const auto e = static_cast<std::uint32_t>(end);
    std::memcpy(reinterpret_cast<unsigned char*>(at), &head, 8);
    std::memcpy(reinterpret_cast<unsigned char*>(at) + 8, &b, 4);
    std::memcpy(reinterpret_cast<unsigned char*>(at) + 12, &e, 4);
  } else {
    Token t;
    t.kind = static_cast<Tok>(head & 0xFF);
    t.kw = static_cast<Kw>(head >> 16 & 0xFFFF);
    t.spaced = (head & kSpacedBit) != 0;
    t.begin = static_cast<std::uint32_t>(begin);
    t.end = static_cast<std::uint32_t>(end);
    ::new (static_cast<void*>(at)) Token(t);
  }
}

#if defined(__SSE2__)
// The keyword of a word of 2 to 8 bytes whose first sixteen bytes are `head`:
// its bytes OR-ed with 0x20, as keyword_detail::short_key makes them.
inline Kw short_keyword(__m128i head, std::size_t n) {
  const auto folded = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_or_si128(head, _mm_set1_epi8(0x20))));
  return keyword_detail::lookup_short_key(folded & kShortKeyMasks[n]);
}
#endif

class Scanner {
 public:
  Scanner(std::string_view text, const Dialect& d) : t_(text), d_(d) {}

  // Appends the tokens to `out`, and `end_copies` copies of the closing
  // kEnd token after it.
  void append(TokenArray& out, std::size_t end_copies) {
    out.reserve_more(t_.size() / 4 + 2);
    // The next token's slot and the end of the room: locals, which the
    // token stores cannot alias (the array's own fields could be).
    Token* held = out.end();
    Token* room_end = out.data() + out.capacity();
    const auto room = [&] {
      if (held == room_end) [[unlikely]] {
        const std::size_t size = static_cast<std::size_t>(held - out.data());
        out.set_size(size);
        out.reserve_more(size + 1);
        held = out.end();
        room_end = out.data() + out.capacity();
      }
    };
    const auto emit = [&](const Token& t) {
      room();
      ::new (static_cast<void*>(held)) Token(t);
      ++held;
    };
    // Words and punctuation, most tokens, are stored as two words each.
    const auto put = [&](std::uint64_t head, std::size_t begin, std::size_t end) {
      room();
      put_token(held, head, begin, end);
      ++held;
    };
    std::uint64_t spaced = kSpacedBit;  // head_word's bit: white space or a comment before the token
    // (Locals: the token stores below could alias the members, which would
    // then be read again for every token.)
    const char* const text = t_.data();
    const std::size_t size = t_.size();
    std::size_t pos = 0;  // pos_ is only for the white space and comment skipper
    for (;;) {
      // Most tokens follow a single space or none: only a character that may
      // start white space or a comment takes the skipping loop.
      char c = text[pos];
      if (c == ' ') {
        c = text[++pos];
        spaced = kSpacedBit;
      }
      if (may_skip(c)) [[unlikely]] {
        // A line break and indentation, mostly; comments take the full loop.
        if (is_space(c)) {
          pos = skip_spaces(text, pos + 1);
          spaced = kSpacedBit;
          c = text[pos];
        }
        if (may_skip(c)) {
          pos_ = pos;
          if (!skip_space_and_comments()) {
            Token e;
            e.kind = Tok::kError;
            e.sub = static_cast<std::uint8_t>(LexError::kUnterminatedComment);
            e.begin = static_cast<std::uint32_t>(error_at_);
            e.end = static_cast<std::uint32_t>(t_.size());
            emit(e);
            break;
          }
          if (pos_ != pos) spaced = kSpacedBit;
          pos = pos_;
          c = text[pos];
        }
      }
#if defined(__SSE2__)
      if (is_name_start(c)) [[likely]] {
        // The word's first sixteen bytes give both its end and, for a word
        // of up to eight bytes, its keyword key.
        const std::size_t s = pos;
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + s));
        // (Bit 16 and up of ~mask are set: 16 for a word that fills them.)
        const auto stop = static_cast<unsigned>(__builtin_ctz(~static_cast<unsigned>(name_char_mask(head))));
        const std::size_t e = stop != 16 ? s + stop : skip_long_name(text, s + 16);
        const std::size_t n = e - s;
        Kw kw = Kw::kNone;
        if (n - 3 <= 5) [[likely]] {
          // 3 to 8 bytes: most words.
          kw = short_keyword(head, n);
        } else if (n <= 2) {
          // Perhaps a string's prefix (N'x', U&'x', rb"x").
          const char next = text[e];
          if (next == '\'' || next == '"' || next == '&') {
            Token tok = name_or_prefixed_string(text, s, c);
            tok.spaced = spaced != 0;
            spaced = 0;
            pos = tok.end;
            emit(tok);
            continue;
          }
          if (n == 2) kw = short_keyword(head, n);
        } else {
          kw = word_ending(s, e).kw;
        }
        put(head_word(Tok::kWord, kw, spaced), s, e);
        spaced = 0;
        pos = e;
        continue;
      }
#endif
      // The padding's zero bytes start no name: the end needs testing only
      // off the path of names (most tokens).
      if (!is_name_start(c) && pos >= size) break;
      const std::uint8_t single = kSingleTokens[static_cast<unsigned char>(c)];
      if (single != 0 && (!(single & kLooksAhead) || single_stands(c, text[pos + 1]))) {
        put(head_word(static_cast<Tok>(single & ~kLooksAhead), Kw::kNone, spaced), pos, pos + 1);
        spaced = 0;
        ++pos;
        continue;
      }
      const Op op = kSingleOps[static_cast<unsigned char>(c)];
      if (op != Op::kNone && !is_op_char(text[pos + 1])) {
        put(head_word(Tok::kOp, Kw::kNone, spaced, op), pos, pos + 1);
        spaced = 0;
        ++pos;
        continue;
      }
      if (is_digit(c)) {
        // A plain integer; anything that may continue it (. e _ x, a
        // suffix or a name) goes to number().
        std::size_t e = pos + 1;
        while (is_digit(text[e])) ++e;
        if (!is_name_char(text[e]) && text[e] != '.') {
          put(head_word(Tok::kNumber, Kw::kNone, spaced), pos, e);
          spaced = 0;
          pos = e;
          continue;
        }
      }
      Token tok = scan(text, pos);
      if constexpr (std::endian::native == std::endian::little) {
        // Stored as two words, with this token's spaced bit (field by field
        // costs a store per field).
        std::uint64_t head;
        std::memcpy(&head, &tok, sizeof head);
        put((head & ~kSpacedBit) | spaced, tok.begin, tok.end);
      } else {
        tok.spaced = spaced != 0;
        emit(tok);
      }
      spaced = 0;
      // Every token ends where the scanner goes on (an error token runs to
      // the end of the text, which ends the loop).
      pos = tok.end;
    }
    out.set_size(static_cast<std::size_t>(held - out.data()));
    out.reserve_more(1 + end_copies);
    held = out.end();
    const Token end = make(Tok::kEnd, t_.size(), t_.size());
    if (end_copies == kParserLookahead) {
      // The parser's count, unrolled.
      for (std::size_t i = 0; i <= kParserLookahead; ++i) ::new (static_cast<void*>(held + i)) Token(end);
    } else {
      for (std::size_t i = 0; i <= end_copies; ++i) ::new (static_cast<void*>(held + i)) Token(end);
    }
    out.set_size(out.size() + 1 + end_copies);
  }

 private:
  // Whether a "." or "*" followed by `next` is a token of its own.
  bool single_stands(char c, char next) const {
    if (c == '.') return !is_digit(next);
    return !(next == '=' && d_.id == DialectId::kTsql);
  }

  // Past the end reads the padding's zero bytes (reads stay within a few
  // bytes of the end).
  char at(std::size_t i) const { return t_.data()[i]; }

  // False for an unterminated block comment (error_at_ is its start).
  bool skip_space_and_comments() {
    for (;;) {
      char c = at(pos_);
      if (is_space(c)) {
        pos_ = skip_spaces(t_.data(), pos_ + 1);
      } else if (c == '-' && at(pos_ + 1) == '-') {
        skip_line();
      } else if (c == '#' && d_.hash_is_comment) {
        skip_line();
      } else if (c == '/' && at(pos_ + 1) == '/' && d_.id == DialectId::kSnowflake) {
        skip_line();
      } else if (c == '/' && at(pos_ + 1) == '*') {
        std::size_t start = pos_;
        int depth = 1;
        pos_ += 2;
        while (depth > 0) {
          if (!d_.nested_comments) {
            // Only "*/" matters: jump from star to star.
            const void* star = std::memchr(t_.data() + pos_, '*', t_.size() - pos_);
            pos_ = star == nullptr ? t_.size()
                                   : static_cast<std::size_t>(static_cast<const char*>(star) - t_.data());
          }
          if (pos_ >= t_.size()) {
            error_at_ = start;
            return false;
          }
          if (t_[pos_] == '*' && at(pos_ + 1) == '/') {
            --depth;
            pos_ += 2;
          } else if (d_.nested_comments && t_[pos_] == '/' && at(pos_ + 1) == '*') {
            ++depth;
            pos_ += 2;
          } else {
            ++pos_;
          }
        }
      } else {
        return true;
      }
    }
  }

  void skip_line() {
    const void* nl = std::memchr(t_.data() + pos_, '\n', t_.size() - pos_);
    pos_ = nl == nullptr ? t_.size() : static_cast<std::size_t>(static_cast<const char*>(nl) - t_.data());
  }

  Token make(Tok kind, std::size_t begin, std::size_t end) {
    Token t;
    t.kind = kind;
    t.begin = static_cast<std::uint32_t>(begin);
    t.end = static_cast<std::uint32_t>(end);
    return t;
  }

  Token error(LexError e, std::size_t begin) {
    Token t = make(Tok::kError, begin, t_.size());
    t.sub = static_cast<std::uint8_t>(e);
    return t;
  }

  // The token starting at s.
  Token scan(const char* text, std::size_t s) {
    const char c = text[s];
    if (is_name_start(c)) [[likely]] return name_or_prefixed_string(text, s, c);
    switch (c) {
      case '(': return make(Tok::kLParen, s, s + 1);
      case ')': return make(Tok::kRParen, s, s + 1);
      case ',': return make(Tok::kComma, s, s + 1);
      case ';': return make(Tok::kSemicolon, s, s + 1);
      case '*':
        if (d_.id == DialectId::kTsql && at(s + 1) == '=') {
          Token t = make(Tok::kOp, s, s + 2);
          t.op = Op::kCompoundAssign;
          return t;
        }
        return make(Tok::kStar, s, s + 1);
      case '{':
        if (at(s + 1) == '{') return template_var(s);
        return make(Tok::kLBrace, s, s + 1);
      case '}': return make(Tok::kRBrace, s, s + 1);
      case ']': return make(Tok::kRBracket, s, s + 1);
      case '[':
        if (d_.bracket_is_name) return quoted(s, ']', Tok::kQuotedName, '[');
        return make(Tok::kLBracket, s, s + 1);
      case '\'': return string_literal(s, s, '\'');
      case '"':
        if (d_.double_quote_is_string) return string_literal(s, s, '"');
        return quoted(s, '"', Tok::kQuotedName, '"');
      case '`':  // a quoted name in every dialect
        return quoted(s, '`', Tok::kQuotedName, '`');
      case '.':
        if (is_digit(at(s + 1))) return number(s);
        return make(Tok::kDot, s, s + 1);
      case '?':
        if (at(s + 1) != '|' && at(s + 1) != '&') {
          std::size_t e = s + 1;
          while (is_digit(at(e))) ++e;
          return make(Tok::kParam, s, e);
        }
        break;
      case '$': return dollar(s);
      case '@':
        if (d_.at_is_variable) {
          std::size_t e = s + 1;
          if (at(e) == '@') ++e;
          if (is_name_start(at(e))) {
            while (is_name_char(at(e))) ++e;
            return make(Tok::kParam, s, e);
          }
          if (at(e) == '\'' || at(e) == '"') break;  // @'..' is not a variable
        }
        break;
      case '%':
        if (d_.classic) break;  // %s is "%" and a name to the classic lexer
        if (at(s + 1) == 's' && !is_name_char(at(s + 2))) return make(Tok::kParam, s, s + 2);
        if (at(s + 1) == '(') {
          std::size_t e = s + 2;
          while (is_name_char(at(e))) ++e;
          if (at(e) == ')' && at(e + 1) == 's') return make(Tok::kParam, s, e + 2);
        }
        break;
      case '#':
        if (d_.hash_starts_name && (is_name_start(at(s + 1)) || at(s + 1) == '#')) return word(s);
        break;
      case '&':
        // SQL*Plus substitution variables: &x, &&x, &1 (Oracle)
        if (d_.id == DialectId::kOracle) {
          std::size_t e = s + 1;
          if (at(e) == '&') ++e;
          if (is_name_char(at(e))) {
            while (is_name_char(at(e))) ++e;
            return make(Tok::kParam, s, e);
          }
        }
        break;
      default:
        break;
    }
    if (is_digit(c)) return number(s);
    if (d_.id == DialectId::kTsql && (c == '+' || c == '-' || c == '/' || c == '%' || c == '&' || c == '|' || c == '^')) {
      if (at(s + 1) == '=') {
        Token t = make(Tok::kOp, s, s + 2);
        t.op = Op::kCompoundAssign;
        return t;
      }
    }
    for (const OpEntry& o : ops_starting_with(c)) {
      if (o.length == 0) break;
      if (spelled_at(s, o)) {
        std::size_t run = o.length == 1 && !is_op_char(at(s + 1)) ? 0 : custom_operator_length(s);
        Token t = make(Tok::kOp, s, s + (run > o.length ? run : o.length));
        t.op = run > o.length ? Op::kCustom : o.op;
        return t;
      }
    }
    return error(LexError::kBadChar, s);
  }

  // A word starting at s, or a string with a prefix: N'x', E'x', B'x', X'x',
  // U&'x', r'x', b"x", rb'x' ...
  // (`text` is t_.data(), held in a register by the caller.)
  Token name_or_prefixed_string(const char* text, std::size_t s, char c) {
#if defined(__SSE2__)
    // The word's first sixteen bytes give both its end and, for a word of up
    // to eight bytes, its keyword key.
    const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + s));
    const int mask = name_char_mask(head);
    const std::size_t e = mask != 0xFFFF ? s + first_zero_bit(mask) : skip_long_name(text, s + 16);
#else
    const std::size_t e = skip_name_chars(text, s + 1);
#endif
    if (e - s <= 2) [[unlikely]] {
      const char next = at(e);
      if ((next == '\'' || (next == '"' && d_.double_quote_is_string)) && string_prefix(t_.substr(s, e - s))) {
        return string_literal(s, e, next);
      }
      if (next == '&' && e == s + 1 && (c == 'U' || c == 'u') && (at(s + 2) == '\'' || at(s + 2) == '"')) {
        if (at(s + 2) == '\'') return string_literal(s, s + 2, '\'');
        return quoted(s + 2, '"', Tok::kQuotedName, '"', s);
      }
    }
#if defined(__SSE2__)
    const std::size_t n = e - s;
    if (n <= 8) {
      Token t;
      t.kind = Tok::kWord;
      t.begin = static_cast<std::uint32_t>(s);
      t.end = static_cast<std::uint32_t>(e);
      if (n >= 2) {
        // The bytes OR-ed with 0x20, as keyword_detail::short_key makes them.
        const auto folded = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_or_si128(head, _mm_set1_epi8(0x20))));
        t.kw = keyword_detail::lookup_short_key(folded & (~std::uint64_t{0} >> (64 - 8 * n)));
      }
      return t;
    }
#endif
    return word_ending(s, e);
  }

  // Whether the operator's spelling stands at s, whose first character it
  // shares (spellings are at most three characters).
  bool spelled_at(std::size_t s, const OpEntry& o) const {
    for (std::size_t i = 1; i < o.length; ++i) {
      if (at(s + i) != o.text[i]) return false;  // (the padding matches no operator)
    }
    return true;
  }

  // Postgres-style operators are any run of + - * / < > = ~ ! @ # % ^ & | ` ?
  // (here without * and ?), ending in + or - only when the run holds one of
  // ~ ! @ # % ^ & | `. Zero where the dialect does not read them so.
  std::size_t custom_operator_length(std::size_t s) const {
    if (d_.id != DialectId::kPostgres && d_.id != DialectId::kRedshift && d_.id != DialectId::kGeneric &&
        d_.id != DialectId::kDuckDb) {
      return 0;
    }
    std::size_t e = s;
    while (is_op_char(at(e))) {
      // A comment start ends the operator.
      if ((at(e) == '-' && at(e + 1) == '-') || (at(e) == '/' && at(e + 1) == '*')) break;
      ++e;
    }
    bool special = false;
    for (std::size_t i = s; i < e; ++i) {
      char ch = t_[i];
      special = special || ch == '~' || ch == '!' || ch == '@' || ch == '#' || ch == '%' || ch == '^' ||
                ch == '&' || ch == '|';
    }
    while (e > s + 1 && !special && (t_[e - 1] == '+' || t_[e - 1] == '-')) --e;
    // A trailing sign belongs to the operand: a<>-1, x||-y, a=-1
    while (e > s + 1 && (t_[e - 1] == '+' || t_[e - 1] == '-') &&
           (is_digit(at(e)) || at(e) == '.' || is_name_start(at(e)) || at(e) == '(' || at(e) == ' ')) {
      --e;
    }
    return e - s;
  }

  static bool string_prefix(std::string_view p) {
    auto lower = [](char ch) { return static_cast<char>(ch | 0x20); };
    if (p.size() == 1) {
      char a = lower(p[0]);
      return a == 'n' || a == 'e' || a == 'b' || a == 'x' || a == 'r' || a == 'f';
    }
    char a = lower(p[0]), b = lower(p[1]);
    return (a == 'r' && b == 'b') || (a == 'b' && b == 'r');
  }

  Token word(std::size_t s) { return word_ending(s, skip_name_chars(t_.data(), s + 1)); }

  // The word [s, e). The keyword table is consulted only for words of
  // keyword length.
  Token word_ending(std::size_t s, std::size_t e) {
    Token t = make(Tok::kWord, s, e);
    if (t_[s] != '#' && e - s >= 2 && e - s <= kLongestKeyword) {
      t.kw = keyword_of(std::string_view(t_.data() + s, e - s));
    }
    return t;
  }

  Token number(std::size_t s) {
    std::size_t e = s;
    if (t_[s] == '0' && (at(s + 1) == 'x' || at(s + 1) == 'X') && std::isxdigit(static_cast<unsigned char>(at(s + 2)))) {
      e = s + 2;
      while (std::isxdigit(static_cast<unsigned char>(at(e)))) ++e;
    } else {
      while (is_digit(at(e)) || (at(e) == '_' && is_digit(at(e + 1)))) ++e;
      if (at(e) == '.' && at(e + 1) != '.') {
        ++e;
        while (is_digit(at(e))) ++e;
      }
      if ((at(e) == 'e' || at(e) == 'E') &&
          (is_digit(at(e + 1)) || ((at(e + 1) == '+' || at(e + 1) == '-') && is_digit(at(e + 2))))) {
        e += 2;
        while (is_digit(at(e))) ++e;
      }
    }
    if (is_name_char(at(e))) {
      // A type suffix (1L, 2.5BD, 3D) keeps the number; anything else makes
      // the whole run a name, as in Hive's `30_days`.
      std::size_t w = e;
      while (is_name_char(at(w))) ++w;
      std::string_view suffix = t_.substr(e, w - e);
      static constexpr std::string_view kSuffixes[] = {"L", "l", "S", "s", "Y", "y", "D", "d",
                                                       "F", "f", "BD", "bd", "M", "m"};
      bool is_suffix = false;
      for (std::string_view k : kSuffixes) is_suffix = is_suffix || suffix == k;
      if (!is_suffix || t_[s] == '.') {
        if (t_[s] == '.') return make(Tok::kNumber, s, e);
        Token t = make(Tok::kWord, s, w);
        t.kw = keyword_of(t_.substr(s, w - s));
        return t;
      }
      e = w;
    }
    return make(Tok::kNumber, s, e);
  }

  // A quoted name or string body: `close` doubled stands for itself; with
  // backslash escapes a backslash protects the next character.
  Token quoted(std::size_t s, char close, Tok kind, char sub, std::size_t token_start = SIZE_MAX) {
    std::size_t i = s + 1;
    const bool backslash = kind == Tok::kString && d_.backslash_escapes;
    for (;;) {
      const std::size_t j = find_quote(i, close, backslash ? '\\' : close);
      if (j >= t_.size()) break;
      if (t_[j] == '\\' && backslash) {
        i = j + 2;
        if (i > t_.size()) break;
        continue;
      }
      i = j + 1;
      if (at(i) == close) {
        ++i;
        continue;
      }
      Token t = make(kind, token_start == SIZE_MAX ? s : token_start, i);
      t.sub = static_cast<std::uint8_t>(sub);
      return t;
    }
    return error(kind == Tok::kString ? LexError::kUnterminatedString : LexError::kUnterminatedName,
                 token_start == SIZE_MAX ? s : token_start);
  }

  // The first `a` or `b` at or after i (i <= the text's size), or the size.
  // Most strings and quoted names are short: sixteen bytes at a time, inline
  // (a memchr call per quote cost more), reading into the padding at most.
  std::size_t find_quote(std::size_t i, char a, char b) const {
    const std::size_t n = t_.size();
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    for (; i < n; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t_.data() + i));
      const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)));
      if (mask != 0) {
        const std::size_t j = i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        return j < n ? j : n;
      }
    }
    return n;
#else
    while (i < n && t_[i] != a && t_[i] != b) ++i;
    return i < n ? i : n;
#endif
  }

  Token string_literal(std::size_t token_start, std::size_t q, char quote) {
    if (d_.triple_quoted_strings && at(q + 1) == quote && at(q + 2) == quote) {
      const char triple[3] = {quote, quote, quote};
      std::size_t i = q + 3;
      while (i + 3 <= t_.size()) {
        if (t_[i] == '\\') {
          i += 2;
          continue;
        }
        if (t_.compare(i, 3, std::string_view(triple, 3)) == 0) {
          Token t = make(Tok::kString, token_start, i + 3);
          t.sub = static_cast<std::uint8_t>(quote);
          return t;
        }
        ++i;
      }
      return error(LexError::kUnterminatedString, token_start);
    }
    Token t = quoted(q, quote, Tok::kString, quote, token_start);
    return t;
  }

  Token dollar(std::size_t s) {
    if (is_digit(at(s + 1))) {
      std::size_t e = s + 1;
      while (is_digit(at(e))) ++e;
      return make(Tok::kParam, s, e);
    }
    if (at(s + 1) == '{' && !d_.classic) {  // ${x}; the classic lexer reads "$", then "{"
      std::size_t close = t_.find('}', s + 2);
      if (close != std::string_view::npos) return make(Tok::kParam, s, close + 1);
    }
    if (d_.dollar_quoted_strings) {
      // $tag$ .. $tag$
      std::size_t e = s + 1;
      while (e < t_.size() && (is_name_start(t_[e]) || is_digit(t_[e]))) ++e;
      if (at(e) == '$') {
        std::string_view tag = t_.substr(s, e - s + 1);
        std::size_t close = t_.find(tag, e + 1);
        if (close == std::string_view::npos) return error(LexError::kUnterminatedString, s);
        Token t = make(Tok::kString, s, close + tag.size());
        t.sub = '$';
        return t;
      }
    }
    if (is_name_start(at(s + 1))) {
      std::size_t e = s + 1;
      while (is_name_char(at(e))) ++e;
      return make(Tok::kParam, s, e);
    }
    // A lone $ (a pattern anchor in match_recognize): an operator no grammar rule takes.
    Token t = make(Tok::kOp, s, s + 1);
    t.op = Op::kCustom;
    return t;
  }

  Token template_var(std::size_t s) {
    std::size_t close = t_.find("}}", s + 2);
    if (close == std::string_view::npos) return make(Tok::kLBrace, s, s + 1);
    return make(Tok::kParam, s, close + 2);
  }

  std::string_view t_;
  const Dialect& d_;
  std::size_t pos_ = 0;
  std::size_t error_at_ = 0;
};

}  // namespace

void TokenArray::grow(std::size_t at_least) {
  std::size_t capacity = capacity_ < 64 ? 64 : capacity_;
  while (capacity < at_least) capacity *= 2;
  auto* data = static_cast<Token*>(::operator new(capacity * sizeof(Token)));
  if (size_ > 0) std::memcpy(static_cast<void*>(data), data_, size_ * sizeof(Token));
  ::operator delete(data_);
  data_ = data;
  capacity_ = capacity;
}

void TokenArray::release() {
  ::operator delete(data_);
  data_ = nullptr;
  size_ = capacity_ = 0;
}

std::vector<Token> tokenize(std::string_view text, const Dialect& dialect) {
  std::vector<Token> out;
  tokenize(text, dialect, out);
  return out;
}

void tokenize(std::string_view text, const Dialect& dialect, std::vector<Token>& out) {
  std::string padded(text.size() + kTextPadding, '\0');
  if (!text.empty()) std::memcpy(padded.data(), text.data(), text.size());
  tokenize_padded(std::string_view(padded.data(), text.size()), dialect, out);
}

void tokenize_padded(std::string_view text, const Dialect& dialect, std::vector<Token>& out, bool lead) {
  TokenArray tokens;
  tokenize_padded(text, dialect, tokens, lead, 0);
  out.assign(tokens.begin(), tokens.end());
}

void tokenize_padded(std::string_view text, const Dialect& dialect, TokenArray& out, bool lead,
                     std::size_t end_copies) {
  out.clear();
  if (lead) out.push_back(Token());
  Scanner(text, dialect).append(out, end_copies);
}

}  // namespace sqlparse::syntax
