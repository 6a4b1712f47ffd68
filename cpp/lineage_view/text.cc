#include "lineage_view/text.h"

#include <charconv>
#include <cmath>

namespace sqlparse::lineage_view {

void append_int(std::string& out, std::int64_t value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;
  out.append(buf, end);
}

void append_fixed0(std::string& out, double value) {
  const double r = std::nearbyint(value);  // the default rounding: ties to even
  if (r == 0 && std::signbit(r)) {
    out += "-0";
    return;
  }
  append_int(out, static_cast<std::int64_t>(r));
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

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    if (!(kQuote.of[ch] & 2)) continue;
    out.append(text.data() + plain, i - plain);
    plain = i + 1;
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
  out.append(text.data() + plain, text.size() - plain);
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
