// The JSON-like node shared by the SQL parser and the lineage analyser.
//
// A Node is a small value (16 bytes: a kind and a scalar or a pointer):
// scalars are stored inline, strings, big integers, lists and maps live in
// reference-counted payloads, so copying a Node (or a whole sub-tree) costs
// one atomic increment and moving one copies 16 bytes. Payloads are treated
// as immutable once a Node has been shared; the mutable accessors copy the
// payload first when it is shared (copy on write), so a builder can grow a
// fresh list or map in place while readers of a shared tree never see changes.
//
// The semantics helpers at the bottom (truthy, python_equal, contains) follow
// the host language's rules, because the analysis is specified in its terms.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
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

namespace node_detail {

// The head of every payload block: the count of nodes that share it.
struct Payload {
  std::atomic<std::uint32_t> refs{1};
};

// A payload block: the count, then the value.
template <class T>
struct Boxed : Payload {
  template <class... Args>
  explicit Boxed(Args&&... args) : value(std::forward<Args>(args)...) {}
  T value;
};

[[noreturn]] void wrong_kind();

}  // namespace node_detail

class Node {
 public:
  Node() noexcept : kind_(Kind::kNull) { u_.i = 0; }
  Node(const Node& other) noexcept : kind_(other.kind_), u_(other.u_) {
    if (shared()) u_.p->refs.fetch_add(1, std::memory_order_relaxed);
  }
  Node(Node&& other) noexcept : kind_(other.kind_), u_(other.u_) { other.kind_ = Kind::kNull; }
  Node& operator=(const Node& other) noexcept {
    if (other.shared()) other.u_.p->refs.fetch_add(1, std::memory_order_relaxed);
    release();
    kind_ = other.kind_;
    u_ = other.u_;
    return *this;
  }
  Node& operator=(Node&& other) noexcept {
    if (this != &other) {
      release();
      kind_ = other.kind_;
      u_ = other.u_;
      other.kind_ = Kind::kNull;
    }
    return *this;
  }
  ~Node() { release(); }

  static Node boolean(bool b);
  static Node integer(std::int64_t i);
  // Decimal text of any integer; stored inline when it fits in 64 bits.
  static Node integer_from_text(std::string_view decimal);
  static Node number(double d);
  static Node string(std::string s);
  // A copy of `s`, made in its payload (no std::string in between).
  static Node string_copy(std::string_view s);
  static Node list(List items = {});
  static Node map(Map entries);
  // {key: value}, built in its payload.
  static Node map_of(std::string key, Node value);
  static Node empty_map();

  Kind kind() const { return kind_; }
  bool is_null() const { return kind() == Kind::kNull; }
  bool is_bool() const { return kind() == Kind::kBool; }
  bool is_int() const { return kind() == Kind::kInt; }
  bool is_big_int() const { return kind() == Kind::kBigInt; }
  bool is_float() const { return kind() == Kind::kFloat; }
  bool is_string() const { return kind() == Kind::kString; }
  bool is_list() const { return kind() == Kind::kList; }
  bool is_map() const { return kind() == Kind::kMap; }
  bool is_container() const { return is_list() || is_map(); }

  // The accessors throw std::bad_variant_access on a node of another kind.
  bool as_bool() const { return check(Kind::kBool), u_.b; }
  std::int64_t as_int() const { return check(Kind::kInt), u_.i; }
  const std::string& as_big_int() const { return check(Kind::kBigInt), boxed<std::string>(); }
  double as_float() const { return check(Kind::kFloat), u_.d; }
  const std::string& as_string() const { return check(Kind::kString), boxed<std::string>(); }
  const List& as_list() const;
  const Map& as_map() const;

  // Copy-on-write access for builders; the node must already be a list/map.
  List& mutable_list();
  Map& mutable_map();

  // Identity of the payload: equal for a node and its copies, distinct for
  // separately built containers and strings. Null for inline scalars.
  const void* identity() const { return shared() ? u_.p : nullptr; }

  // Python-style kind name ("str", "list", "dict", "int", ...), for messages.
  const char* type_name() const;

 private:
  // Kinds whose value lives in a payload: big integers, strings, lists, maps.
  static constexpr unsigned kSharedKinds = (1u << static_cast<unsigned>(Kind::kBigInt)) |
                                           (1u << static_cast<unsigned>(Kind::kString)) |
                                           (1u << static_cast<unsigned>(Kind::kList)) |
                                           (1u << static_cast<unsigned>(Kind::kMap));
  bool shared() const { return (kSharedKinds >> static_cast<unsigned>(kind_)) & 1u; }
  void check(Kind k) const {
    if (kind_ != k) [[unlikely]] node_detail::wrong_kind();
  }
  template <class T>
  const T& boxed() const {
    return static_cast<const node_detail::Boxed<T>*>(u_.p)->value;
  }
  template <class T>
  T& boxed_mutable() {
    return static_cast<node_detail::Boxed<T>*>(u_.p)->value;
  }
  // Drops this node's share of its payload. A count of one is this node's
  // alone (no other node can copy it meanwhile), so it needs no atomic
  // decrement; the acquire load pairs with the release of the decrement by
  // which another thread dropped its copy.
  void release() noexcept {
    if (!shared()) return;
    if (u_.p->refs.load(std::memory_order_acquire) == 1 ||
        u_.p->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      destroy();
    }
  }
  void destroy() noexcept;
  // Makes the payload this node's own (a copy when it is shared).
  void unshare();

  Kind kind_;
  union {
    bool b;
    std::int64_t i;
    double d;
    node_detail::Payload* p;
  } u_;
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

inline const List& Node::as_list() const { return check(Kind::kList), boxed<List>(); }
inline const Map& Node::as_map() const { return check(Kind::kMap), boxed<Map>(); }

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
