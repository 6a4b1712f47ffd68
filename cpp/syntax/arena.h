// A bump allocator for syntax-tree nodes.
//
// Nodes are plain structs that own nothing (their strings are views into the
// source text or into the arena, their lists are arena arrays), so the arena
// frees a whole tree at once and never runs a destructor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

namespace sqlparse::syntax {

// A fixed-size array in the arena: what a node holds instead of a vector.
template <class T>
struct List {
  T* items = nullptr;
  std::uint32_t count = 0;

  T* begin() const { return items; }
  T* end() const { return items + count; }
  std::uint32_t size() const { return count; }
  bool empty() const { return count == 0; }
  T& operator[](std::size_t i) const { return items[i]; }
  T& back() const { return items[count - 1]; }
};

// A vector whose first N items live inside it: the grammar's lists are
// mostly short, and collecting them this way costs no allocation.
template <class T, std::size_t N = 8>
class SmallVec {
 public:
  using value_type = T;
  SmallVec() = default;
  SmallVec(std::initializer_list<T> items) {
    for (const T& t : items) push_back(t);
  }
  SmallVec(const SmallVec&) = delete;
  SmallVec& operator=(const SmallVec&) = delete;

  void push_back(const T& item) {
    if (size_ < N) {
      new (inline_items() + size_) T(item);
    } else {
      if (size_ == N) spill_.assign(inline_items(), inline_items() + N);
      spill_.push_back(item);
    }
    ++size_;
  }
  // A default-initialised item at the end, to be filled in place (a large
  // item then is not copied in). For a struct whose members all have
  // initialisers, as the tree's do, that is its empty value (written member
  // by member, not zeroed whole first).
  T& emplace_back() {
    if (size_ < N) return *new (inline_items() + size_++) T;
    if (size_ == N) spill_.assign(inline_items(), inline_items() + N);
    ++size_;
    return spill_.emplace_back();
  }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const T* begin() const { return size_ <= N ? inline_items() : spill_.data(); }
  const T* end() const { return begin() + size_; }
  T* begin() { return size_ <= N ? inline_items() : spill_.data(); }
  T* end() { return begin() + size_; }
  T& operator[](std::size_t i) { return begin()[i]; }
  const T& operator[](std::size_t i) const { return begin()[i]; }
  T& back() { return begin()[size_ - 1]; }

 private:
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  T* inline_items() { return std::launder(reinterpret_cast<T*>(inline_)); }
  const T* inline_items() const { return std::launder(reinterpret_cast<const T*>(inline_)); }

  // Left uninitialised: only the first size_ items are ever read.
  alignas(T) unsigned char inline_[N * sizeof(T)];
  std::vector<T> spill_;
  std::size_t size_ = 0;
};

// Blocks for arenas, kept per thread: a stream of scripts then takes its
// trees' blocks from the ones the scripts before it gave back, instead of
// from the allocator (arena.cc).
struct ArenaBlock {
  ArenaBlock* next;
  std::size_t size;  // bytes, this header included
};
ArenaBlock* take_arena_block(std::size_t at_least);
void give_arena_blocks(ArenaBlock* chain);

class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    if (blocks_ != nullptr) give_arena_blocks(blocks_);
  }

  // The next free byte stays kAlign-aligned (sizes are rounded up), so that
  // a node's allocation is a compare and an add.
  void* allocate(std::size_t size, std::size_t align) {
    if (align > kAlign) [[unlikely]] return allocate_aligned(size, align);
    size = (size + kAlign - 1) & ~(kAlign - 1);
    char* p = next_;
    // (As addresses: a block never ends near the top of the address space.)
    if (reinterpret_cast<std::uintptr_t>(p) + size > reinterpret_cast<std::uintptr_t>(end_)) [[unlikely]] {
      grow(size);
      p = next_;
    }
    next_ = p + size;
    return p;
  }

  // Room for about `bytes` of nodes in the first block (a script's tree
  // takes a few times its text).
  void reserve(std::size_t bytes) {
    if (blocks_ == nullptr && next_ == first_ && bytes > kFirstBlock) grow(bytes < kMaxBlock - kHeader ? bytes : kMaxBlock - kHeader);
  }

  // A value-initialised T; T must not need a destructor.
  template <class T>
  T* make() {
    static_assert(std::is_trivially_destructible_v<T>);
    return new (allocate(sizeof(T), alignof(T))) T();
  }

  // A copy of a vector's (or SmallVec's) items.
  template <class Vec, class T = typename Vec::value_type>
  List<T> list(const Vec& items) {
    static_assert(std::is_trivially_destructible_v<T>);
    List<T> out;
    if (items.empty()) return out;
    out.items = static_cast<T*>(allocate(sizeof(T) * items.size(), alignof(T)));
    std::uninitialized_copy(items.begin(), items.end(), out.items);
    out.count = static_cast<std::uint32_t>(items.size());
    return out;
  }

  // A list of one item (most names have one part).
  template <class T>
  List<T> one(const T& item) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    List<T> out;
    out.items = new (allocate(sizeof(T), alignof(T))) T(item);
    out.count = 1;
    return out;
  }

  std::string_view copy(std::string_view text) {
    if (text.empty()) return {};
    char* p = static_cast<char*>(allocate(text.size(), 1));
    std::memcpy(p, text.data(), text.size());
    return {p, text.size()};
  }

  // A copy followed by `padding` zero bytes (not part of the view).
  std::string_view copy_padded(std::string_view text, std::size_t padding) {
    char* p = static_cast<char*>(allocate(text.size() + padding, 16));
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    std::memset(p + text.size(), 0, padding);
    return {p, text.size()};
  }

  std::size_t bytes_used() const { return total_; }

  static constexpr std::size_t kMaxBlock = 1 << 20;

 private:
  [[gnu::noinline]] void* allocate_aligned(std::size_t size, std::size_t align) {
    auto aligned = [&] {
      const auto at = reinterpret_cast<std::uintptr_t>(next_);
      return reinterpret_cast<char*>((at + align - 1) & ~(align - 1));
    };
    size = (size + kAlign - 1) & ~(kAlign - 1);
    char* p = aligned();
    if (p > end_ || size > static_cast<std::size_t>(end_ - p)) {
      grow(size + align);
      p = aligned();
    }
    next_ = p + size;
    return p;
  }

  // A new block with room for at least `at_least` bytes.
  [[gnu::noinline]] void grow(std::size_t at_least) {
    std::size_t size = capacity_ * 2;
    if (size > kMaxBlock) size = kMaxBlock;
    if (size < at_least + kHeader) size = at_least + kHeader;
    ArenaBlock* block = take_arena_block(size);
    block->next = blocks_;
    blocks_ = block;
    next_ = reinterpret_cast<char*>(block) + kHeader;
    end_ = reinterpret_cast<char*>(block) + block->size;
    capacity_ = block->size - kHeader;
    total_ += block->size;
  }

  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kAlign = 8;
  // The block header, rounded up so that a block's nodes stay aligned.
  static constexpr std::size_t kHeader = (sizeof(ArenaBlock) + alignof(std::max_align_t) - 1) &
                                         ~(alignof(std::max_align_t) - 1);
  // The first block lives in the arena itself: the tree of a short script
  // costs no allocation. (The arena is neither copied nor moved.)
  alignas(std::max_align_t) char first_[kFirstBlock];
  ArenaBlock* blocks_ = nullptr;  // the blocks after it, the newest first
  char* next_ = first_;                // the next free byte of the current block
  char* end_ = first_ + kFirstBlock;   // the current block's end
  std::size_t capacity_ = kFirstBlock;  // the current block's size
  std::size_t total_ = kFirstBlock;
};

// An allocator drawing on an arena (freeing is left to the arena): for the
// few standard containers that live exactly as long as their arena.
template <class T>
class ArenaAllocator {
 public:
  using value_type = T;
  explicit ArenaAllocator(Arena& arena) noexcept : arena_(&arena) {}
  template <class U>
  ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena_(other.arena()) {}

  T* allocate(std::size_t n) { return static_cast<T*>(arena_->allocate(n * sizeof(T), alignof(T))); }
  void deallocate(T*, std::size_t) noexcept {}
  Arena* arena() const { return arena_; }
  friend bool operator==(const ArenaAllocator& a, const ArenaAllocator& b) { return a.arena_ == b.arena_; }

 private:
  Arena* arena_;
};

}  // namespace sqlparse::syntax
