#include "sqlparse_main/front_end/re_hint.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sqlparse {
namespace {

// Index of the first '/' or '*' in s[from, end), or `end` when there is none.
// Only these two characters change the state of stage 1, so everything in
// between is handled as one span.
std::size_t next_marker(const char* s, std::size_t from, std::size_t end) {
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i slash = _mm_set1_epi8('/');
  const __m128i star = _mm_set1_epi8('*');
  while (i + 16 <= end) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(chunk, slash), _mm_cmpeq_epi8(chunk, star));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    i += 16;
  }
#endif
  for (; i < end; ++i) {
    if (s[i] == '/' || s[i] == '*') return i;
  }
  return end;
}

// Stage 1 output: a buffer whose live text starts at `start`. The two-sided
// strip of '/' at every "/*" then costs O(1) amortised: the trailing side pops
// characters that were appended before, the leading side moves `start` past
// characters that were appended before, and each character is passed over at
// most once by each side.
struct StripBuffer {
  std::string buf;
  std::size_t start = 0;

  void strip_slashes() {
    while (buf.size() > start && buf.back() == '/') buf.pop_back();
    while (start < buf.size() && buf[start] == '/') ++start;
    if (start == buf.size()) {
      buf.clear();
      start = 0;
    }
  }
  std::string_view text() const { return std::string_view(buf).substr(start); }
};

void strip_block_comments(std::string_view sql, StripBuffer& out) {
  out.buf.reserve(sql.size());
  const char* s = sql.data();
  const std::size_t n = sql.size();
  std::int64_t depth = 0;  // open block comments; may go negative
  char prev = 0;           // previous character if it was '/' or '*', else 0
  std::size_t i = 0;
  while (i < n) {
    std::size_t j = next_marker(s, i, n);
    if (j > i) {
      if (depth == 0) out.buf.append(s + i, j - i);
      prev = 0;
      i = j;
      if (i == n) break;
    }
    const char c = s[i];
    if (prev == '/' && c == '*') {
      out.strip_slashes();
      ++depth;
    }
    if (depth == 0) out.buf.push_back(c);
    if (prev == '*' && c == '/') --depth;
    prev = c;
    ++i;
  }
}

// Position of the next "--" at or after `from`, or npos.
std::size_t find_dash_dash(std::string_view s, std::size_t from) {
  const char* base = s.data();
  const std::size_t n = s.size();
  while (from + 1 < n) {
    const void* hit = std::memchr(base + from, '-', n - 1 - from);
    if (hit == nullptr) return std::string_view::npos;
    std::size_t p = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    if (base[p + 1] == '-') return p;
    from = p + 1;
  }
  return std::string_view::npos;
}

// Stage 2: every "--.*\n?" becomes "\n". Returns false (and leaves `out`
// untouched) when the text holds no "--", so the caller can skip a copy.
bool strip_line_comments(std::string_view s, std::string& out) {
  std::size_t p = find_dash_dash(s, 0);
  if (p == std::string_view::npos) return false;
  out.reserve(s.size());
  std::size_t i = 0;
  while (p != std::string_view::npos) {
    out.append(s.data() + i, p - i);
    out.push_back('\n');
    std::size_t lf = s.find('\n', p + 2);
    if (lf == std::string_view::npos) {
      i = s.size();
      break;
    }
    i = lf + 1;
    p = find_dash_dash(s, i);
  }
  out.append(s.data() + i, s.size() - i);
  return true;
}

bool is_ascii_space(unsigned char b) {
  return b == ' ' || (b >= 0x09 && b <= 0x0D) || (b >= 0x1C && b <= 0x1F);
}

// Byte length of the white-space character that starts at line[i], or 0 when
// the character there is not white space. Multi-byte white space in UTF-8:
// U+0085, U+00A0 (C2 xx); U+1680 (E1 9A 80); U+2000..U+200A, U+2028, U+2029,
// U+202F (E2 80 xx); U+205F (E2 81 9F); U+3000 (E3 80 80).
std::size_t space_length(std::string_view line, std::size_t i) {
  const auto at = [&](std::size_t k) -> unsigned {
    return i + k < line.size() ? static_cast<unsigned char>(line[i + k]) : 0u;
  };
  const unsigned b0 = at(0);
  if (b0 < 0x80) return is_ascii_space(static_cast<unsigned char>(b0)) ? 1 : 0;
  if (b0 == 0xC2) {
    const unsigned b1 = at(1);
    return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
  }
  if (b0 == 0xE1) return (at(1) == 0x9A && at(2) == 0x80) ? 3 : 0;
  if (b0 == 0xE2) {
    const unsigned b1 = at(1), b2 = at(2);
    if (b1 == 0x80) {
      return ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) ? 3 : 0;
    }
    return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;
  }
  if (b0 == 0xE3) return (at(1) == 0x80 && at(2) == 0x80) ? 3 : 0;
  return 0;
}

// True when the line is empty or white space only. Stops at the first
// character that is not white space, which for real queries is almost always
// the first or second byte.
bool is_blank(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size()) {
    std::size_t len = space_length(line, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

// Stage 3: drop blank lines, join the rest with "\n". Consecutive kept lines
// are copied as one run, so text without blank lines costs one memcpy.
std::string drop_blank_lines(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t run_start = 0;  // first byte of the current run of kept lines
  bool in_run = false;
  std::size_t i = 0;
  const auto flush = [&](std::size_t run_end) {
    if (!out.empty()) out.push_back('\n');
    out.append(s.data() + run_start, run_end - run_start);
  };
  for (;;) {
    std::size_t lf = s.find('\n', i);
    std::size_t end = lf == std::string_view::npos ? s.size() : lf;
    if (is_blank(s.substr(i, end - i))) {
      if (in_run) flush(i - 1);  // the run ends before this line's "\n"
      in_run = false;
    } else if (!in_run) {
      run_start = i;
      in_run = true;
    }
    if (lf == std::string_view::npos) break;
    i = lf + 1;
  }
  if (in_run) flush(s.size());
  return out;
}

}  // namespace

std::string re_hint(std::string_view sql) {
  // Text without '/' or '*' passes stage 1 unchanged: skip the copy.
  StripBuffer stage1;
  std::string_view after_blocks = sql;
  if (next_marker(sql.data(), 0, sql.size()) != sql.size()) {
    strip_block_comments(sql, stage1);
    after_blocks = stage1.text();
  }
  std::string stage2;
  std::string_view after_lines = after_blocks;
  if (strip_line_comments(after_blocks, stage2)) {
    // The stage-1 buffer is no longer needed; free it before stage 3 grows.
    std::string().swap(stage1.buf);
    after_lines = stage2;
  }
  return drop_blank_lines(after_lines);
}

}  // namespace sqlparse
