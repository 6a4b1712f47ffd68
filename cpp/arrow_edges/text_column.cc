#include "arrow_edges/text_column.h"

#include <cstring>
#include <string>

namespace sqlparse::arrow_edges {

std::size_t first_invalid_utf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    // Eight ASCII bytes at a time: most SQL is ASCII.
    if (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, s + i, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;        // overlong
      if (c == 0xED) hi = 0x9F;        // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;        // overlong
      if (c == 0xF4) hi = 0x8F;        // past U+10FFFF
    } else {
      return i;
    }
    if (i + len > n || s[i + 1] < lo || s[i + 1] > hi) return i;
    for (std::size_t k = 2; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return i;
    }
    i += len;
  }
  return n;
}

namespace {

bool is_valid(const ArrowArray& array, std::int64_t i) {
  const auto* bits = static_cast<const std::uint8_t*>(array.buffers[0]);
  if (bits == nullptr) return true;
  const std::int64_t k = array.offset + i;
  return (bits[k >> 3] >> (k & 7)) & 1;
}

void add(TextColumn& out, std::string_view text) {
  TextState state = TextState::kText;
  std::size_t bad = 0;
  if (text.size() > kMaxTextBytes) {
    state = TextState::kTooLong;
    bad = text.size();
  } else if ((bad = first_invalid_utf8(text)) != text.size()) {
    state = TextState::kNotUtf8;
  }
  out.texts.push_back(state == TextState::kText ? text : std::string_view());
  out.states.push_back(state);
  out.bad_byte.push_back(bad);
}

void add_null(TextColumn& out) {
  out.texts.emplace_back();
  out.states.push_back(TextState::kNull);
  out.bad_byte.push_back(0);
}

template <typename Offset>
void read_offsets(const ArrowArray& array, TextColumn& out) {
  if (array.n_buffers != 3) throw ColumnError("a string array has 3 buffers");
  const auto* offsets = static_cast<const Offset*>(array.buffers[1]);
  const char* data = static_cast<const char*>(array.buffers[2]);
  if (array.length > 0 && offsets == nullptr) throw ColumnError("string array without offsets");
  for (std::int64_t i = 0; i < array.length; ++i) {
    if (!is_valid(array, i)) {
      add_null(out);
      continue;
    }
    const Offset begin = offsets[array.offset + i];
    const Offset end = offsets[array.offset + i + 1];
    if (begin < 0 || end < begin) {
      throw ColumnError("string array offsets decrease at row " + std::to_string(i));
    }
    if (end > begin && data == nullptr) throw ColumnError("string array without data");
    add(out, std::string_view(data + begin, static_cast<std::size_t>(end - begin)));
  }
}

// Each view is 16 bytes: the length, then either the text itself (12 bytes or
// fewer) or a 4-byte prefix, the data buffer's index and the offset in it.
void read_views(const ArrowArray& array, TextColumn& out) {
  if (array.n_buffers < 3) throw ColumnError("a string view array has at least 3 buffers");
  const auto* views = static_cast<const std::uint8_t*>(array.buffers[1]);
  const std::int64_t data_buffers = array.n_buffers - 3;  // the last holds their sizes
  const auto* sizes = static_cast<const std::int64_t*>(array.buffers[array.n_buffers - 1]);
  if (array.length > 0 && views == nullptr) throw ColumnError("string view array without views");
  for (std::int64_t i = 0; i < array.length; ++i) {
    if (!is_valid(array, i)) {
      add_null(out);
      continue;
    }
    const std::uint8_t* view = views + 16 * (array.offset + i);
    std::int32_t length, buffer, offset;
    std::memcpy(&length, view, 4);
    if (length < 0) throw ColumnError("negative string view length at row " + std::to_string(i));
    if (length <= 12) {
      add(out, std::string_view(reinterpret_cast<const char*>(view + 4),
                                static_cast<std::size_t>(length)));
      continue;
    }
    std::memcpy(&buffer, view + 8, 4);
    std::memcpy(&offset, view + 12, 4);
    if (buffer < 0 || buffer >= data_buffers || offset < 0 ||
        (sizes != nullptr && std::int64_t{offset} + length > sizes[buffer])) {
      throw ColumnError("string view out of its buffers at row " + std::to_string(i));
    }
    const char* data = static_cast<const char*>(array.buffers[2 + buffer]);
    add(out, std::string_view(data + offset, static_cast<std::size_t>(length)));
  }
}

}  // namespace

TextColumn read_text_column(const ArrowSchema& schema, const ArrowArray& array) {
  if (array.release == nullptr || schema.release == nullptr) {
    throw ColumnError("the Arrow array was already released");
  }
  if (array.length < 0 || array.offset < 0) throw ColumnError("negative array length or offset");
  if (array.n_buffers < 1 || array.buffers == nullptr) throw ColumnError("array without buffers");
  const std::string_view format = schema.format == nullptr ? "" : schema.format;
  TextColumn out;
  out.texts.reserve(static_cast<std::size_t>(array.length));
  out.states.reserve(static_cast<std::size_t>(array.length));
  out.bad_byte.reserve(static_cast<std::size_t>(array.length));
  if (format == "u") {
    read_offsets<std::int32_t>(array, out);
  } else if (format == "U") {
    read_offsets<std::int64_t>(array, out);
  } else if (format == "vu") {
    read_views(array, out);
  } else {
    throw ColumnError("expected a string column, got Arrow format '" + std::string(format) + "'");
  }
  return out;
}

}  // namespace sqlparse::arrow_edges
