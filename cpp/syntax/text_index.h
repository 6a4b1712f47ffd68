// Positions in a script's text: byte offsets to character offsets, lines and
// columns, each in logarithmic time after one pass over the text. A text of
// one chunk or less (most statements) gets no index: counting within it
// costs no more than a lookup, and building one costs allocations per text.
//
// Statements, warnings and errors all report positions; counting from the
// start of the text each time made a script of many statements quadratic.
// The index of a longer text is built on the first lookup (once, whichever
// thread asks first): a script parsed only for its tree never needs it.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace sqlparse::syntax {

class TextIndex {
 public:
  TextIndex() = default;
  explicit TextIndex(std::string_view text) : text_(text) {}
  TextIndex(const TextIndex&) = delete;
  TextIndex& operator=(const TextIndex&) = delete;

  // Indexes `text` instead (before any lookup).
  void reset(std::string_view text) { text_ = text; }

  // Code points before `byte` (a byte past the end counts as the end).
  std::size_t char_offset(std::size_t byte) const;
  // Line (from 1) and column (code points from the line's start, from 1).
  void line_column(std::size_t byte, int* line, int* column) const;

 private:
  static constexpr std::size_t kChunk = 4096;
  void build() const;
  void built() const {
    if (text_.size() > kChunk && !built_.load(std::memory_order_acquire)) [[unlikely]] build();
  }

  std::string_view text_;
  mutable std::atomic<bool> built_{false};
  mutable std::mutex building_;
  mutable std::vector<std::uint32_t> line_starts_;  // byte offset of every line
  mutable std::vector<std::size_t> chunk_chars_;    // code points before byte k * kChunk
};

}  // namespace sqlparse::syntax
