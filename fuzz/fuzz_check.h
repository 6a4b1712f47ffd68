// Property checks for the fuzz targets: a failed check prints what failed and
// aborts, which libFuzzer reports as a crash and saves the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(cond, what)                                                        \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "property failed at %s:%d: %s\n", __FILE__, __LINE__, what); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

namespace fuzz {

// Code points that the host language's str.strip() removes.
inline bool is_unicode_space(unsigned cp) {
  return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D) || (cp >= 0x1C && cp <= 0x1F) || cp == 0x85 ||
         cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 ||
         cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

// Decodes one UTF-8 character at s[i] (surrogates accepted, as the binding
// passes them through); an invalid sequence yields one non-space byte.
inline unsigned decode_at(std::string_view s, std::size_t& i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned c = b(i);
  auto cont = [&](std::size_t k) { return k < s.size() && (b(k) & 0xC0) == 0x80; };
  if (c < 0x80) { i += 1; return c; }
  if ((c & 0xE0) == 0xC0 && cont(i + 1)) {
    unsigned cp = ((c & 0x1F) << 6) | (b(i + 1) & 0x3F);
    if (cp >= 0x80) { i += 2; return cp; }
  } else if ((c & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
    unsigned cp = ((c & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F);
    if (cp >= 0x800) { i += 3; return cp; }
  } else if ((c & 0xF8) == 0xF0 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
    unsigned cp = ((c & 0x07) << 18) | ((b(i + 1) & 0x3F) << 12) | ((b(i + 2) & 0x3F) << 6) |
                  (b(i + 3) & 0x3F);
    if (cp >= 0x10000 && cp <= 0x10FFFF) { i += 4; return cp; }
  }
  i += 1;
  return 0xFFFFFFFFu;  // not a character: never white space
}

inline bool is_blank_line(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size()) {
    if (!is_unicode_space(decode_at(line, i))) return false;
  }
  return true;
}

}  // namespace fuzz
