#include "tree/node.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <variant>

namespace sqlparse {

// ---- Node ---------------------------------------------------------------

namespace node_detail {

void wrong_kind() { throw std::bad_variant_access(); }

namespace {

template <class T, class... Args>
Payload* make_boxed(Args&&... args) {
  void* block = pool_allocate(sizeof(Boxed<T>));
  try {
    return new (block) Boxed<T>(std::forward<Args>(args)...);
  } catch (...) {
    pool_free(block, sizeof(Boxed<T>));
    throw;
  }
}

template <class T>
void free_boxed(Payload* p) noexcept {
  auto* b = static_cast<Boxed<T>*>(p);
  b->~Boxed<T>();
  pool_free(b, sizeof(Boxed<T>));
}

}  // namespace
}  // namespace node_detail

using node_detail::make_boxed;

Node Node::boolean(bool b) {
  Node n;
  n.kind_ = Kind::kBool;
  n.u_.b = b;
  return n;
}

Node Node::integer(std::int64_t i) {
  Node n;
  n.kind_ = Kind::kInt;
  n.u_.i = i;
  return n;
}

Node Node::integer_from_text(std::string_view decimal) {
  std::int64_t v = 0;
  auto [ptr, ec] = std::from_chars(decimal.data(), decimal.data() + decimal.size(), v);
  if (ec == std::errc() && ptr == decimal.data() + decimal.size()) return integer(v);
  // Normalise: drop a leading "+" and leading zeros so equal values have equal text.
  std::string text;
  std::size_t i = 0;
  bool negative = false;
  if (i < decimal.size() && (decimal[i] == '-' || decimal[i] == '+')) {
    negative = decimal[i] == '-';
    ++i;
  }
  while (i + 1 < decimal.size() && decimal[i] == '0') ++i;
  if (negative) text.push_back('-');
  text.append(decimal.substr(i));
  Node n;
  n.u_.p = make_boxed<std::string>(std::move(text));
  n.kind_ = Kind::kBigInt;
  return n;
}

Node Node::number(double d) {
  Node n;
  n.kind_ = Kind::kFloat;
  n.u_.d = d;
  return n;
}

Node Node::string(std::string s) {
  Node n;
  n.u_.p = make_boxed<std::string>(std::move(s));
  n.kind_ = Kind::kString;
  return n;
}

Node Node::string_copy(std::string_view s) {
  Node n;
  n.u_.p = make_boxed<std::string>(s.data(), s.size());
  n.kind_ = Kind::kString;
  return n;
}

Node Node::list(List items) {
  Node n;
  n.u_.p = make_boxed<List>(std::move(items));
  n.kind_ = Kind::kList;
  return n;
}

Node Node::map(Map entries) {
  Node n;
  n.u_.p = make_boxed<Map>(std::move(entries));
  n.kind_ = Kind::kMap;
  return n;
}

Node Node::map_of(std::string key, Node value) {
  Node n;
  n.u_.p = make_boxed<Map>();
  n.kind_ = Kind::kMap;
  n.boxed_mutable<Map>().append(std::move(key), std::move(value));
  return n;
}

Node Node::empty_map() {
  Node n;
  n.u_.p = make_boxed<Map>();
  n.kind_ = Kind::kMap;
  return n;
}

void Node::destroy() noexcept {
  using node_detail::free_boxed;
  switch (kind_) {
    case Kind::kBigInt:
    case Kind::kString:
      free_boxed<std::string>(u_.p);
      break;
    case Kind::kList:
      free_boxed<List>(u_.p);
      break;
    case Kind::kMap:
      free_boxed<Map>(u_.p);
      break;
    default:
      break;
  }
  kind_ = Kind::kNull;
}

// A payload is changed in place only when this node is its sole owner. The
// acquire load of the count pairs with the release in the decrement by which
// another thread dropped its last copy, so that thread's reads of the payload
// happen before the writes made here.
void Node::unshare() {
  if (u_.p->refs.load(std::memory_order_acquire) == 1) return;
  node_detail::Payload* copy =
      kind_ == Kind::kList ? make_boxed<List>(boxed<List>()) : make_boxed<Map>(boxed<Map>());
  Node fresh;
  fresh.u_.p = copy;
  fresh.kind_ = kind_;
  *this = std::move(fresh);  // drops this node's share of the old payload
}

List& Node::mutable_list() {
  check(Kind::kList);
  unshare();
  return boxed_mutable<List>();
}

Map& Node::mutable_map() {
  check(Kind::kMap);
  unshare();
  return boxed_mutable<Map>();
}

const char* Node::type_name() const {
  switch (kind()) {
    case Kind::kNull:
      return "NoneType";
    case Kind::kBool:
      return "bool";
    case Kind::kInt:
    case Kind::kBigInt:
      return "int";
    case Kind::kFloat:
      return "float";
    case Kind::kString:
      return "str";
    case Kind::kList:
      return "list";
    case Kind::kMap:
      return "dict";
  }
  return "object";
}

// ---- Map ----------------------------------------------------------------

Map::Map(const Map& other) : entries_(other.entries_) {
  if (other.index_) rebuild_index();
}

Map& Map::operator=(const Map& other) {
  if (this != &other) {
    entries_ = other.entries_;
    index_.reset();
    if (other.index_) rebuild_index();
  }
  return *this;
}

std::ptrdiff_t Map::find_index(std::string_view key) const {
  if (index_) {
    auto it = index_->find(std::string(key));
    return it == index_->end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
  }
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].first == key) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

void Map::rebuild_index() {
  index_ = std::make_unique<std::unordered_map<std::string, std::size_t>>();
  index_->reserve(entries_.size() * 2);
  for (std::size_t i = 0; i < entries_.size(); ++i) index_->emplace(entries_[i].first, i);
}

const Node* Map::get(std::string_view key) const {
  auto i = find_index(key);
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].second;
}

Node* Map::get_mutable(std::string_view key) {
  auto i = find_index(key);
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].second;
}

void Map::set(std::string key, Node value) {
  auto i = find_index(key);
  if (i >= 0) {
    entries_[static_cast<std::size_t>(i)].second = std::move(value);
    return;
  }
  append(std::move(key), std::move(value));
}

void Map::append(std::string key, Node value) {
  // Parse-tree maps hold one to four keys: one block, grown at most once.
  if (entries_.size() == entries_.capacity() && entries_.size() < 4) entries_.reserve(entries_.empty() ? 2 : 4);
  entries_.emplace_back(std::move(key), std::move(value));
  if (index_) {
    index_->emplace(entries_.back().first, entries_.size() - 1);
  } else if (entries_.size() > kIndexThreshold) {
    rebuild_index();
  }
}

bool Map::erase(std::string_view key) {
  auto i = find_index(key);
  if (i < 0) return false;
  entries_.erase(entries_.begin() + i);
  if (index_) rebuild_index();
  return true;
}

// ---- Python semantics -----------------------------------------------------

bool truthy(const Node& n) {
  switch (n.kind()) {
    case Kind::kNull:
      return false;
    case Kind::kBool:
      return n.as_bool();
    case Kind::kInt:
      return n.as_int() != 0;
    case Kind::kBigInt:
      return true;  // never zero: zero fits in 64 bits
    case Kind::kFloat:
      return n.as_float() != 0.0;
    case Kind::kString:
      return !n.as_string().empty();
    case Kind::kList:
      return !n.as_list().empty();
    case Kind::kMap:
      return !n.as_map().empty();
  }
  return false;
}

namespace {

bool is_number(const Node& n) {
  return n.is_bool() || n.is_int() || n.is_big_int() || n.is_float();
}

// Compares an exact integer with a double the way the host does: exactly.
bool int_equals_float(std::int64_t i, double d) {
  if (!std::isfinite(d) || std::trunc(d) != d) return false;
  if (d < -9223372036854775808.0 || d >= 9223372036854775808.0) return false;
  return static_cast<std::int64_t>(d) == i;
}

bool big_equals_float(const std::string& digits, double d) {
  if (!std::isfinite(d) || std::trunc(d) != d) return false;
  // A big integer has at most 17 significant digits when it equals a double;
  // formatting the double exactly and comparing the text is exact.
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.0f", d);
  return digits == buf;
}

std::int64_t small_int(const Node& n) { return n.is_bool() ? (n.as_bool() ? 1 : 0) : n.as_int(); }

bool numbers_equal(const Node& a, const Node& b) {
  const bool a_small = a.is_bool() || a.is_int();
  const bool b_small = b.is_bool() || b.is_int();
  if (a_small && b_small) return small_int(a) == small_int(b);
  if (a.is_float() && b.is_float()) return a.as_float() == b.as_float();
  if (a.is_big_int() && b.is_big_int()) return a.as_big_int() == b.as_big_int();
  if (a.is_big_int() || b.is_big_int()) {
    const Node& big = a.is_big_int() ? a : b;
    const Node& other = a.is_big_int() ? b : a;
    if (other.is_float()) return big_equals_float(big.as_big_int(), other.as_float());
    return false;  // a 64-bit value never equals a big one
  }
  // One small integer, one float.
  const Node& f = a.is_float() ? a : b;
  const Node& i = a.is_float() ? b : a;
  return int_equals_float(small_int(i), f.as_float());
}

}  // namespace

namespace {

// Compares two nodes without looking into their children; pushes the pairs
// of children that still have to be compared.
bool shallow_equal(const Node& a, const Node& b,
                   std::vector<std::pair<const Node*, const Node*>>& pending) {
  if (is_number(a) && is_number(b)) return numbers_equal(a, b);
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Kind::kNull:
      return true;
    case Kind::kString:
      return a.identity() == b.identity() || a.as_string() == b.as_string();
    case Kind::kList: {
      if (a.identity() == b.identity()) return true;
      const List& x = a.as_list();
      const List& y = b.as_list();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) pending.emplace_back(&x[i], &y[i]);
      return true;
    }
    case Kind::kMap: {
      if (a.identity() == b.identity()) return true;
      const Map& x = a.as_map();
      const Map& y = b.as_map();
      if (x.size() != y.size()) return false;
      for (const auto& [key, value] : x) {
        const Node* other = y.get(key);
        if (other == nullptr) return false;
        pending.emplace_back(&value, other);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

// Iterative, so that trees of any depth compare without deep recursion.
bool python_equal(const Node& a, const Node& b) {
  std::vector<std::pair<const Node*, const Node*>> pending;
  if (!shallow_equal(a, b, pending)) return false;
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    if (!shallow_equal(*x, *y, pending)) return false;
  }
  return true;
}

bool contains(const Node& haystack, std::string_view text) {
  switch (haystack.kind()) {
    case Kind::kString:
      return haystack.as_string().find(text) != std::string::npos;
    case Kind::kList:
      for (const Node& item : haystack.as_list()) {
        if (item.is_string() && item.as_string() == text) return true;
      }
      return false;
    case Kind::kMap:
      return haystack.as_map().contains(text);
    default:
      return false;
  }
}

std::vector<std::string_view> split_dots(std::string_view s) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    std::size_t dot = s.find('.', start);
    if (dot == std::string_view::npos) {
      pieces.push_back(s.substr(start));
      return pieces;
    }
    pieces.push_back(s.substr(start, dot - start));
    start = dot + 1;
  }
}

namespace {

void append_json_string(std::string& out, const std::string& s) {
  out.push_back('"');
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

void append_json(std::string& out, const Node& n) {
  switch (n.kind()) {
    case Kind::kNull:
      out += "null";
      break;
    case Kind::kBool:
      out += n.as_bool() ? "true" : "false";
      break;
    case Kind::kInt:
      out += std::to_string(n.as_int());
      break;
    case Kind::kBigInt:
      out += n.as_big_int();
      break;
    case Kind::kFloat: {
      double d = n.as_float();
      if (std::isnan(d)) {
        out += "NaN";
      } else if (std::isinf(d)) {
        out += d > 0 ? "Infinity" : "-Infinity";
      } else {
        char buf[32];
        auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d);
        std::string text(buf, ptr);
        if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
        out += text;
      }
      break;
    }
    case Kind::kString:
      append_json_string(out, n.as_string());
      break;
    case Kind::kList: {
      out.push_back('[');
      bool first = true;
      for (const Node& item : n.as_list()) {
        if (!first) out.push_back(',');
        first = false;
        append_json(out, item);
      }
      out.push_back(']');
      break;
    }
    case Kind::kMap: {
      out.push_back('{');
      bool first = true;
      for (const auto& [key, value] : n.as_map()) {
        if (!first) out.push_back(',');
        first = false;
        append_json_string(out, key);
        out.push_back(':');
        append_json(out, value);
      }
      out.push_back('}');
      break;
    }
  }
}

}  // namespace

std::string to_json(const Node& n) {
  std::string out;
  append_json(out, n);
  return out;
}

}  // namespace sqlparse
