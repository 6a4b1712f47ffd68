// The edge table, built column by column and handed to Arrow consumers
// through the C data interface without copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arrow_edges/c_data.h"

namespace sqlparse::arrow_edges {

// Bytes of one Arrow buffer.
class Buffer {
 public:
  template <typename T>
  void push(T value) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + sizeof(T));
    std::memcpy(bytes_.data() + at, &value, sizeof(T));
  }
  void append(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
  std::size_t size() const { return bytes_.size(); }
  const std::uint8_t* data() const { return bytes_.data(); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A bitmap (validity or booleans), least significant bit first.
class Bits {
 public:
  void push(bool bit) {
    if ((length_ & 7) == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<std::uint8_t>(1u << (length_ & 7));
    else ++zeros_;
    ++length_;
  }
  std::int64_t length() const { return length_; }
  std::int64_t zeros() const { return zeros_; }
  const std::uint8_t* data() const { return bytes_.data(); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int64_t length_ = 0;
  std::int64_t zeros_ = 0;
};

// One column: its validity and values, in Arrow's layout for its format.
class ColumnBuilder {
 public:
  enum class Type { kInt64, kInt32, kBool, kString, kStringList };
  ColumnBuilder(std::string name, Type type);

  void push_null();
  void push_int(std::int64_t value);  // kInt64, kInt32
  void push_bool(bool value);
  void push_string(std::string_view value);
  void push_strings(const std::vector<std::string_view>& values);  // kStringList

  std::int64_t length() const { return validity_.length(); }
  // Bytes of string data held, the measure by which a batch is cut.
  std::size_t data_bytes() const { return data_.size(); }

  // Moves the column into `out`/`schema` (fresh structs the caller owns and
  // must release); the builder is left empty.
  void export_to(ArrowArray* out, ArrowSchema* schema);

 private:
  std::string name_;
  Type type_;
  Bits validity_;
  Bits bools_;
  Buffer values_;   // fixed-width values, or offsets
  Buffer data_;     // string bytes
  Buffer child_offsets_;  // kStringList: the offsets of its string child
  std::int64_t child_length_ = 0;
};

// Maximum string bytes a column of one batch holds before the batch is cut,
// so that 32-bit offsets never overflow (a single value is below 1 GiB).
inline constexpr std::size_t kBatchCutBytes = std::size_t{1} << 30;

// A record batch handed out through the C data interface: owned (and
// released) here until a consumer moves it out.
class ExportedBatch {
 public:
  ExportedBatch();
  ~ExportedBatch();
  ExportedBatch(ExportedBatch&& other) noexcept;
  ExportedBatch& operator=(ExportedBatch&&) = delete;
  ExportedBatch(const ExportedBatch&) = delete;

  ArrowSchema* schema() { return &schema_; }
  ArrowArray* array() { return &array_; }
  // Hands both structs to a consumer (which must release them); this object
  // then owns nothing.
  void move_to(ArrowSchema* schema, ArrowArray* array);
  std::int64_t length() const { return array_.length; }

 private:
  ArrowSchema schema_;
  ArrowArray array_;
};

// Builds a struct ("+s") batch out of named columns.
ExportedBatch export_batch(std::vector<ColumnBuilder>& columns);

}  // namespace sqlparse::arrow_edges
