// Fuzz target: comment stripping.
//
// Properties: the output has no blank line and does not end with a line feed;
// it is never longer than the input; and for inputs up to 4 KiB it equals a
// deliberately naive implementation of the same three stages (string erase
// for the slash strip, a character loop for line comments, split and filter
// for blank lines).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "sqlparse_main/front_end/re_hint.h"

namespace {

std::string naive_re_hint(std::string_view sql) {
  long depth = 0;
  std::string prev;
  std::string out;
  for (char c : sql) {
    std::string pair = prev + c;
    if (pair == "/*") {
      std::size_t b = out.find_first_not_of('/');
      if (b == std::string::npos) {
        out.clear();
      } else {
        std::size_t e = out.find_last_not_of('/');
        out = out.substr(b, e - b + 1);
      }
      ++depth;
    }
    if (depth == 0) out += c;
    if (pair == "*/") --depth;
    prev = (c == '/' || c == '*') ? std::string(1, c) : std::string();
  }
  // "--.*\n?" -> "\n"
  std::string lines;
  for (std::size_t i = 0; i < out.size();) {
    if (out[i] == '-' && i + 1 < out.size() && out[i + 1] == '-') {
      std::size_t j = i + 2;
      while (j < out.size() && out[j] != '\n') ++j;
      if (j < out.size()) ++j;
      lines += '\n';
      i = j;
    } else {
      lines += out[i++];
    }
  }
  std::vector<std::string> kept;
  std::size_t start = 0;
  for (;;) {
    std::size_t lf = lines.find('\n', start);
    std::string line = lines.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
    if (!fuzz::is_blank_line(line)) kept.push_back(line);
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  std::string result;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i) result += '\n';
    result += kept[i];
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string out = sqlparse::re_hint(in);
  FUZZ_CHECK(out.size() <= in.size(), "output longer than input");
  FUZZ_CHECK(out.empty() || out.back() != '\n', "output ends with a line feed");
  std::size_t start = 0;
  while (!out.empty()) {
    std::size_t lf = out.find('\n', start);
    std::string_view line = std::string_view(out).substr(
        start, lf == std::string::npos ? std::string_view::npos : lf - start);
    FUZZ_CHECK(!fuzz::is_blank_line(line), "output holds a blank line");
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  if (size <= 4096) FUZZ_CHECK(out == naive_re_hint(in), "differs from the naive implementation");
  return 0;
}
