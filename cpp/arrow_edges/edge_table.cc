// Each exported array owns its buffers through a holder in private_data; its
// release callback releases the children a consumer has not moved out, then
// frees the holder, as the C data interface asks of a producer.
#include "arrow_edges/edge_table.h"

#include <utility>

namespace sqlparse::arrow_edges {

namespace {

// A consumer may read buffer pointers of empty buffers; give it a real one.
const std::uint8_t kEmpty[8] = {};

const void* pointer_of(const std::uint8_t* data) { return data == nullptr ? kEmpty : data; }

struct ArrayHolder {
  Bits validity, bools;
  Buffer values, data, child_offsets;
  std::vector<const void*> buffers;
  std::vector<ArrowArray*> children;
};

// The release callback of an ArrowArray or ArrowSchema whose holder keeps
// its children.
template <typename Struct, typename Holder>
void release_struct(Struct* s) {
  auto* holder = static_cast<Holder*>(s->private_data);
  for (Struct* child : holder->children) {
    if (child->release != nullptr) child->release(child);
    delete child;
  }
  delete holder;
  s->release = nullptr;
}

void release_array(ArrowArray* array) { release_struct<ArrowArray, ArrayHolder>(array); }

void fill_array(ArrowArray* out, ArrayHolder* holder, std::int64_t length, std::int64_t nulls) {
  out->length = length;
  out->null_count = nulls;
  out->offset = 0;
  out->n_buffers = static_cast<std::int64_t>(holder->buffers.size());
  out->n_children = static_cast<std::int64_t>(holder->children.size());
  out->buffers = holder->buffers.data();
  out->children = holder->children.empty() ? nullptr : holder->children.data();
  out->dictionary = nullptr;
  out->release = &release_array;
  out->private_data = holder;
}

struct SchemaHolder {
  std::string format, name;
  std::vector<ArrowSchema*> children;
};

void release_schema(ArrowSchema* schema) { release_struct<ArrowSchema, SchemaHolder>(schema); }

void fill_schema(ArrowSchema* out, SchemaHolder* holder) {
  out->format = holder->format.c_str();
  out->name = holder->name.c_str();
  out->metadata = nullptr;
  out->flags = ARROW_FLAG_NULLABLE;
  out->n_children = static_cast<std::int64_t>(holder->children.size());
  out->children = holder->children.empty() ? nullptr : holder->children.data();
  out->dictionary = nullptr;
  out->release = &release_schema;
  out->private_data = holder;
}

void make_schema(ArrowSchema* out, std::string format, std::string name) {
  auto* holder = new SchemaHolder{std::move(format), std::move(name), {}};
  fill_schema(out, holder);
}

const char* format_of(ColumnBuilder::Type type) {
  switch (type) {
    case ColumnBuilder::Type::kInt64: return "l";
    case ColumnBuilder::Type::kInt32: return "i";
    case ColumnBuilder::Type::kBool: return "b";
    case ColumnBuilder::Type::kString: return "u";
    case ColumnBuilder::Type::kStringList: return "+l";
  }
  return "n";
}

}  // namespace

ColumnBuilder::ColumnBuilder(std::string name, Type type) : name_(std::move(name)), type_(type) {
  if (type_ == Type::kString || type_ == Type::kStringList) values_.push<std::int32_t>(0);
  if (type_ == Type::kStringList) child_offsets_.push<std::int32_t>(0);
}

void ColumnBuilder::push_null() {
  validity_.push(false);
  switch (type_) {
    case Type::kInt64: values_.push<std::int64_t>(0); break;
    case Type::kInt32: values_.push<std::int32_t>(0); break;
    case Type::kBool: bools_.push(false); break;
    case Type::kString: values_.push(static_cast<std::int32_t>(data_.size())); break;
    case Type::kStringList: values_.push(static_cast<std::int32_t>(child_length_)); break;
  }
}

void ColumnBuilder::push_int(std::int64_t value) {
  validity_.push(true);
  if (type_ == Type::kInt64) values_.push<std::int64_t>(value);
  else values_.push(static_cast<std::int32_t>(value));
}

void ColumnBuilder::push_bool(bool value) {
  validity_.push(true);
  bools_.push(value);
}

void ColumnBuilder::push_string(std::string_view value) {
  validity_.push(true);
  data_.append(value);
  values_.push(static_cast<std::int32_t>(data_.size()));
}

void ColumnBuilder::push_strings(const std::vector<std::string_view>& values) {
  validity_.push(true);
  for (std::string_view value : values) {
    data_.append(value);
    child_offsets_.push(static_cast<std::int32_t>(data_.size()));
    ++child_length_;
  }
  values_.push(static_cast<std::int32_t>(child_length_));
}

void ColumnBuilder::export_to(ArrowArray* out, ArrowSchema* schema) {
  auto* holder = new ArrayHolder;
  const std::int64_t length = validity_.length();
  const std::int64_t nulls = validity_.zeros();
  holder->validity = std::move(validity_);
  holder->bools = std::move(bools_);
  holder->values = std::move(values_);
  holder->data = std::move(data_);
  holder->child_offsets = std::move(child_offsets_);
  holder->buffers.push_back(nulls == 0 ? nullptr : pointer_of(holder->validity.data()));
  make_schema(schema, format_of(type_), name_);
  switch (type_) {
    case Type::kBool:
      holder->buffers.push_back(pointer_of(holder->bools.data()));
      break;
    case Type::kString:
      holder->buffers.push_back(pointer_of(holder->values.data()));
      holder->buffers.push_back(pointer_of(holder->data.data()));
      break;
    case Type::kStringList: {
      holder->buffers.push_back(pointer_of(holder->values.data()));
      auto* child_holder = new ArrayHolder;
      child_holder->values = std::move(holder->child_offsets);
      child_holder->data = std::move(holder->data);
      child_holder->buffers = {nullptr, pointer_of(child_holder->values.data()),
                               pointer_of(child_holder->data.data())};
      auto* child = new ArrowArray;
      fill_array(child, child_holder, child_length_, 0);
      holder->children.push_back(child);
      auto* child_schema = new ArrowSchema;
      make_schema(child_schema, "u", "item");
      static_cast<SchemaHolder*>(schema->private_data)->children.push_back(child_schema);
      schema->n_children = 1;
      schema->children = static_cast<SchemaHolder*>(schema->private_data)->children.data();
      break;
    }
    default:
      holder->buffers.push_back(pointer_of(holder->values.data()));
      break;
  }
  fill_array(out, holder, length, nulls);
  // Ready for the next batch.
  *this = ColumnBuilder(std::move(name_), type_);
}

ExportedBatch::ExportedBatch() {
  schema_.release = nullptr;
  array_.release = nullptr;
  array_.length = 0;
}

ExportedBatch::~ExportedBatch() {
  if (array_.release != nullptr) array_.release(&array_);
  if (schema_.release != nullptr) schema_.release(&schema_);
}

ExportedBatch::ExportedBatch(ExportedBatch&& other) noexcept
    : schema_(other.schema_), array_(other.array_) {
  other.schema_.release = nullptr;
  other.array_.release = nullptr;
}

void ExportedBatch::move_to(ArrowSchema* schema, ArrowArray* array) {
  *schema = schema_;
  *array = array_;
  schema_.release = nullptr;
  array_.release = nullptr;
}

ExportedBatch export_batch(std::vector<ColumnBuilder>& columns) {
  ExportedBatch batch;
  auto* array_holder = new ArrayHolder;
  array_holder->buffers.push_back(nullptr);  // no row is null
  auto* schema_holder = new SchemaHolder{"+s", "", {}};
  const std::int64_t length = columns.empty() ? 0 : columns.front().length();
  for (ColumnBuilder& column : columns) {
    auto* child = new ArrowArray;
    auto* child_schema = new ArrowSchema;
    column.export_to(child, child_schema);
    array_holder->children.push_back(child);
    schema_holder->children.push_back(child_schema);
  }
  fill_array(batch.array(), array_holder, length, 0);
  fill_schema(batch.schema(), schema_holder);
  batch.schema()->flags = 0;
  return batch;
}

}  // namespace sqlparse::arrow_edges
