#include "lineage/schema.h"

#include <utility>

namespace sqlparse::lineage {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

Schema::Schema(std::string default_catalog, std::string default_schema)
    : default_catalog_(lower(default_catalog)), default_schema_(lower(default_schema)) {}

// The lower-cased name with the defaults filling the missing leading parts,
// parts joined by a byte that no name holds.
std::string Schema::key(const std::vector<std::string>& parts) const {
  std::string out;
  auto add = [&out](std::string_view part) {
    const std::size_t at = out.size();
    out.append(part);
    for (std::size_t i = at; i < out.size(); ++i) {
      if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
    }
    out += '\x1f';
  };
  if (parts.size() == 1) {
    if (!default_catalog_.empty() && !default_schema_.empty()) add(default_catalog_);
    if (!default_schema_.empty()) add(default_schema_);
  } else if (parts.size() == 2 && !default_catalog_.empty()) {
    add(default_catalog_);
  }
  for (const std::string& p : parts) add(p);
  if (!out.empty()) out.pop_back();
  return out;
}

std::size_t Schema::put(const std::vector<std::string>& parts, std::vector<std::string> columns) {
  std::string display;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) display += '.';
    display += parts[i];
  }
  std::string k = key(parts);
  auto it = index_.find(k);
  if (it != index_.end()) {
    tables_[it->second] = SchemaTable{std::move(display), std::move(columns)};
    return it->second;
  }
  index_.emplace(std::move(k), tables_.size());
  tables_.push_back(SchemaTable{std::move(display), std::move(columns)});
  return tables_.size() - 1;
}

void Schema::add_table(const std::vector<std::string>& parts, std::vector<std::string> columns) {
  const std::size_t i = put(parts, std::move(columns));
  if (!pending_.empty()) {
    pending_.resize(tables_.size(), 0);
    pending_[i] = 0;
  }
}

void Schema::add_lazy_table(const std::vector<std::string>& parts, std::size_t handle) {
  const std::size_t i = put(parts, {});
  pending_.resize(tables_.size(), 0);
  pending_[i] = handle + 1;
}

const SchemaTable* Schema::find(const std::vector<std::string>& parts) const {
  if (parts.empty() || tables_.empty()) return nullptr;
  auto it = index_.find(key(parts));
  if (it == index_.end()) return nullptr;
  const std::size_t i = it->second;
  if (i < pending_.size() && pending_[i] != 0) {
    const std::size_t handle = pending_[i] - 1;
    pending_[i] = 0;
    if (source_) tables_[i].columns = source_(handle);
  }
  return &tables_[i];
}

}  // namespace sqlparse::lineage
