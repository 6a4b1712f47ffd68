#include "syntax/text_index.h"

#include <algorithm>
#include <cstring>

namespace sqlparse::syntax {
namespace {

inline bool starts_code_point(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

// Code points starting in data[0, n): every byte but the continuation bytes
// (10xxxxxx), counted eight at a time.
std::size_t count_code_points(const char* data, std::size_t n) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  const std::size_t words = n - n % 8;
  std::size_t starts = words;
  for (std::size_t i = 0; i < words; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, data + i, 8);
    // Bit 7 set and bit 6 clear: shifted left, bit 6 lands on bit 7. The
    // byte flags are summed by one multiply (no popcount instruction is
    // assumed; the library call costs more).
    const std::uint64_t flags = (w & kHigh & ~(w << 1)) >> 7;
    starts -= static_cast<std::size_t>((flags * 0x0101010101010101ull) >> 56);
  }
  for (std::size_t i = words; i < n; ++i) starts += starts_code_point(data[i]);
  return starts;
}

}  // namespace

void TextIndex::build() const {
  const std::lock_guard<std::mutex> lock(building_);
  if (built_.load(std::memory_order_relaxed)) return;  // another thread was first
  const std::string_view text = text_;
  line_starts_.push_back(0);
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  for (const char* p = begin; p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (p == nullptr) break;
    line_starts_.push_back(static_cast<std::uint32_t>(p - begin + 1));
  }
  // The code points before each chunk; a text of one chunk needs no count.
  chunk_chars_.reserve(text.size() / kChunk + 1);
  chunk_chars_.push_back(0);
  for (std::size_t at = kChunk; at < text.size(); at += kChunk) {
    chunk_chars_.push_back(chunk_chars_.back() + count_code_points(begin + at - kChunk, kChunk));
  }
  built_.store(true, std::memory_order_release);
}

std::size_t TextIndex::char_offset(std::size_t byte) const {
  built();
  byte = std::min(byte, text_.size());
  if (chunk_chars_.empty()) return count_code_points(text_.data(), byte);
  const std::size_t chunk = std::min(byte / kChunk, chunk_chars_.size() - 1);
  std::size_t chars = chunk_chars_[chunk];
  for (std::size_t i = chunk * kChunk; i < byte; ++i) chars += starts_code_point(text_[i]);
  return chars;
}

void TextIndex::line_column(std::size_t byte, int* line, int* column) const {
  built();
  byte = std::min(byte, text_.size());
  if (line_starts_.empty()) {
    // A short text: its lines counted here.
    std::size_t line_start = 0;
    int lines = 1;
    const char* const begin = text_.data();
    for (const char* p = begin; p < begin + byte; ++p) {
      p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(begin + byte - p)));
      if (p == nullptr) break;
      ++lines;
      line_start = static_cast<std::size_t>(p - begin + 1);
    }
    *line = lines;
    *column = static_cast<int>(count_code_points(begin + line_start, byte - line_start)) + 1;
    return;
  }
  const auto after = std::upper_bound(line_starts_.begin(), line_starts_.end(), byte);
  const std::size_t index = static_cast<std::size_t>(after - line_starts_.begin()) - 1;
  *line = static_cast<int>(index + 1);
  *column = static_cast<int>(char_offset(byte) - char_offset(line_starts_[index])) + 1;
}

}  // namespace sqlparse::syntax
