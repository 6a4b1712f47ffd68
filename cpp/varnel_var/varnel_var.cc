#include "varnel_var/varnel_var.h"

namespace sqlparse {

ColumnRecord* ResultMap::get(std::string_view key) {
  auto it = index_.find(key);
  return it == index_.end() ? nullptr : &slots_[it->second].record;
}

const ColumnRecord* ResultMap::get(std::string_view key) const {
  auto it = index_.find(key);
  return it == index_.end() ? nullptr : &slots_[it->second].record;
}

void ResultMap::add(const std::string& key, ColumnRecord record) {
  auto it = index_.find(std::string_view(key));
  if (it != index_.end()) {
    slots_[it->second].record = std::move(record);
    return;
  }
  index_.emplace(key, slots_.size());
  slots_.push_back(Slot{key, std::move(record), true});
}

bool ResultMap::pop(std::string_view key) {
  auto it = index_.find(key);
  if (it == index_.end()) return false;
  Slot& slot = slots_[it->second];
  slot.alive = false;
  slot.record = ColumnRecord();
  index_.erase(it);
  return true;
}

const std::vector<std::size_t>& AnalysisState::triples_with_target(const std::string& target) {
  for (; indexed_ < sqls.size(); ++indexed_) {
    const Node& tgt = sqls[indexed_].tgt;
    if (tgt.is_string()) by_target_[tgt.as_string()].push_back(indexed_);
  }
  static const std::vector<std::size_t> kNone;
  auto it = by_target_.find(target);
  return it == by_target_.end() ? kNone : it->second;
}

void ResultMap::clear() {
  slots_.clear();
  index_.clear();
}

const std::string* ResultMap::key_at(std::size_t slot) const {
  return slot < slots_.size() && slots_[slot].alive ? &slots_[slot].key : nullptr;
}

const ColumnRecord* ResultMap::record_at(std::size_t slot) const {
  return slot < slots_.size() && slots_[slot].alive ? &slots_[slot].record : nullptr;
}

}  // namespace sqlparse
