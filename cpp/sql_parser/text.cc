// UTF-8 decoding and the escapes of quoted text, shared by the classic
// tree's renderer and the classic mode's token pass.
#include "sql_parser/text.h"

namespace sqlparse::sql_parser {
namespace {

inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool is_hex(unsigned char c) { return is_digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

int hex_value(unsigned char c) {
  if (is_digit(c)) return c - '0';
  return (c | 0x20) - 'a' + 10;
}

void append_utf8(std::string* out, std::uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {  // surrogates too, in their 3-byte form
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::size_t decode_utf8(std::string_view text, std::size_t i, std::uint32_t* cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = byte(i);
  std::size_t n = 0;
  std::uint32_t v = 0;
  std::uint32_t min = 0;
  if (c < 0x80) {
    *cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    n = 2, v = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, v = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, v = c & 0x07, min = 0x10000;
  } else {
    *cp = 0xFFFFFFFF;
    return 1;
  }
  if (i + n > text.size()) {
    *cp = 0xFFFFFFFF;
    return 1;
  }
  for (std::size_t k = 1; k < n; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      *cp = 0xFFFFFFFF;
      return 1;
    }
    v = (v << 6) | (b & 0x3F);
  }
  if (v < min || v > 0x10FFFF) {
    *cp = 0xFFFFFFFF;
    return 1;
  }
  *cp = v;
  return n;
}

bool unescape(std::string_view body, char quote, std::string* out) {
  const char close = quote == '[' ? ']' : quote;
  const std::size_t n = body.size();
  std::size_t i = 0;
  while (i < n) {
    char c = body[i];
    if (c == close) {  // the lexer only lets doubled closing quotes through
      if (out) out->push_back(close);
      i += 2;
      continue;
    }
    if (c != '\\') {
      std::size_t j = i + 1;
      while (j < n && body[j] != '\\' && body[j] != close) ++j;
      if (out) out->append(body.substr(i, j - i));
      i = j;
      continue;
    }
    if (i + 1 >= n) return false;  // a backslash would escape the closing quote
    char e = body[i + 1];
    i += 2;
    std::uint32_t cp = 0;
    switch (e) {
      case '\n':
        continue;
      case '\\':
      case '\'':
      case '"':
        if (out) out->push_back(e);
        continue;
      case 'a': cp = 7; break;
      case 'b': cp = 8; break;
      case 'f': cp = 12; break;
      case 'n': cp = 10; break;
      case 'r': cp = 13; break;
      case 't': cp = 9; break;
      case 'v': cp = 11; break;
      case 'x':
      case 'u':
      case 'U': {
        std::size_t digits = e == 'x' ? 2 : e == 'u' ? 4 : 8;
        if (i + digits > n) return false;
        for (std::size_t k = 0; k < digits; ++k) {
          unsigned char h = static_cast<unsigned char>(body[i + k]);
          if (!is_hex(h)) return false;
          cp = cp * 16 + static_cast<std::uint32_t>(hex_value(h));
        }
        if (cp > 0x10FFFF) return false;
        i += digits;
        break;
      }
      case 'N':  // named characters need the Unicode name table
        return false;
      default:
        if (e >= '0' && e <= '7') {
          cp = static_cast<std::uint32_t>(e - '0');
          for (int k = 0; k < 2 && i < n && body[i] >= '0' && body[i] <= '7'; ++k, ++i) {
            cp = cp * 8 + static_cast<std::uint32_t>(body[i] - '0');
          }
          break;
        }
        // Unknown escapes keep their backslash.
        if (out) out->push_back('\\');
        i -= 1;
        continue;
    }
    if (out) append_utf8(out, cp);
  }
  return true;
}

}  // namespace sqlparse::sql_parser
