#include "sqlparse_main/analyze/normalize.h"

#include <string>
#include <vector>

namespace sqlparse {

namespace {

bool has_space(const std::string& s) { return s.find(' ') != std::string::npos; }

std::string underscored(std::string s) {
  for (char& c : s) {
    if (c == ' ') c = '_';
  }
  return s;
}

// A container being rebuilt: its source, the next child to visit and the
// normalised children so far.
struct Frame {
  const Node* source;
  std::size_t next = 0;
  bool changed = false;
  List children;
};

}  // namespace

Node normalize(const Node& tree) {
  if (tree.is_string()) {
    return has_space(tree.as_string()) ? Node::string(underscored(tree.as_string())) : tree;
  }
  if (!tree.is_container()) return tree;

  std::vector<Frame> stack;
  stack.push_back(Frame{&tree, 0, false, {}});
  Node finished;  // the last container completed, handed to its parent
  while (true) {
    Frame& top = stack.back();
    const Node& src = *top.source;
    const std::size_t count = src.is_map() ? src.as_map().size() : src.as_list().size();
    if (top.next < count) {
      const Node& child = src.is_map() ? src.as_map().entries()[top.next].second
                                       : src.as_list()[top.next];
      ++top.next;
      if (child.is_container()) {
        stack.push_back(Frame{&child, 0, false, {}});
        continue;
      }
      Node out = normalize(child);  // a leaf: no recursion below it
      top.changed = top.changed || out.identity() != child.identity();
      top.children.push_back(std::move(out));
      continue;
    }

    // All children done: build this container (or share the source).
    if (src.is_map()) {
      const Map& m = src.as_map();
      bool keys_changed = false;
      for (const auto& entry : m) keys_changed = keys_changed || has_space(entry.first);
      if (!top.changed && !keys_changed) {
        finished = src;
      } else {
        Map out;
        for (std::size_t i = 0; i < m.size(); ++i) {
          const std::string& key = m.entries()[i].first;
          // set(): a key that repeats keeps its first position and takes the
          // later value, as parsing the round-tripped JSON text does.
          out.set(has_space(key) ? underscored(key) : key, std::move(top.children[i]));
        }
        finished = Node::map(std::move(out));
      }
    } else {
      finished = top.changed ? Node::list(std::move(top.children)) : src;
    }
    stack.pop_back();
    if (stack.empty()) return finished;
    Frame& parent = stack.back();
    const Node& original = parent.source->is_map()
                               ? parent.source->as_map().entries()[parent.next - 1].second
                               : parent.source->as_list()[parent.next - 1];
    parent.changed = parent.changed || finished.identity() != original.identity();
    parent.children.push_back(std::move(finished));
  }
}

}  // namespace sqlparse
