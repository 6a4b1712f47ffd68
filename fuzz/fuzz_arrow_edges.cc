// Fuzz target: the Arrow edge kernel on arbitrary columns of texts.
//
// The first byte picks the dialect, the second how many leading rows the
// array skips through its offset; the rest is split on NUL bytes into texts,
// and a text starting with 0x01 is a null. The texts go through an Arrow utf8
// array (validity bitmap, offsets, data) that read_text_column reads back,
// then through lineage_edges. Properties: nothing throws; every column of
// every batch has the batch's length, non-decreasing offsets, a null count
// that matches its bitmap and, for strings, valid UTF-8; rows come in input
// order; an error row has no edge.
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "arrow_edges/edges.h"
#include "fuzz_check.h"

namespace {

constexpr std::string_view kDialects[] = {"generic", "bigquery", "snowflake", "tsql", "mysql",
                                          "postgres", "spark", "clickhouse"};

bool bit(const void* bitmap, std::int64_t i) {
  if (bitmap == nullptr) return true;
  return (static_cast<const std::uint8_t*>(bitmap)[i >> 3] >> (i & 7)) & 1;
}

void check_column(const ArrowArray& column, const ArrowSchema& schema, std::int64_t length) {
  FUZZ_CHECK(column.length == length, "a column of another length than its batch");
  std::int64_t nulls = 0;
  for (std::int64_t i = 0; i < length; ++i) nulls += !bit(column.buffers[0], i);
  FUZZ_CHECK(nulls == column.null_count, "a null count that differs from the bitmap");
  const std::string_view format = schema.format;
  if (format == "u" || format == "+l") {
    const auto* offsets = static_cast<const std::int32_t*>(column.buffers[1]);
    FUZZ_CHECK(offsets[0] == 0, "offsets that do not start at 0");
    for (std::int64_t i = 0; i < length; ++i) {
      FUZZ_CHECK(offsets[i] <= offsets[i + 1], "decreasing offsets");
    }
    if (format == "u") {
      const std::string_view data(static_cast<const char*>(column.buffers[2]),
                                  static_cast<std::size_t>(offsets[length]));
      FUZZ_CHECK(sqlparse::arrow_edges::first_invalid_utf8(data) == data.size(),
                 "a string column that is not UTF-8");
    } else {
      FUZZ_CHECK(column.n_children == 1 && schema.n_children == 1, "a list without its child");
      check_column(*column.children[0], *schema.children[0], offsets[length]);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto dialect = *sqlparse::syntax::dialect_by_name(kDialects[data[0] % std::size(kDialects)]);
  const std::int64_t skip = data[1] % 9;
  std::vector<std::string_view> texts;
  std::vector<bool> valid;
  for (std::int64_t i = 0; i < skip; ++i) {
    texts.emplace_back("select skipped");
    valid.push_back(i % 2 == 0);
  }
  std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  while (true) {
    const std::size_t end = rest.find('\0');
    std::string_view text = rest.substr(0, end);
    const bool is_null = !text.empty() && text[0] == '\x01';
    texts.push_back(is_null ? std::string_view() : text);
    valid.push_back(!is_null);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  // The column as Arrow lays it out.
  std::vector<std::uint8_t> bitmap((texts.size() + 7) / 8, 0);
  std::vector<std::int32_t> offsets{0};
  std::string bytes;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (valid[i]) bitmap[i >> 3] |= static_cast<std::uint8_t>(1u << (i & 7));
    bytes.append(texts[i]);
    offsets.push_back(static_cast<std::int32_t>(bytes.size()));
  }
  const void* buffers[3] = {bitmap.data(), offsets.data(), bytes.data()};
  ArrowSchema in_schema{};
  in_schema.format = "u";
  in_schema.release = [](ArrowSchema* s) { s->release = nullptr; };
  ArrowArray in{};
  in.length = static_cast<std::int64_t>(texts.size()) - skip;
  in.offset = skip;
  in.n_buffers = 3;
  in.buffers = buffers;
  in.release = [](ArrowArray* a) { a->release = nullptr; };

  try {
    const auto column = sqlparse::arrow_edges::read_text_column(in_schema, in);
    FUZZ_CHECK(static_cast<std::int64_t>(column.texts.size()) == in.length, "rows lost in reading");
    sqlparse::lineage::Schema schema;
    schema.add_table({"t"}, {"a", "b", "c"});
    auto batches = sqlparse::arrow_edges::lineage_edges(column, dialect, schema, 1);
    std::int64_t last_row = 0;
    for (auto& batch : batches) {
      const ArrowArray& array = *batch.array();
      const ArrowSchema& out_schema = *batch.schema();
      FUZZ_CHECK(array.n_children == 12 && out_schema.n_children == 12, "a batch of other columns");
      for (int c = 0; c < 12; ++c) check_column(*array.children[c], *out_schema.children[c], array.length);
      const auto* rows = static_cast<const std::int64_t*>(array.children[0]->buffers[1]);
      const ArrowArray& edge = *array.children[8];
      const ArrowArray& error = *array.children[11];
      for (std::int64_t i = 0; i < array.length; ++i) {
        FUZZ_CHECK(rows[i] >= last_row && rows[i] < in.length, "rows out of input order");
        last_row = rows[i];
        FUZZ_CHECK(!(bit(error.buffers[0], i) && bit(edge.buffers[0], i)), "an error row with an edge");
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "unexpected exception: %s\n", e.what());
    FUZZ_CHECK(false, "the edge kernel threw");
  }
  return 0;
}
