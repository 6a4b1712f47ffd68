// Turns fuzz bytes into a parse tree for the analyser targets, in one of two
// ways:
//
//  * JSON text (first byte '{' or '['): seeds are real parse trees, so the
//    fuzzer mutates trees of the parser's shape; the dictionary
//    fuzz/fuzz_analyze.dict supplies the parser's keys.
//  * Anything else, or JSON that does not parse: the bytes are a program
//    that builds a tree, drawing keys and strings from the parser's
//    vocabulary (select, from, value, name, union, join, dotted names,
//    stars...) and also numbers, booleans, nulls, lists and maps where
//    strings are expected, with deep nesting.
//
// Both are bounded: at most kMaxNodes nodes and kMaxDepth levels of
// recursion in the decoder, plus sub-query chains up to 64 levels deep
// (built in a loop).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "tree/node.h"

namespace fuzz {

using sqlparse::List;
using sqlparse::Map;
using sqlparse::Node;

// ---- JSON text ---------------------------------------------------------------

class JsonReader {
 public:
  explicit JsonReader(std::string_view s) : s_(s) {}

  bool read(Node* out) {
    if (!value(out, 0)) return false;
    skip_ws();
    return i_ == s_.size();
  }

 private:
  static constexpr int kMaxJsonDepth = 3000;

  void skip_ws() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool literal(std::string_view word) {
    if (s_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }
  static void put_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {  // surrogates too, in their 3-byte form
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  bool hex4(std::uint32_t* cp) {
    if (i_ + 4 > s_.size()) return false;
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s_[i_++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<std::uint32_t>(c - 'A' + 10);
      else return false;
    }
    *cp = v;
    return true;
  }
  bool string(std::string* out) {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    ++i_;
    while (i_ < s_.size()) {
      char c = s_[i_++];
      if (c == '"') return true;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      char e = s_[i_++];
      switch (e) {
        case 'n': *out += '\n'; break;
        case 't': *out += '\t'; break;
        case 'r': *out += '\r'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'u': {
          std::uint32_t cp = 0;
          if (!hex4(&cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(i_, 2) == "\\u") {
            std::size_t save = i_;
            i_ += 2;
            std::uint32_t lo = 0;
            if (hex4(&lo) && lo >= 0xDC00 && lo < 0xE000) {
              cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            } else {
              i_ = save;
            }
          }
          put_utf8(*out, cp);
          break;
        }
        default: *out += e;
      }
    }
    return false;
  }
  bool number(Node* out) {
    std::size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    if (literal("Infinity")) {
      *out = Node::number(s_[start] == '-' ? -INFINITY : INFINITY);
      return true;
    }
    bool is_float = false;
    while (i_ < s_.size() && ((s_[i_] >= '0' && s_[i_] <= '9') || s_[i_] == '.' || s_[i_] == 'e' ||
                              s_[i_] == 'E' || s_[i_] == '+' || s_[i_] == '-')) {
      if (s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E') is_float = true;
      ++i_;
    }
    std::string text(s_.substr(start, i_ - start));
    if (text.empty() || text == "-") return false;
    if (!is_float) {
      for (std::size_t k = text[0] == '-' ? 1 : 0; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') return false;
      }
      *out = Node::integer_from_text(text);
      return true;
    }
    char* end = nullptr;
    double d = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return false;
    *out = Node::number(d);
    return true;
  }
  bool value(Node* out, int depth) {
    if (depth > kMaxJsonDepth) return false;
    skip_ws();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{') {
      ++i_;
      Map m;
      skip_ws();
      if (i_ < s_.size() && s_[i_] == '}') {
        ++i_;
        *out = Node::map(std::move(m));
        return true;
      }
      for (;;) {
        skip_ws();
        std::string key;
        if (!string(&key)) return false;
        skip_ws();
        if (i_ >= s_.size() || s_[i_] != ':') return false;
        ++i_;
        Node v;
        if (!value(&v, depth + 1)) return false;
        m.set(std::move(key), std::move(v));
        skip_ws();
        if (i_ < s_.size() && s_[i_] == ',') { ++i_; continue; }
        if (i_ < s_.size() && s_[i_] == '}') { ++i_; break; }
        return false;
      }
      *out = Node::map(std::move(m));
      return true;
    }
    if (c == '[') {
      ++i_;
      List items;
      skip_ws();
      if (i_ < s_.size() && s_[i_] == ']') {
        ++i_;
        *out = Node::list(std::move(items));
        return true;
      }
      for (;;) {
        Node v;
        if (!value(&v, depth + 1)) return false;
        items.push_back(std::move(v));
        skip_ws();
        if (i_ < s_.size() && s_[i_] == ',') { ++i_; continue; }
        if (i_ < s_.size() && s_[i_] == ']') { ++i_; break; }
        return false;
      }
      *out = Node::list(std::move(items));
      return true;
    }
    if (c == '"') {
      std::string str;
      if (!string(&str)) return false;
      *out = Node::string(std::move(str));
      return true;
    }
    if (literal("true")) { *out = Node::boolean(true); return true; }
    if (literal("false")) { *out = Node::boolean(false); return true; }
    if (literal("null")) { *out = Node(); return true; }
    if (literal("NaN")) { *out = Node::number(NAN); return true; }
    return number(out);
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

// ---- byte program --------------------------------------------------------------

class TreeBuilder {
 public:
  TreeBuilder(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

  Node build() { return any(0); }

 private:
  static constexpr int kMaxDepth = 48;
  static constexpr int kMaxNodes = 4000;
  static constexpr int kMaxShared = 2;

  static constexpr const char* kKeys[] = {
      "select", "from", "value", "name", "union", "union_all", "join", "on", "where",
      "left_join", "inner_join", "right_join", "full_join", "cross_join", "using", "groupby",
      "orderby", "having", "limit", "with", "literal", "distinct", "intersect", "except",
      "select_distinct", "eq", "add", "count", "sum", "case", "when", "then", "over", "sort",
      "*", "", "a", "x y", "all_columns", "op", "offset", "top", "partitionby"};
  static constexpr const char* kWords[] = {
      "a", "b", "c", "x", "s", "t", "u", "db", "*", "s.*", "t.*", "db.t", "db.t.*", "s.a",
      "t.a", "s.x", "a.b.c", "a.b.c.d", ".", "..", "a.", ".a", "x y", "s .a", " ", "",
      "a_b", "$", "$.select", "$..from", "[0]", "select", "from", "value", "name", "union",
      "é", "\xed\xa0\x80", "a\nb", "*.*", "s.*.*", "db.s.t"};

  bool more() const { return p_ < end_; }
  unsigned byte() { return more() ? *p_++ : 0u; }
  unsigned small(unsigned n) { return n == 0 ? 0 : byte() % n; }

  std::string word() { return kWords[small(sizeof(kWords) / sizeof(kWords[0]))]; }
  std::string key() {
    if (small(8) == 0) return raw_string();
    return kKeys[small(sizeof(kKeys) / sizeof(kKeys[0]))];
  }
  std::string raw_string() {
    unsigned n = small(12);
    std::string s;
    for (unsigned k = 0; k < n && more(); ++k) s += static_cast<char>(byte());
    return s;
  }
  std::string dotted() {
    unsigned n = 1 + small(4);
    std::string s = word();
    for (unsigned k = 1; k < n; ++k) {
      s += '.';
      s += word();
    }
    return s;
  }
  std::int64_t integer() {
    switch (small(6)) {
      case 0: return 0;
      case 1: return 1;
      case 2: return -1;
      case 3: return std::numeric_limits<std::int64_t>::max();
      case 4: return std::numeric_limits<std::int64_t>::min();
      default: return static_cast<std::int64_t>(byte()) - 128;
    }
  }
  double real() {
    switch (small(6)) {
      case 0: return 0.0;
      case 1: return -0.0;
      case 2: return NAN;
      case 3: return INFINITY;
      case 4: return 1.5;
      default: return static_cast<double>(byte()) / 7.0;
    }
  }

  Node leaf() {
    switch (small(10)) {
      case 0: return Node();
      case 1: return Node::boolean(byte() & 1);
      case 2: return Node::integer(integer());
      case 3: return Node::number(real());
      case 4: return Node::integer_from_text("123456789012345678901234567890");
      case 5: return Node::string(raw_string());
      case 6: return Node::string(dotted());
      default: return Node::string(word());
    }
  }

  // A select entry: {"value": ..., "name": ...} or a bare value.
  Node select_item(int depth) {
    Map m;
    m.append("value", small(4) == 0 ? any(depth + 1) : Node::string(dotted()));
    if (small(2) == 0) m.append("name", small(5) == 0 ? any(depth + 1) : Node::string(word()));
    return Node::map(std::move(m));
  }
  Node select_list(int depth) {
    switch (small(4)) {
      case 0: return Node::string("*");
      case 1: return select_item(depth);
      default: {
        List items;
        unsigned n = 1 + small(5);
        for (unsigned k = 0; k < n && budget_ok(); ++k) items.push_back(select_item(depth));
        return Node::list(std::move(items));
      }
    }
  }
  Node from_entry(int depth) {
    switch (small(5)) {
      case 0: return Node::string(dotted());
      case 1: {
        Map m;
        m.append("value", Node::string(dotted()));
        m.append("name", Node::string(word()));
        return Node::map(std::move(m));
      }
      case 2: {
        Map m;
        m.append("value", query(depth + 1));
        if (small(4) != 0) m.append("name", Node::string(word()));
        return Node::map(std::move(m));
      }
      case 3: {
        Map m;
        m.append(small(2) ? "join" : "left_join", from_entry(depth + 1));
        m.append("on", any(depth + 1));
        return Node::map(std::move(m));
      }
      default: return any(depth + 1);
    }
  }
  Node from_clause(int depth) {
    if (small(3) != 0) return from_entry(depth);
    List items;
    unsigned n = 1 + small(4);
    for (unsigned k = 0; k < n && budget_ok(); ++k) items.push_back(from_entry(depth));
    return Node::list(std::move(items));
  }
  Node query(int depth) {
    if (depth > kMaxDepth || !budget_ok()) return Node::string(word());
    if (small(6) == 0) {
      Map m;
      List branches;
      unsigned n = 1 + small(4);
      for (unsigned k = 0; k < n && budget_ok(); ++k) branches.push_back(query(depth + 1));
      m.append(small(2) ? "union" : "union_all", Node::list(std::move(branches)));
      return Node::map(std::move(m));
    }
    Map m;
    if (small(8) != 0) m.append("select", select_list(depth + 1));
    if (small(6) != 0) m.append("from", from_clause(depth + 1));
    if (small(4) == 0) m.append(key(), any(depth + 1));
    return Node::map(std::move(m));
  }
  // A chain of sub-queries `levels` deep, built in a loop:
  // {"select": {"value": "s.a"}, "from": {"value": <inner>, "name": "s"}}.
  // Up to 64 levels. Chains past the analyser's 1000-level limit are tested
  // by tests/test_limits.py instead: each level's descendant searches walk
  // the rest of the chain, so such a chain costs about a million steps,
  // which under the fuzzing instrumentation takes longer than the per-input
  // timeout.
  Node deep_chain() {
    unsigned levels = 1 + small(64);
    Node inner = Node::map([] {
      Map m;
      m.append("select", Node::string("*"));
      m.append("from", Node::string("db.t"));
      return m;
    }());
    for (unsigned k = 0; k < levels; ++k) {
      Map sel;
      sel.append("value", Node::string("s.a"));
      Map from;
      from.append("value", std::move(inner));
      from.append("name", Node::string("s"));
      Map q;
      q.append("select", Node::map(std::move(sel)));
      q.append("from", Node::map(std::move(from)));
      inner = Node::map(std::move(q));
    }
    return inner;
  }
  // The same sub-tree shared under several keys (the Node payloads are
  // reference counted), as the analyser's own sub-analyses share them.
  // At most kMaxShared such lists per tree: nested ones would make the
  // expanded tree (what to_json and the analyser's walks see) exponential.
  Node shared_children(int depth) {
    if (++shared_ > kMaxShared) return leaf();
    Node child = any(depth + 1);
    List items;
    unsigned n = 2 + small(3);
    for (unsigned k = 0; k < n; ++k) items.push_back(child);
    return Node::list(std::move(items));
  }

  bool budget_ok() { return ++nodes_ <= kMaxNodes; }

  Node any(int depth) {
    if (depth > kMaxDepth || !budget_ok() || !more()) return leaf();
    switch (small(12)) {
      case 0:
      case 1:
      case 2: return query(depth);
      case 3: return leaf();
      case 4: return select_item(depth);
      case 5: return from_clause(depth);
      case 6: {
        List items;
        unsigned n = small(5);
        for (unsigned k = 0; k < n && budget_ok(); ++k) items.push_back(any(depth + 1));
        return Node::list(std::move(items));
      }
      case 7: {
        Map m;
        unsigned n = small(5);
        for (unsigned k = 0; k < n && budget_ok(); ++k) m.set(key(), any(depth + 1));
        return Node::map(std::move(m));
      }
      case 8: return shared_children(depth);
      case 9: return depth == 0 ? deep_chain() : leaf();
      default: return Node::string(dotted());
    }
  }

  const std::uint8_t* p_;
  const std::uint8_t* end_;
  int nodes_ = 0;
  int shared_ = 0;
};

inline Node tree_from_bytes(const std::uint8_t* data, std::size_t size) {
  if (size > 0 && (data[0] == '{' || data[0] == '[')) {
    Node tree;
    JsonReader reader(std::string_view(reinterpret_cast<const char*>(data), size));
    if (reader.read(&tree)) return tree;
  }
  return TreeBuilder(data, size).build();
}

}  // namespace fuzz
