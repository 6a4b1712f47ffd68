// Path query evaluation.
//
// A path is evaluated step by step over the list of nodes reached so far
// (the contexts): a child or position step maps each context to its child, a
// descendant step searches below each context. Every visited node is pushed
// on an explicit stack, so tree depth is bounded only by memory.
//
// A node that two descendant routes reach (a "name" inside a sub-query inside
// an outer "from", reached from each enclosing "from") is reported once, at
// its first place: a context that lies inside one already searched is not
// searched again. The callers tolerate repeats, but they would only redo the
// same work, and searching once per route would cost time proportional to
// the nesting depth times the tree size.
//
// Full paths are not written while searching: each match records its entry
// in a table of steps shared with the other matches (MatchList), and the
// text is written only for the matches whose full path is asked for.
#include "sqlparse_main/analyze/path_query.h"

#include <charconv>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "sqlparse_main/analyze/analysis_error.h"

namespace sqlparse {

namespace {

std::optional<std::size_t> position_of(std::string_view text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::size_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

[[noreturn]] void malformed(std::string_view text, const char* why) {
  throw AnalysisError(AnalysisError::Kind::kValueError,
                      "malformed path " + std::string(text) + ": " + why);
}

// One step passed on the way from the root to a node: a map key or a list
// position.
struct Label {
  const std::string* key = nullptr;  // null for a list position
  std::size_t index = 0;
  std::int32_t step = -1;  // its entry in a MatchList, once written there
};

void append_label(std::string& out, const Label& label) {
  if (label.key != nullptr) {
    out += *label.key;
  } else {
    out.push_back('[');
    out += std::to_string(label.index);
    out.push_back(']');
  }
}


}  // namespace

CompiledPath::CompiledPath(std::string_view text) {
  if (text.empty() || text.front() != '$') malformed(text, "it must start with \"$\"");
  std::size_t pos = 1;
  while (pos < text.size()) {
    if (text[pos] != '.') malformed(text, "a step must start with \".\"");
    ++pos;
    Step step;
    if (pos < text.size() && text[pos] == '.') {
      step.descendant = true;
      ++pos;
    }
    std::size_t end = text.find('.', pos);
    if (end == std::string_view::npos) end = text.size();
    if (end == pos) malformed(text, "empty step");
    step.key.assign(text.substr(pos, end - pos));
    if (!step.descendant) step.index = position_of(step.key);
    has_descendant_ = has_descendant_ || step.descendant;
    steps_.push_back(std::move(step));
    pos = end;
  }
}

namespace {

// The identity of a position in the tree: a hash of the steps from the root.
// Container payloads may be shared between positions, so node addresses do
// not identify positions; 64-bit hashes of distinct positions do not collide
// in practice.
constexpr std::uint64_t kRootPosition = 0x2545f4914f6cdd1dULL;

// The position of the child at `index` (a map entry's or a list element's).
std::uint64_t child_position(std::uint64_t parent, bool in_map, std::size_t index) {
  std::uint64_t h = (index + 1) * 0x9e3779b97f4a7c15ULL + (in_map ? 0x51ULL : 0x17ULL);
  h ^= parent + 0x9e3779b97f4a7c15ULL + (parent << 6) + (parent >> 2);
  h ^= h >> 31;
  return h * 0xff51afd7ed558ccdULL;
}

// The index of `child`, a value pointer that Map::get returned, in `m`.
std::size_t entry_index(const Map& m, const Node* child) {
  const auto& entries = m.entries();
  const auto offset = reinterpret_cast<const char*>(child) -
                      reinterpret_cast<const char*>(&entries.front().second);
  return static_cast<std::size_t>(offset) / sizeof(Map::Entry);
}

const Map::Entry& entry_of(const Map& m, const Node* child) {
  return m.entries()[entry_index(m, child)];
}

}  // namespace

// A node reached by the steps evaluated so far: where it lies (its entry in
// the match list's step table, -1 for the root) and its position identity.
struct CompiledPath::Context {
  const Node* node;
  std::int32_t step;
  std::uint64_t position;
};

std::int32_t MatchList::add_step(std::int32_t parent, const std::string* key, std::size_t index) {
  steps_.push_back(Step{parent, key, index});
  return static_cast<std::int32_t>(steps_.size() - 1);
}

void CompiledPath::child_step(const Step& step, const std::vector<Context>& contexts,
                              std::vector<Context>& next, MatchList& out) const {
  for (const Context& c : contexts) {
    if (c.node->is_map()) {
      const Map& m = c.node->as_map();
      const Node* child = m.get(step.key);
      if (child == nullptr) continue;
      const std::string* key = &entry_of(m, child).first;
      next.push_back(Context{child, out.add_step(c.step, key, 0),
                             child_position(c.position, true, entry_index(m, child))});
    } else if (c.node->is_list() && step.index && *step.index < c.node->as_list().size()) {
      next.push_back(Context{&c.node->as_list()[*step.index],
                             out.add_step(c.step, nullptr, *step.index),
                             child_position(c.position, false, *step.index)});
    }
  }
}

// "..key" from each context: the context's own value under `key` first, then
// the same for each of its children in order, at any depth. A context that
// lies inside one already searched would only find the same nodes again: it
// is skipped. Contexts come ancestors first (every step keeps that order), so
// the search that covers a context always runs before it.
void CompiledPath::descendant_step(const Step& step, const std::string* context_key,
                                   const std::vector<Context>& contexts,
                                   std::vector<Context>& next, MatchList& out) const {
  std::unordered_map<std::uint64_t, std::size_t> later;  // position -> context
  std::vector<char> covered(contexts.size(), 0);
  if (contexts.size() > 1 && context_key != nullptr) {
    for (std::size_t j = 0; j < contexts.size(); ++j) later.emplace(contexts[j].position, j);
  }
  struct Frame {
    const Node* node;
    std::size_t next;
    std::uint64_t position;
  };
  std::vector<Label> labels;  // from the context down to the current node
  std::vector<Frame> stack;

  for (std::size_t j = 0; j < contexts.size(); ++j) {
    if (covered[j]) continue;
    const Context& base = contexts[j];
    // The value under `key` of a map that the search has reached.
    auto match_in = [&](const Node& node, std::uint64_t position) {
      if (!node.is_map()) return;
      const Map& m = node.as_map();
      const Node* child = m.get(step.key);
      if (child == nullptr) return;
      const std::string* key = &entry_of(m, child).first;
      // Labels are written as a prefix: find the first one not yet written.
      std::size_t first_new = labels.size();
      while (first_new > 0 && labels[first_new - 1].step < 0) --first_new;
      std::int32_t parent = first_new == 0 ? base.step : labels[first_new - 1].step;
      for (std::size_t d = first_new; d < labels.size(); ++d) {
        labels[d].step = out.add_step(parent, labels[d].key, labels[d].index);
        parent = labels[d].step;
      }
      next.push_back(Context{child, out.add_step(parent, key, 0),
                             child_position(position, true, entry_index(m, child))});
    };

    match_in(*base.node, base.position);
    if (!base.node->is_container()) continue;
    stack.push_back(Frame{base.node, 0, base.position});
    while (!stack.empty()) {
      Frame& top = stack.back();
      const Node& node = *top.node;
      const std::size_t count = node.is_map() ? node.as_map().size() : node.as_list().size();
      if (top.next >= count) {
        stack.pop_back();
        if (!stack.empty()) labels.pop_back();
        continue;
      }
      const std::size_t i = top.next++;
      const Node* child;
      Label label;
      if (node.is_map()) {
        const auto& entry = node.as_map().entries()[i];
        child = &entry.second;
        label = Label{&entry.first, 0, -1};
      } else {
        child = &node.as_list()[i];
        label = Label{nullptr, i, -1};
      }
      const std::uint64_t position = child_position(top.position, node.is_map(), i);
      // Contexts are values under the previous step's key (or the root), so
      // only such nodes need the look-up.
      if (!later.empty() && label.key != nullptr && *label.key == *context_key) {
        auto it = later.find(position);
        if (it != later.end() && it->second > j) covered[it->second] = 1;
      }
      if (!child->is_container()) continue;
      labels.push_back(label);
      match_in(*child, position);
      stack.push_back(Frame{child, 0, position});
    }
  }
}

MatchList CompiledPath::find_matches(const Node& root, bool first_only) const {
  MatchList out;
  out.root_ = root;
  std::vector<Context> contexts{Context{&out.root_, -1, kRootPosition}};
  std::vector<Context> next;
  const std::string* context_key = nullptr;  // the key that the contexts lie under
  for (const Step& step : steps_) {
    next.clear();
    if (step.descendant) {
      descendant_step(step, context_key, contexts, next, out);
    } else {
      child_step(step, contexts, next, out);
    }
    context_key = &step.key;
    contexts.swap(next);
    if (contexts.empty()) break;
    if (first_only && contexts.size() > 1) {
      // Repeated descendant steps reach one node from many contexts; without
      // this, their number grows with every step.
      std::unordered_set<std::uint64_t> seen;
      std::size_t kept = 0;
      for (const Context& c : contexts) {
        if (seen.insert(c.position).second) contexts[kept++] = c;
      }
      contexts.resize(kept);
    }
  }
  for (const Context& c : contexts) {
    out.values_.push_back(*c.node);
    out.last_step_.push_back(c.step);
  }
  return out;
}

std::vector<PathMatch> CompiledPath::find(const Node& root) const {
  return find_matches(root).materialize();
}

std::string MatchList::full_path(std::size_t i) const {
  std::vector<const Step*> chain;
  for (std::int32_t s = last_step_[i]; s >= 0; s = steps_[static_cast<std::size_t>(s)].parent) {
    chain.push_back(&steps_[static_cast<std::size_t>(s)]);
  }
  std::string out;
  for (std::size_t k = chain.size(); k-- > 0;) {
    append_label(out, Label{chain[k]->key, chain[k]->index, -1});
    if (k != 0) out.push_back('.');
  }
  return out;
}

std::vector<PathMatch> MatchList::materialize() const {
  std::vector<PathMatch> out;
  out.reserve(values_.size());
  for (std::size_t i = 0; i < values_.size(); ++i) out.push_back(PathMatch{values_[i], full_path(i)});
  return out;
}

void MatchList::clear() {
  values_.clear();
  last_step_.clear();
  steps_.clear();
  root_ = Node();
}

std::optional<Node> CompiledPath::find_first(const Node& root) const {
  if (has_descendant_) {
    MatchList matches = find_matches(root, /*first_only=*/true);
    if (matches.empty()) return std::nullopt;
    return matches.value(0);
  }
  // A path of child and position steps names at most one node: walk to it.
  const Node* cur = &root;
  for (const Step& step : steps_) {
    if (cur->is_map()) {
      cur = cur->as_map().get(step.key);
      if (cur == nullptr) return std::nullopt;
    } else if (cur->is_list() && step.index && *step.index < cur->as_list().size()) {
      cur = &cur->as_list()[*step.index];
    } else {
      return std::nullopt;
    }
  }
  return *cur;
}

std::vector<PathMatch> find(const Node& root, std::string_view path) {
  return CompiledPath(path).find(root);
}

std::optional<Node> find_first(const Node& root, std::string_view path) {
  return CompiledPath(path).find_first(root);
}

const CompiledPath& select_value_path() {
  static const CompiledPath path("$.select..value");
  return path;
}

const CompiledPath& from_path() {
  static const CompiledPath path("$..from");
  return path;
}

const CompiledPath& from_name_path() {
  static const CompiledPath path("$..from..name");
  return path;
}

}  // namespace sqlparse
