// Text helpers of the lineage view: numbers as the page writes them, UTF-8
// lengths, and the quoting of text from SQL for HTML, JSON in a <script>
// element, and Graphviz.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace sqlparse::lineage_view {

void append_int(std::string& out, std::int64_t value);
// `value` rounded to an integer, ties to even (as printf's "%.0f").
void append_fixed0(std::string& out, double value);

namespace text_detail {

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// n < 100000 in decimal: the picture's coordinates, written two digits a step.
inline char* write_small(char* p, unsigned n) {
  const int digits = n < 10 ? 1 : n < 100 ? 2 : n < 1000 ? 3 : n < 10000 ? 4 : 5;
  char* end = p + digits;
  char* q = end;
  while (n >= 100) {
    const unsigned pair = (n % 100) * 2;
    n /= 100;
    *--q = kDigitPairs[pair + 1];
    *--q = kDigitPairs[pair];
  }
  if (n >= 10) {
    *--q = kDigitPairs[n * 2 + 1];
    *--q = kDigitPairs[n * 2];
  } else {
    *--q = static_cast<char>('0' + n);
  }
  return end;
}

}  // namespace text_detail

// `value` rounded to an integer, ties to even, written at p (room for 24
// bytes); the end of what was written. Inline: a page writes tens of
// thousands of coordinates.
inline char* write_fixed0(char* p, double value) {
  // Ties to even, as the default rounding mode does; adding and taking away
  // 1.5 * 2^52 rounds the same way without a library call.
  constexpr double kShift = 6755399441055744.0;
  const double r = std::fabs(value) < 0x1p51 ? (value + kShift) - kShift : std::nearbyint(value);
  if (r == 0 && std::signbit(r)) {
    *p++ = '-';
    *p++ = '0';
    return p;
  }
  if (r >= 0 && r < 100000) return text_detail::write_small(p, static_cast<unsigned>(r));
  return std::to_chars(p, p + 24, static_cast<std::int64_t>(r)).ptr;
}

// Code points in valid UTF-8.
std::size_t utf8_length(std::string_view text);

// Text for an HTML element or a quoted attribute: & < > " ' as references.
void append_html(std::string& out, std::string_view text);

// A JSON string literal that is also safe inside a <script> element: & < >
// are written as \u escapes, so no "</script>" or "<!--" can appear.
void append_json_string(std::string& out, std::string_view text);

// A Graphviz double-quoted string holding `text` literally (line feeds as \n).
void append_dot_quoted(std::string& out, std::string_view text);

// Runs of Unicode white space as one space, trimmed at both ends; then at most
// `width` code points, the last an ellipsis when cut.
std::string squeeze_and_cut(std::string_view text, std::size_t width);

}  // namespace sqlparse::lineage_view
