#include "lineage_view/text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sqlparse::lineage_view {

void append_int(std::string& out, std::int64_t value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;
  out.append(buf, end);
}

void append_fixed0(std::string& out, double value) {
  char buf[24];
  out.append(buf, write_fixed0(buf, value));
}

std::size_t utf8_length(std::string_view text) {
  std::size_t n = 0;
  for (char ch : text) n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  return n;
}

namespace {

// Bytes that need quoting: 1 in HTML, 2 in a JSON string in a <script>.
struct QuoteTable {
  unsigned char of[256] = {};
  constexpr QuoteTable() {
    for (char c : {'&', '<', '>', '"', '\''}) of[static_cast<unsigned char>(c)] |= 1;
    for (int c = 0; c < 0x20; ++c) of[c] |= 2;
    for (char c : {'"', '\\', '&', '<', '>'}) of[static_cast<unsigned char>(c)] |= 2;
  }
};
constexpr QuoteTable kQuote;

}  // namespace

void append_html(std::string& out, std::string_view text) {
  std::size_t plain = 0;  // start of the run not yet copied
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!(kQuote.of[static_cast<unsigned char>(text[i])] & 1)) continue;
    const char* ref;
    switch (text[i]) {
      case '&': ref = "&amp;"; break;
      case '<': ref = "&lt;"; break;
      case '>': ref = "&gt;"; break;
      case '"': ref = "&quot;"; break;
      default: ref = "&#x27;"; break;
    }
    out.append(text.data() + plain, i - plain);
    out += ref;
    plain = i + 1;
  }
  out.append(text.data() + plain, text.size() - plain);
}

namespace {

void append_json_escape(std::string& out, unsigned char ch) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (ch) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    case '\b': out += "\\b"; break;
    case '\f': out += "\\f"; break;
    default: {
      const char esc[6] = {'\\', 'u', '0', '0', kHex[ch >> 4], kHex[ch & 15]};
      out.append(esc, 6);
    }
  }
}

#if defined(__SSE2__)
// Bit i set when byte i of the 16 at p needs quoting in a JSON string in a
// <script>: below 0x20, or one of " \ & < >.
inline unsigned json_quote_mask(const char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i m = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1f)), v);
  for (char c : {'"', '\\', '&', '<', '>'}) m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
  return static_cast<unsigned>(_mm_movemask_epi8(m));
}
#endif

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  const char* data = text.data();
  std::size_t plain = 0;  // start of the run not yet copied
  std::size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time; each byte that needs quoting ends a plain run.
  for (; i + 16 <= text.size(); i += 16) {
    for (unsigned mask = json_quote_mask(data + i); mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
      out.append(data + plain, at - plain);
      append_json_escape(out, static_cast<unsigned char>(data[at]));
      plain = at + 1;
    }
  }
#endif
  for (; i < text.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(data[i]);
    if (!(kQuote.of[ch] & 2)) continue;
    out.append(data + plain, i - plain);
    append_json_escape(out, ch);
    plain = i + 1;
  }
  out.append(data + plain, text.size() - plain);
  out += '"';
}

void append_dot_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (char ch : text) {
    switch (ch) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': break;
      case '\n': out += "\\n"; break;
      default: out += ch;
    }
  }
  out += '"';
}

namespace {

// The code point at text[i] (valid UTF-8) and its length in bytes.
char32_t decode(std::string_view text, std::size_t i, std::size_t& len) {
  const unsigned char b = static_cast<unsigned char>(text[i]);
  len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  if (i + len > text.size()) len = text.size() - i;
  char32_t cp = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
  for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  return cp;
}

// White space as Python's str.split() sees it.
bool is_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || (cp >= 0x1C && cp <= 0x20) || cp == 0x85 || cp == 0xA0 ||
         cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 ||
         cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

}  // namespace

std::string squeeze_and_cut(std::string_view text, std::size_t width) {
  std::string out;
  std::size_t count = 0;
  std::size_t cut_at = std::string::npos;  // byte length after width - 1 code points
  bool gap = false;
  for (std::size_t i = 0, len = 0; i < text.size(); i += len) {
    const char32_t cp = decode(text, i, len);
    if (is_space(cp)) {
      gap = !out.empty();
      continue;
    }
    if (gap) {
      if (++count == width) cut_at = out.size();
      out += ' ';
      gap = false;
    }
    if (++count == width) cut_at = out.size();
    out.append(text.data() + i, len);
  }
  if (count > width) {
    out.resize(cut_at);
    out += "\u2026";
  }
  return out;
}

}  // namespace sqlparse::lineage_view
