// The SQL texts of an Arrow string column, read in place from its buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "arrow_edges/c_data.h"

namespace sqlparse::arrow_edges {

// Why a row holds no text to analyse.
enum class TextState : std::uint8_t {
  kText,     // a text (possibly empty)
  kNull,     // a null
  kNotUtf8,  // bytes that are not UTF-8; bad_byte says where
  kTooLong,  // longer than kMaxTextBytes
};

// Longest text analysed. Every name or message taken from a text is shorter,
// so each value fits the 32-bit offsets of the edge table's string columns.
inline constexpr std::size_t kMaxTextBytes = std::size_t{1} << 30;

struct TextColumn {
  std::vector<std::string_view> texts;  // empty for every state but kText
  std::vector<TextState> states;
  std::vector<std::size_t> bad_byte;    // for kNotUtf8: offset of the first bad byte
};

// A column the kernel cannot read: an unsupported type or buffers that
// contradict each other.
struct ColumnError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// Reads a utf8 ("u"), large utf8 ("U") or utf8 view ("vu") array. The views
// point into the array's buffers, which must outlive the result. Each text is
// checked to be UTF-8. Throws ColumnError for any other type.
TextColumn read_text_column(const ArrowSchema& schema, const ArrowArray& array);

// Offset of the first byte of `text` that breaks UTF-8 (overlong forms,
// surrogates and code points past U+10FFFF included), or text.size().
std::size_t first_invalid_utf8(std::string_view text);

}  // namespace sqlparse::arrow_edges
