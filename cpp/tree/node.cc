#include "tree/node.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sqlparse {

// ---- Node ---------------------------------------------------------------

Node Node::boolean(bool b) { return Node(Value(std::in_place_type<bool>, b)); }

Node Node::integer(std::int64_t i) { return Node(Value(std::in_place_type<std::int64_t>, i)); }

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
  return Node(Value(BigInt{std::allocate_shared<const std::string>(PoolAllocator<char>(), std::move(text))}));
}

Node Node::number(double d) { return Node(Value(std::in_place_type<double>, d)); }

Node Node::string(std::string s) {
  return Node(Value(std::allocate_shared<const std::string>(PoolAllocator<char>(), std::move(s))));
}

Node Node::list(List items) {
  return Node(Value(std::allocate_shared<List>(PoolAllocator<List>(), std::move(items))));
}

Node Node::map(Map entries) {
  return Node(Value(std::allocate_shared<Map>(PoolAllocator<Map>(), std::move(entries))));
}

Node Node::empty_map() { return map(Map()); }

namespace {

// The acquire side of handing a payload over between threads. ThreadSanitizer
// does not model fences (and warns about them), so its builds go without.
inline void acquire_sole_ownership() {
#if !defined(__SANITIZE_THREAD__)
  std::atomic_thread_fence(std::memory_order_acquire);
#endif
}

}  // namespace

// A payload is changed in place only when this node is its sole owner. The
// count is read relaxed; the acquire fence after it pairs with the release
// in the decrement by which another thread dropped its last copy, so that
// thread's reads of the payload happen before the writes made here.
List& Node::mutable_list() {
  auto& p = std::get<ListPtr>(value_);
  if (p.use_count() > 1) {
    p = std::allocate_shared<List>(PoolAllocator<List>(), *p);
  } else {
    acquire_sole_ownership();
  }
  return *p;
}

Map& Node::mutable_map() {
  auto& p = std::get<MapPtr>(value_);
  if (p.use_count() > 1) {
    p = std::allocate_shared<Map>(PoolAllocator<Map>(), *p);
  } else {
    acquire_sole_ownership();
  }
  return *p;
}

const void* Node::identity() const {
  switch (kind()) {
    case Kind::kBigInt:
      return std::get<BigInt>(value_).digits.get();
    case Kind::kString:
      return std::get<StringPtr>(value_).get();
    case Kind::kList:
      return std::get<ListPtr>(value_).get();
    case Kind::kMap:
      return std::get<MapPtr>(value_).get();
    default:
      return nullptr;
  }
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
