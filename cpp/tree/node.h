// The JSON-like node shared by the SQL parser and the lineage analyser.
//
// A Node is a small value (24 bytes): scalars are stored inline, strings,
// big integers, lists and maps live in reference-counted payloads, so copying
// a Node (or a whole sub-tree) costs one atomic increment. Payloads are treated
// as immutable once a Node has been shared; the mutable accessors copy the
// payload first when it is shared (copy on write), so a builder can grow a
// fresh list or map in place while readers of a shared tree never see changes.
//
// The semantics helpers at the bottom (truthy, python_equal, contains) follow
// the host language's rules, because the analysis is specified in its terms.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "tree/node_pool.h"

namespace sqlparse {

// Deepest tree that the system accepts (from Python or from the parser).
// Every recursive walk over a tree relies on this bound for its stack use.
inline constexpr int kMaxTreeDepth = 20000;

enum class Kind : std::uint8_t { kNull, kBool, kInt, kBigInt, kFloat, kString, kList, kMap };

class Node;
class Map;
using List = std::vector<Node, PoolAllocator<Node>>;

// Decimal text of an integer that does not fit in 64 bits ("-" then digits).
struct BigInt {
  std::shared_ptr<const std::string> digits;
};

class Node {
 public:
  Node() = default;  // null

  static Node boolean(bool b);
  static Node integer(std::int64_t i);
  // Decimal text of any integer; stored inline when it fits in 64 bits.
  static Node integer_from_text(std::string_view decimal);
  static Node number(double d);
  static Node string(std::string s);
  static Node list(List items = {});
  static Node map(Map entries);
  static Node empty_map();

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool is_null() const { return kind() == Kind::kNull; }
  bool is_bool() const { return kind() == Kind::kBool; }
  bool is_int() const { return kind() == Kind::kInt; }
  bool is_big_int() const { return kind() == Kind::kBigInt; }
  bool is_float() const { return kind() == Kind::kFloat; }
  bool is_string() const { return kind() == Kind::kString; }
  bool is_list() const { return kind() == Kind::kList; }
  bool is_map() const { return kind() == Kind::kMap; }
  bool is_container() const { return is_list() || is_map(); }

  bool as_bool() const { return std::get<bool>(value_); }
  std::int64_t as_int() const { return std::get<std::int64_t>(value_); }
  const std::string& as_big_int() const { return *std::get<BigInt>(value_).digits; }
  double as_float() const { return std::get<double>(value_); }
  const std::string& as_string() const { return *std::get<StringPtr>(value_); }
  const List& as_list() const { return *std::get<ListPtr>(value_); }
  const Map& as_map() const { return *std::get<MapPtr>(value_); }

  // Copy-on-write access for builders; the node must already be a list/map.
  List& mutable_list();
  Map& mutable_map();

  // Identity of the payload: equal for a node and its copies, distinct for
  // separately built containers and strings. Null for inline scalars.
  const void* identity() const;

  // Python-style kind name ("str", "list", "dict", "int", ...), for messages.
  const char* type_name() const;

 private:
  using StringPtr = std::shared_ptr<const std::string>;
  using ListPtr = std::shared_ptr<List>;
  using MapPtr = std::shared_ptr<Map>;
  // Alternative order matches Kind.
  using Value = std::variant<std::monostate, bool, std::int64_t, BigInt, double, StringPtr,
                             ListPtr, MapPtr>;
  explicit Node(Value v) : value_(std::move(v)) {}
  Value value_;
};

// An insertion-ordered map with string keys. Lookups scan the entries while
// the map is small (parse-tree maps hold a handful of keys) and use a hash
// index once it grows past kIndexThreshold entries.
class Map {
 public:
  using Entry = std::pair<std::string, Node>;
  using Entries = std::vector<Entry, PoolAllocator<Entry>>;
  static constexpr std::size_t kIndexThreshold = 12;

  Map() = default;
  Map(const Map& other);
  Map& operator=(const Map& other);
  Map(Map&&) noexcept = default;
  Map& operator=(Map&&) noexcept = default;

  const Node* get(std::string_view key) const;
  Node* get_mutable(std::string_view key);
  bool contains(std::string_view key) const { return get(key) != nullptr; }
  // Replaces the value in place when the key exists (it keeps its position),
  // appends otherwise.
  void set(std::string key, Node value);
  // Appends without checking for an existing key; for builders that know the
  // key is new.
  void append(std::string key, Node value);
  bool erase(std::string_view key);

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const Entries& entries() const { return entries_; }
  Entries::const_iterator begin() const { return entries_.begin(); }
  Entries::const_iterator end() const { return entries_.end(); }

 private:
  std::ptrdiff_t find_index(std::string_view key) const;
  void rebuild_index();

  Entries entries_;
  // Present only for large maps; maps a key to its position in entries_.
  std::unique_ptr<std::unordered_map<std::string, std::size_t>> index_;
};

// ---- Python semantics -------------------------------------------------------

// The host's truth test: null, false, 0, 0.0, "", [] and {} are false.
bool truthy(const Node& n);

// The host's ==: numbers compare by value across bool/int/float (1 == 1.0 ==
// True), containers element-wise (maps ignoring order), NaN unequal to itself.
bool python_equal(const Node& a, const Node& b);

// "text in node": substring for a string, an equal element for a list, a key
// for a map. Numbers, booleans and null contain nothing (the host would raise
// a type error; the analyser treats such nodes as "not a column").
bool contains(const Node& haystack, std::string_view text);

// The host's str.split(".") pieces of a string.
std::vector<std::string_view> split_dots(std::string_view s);

// Compact JSON text of a node (keys in order, no whitespace), for debugging
// and for tests on the C++ side. Non-finite floats are written NaN/Infinity.
std::string to_json(const Node& n);

}  // namespace sqlparse
