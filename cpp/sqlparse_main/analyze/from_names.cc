#include "sqlparse_main/analyze/from_names.h"

#include <algorithm>

namespace sqlparse {

namespace {

// The keys searched for; paths only need their text.
const std::string& name_key() {
  static const std::string key = "name";
  return key;
}

const std::string& from_key() {
  static const std::string key = "from";
  return key;
}

void append_step(std::string& out, const std::string* key, std::size_t index) {
  if (!out.empty()) out.push_back('.');
  if (key != nullptr) {
    out += *key;
  } else {
    out.push_back('[');
    out += std::to_string(index);
    out.push_back(']');
  }
}

std::size_t child_count(const Node& n) {
  return n.is_map() ? n.as_map().size() : n.as_list().size();
}

}  // namespace

// ---- NameIndex -------------------------------------------------------------------

std::int32_t NameIndex::add_step(std::int32_t parent, const std::string* key, std::size_t index) {
  steps_.push_back(Step{parent, key, index});
  return static_cast<std::int32_t>(steps_.size() - 1);
}

// One walk in the order of a "..name" search: a container's own "name" entry
// when it is reached, then its entries in order, at any depth. Every position
// is walked (a payload shared by two positions twice); a FROM value's run is
// the one of its first position.
NameIndex::NameIndex(Node root) : root_(std::move(root)) {
  struct Frame {
    const Node* node;
    std::size_t next;
    std::int32_t step;
    bool from_value;
    std::uint32_t begin;
  };
  std::vector<Frame> stack;
  auto enter = [&](const Node& node, std::int32_t step, bool from_value) {
    const auto begin = static_cast<std::uint32_t>(values_.size());
    if (node.is_map()) {
      if (const Node* name = node.as_map().get(name_key())) {
        const auto entry = static_cast<std::uint32_t>(values_.size());
        if (name->is_string()) {
          by_text_[name->as_string()].push_back(entry);
        } else {
          others_.push_back(entry);
        }
        values_.push_back(*name);
        value_steps_.push_back(add_step(step, &name_key(), 0));
      }
    }
    stack.push_back(Frame{&node, 0, step, from_value, begin});
  };

  if (root_.is_container()) enter(root_, -1, false);
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next >= child_count(*top.node)) {
      if (top.from_value) {
        runs_.emplace(top.node->identity(),
                      Run{top.begin, static_cast<std::uint32_t>(values_.size()), top.step});
      }
      stack.pop_back();
      continue;
    }
    const std::size_t i = top.next++;
    const std::int32_t parent = top.step;
    if (top.node->is_map()) {
      const auto& entry = top.node->as_map().entries()[i];
      if (!entry.second.is_container()) continue;
      enter(entry.second, add_step(parent, &entry.first, 0), entry.first == from_key());
    } else {
      const Node& item = top.node->as_list()[i];
      if (!item.is_container()) continue;
      enter(item, add_step(parent, nullptr, i), false);
    }
  }
}

const NameIndex::Run* NameIndex::run_of(const Node& from_value) const {
  auto it = runs_.find(from_value.identity());
  return it == runs_.end() ? nullptr : &it->second;
}

std::string NameIndex::path_below(std::size_t entry, std::int32_t top_step) const {
  std::vector<const Step*> chain;
  for (std::int32_t s = value_steps_[entry]; s >= 0 && s != top_step;
       s = steps_[static_cast<std::size_t>(s)].parent) {
    chain.push_back(&steps_[static_cast<std::size_t>(s)]);
  }
  std::string out;
  for (std::size_t k = chain.size(); k-- > 0;) append_step(out, chain[k]->key, chain[k]->index);
  return out;
}

const std::vector<std::uint32_t>* NameIndex::entries_of(std::string_view text) const {
  auto it = by_text_.find(text);
  return it == by_text_.end() ? nullptr : &it->second;
}

// ---- FromNameList ------------------------------------------------------------------

// The walk of "$..from" below `query`, but not into the FROM values found:
// those below one are covered by its run. A FROM value that the index does
// not hold (none should be missing) makes the list search the query itself.
FromNameList::FromNameList(std::shared_ptr<const NameIndex> index, const Node& query)
    : index_(std::move(index)) {
  struct Frame {
    const Node* node;
    std::size_t next;
    const Node* from_value;  // the entry not walked into
  };
  struct Label {
    const std::string* key;
    std::size_t index;
  };
  std::vector<Frame> stack;
  std::vector<Label> labels;  // from the query down to the top frame's node
  bool complete = true;
  auto enter = [&](const Node& node) {
    const Node* from_value = node.is_map() ? node.as_map().get(from_key()) : nullptr;
    if (from_value != nullptr && from_value->is_container()) {
      const NameIndex::Run* run = index_->run_of(*from_value);
      if (run == nullptr) {
        complete = false;
      } else if (run->end > run->begin) {
        std::string prefix;
        for (const Label& l : labels) append_step(prefix, l.key, l.index);
        append_step(prefix, &from_key(), 0);
        segments_.push_back(Segment{size_, *run, std::move(prefix)});
        size_ += run->end - run->begin;
      }
    }
    stack.push_back(Frame{&node, 0, from_value});
  };

  if (query.is_container()) enter(query);
  while (complete && !stack.empty()) {
    Frame& top = stack.back();
    if (top.next >= child_count(*top.node)) {
      stack.pop_back();
      if (!stack.empty()) labels.pop_back();
      continue;
    }
    const std::size_t i = top.next++;
    const Node* child;
    Label label;
    if (top.node->is_map()) {
      const auto& entry = top.node->as_map().entries()[i];
      child = &entry.second;
      label = Label{&entry.first, 0};
    } else {
      child = &top.node->as_list()[i];
      label = Label{nullptr, i};
    }
    if (child == top.from_value || !child->is_container()) continue;
    labels.push_back(label);
    enter(*child);
  }
  if (!complete) {
    index_.reset();
    segments_.clear();
    size_ = 0;
    matches_ = from_name_path().find_matches(query);
  }
}

const FromNameList::Segment& FromNameList::segment_of(std::size_t i) const {
  auto it = std::upper_bound(segments_.begin(), segments_.end(), i,
                             [](std::size_t at, const Segment& s) { return at < s.offset; });
  return *(it - 1);
}

const Node& FromNameList::value(std::size_t i) const {
  if (!index_) return matches_.value(i);
  const Segment& s = segment_of(i);
  return index_->value(s.run.begin + (i - s.offset));
}

std::string FromNameList::full_path(std::size_t i) const {
  if (!index_) return matches_.full_path(i);
  const Segment& s = segment_of(i);
  std::string path = s.prefix;
  path.push_back('.');
  path += index_->path_below(s.run.begin + (i - s.offset), s.run.step);
  return path;
}

std::size_t FromNameList::next_equal(std::size_t i, const Node& target) const {
  const std::size_t n = size();
  if (!index_) {
    for (; i < n; ++i) {
      if (python_equal(matches_.value(i), target)) return i;
    }
    return n;
  }
  if (i >= n) return n;
  // Text equals only text, and anything else only what is not text: only
  // the index's entries of that text, or those that are not text, are tried.
  const std::vector<std::uint32_t>* candidates =
      target.is_string() ? index_->entries_of(target.as_string()) : &index_->other_entries();
  if (candidates == nullptr) return n;
  auto s = std::upper_bound(segments_.begin(), segments_.end(), i,
                            [](std::size_t at, const Segment& seg) { return at < seg.offset; }) -
           1;
  for (; s != segments_.end(); ++s) {
    const std::size_t from = s->run.begin + (std::max(i, s->offset) - s->offset);
    for (auto it = std::lower_bound(candidates->begin(), candidates->end(), from);
         it != candidates->end() && *it < s->run.end; ++it) {
      if (target.is_string() || python_equal(index_->value(*it), target)) {
        return s->offset + (*it - s->run.begin);
      }
    }
  }
  return n;
}

std::vector<PathMatch> FromNameList::materialize() const {
  if (!index_) return matches_.materialize();
  std::vector<PathMatch> out;
  out.reserve(size_);
  for (std::size_t i = 0; i < size_; ++i) out.push_back(PathMatch{value(i), full_path(i)});
  return out;
}

void FromNameList::clear() {
  matches_.clear();
  index_.reset();
  segments_.clear();
  size_ = 0;
}

}  // namespace sqlparse
