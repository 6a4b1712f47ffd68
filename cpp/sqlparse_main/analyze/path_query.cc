// Path query evaluation.
//
// A path without descendant steps names at most one node and is walked
// directly, step by step. A path with descendant steps is run as a small
// automaton over one pre-order pass of the tree: each visited node carries the
// set of steps that are "next to match" there (a bit mask), a child inherits
// the descendant steps that are still open and advances the steps whose key
// or position it matches, and a node whose set holds the final state is a
// match. Sub-trees whose set becomes empty are skipped.
//
// Because every position of the tree is visited at most once, a node that two
// descendant routes reach (a "name" inside a sub-query inside an outer "from",
// reached from each enclosing "from") is reported once, at its first place in
// document order. The callers tolerate repeats, but they would only redo the
// same work, and a per-route evaluation would cost time proportional to the
// nesting depth times the tree size. The pass is iterative, so tree depth is
// bounded only by memory.
#include "sqlparse_main/analyze/path_query.h"

#include <charconv>

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

std::string join_labels(const std::vector<Label>& labels) {
  std::string out;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (i != 0) out.push_back('.');
    append_label(out, labels[i]);
  }
  return out;
}

// Descendant paths are matched with a 64-bit state set: one bit per step plus
// the final state.
constexpr std::size_t kMaxDescendantSteps = 63;

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
  if (has_descendant_ && steps_.size() > kMaxDescendantSteps) {
    malformed(text, "too many steps for a path with descendant steps");
  }
}

template <typename Sink>
void CompiledPath::run(const Node& root, Sink& sink) const {
  std::vector<Label> labels;
  if (!has_descendant_) {
    const Node* cur = &root;
    for (const Step& step : steps_) {
      if (cur->is_map()) {
        const Map& m = cur->as_map();
        const Node* child = m.get(step.key);
        if (child == nullptr) return;
        labels.push_back(Label{&step.key, 0, -1});
        cur = child;
      } else if (cur->is_list() && step.index && *step.index < cur->as_list().size()) {
        labels.push_back(Label{nullptr, *step.index, -1});
        cur = &cur->as_list()[*step.index];
      } else {
        return;
      }
    }
    sink(*cur, labels);
    return;
  }

  const std::size_t n = steps_.size();
  const std::uint64_t done = std::uint64_t{1} << n;
  struct Frame {
    const Node* node;
    std::uint64_t states;
    std::size_t next;
  };
  // Which states a child at (key or position) reaches from `states` at a
  // node of the given kind.
  auto advance = [&](std::uint64_t states, bool parent_is_map, const std::string* key,
                     std::size_t index) {
    std::uint64_t out = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if ((states & (std::uint64_t{1} << k)) == 0) continue;
      const Step& step = steps_[k];
      if (step.descendant) {
        out |= std::uint64_t{1} << k;
        if (parent_is_map && *key == step.key) out |= std::uint64_t{1} << (k + 1);
      } else if (parent_is_map) {
        if (*key == step.key) out |= std::uint64_t{1} << (k + 1);
      } else if (step.index && *step.index == index) {
        out |= std::uint64_t{1} << (k + 1);
      }
    }
    return out;
  };

  std::vector<Frame> stack;
  if (n == 0) {
    sink(root, labels);
    return;
  }
  stack.push_back(Frame{&root, 1, 0});
  while (!stack.empty()) {
    Frame& top = stack.back();
    const Node& node = *top.node;
    std::size_t count = node.is_map() ? node.as_map().size() : node.is_list() ? node.as_list().size() : 0;
    if (top.next >= count) {
      stack.pop_back();
      if (!labels.empty()) labels.pop_back();
      continue;
    }
    const std::size_t i = top.next++;
    const Node* child;
    std::uint64_t states;
    if (node.is_map()) {
      const auto& entry = node.as_map().entries()[i];
      child = &entry.second;
      states = advance(top.states, true, &entry.first, 0);
      if (states == 0) continue;
      labels.push_back(Label{&entry.first, 0, -1});
    } else {
      child = &node.as_list()[i];
      states = advance(top.states, false, nullptr, i);
      if (states == 0) continue;
      labels.push_back(Label{nullptr, i, -1});
    }
    if ((states & done) != 0 && sink(*child, labels)) return;
    if (child->is_container() && (states & ~done) != 0) {
      stack.push_back(Frame{child, states & ~done, 0});  // its label stays until it is done
    } else {
      labels.pop_back();
    }
  }
}

std::vector<PathMatch> CompiledPath::find(const Node& root) const {
  std::vector<PathMatch> out;
  auto sink = [&out](const Node& node, std::vector<Label>& labels) {
    out.push_back(PathMatch{node, join_labels(labels)});
    return false;
  };
  run(root, sink);
  return out;
}

MatchList CompiledPath::find_matches(const Node& root) const {
  MatchList out;
  out.root_ = root;
  // Steps of the path to a match are written once, when the first match
  // below them is found, and shared by the later matches below them.
  auto sink = [&out](const Node& node, std::vector<Label>& labels) {
    std::size_t first_new = labels.size();
    while (first_new > 0 && labels[first_new - 1].step < 0) --first_new;
    for (std::size_t d = first_new; d < labels.size(); ++d) {
      const std::int32_t parent = d == 0 ? -1 : labels[d - 1].step;
      labels[d].step = static_cast<std::int32_t>(out.steps_.size());
      out.steps_.push_back(MatchList::Step{parent, labels[d].key, labels[d].index});
    }
    out.values_.push_back(node);
    out.last_step_.push_back(labels.empty() ? -1 : labels.back().step);
    return false;
  };
  run(out.root_, sink);
  return out;
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
  std::optional<Node> out;
  auto sink = [&out](const Node& node, std::vector<Label>&) {
    out = node;
    return true;
  };
  run(root, sink);
  return out;
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
