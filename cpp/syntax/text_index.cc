#include "syntax/text_index.h"

#include <algorithm>

namespace sqlparse::syntax {
namespace {

inline bool starts_code_point(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

}  // namespace

TextIndex::TextIndex(std::string_view text) : text_(text) {
  line_starts_.push_back(0);
  chunk_chars_.reserve(text.size() / kChunk + 1);
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i % kChunk == 0) chunk_chars_.push_back(chars);
    chars += starts_code_point(text[i]);
    if (text[i] == '\n') line_starts_.push_back(static_cast<std::uint32_t>(i + 1));
  }
  if (chunk_chars_.empty()) chunk_chars_.push_back(0);
}

std::size_t TextIndex::char_offset(std::size_t byte) const {
  byte = std::min(byte, text_.size());
  const std::size_t chunk = std::min(byte / kChunk, chunk_chars_.size() - 1);
  std::size_t chars = chunk_chars_[chunk];
  for (std::size_t i = chunk * kChunk; i < byte; ++i) chars += starts_code_point(text_[i]);
  return chars;
}

void TextIndex::line_column(std::size_t byte, int* line, int* column) const {
  byte = std::min(byte, text_.size());
  const auto after = std::upper_bound(line_starts_.begin(), line_starts_.end(), byte);
  const std::size_t index = static_cast<std::size_t>(after - line_starts_.begin()) - 1;
  *line = static_cast<int>(index + 1);
  *column = static_cast<int>(char_offset(byte) - char_offset(line_starts_[index])) + 1;
}

}  // namespace sqlparse::syntax
