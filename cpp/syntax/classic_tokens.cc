// The classic mode's tokens: where the classic lexer reads the text
// differently from the statement lexer, the token vector is mended before
// parsing (pieces split or joined, or an error token where the classic lexer
// has no reading), so that the grammar sees the classic tokens.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "sql_parser/text.h"  // is_unicode_letter, unescape
#include "sql_parser/reserved_words.h"
#include "syntax/classic_mode.h"

namespace sqlparse::syntax {
namespace {

bool is_ascii_name_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@' ||
         c == '$';
}

// Length of the UTF-8 sequence at text[i] and its code point (0xFFFFFFFF
// when malformed: then the length is 1, so a byte that cannot continue a
// sequence, a NUL say, is never taken into one).
std::size_t decode(std::string_view text, std::size_t i, std::uint32_t* cp) {
  return sql_parser::decode_utf8(text, i, cp);
}

// Bytes of the classic name `text` starts with: Unicode letters, digits,
// "_", "@" and "$".
std::size_t classic_word_prefix(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (!is_ascii_name_char(c)) return i;
      ++i;
      continue;
    }
    std::uint32_t cp = 0;
    const std::size_t n = decode(text, i, &cp);
    if (cp == 0xFFFFFFFF || !sql_parser::is_unicode_letter(cp)) return i;
    i += n;
  }
  return text.size();
}

bool classic_word(std::string_view text) { return classic_word_prefix(text) == text.size(); }

}  // namespace

bool classic_operator(Op op) {
  switch (op) {
    case Op::kPlus: case Op::kMinus: case Op::kSlash: case Op::kPercent: case Op::kConcat:
    case Op::kDoubleColon: case Op::kEq: case Op::kEqEq: case Op::kNeq: case Op::kLt: case Op::kGt:
    case Op::kLe: case Op::kGe: case Op::kAmp: case Op::kPipe: case Op::kTilde:
      return true;
    default:
      return false;
  }
}

namespace {

// Length of the number a word starting with a digit begins with (2x, 1.5e3x,
// 0x1Fg: the classic lexer reads the number, then the name as a product).
std::size_t number_prefix(std::string_view w) {
  auto digit = [&](std::size_t k) { return k < w.size() && w[k] >= '0' && w[k] <= '9'; };
  auto hex = [&](std::size_t k) { return k < w.size() && std::isxdigit(static_cast<unsigned char>(w[k])); };
  std::size_t i = 0;
  if (w.size() > 2 && w[0] == '0' && (w[1] | 0x20) == 'x' && hex(2)) {
    i = 2;
    while (hex(i)) ++i;
    return i;
  }
  while (digit(i)) ++i;
  if (i < w.size() && w[i] == '.') {
    ++i;
    while (digit(i)) ++i;
  }
  if (i < w.size() && (w[i] | 0x20) == 'e') {
    std::size_t j = i + 1;
    if (j < w.size() && (w[j] == '+' || w[j] == '-')) ++j;
    if (digit(j)) {
      while (digit(j)) ++j;
      i = j;
    }
  }
  return i;
}

bool all_digits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether the classic lexer reads the token as the statement lexer does.
bool classic_token(std::string_view text, const Token& t, const Token* prev) {
  switch (t.kind) {
    case Tok::kString:
      // No N'', E'', X'', r'', ...; backslash escapes decode as in the host language.
      return text[t.begin] == '\'' &&
             sql_parser::unescape(text.substr(t.begin + 1, t.end - t.begin - 2), '\'', nullptr);
    case Tok::kParam:
      // @x, @@x and $1 are classic names; ?, :x, %s, ${x} have no reading.
      return (text[t.begin] == '@' || text[t.begin] == '$') && classic_word(text.substr(t.begin, t.end - t.begin));
    case Tok::kWord: {
      const std::string_view w = text.substr(t.begin, t.end - t.begin);
      const std::size_t n = (w[0] >= '0' && w[0] <= '9') || w[0] == '.' ? number_prefix(w) : 0;
      return classic_word(w.substr(n));
    }
    case Tok::kQuotedName: {
      const char q = text[t.begin];
      if (q != '"' && q != '`' && q != '[') return false;  // U&"x"
      if (!sql_parser::unescape(text.substr(t.begin + 1, t.end - t.begin - 2), q == '[' ? ']' : q, nullptr)) {
        return false;
      }
      // [ against a name or ")" is a subscript, not a quoted name.
      return !(q == '[' && !t.spaced && prev != nullptr &&
               (prev->kind == Tok::kWord || prev->kind == Tok::kQuotedName || prev->kind == Tok::kRParen ||
                prev->kind == Tok::kParam));
    }
    case Tok::kOp:
      return classic_operator(t.op);
    case Tok::kLBracket: case Tok::kRBracket: case Tok::kLBrace: case Tok::kRBrace:
      return false;
    default:
      return true;
  }
}

}  // namespace

std::size_t classic_number_prefix(std::string_view word) { return number_prefix(word); }

namespace {

// Offset of a block comment's "/*" between two tokens, or npos.
std::size_t block_comment_in(std::string_view text, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    const char c = text[i];
    if ((c == '-' && i + 1 < to && text[i + 1] == '-') || c == '#') {
      while (i < to && text[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < to && text[i + 1] == '*') {
      return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::string classic_found_text(std::string_view text, std::size_t at) {
  std::string out;
  std::size_t i = at;
  for (int chars = 0; chars < 10 && i < text.size(); ++chars) {
    std::uint32_t cp = 0;
    const std::size_t len = decode(text, i, &cp);
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (len == 1 && c < 0x20) {
      switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        }
      }
    } else {
      out.append(text.substr(i, len));
    }
    i += len;
  }
  return out;
}

namespace {

// Splits an operator the classic lexer reads as several (~~ is two ~, <-> is
// < - >) into `pieces`; the first character with no classic reading and all
// after it stay in `rest` (empty when none).
void split_operator(std::string_view text, const Token& t, std::vector<Token>& pieces, Token* rest) {
  std::size_t k = t.begin;
  while (k < t.end) {
    Token piece = t;
    piece.begin = static_cast<std::uint32_t>(k);
    piece.spaced = k == t.begin && t.spaced;
    const char a = text[k];
    const char b = k + 1 < t.end ? text[k + 1] : '\0';
    Op two = Op::kNone;
    if (a == '|' && b == '|') two = Op::kConcat;
    if (a == ':' && b == ':') two = Op::kDoubleColon;
    if (a == '=' && b == '=') two = Op::kEqEq;
    if ((a == '!' && b == '=') || (a == '<' && b == '>')) two = Op::kNeq;
    if (a == '<' && b == '=') two = Op::kLe;
    if (a == '>' && b == '=') two = Op::kGe;
    Op one = Op::kNone;
    switch (a) {
      case '+': one = Op::kPlus; break;
      case '-': one = Op::kMinus; break;
      case '/': one = Op::kSlash; break;
      case '%': one = Op::kPercent; break;
      case '=': one = Op::kEq; break;
      case '<': one = Op::kLt; break;
      case '>': one = Op::kGt; break;
      case '&': one = Op::kAmp; break;
      case '|': one = Op::kPipe; break;
      case '~': one = Op::kTilde; break;
      default: break;
    }
    if (two != Op::kNone) {
      piece.op = two;
      k += 2;
    } else if (one != Op::kNone || a == '*') {
      piece.kind = a == '*' ? Tok::kStar : Tok::kOp;
      piece.op = one;
      k += 1;
    } else {
      break;
    }
    piece.end = static_cast<std::uint32_t>(k);
    pieces.push_back(piece);
  }
  *rest = t;
  rest->begin = static_cast<std::uint32_t>(k);
  rest->spaced = k == t.begin && t.spaced;
}

// A word token for text[begin, end).
Token word_token(const Token& from, std::size_t begin, std::size_t end) {
  Token w = from;
  w.kind = Tok::kWord;
  w.kw = Kw::kNone;
  w.op = Op::kNone;
  w.sub = 0;
  w.begin = static_cast<std::uint32_t>(begin);
  w.end = static_cast<std::uint32_t>(end);
  return w;
}

}  // namespace

namespace {

// Whether every token is one the classic lexer reads as it stands, so that
// the pass below would leave the vector as it is. Most texts are such; the
// checks are the pass's own, in the order it makes them, with the text's
// block comments, backslashes and non-ASCII bytes looked for once.
bool all_classic(std::string_view text, const std::vector<Token>& tokens) {
  if (text.find("/*") != std::string_view::npos) return false;
  std::uint64_t high = 0;  // the top bits of all bytes, eight at a time
  std::size_t k = 0;
  for (; k + 8 <= text.size(); k += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, text.data() + k, 8);
    high |= chunk;
  }
  for (; k < text.size(); ++k) high |= static_cast<unsigned char>(text[k]);
  const bool ascii = (high & 0x8080808080808080ull) == 0;
  const bool backslash = text.find('\\') != std::string_view::npos;
  const Token* prev = nullptr;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    switch (t.kind) {
      case Tok::kEnd:
        return true;
      case Tok::kWord:
        if (prev != nullptr && !t.spaced && prev->kind == Tok::kWord && prev->end == t.begin) return false;
        if (text[t.begin] >= '0' && text[t.begin] <= '9') {
          return false;  // 2x, or a run the lexer made one word (1_000.0_0)
        } else if (text[t.begin] == '#' || (!ascii && !classic_token(text, t, prev))) {
          return false;  // an ASCII word not starting with a digit is a classic name
        }
        break;
      case Tok::kString:
        if (text[t.begin] != '\'') return false;
        if (backslash && !classic_token(text, t, prev)) return false;
        break;
      case Tok::kQuotedName:
        if (t.end - t.begin > 2 && (text[t.begin] | 0x20) == 'u' && text[t.begin + 1] == '&') return false;
        if (!classic_token(text, t, prev)) return false;
        break;
      case Tok::kOp:
        if (!classic_operator(t.op)) return false;
        break;
      case Tok::kParam: case Tok::kError: case Tok::kLBracket: case Tok::kRBracket: case Tok::kLBrace:
      case Tok::kRBrace:
        return false;
      case Tok::kNumber:
        if (text[t.begin] == '.' && i + 1 < tokens.size() && tokens[i + 1].kind == Tok::kWord &&
            tokens[i + 1].begin == t.end) {
          return false;
        }
        if (number_prefix(text.substr(t.begin, t.end - t.begin)) < t.end - t.begin) return false;  // 5s, 2.0f
        if (i + 1 < tokens.size() && tokens[i + 1].kind == Tok::kDot && tokens[i + 1].begin == t.end &&
            all_digits(text.substr(t.begin, t.end - t.begin))) {
          return false;  // 0..5
        }
        break;
      default:  // punctuation
        break;
    }
    prev = &t;
  }
  return true;
}

}  // namespace

// One pass over the tokens: a token read again in pieces goes to a small
// stack of pending tokens, so the whole pass stays linear.
void classic_tokens(std::string_view text, std::vector<Token>& tokens) {
  if (all_classic(text, tokens)) return;
  std::vector<Token> out;
  out.reserve(tokens.size() + 8);
  std::vector<Token> pending;  // next tokens, last first
  std::vector<Token> pieces;
  std::size_t next = 0;
  std::size_t prev_end = 0;
  const Token end_token = tokens.back();
  // Pushes text[begin, end) -- the rest of a token the statement lexer read
  // as one number or word -- as the pieces the classic lexer reads there:
  // numbers, names, signs and dots, each read again by the loop below (so
  // 6_1e-1 is 6 times _1e, minus 1). A piece that starts otherwise goes on
  // as one word. A number at the end may run on into the tokens after it
  // (@4e-3.5), which are then taken apart the same way.
  std::vector<Token> glued;  // glue's pieces, in text order
  auto glue = [&](Token from, std::size_t begin, std::size_t end) {
    const bool can_run_on = pending.empty();  // the tokens after are tokens[next..]
    glued.clear();
    for (;;) {
      std::size_t i = begin;
      for (std::size_t count = 0; i < end && count < 16; ++count) {
        const std::string_view rest = text.substr(i, end - i);
        Token piece = word_token(from, i, end);
        piece.spaced = false;
        const bool digit = rest[0] >= '0' && rest[0] <= '9';
        const bool fraction = rest[0] == '.' && rest.size() > 1 && rest[1] >= '0' && rest[1] <= '9';
        if (digit || fraction) {
          // The number ends where the classic lexer ends it, which may be
          // past `end` (1e-1e-1: the word 1e-1e, "-", then 1e-1).
          piece.kind = Tok::kNumber;
          piece.end = static_cast<std::uint32_t>(i + number_prefix(text.substr(i)));
        } else if (const std::size_t w = classic_word_prefix(rest); w > 0) {
          piece.end = static_cast<std::uint32_t>(i + w);
          piece.kw = keyword_of(rest.substr(0, w));
        } else if (rest[0] == '-' || rest[0] == '+') {
          piece.kind = Tok::kOp;
          piece.op = rest[0] == '-' ? Op::kMinus : Op::kPlus;
          piece.end = static_cast<std::uint32_t>(i + 1);
        } else if (rest[0] == '.') {
          piece.kind = Tok::kDot;
          piece.end = static_cast<std::uint32_t>(i + 1);
        }
        if (piece.end > end && !can_run_on) piece.end = static_cast<std::uint32_t>(end);
        glued.push_back(piece);
        i = piece.end;
      }
      if (i < end) {
        Token piece = word_token(from, i, end);
        piece.spaced = false;
        glued.push_back(piece);
      }
      if (i <= end) break;
      // The last number runs on into the tokens after it: those it covers
      // go, and the rest of the one it ends in is read the same way (in a
      // loop: a long run of 1e-1e-1.. goes on token after token).
      while (next < tokens.size() && tokens[next].kind != Tok::kEnd && tokens[next].end <= i) ++next;
      if (next >= tokens.size() || tokens[next].kind == Tok::kEnd || tokens[next].begin >= i) break;
      from = tokens[next++];
      begin = i;
      end = from.end;
    }
    for (std::size_t k = glued.size(); k-- > 0;) pending.push_back(glued[k]);
  };
  Token t;
  for (;;) {
    if (!pending.empty()) {
      t = pending.back();
      pending.pop_back();
    } else if (next < tokens.size()) {
      t = tokens[next++];
    } else {
      break;
    }
    const bool quoted = t.kind == Tok::kString || t.kind == Tok::kQuotedName;
    const bool unterminated = t.kind == Tok::kError && (static_cast<LexError>(t.sub) == LexError::kUnterminatedString ||
                                                         static_cast<LexError>(t.sub) == LexError::kUnterminatedName);
    if ((quoted || unterminated) && t.end - t.begin > 2 && (text[t.begin] | 0x20) == 'u' && text[t.begin + 1] == '&') {
      // U&'x' is the name U, "&" and a string.
      Token amp = t;
      amp.kind = Tok::kOp;
      amp.op = Op::kAmp;
      amp.spaced = false;
      amp.begin = t.begin + 1;
      amp.end = t.begin + 2;
      Token rest = t;
      rest.begin = t.begin + 2;
      if (quoted) rest.sub = static_cast<std::uint8_t>(text[rest.begin]);
      rest.spaced = false;
      pending.push_back(rest);
      pending.push_back(amp);
      pending.push_back(word_token(t, t.begin, t.begin + 1));
      continue;
    }
    if ((t.kind == Tok::kString || (t.kind == Tok::kError &&
                                    static_cast<LexError>(t.sub) == LexError::kUnterminatedString)) &&
        text[t.begin] != '\'' && text[t.begin] != '$') {
      // N'x', E'x', f'rom: the name N, then the string (or its error).
      const std::size_t quote = text.find('\'', t.begin);
      if (quote != std::string_view::npos && quote > t.begin && quote < t.begin + 3) {
        Token rest = t;
        rest.begin = static_cast<std::uint32_t>(quote);
        rest.spaced = false;
        if (rest.kind == Tok::kString) rest.sub = '\'';
        pending.push_back(rest);
        pending.push_back(word_token(t, t.begin, quote));
        continue;
      }
    }
    if (t.kind == Tok::kNumber && text[t.begin] == '.' && pending.empty() && next < tokens.size() &&
        tokens[next].kind == Tok::kWord && tokens[next].begin == t.end) {
      // .5bd: the statement lexer ends a number that starts with "." before a
      // name; the classic lexer reads one word, 0.5 times bd.
      t = word_token(t, t.begin, tokens[next++].end);
    }
    if (t.kind == Tok::kOp && (text[t.begin] == '@' || text[t.begin] == '$')) {
      // "@" and "$" are name characters to the classic lexer (@, @@ and $
      // alone are names); the rest of an operator (@>, $<) is read again.
      std::size_t k = t.begin;
      while (k < t.end && (text[k] == '@' || text[k] == '$')) ++k;
      if (k < t.end) {
        Token rest = t;
        rest.op = Op::kCustom;
        rest.begin = static_cast<std::uint32_t>(k);
        rest.spaced = false;
        // a@>=b: the classic lexer reads ">=" whole.
        while (pending.empty() && next < tokens.size() && tokens[next].kind == Tok::kOp &&
               tokens[next].begin == rest.end) {
          rest.end = tokens[next++].end;
        }
        pending.push_back(rest);
      }
      t = word_token(t, t.begin, k);
    }
    if (t.kind == Tok::kOp && !classic_operator(t.op)) {
      pieces.clear();
      Token rest;
      split_operator(text, t, pieces, &rest);
      if (!pieces.empty()) {
        if (rest.begin < rest.end) pending.push_back(rest);  // refused when read
        for (std::size_t k = pieces.size(); k-- > 0;) pending.push_back(pieces[k]);
        continue;
      }
    }
    if (t.kind == Tok::kParam && (text[t.begin] == '@' || text[t.begin] == '$') &&
        classic_word_prefix(text.substr(t.begin, t.end - t.begin)) > 0) {
      t = word_token(t, t.begin, t.end);  // @x, @@x, $1: classic names (@¿ ends before the ¿)
    }
    if ((t.kind == Tok::kNumber || t.kind == Tok::kWord) && !t.spaced && !out.empty() &&
        out.back().kind == Tok::kWord && out.back().end == t.begin) {
      // x@1.5: the name takes the digits, ".5" is a number of its own (and
      // the "." of @0. a dot).
      const std::size_t d = classic_word_prefix(text.substr(t.begin, t.end - t.begin));
      if (d > 0 && t.begin + d < t.end) {
        glue(t, t.begin + d, t.end);  // @0.o0: a dot, then a name; @4e-3: @4e minus 3
        t.end = static_cast<std::uint32_t>(t.begin + d);
      }
    }
    if ((t.kind == Tok::kWord || t.kind == Tok::kNumber) && !t.spaced && !out.empty() &&
        out.back().kind == Tok::kWord && out.back().end == t.begin && classic_word(text.substr(t.begin, t.end - t.begin))) {
      // foo@bar and ~@1 hold one classic name (the statement lexer ends a word at "@").
      out.back().end = t.end;
      out.back().kw = Kw::kNone;
      prev_end = t.end;
      continue;
    }
    if (t.kind == Tok::kNumber && pending.empty() && next < tokens.size() && tokens[next].kind == Tok::kDot &&
        tokens[next].begin == t.end && all_digits(text.substr(t.begin, t.end - t.begin))) {
      // 0..5: the classic number takes the first dot (0.), then .5 follows.
      t.end = tokens[next++].end;
    }
    if ((t.kind == Tok::kWord || t.kind == Tok::kNumber) &&
        ((text[t.begin] >= '0' && text[t.begin] <= '9') || text[t.begin] == '.')) {
      // 2x, 1.5e3x(a), 0x1Fg, 5s: the classic lexer reads the number, then
      // a product with the name written against it.
      const std::string_view w = text.substr(t.begin, t.end - t.begin);
      const std::size_t n = number_prefix(w);
      // The name ends where the classic lexer ends it; a character that starts
      // no classic token is read on its own (1x߲ is 1 times x, then the error).
      const std::size_t k = n > 0 && n < w.size() ? classic_word_prefix(w.substr(n)) : 0;
      if (k > 0) {
        // The rest is read again: 1_0.x.y (dotted parts), 6_1e-1 (a sign,
        // then a number), 1x߲ (a character no name holds).
        if (n + k < w.size()) glue(t, t.begin + n + k, t.end);
        Token name = word_token(t, t.begin + n, t.begin + n + k);
        name.spaced = false;
        name.kw = keyword_of(w.substr(n, k));
        Token product = t;
        product.kind = Tok::kStar;
        product.kw = Kw::kNone;
        product.spaced = false;
        product.begin = product.end = static_cast<std::uint32_t>(t.begin + n);
        pending.push_back(name);
        pending.push_back(product);
        t.kind = Tok::kNumber;
        t.kw = Kw::kNone;
        t.end = static_cast<std::uint32_t>(t.begin + n);
      } else if (k == 0 && n > 0 && n < w.size() && static_cast<unsigned char>(w[n]) >= 0x80) {
        // 66˒: the number, then a character that starts no classic token.
        Token rest = word_token(t, t.begin + n, t.end);
        rest.spaced = false;
        pending.push_back(rest);
        t.kind = Tok::kNumber;
        t.kw = Kw::kNone;
        t.end = static_cast<std::uint32_t>(t.begin + n);
      }
    }
    const std::size_t comment = block_comment_in(text, prev_end, t.kind == Tok::kEnd ? text.size() : t.begin);
    std::size_t bad = std::string_view::npos;
    bool bad_escape = false;
    if (comment != std::string_view::npos) {
      bad = comment;
    } else if (t.kind == Tok::kEnd) {
      out.push_back(t);
      break;
    } else if (t.kind != Tok::kError && !classic_token(text, t, out.empty() ? nullptr : &out.back())) {
      bad = t.begin;
      if (t.kind == Tok::kWord && !((text[t.begin] >= '0' && text[t.begin] <= '9') || text[t.begin] == '.')) {
        // from؋x: the classic name ends before the first character it
        // cannot hold, which starts no token.
        const std::string_view w = text.substr(t.begin, t.end - t.begin);
        const std::size_t k = classic_word_prefix(w);
        if (k > 0 && k < w.size()) {
          Token head = word_token(t, t.begin, t.begin + k);
          head.kw = keyword_of(w.substr(0, k));
          if (!out.empty() && out.back().kind == Tok::kNumber && out.back().end == t.begin) {
            Token product = head;  // 1@a؋: the name still multiplies the number
            product.kind = Tok::kStar;
            product.kw = Kw::kNone;
            product.spaced = false;
            product.end = product.begin;
            out.push_back(product);
          }
          out.push_back(head);
          bad = t.begin + k;
        }
      }
      const char q = text[t.begin];
      const Token* prev = out.empty() ? nullptr : &out.back();
      const bool subscript = q == '[' && !t.spaced && prev != nullptr && prev->end == t.begin &&
                             (prev->kind == Tok::kWord || prev->kind == Tok::kQuotedName ||
                              prev->kind == Tok::kRParen || prev->kind == Tok::kParam);
      bad_escape = quoted && !subscript && t.end - t.begin >= 2 && (q == '\'' || q == '"' || q == '`' || q == '[') &&
                   !sql_parser::unescape(text.substr(t.begin + 1, t.end - t.begin - 2), q == '[' ? ']' : q, nullptr);
    }
    if (bad != std::string_view::npos) {
      Token e;
      e.kind = Tok::kError;
      e.sub = static_cast<std::uint8_t>(LexError::kBadChar);
      e.begin = static_cast<std::uint32_t>(bad);
      e.end = static_cast<std::uint32_t>(text.size());
      if (bad_escape) e.op = Op::kCustom;  // marks a bad backslash escape
      out.push_back(e);
      out.push_back(end_token);
      break;
    }
    if (t.kind == Tok::kWord && !out.empty() && out.back().kind == Tok::kNumber && out.back().end == t.begin) {
      // 8@8: a name written against a number multiplies it.
      Token product = t;
      product.kind = Tok::kStar;
      product.kw = Kw::kNone;
      product.spaced = false;
      product.end = product.begin;
      out.push_back(product);
    }
    out.push_back(t);
    prev_end = t.end;
  }
  tokens.swap(out);
}

}  // namespace sqlparse::syntax
