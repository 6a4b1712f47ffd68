// Per-thread free lists for the small blocks that trees are made of.
//
// A parse builds a tree of many small payloads (strings, maps, lists and
// their entry arrays) and drops it soon after; the next parse on the thread
// builds the same sizes again. malloc's own per-thread cache keeps only a
// few blocks per size, so most of those blocks took its slow path. Here each
// thread keeps up to kKeptBytes of freed blocks per size class and hands
// them out again first.
//
// A block may be freed on another thread than the one that made it: it then
// joins that thread's lists, which is safe because each thread touches only
// its own. A thread's blocks go back to malloc when it ends.
//
// Sanitizer builds skip the lists, so that a use after free is still found.
#pragma once

#include <cstddef>
#include <new>

namespace sqlparse {

void* pool_allocate_slow(std::size_t bytes);
void pool_free_slow(void* p, std::size_t bytes) noexcept;

namespace node_pool {

inline constexpr std::size_t kGranule = 16;
inline constexpr std::size_t kClasses = 16;  // blocks up to 256 bytes
inline constexpr std::size_t kKeptBytes = 256 * 1024;

struct FreeBlock {
  FreeBlock* next;
};

// Trivially destructible, so reaching it costs no guard; the clean-up at
// thread exit is a separate object (see node_pool.cc).
struct Lists {
  FreeBlock* head[kClasses];
  std::size_t kept[kClasses];
  bool registered;
  bool gone;  // the thread is ending: blocks go straight back to malloc
};

inline thread_local Lists lists{};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kEnabled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
inline constexpr bool kEnabled = false;
#else
inline constexpr bool kEnabled = true;
#endif
#else
inline constexpr bool kEnabled = true;
#endif

inline std::size_t class_of(std::size_t bytes) { return (bytes - 1) / kGranule; }

}  // namespace node_pool

inline void* pool_allocate(std::size_t bytes) {
  using namespace node_pool;
  if (kEnabled && bytes != 0 && bytes <= kClasses * kGranule) {
    Lists& l = lists;
    const std::size_t c = class_of(bytes);
    if (FreeBlock* b = l.head[c]) [[likely]] {
      l.head[c] = b->next;
      l.kept[c] -= (c + 1) * kGranule;
      return b;
    }
  }
  return pool_allocate_slow(bytes);
}

inline void pool_free(void* p, std::size_t bytes) noexcept {
  using namespace node_pool;
  if (kEnabled && bytes != 0 && bytes <= kClasses * kGranule) {
    Lists& l = lists;
    const std::size_t c = class_of(bytes);
    if (l.registered && !l.gone && l.kept[c] < kKeptBytes) [[likely]] {
      auto* b = static_cast<FreeBlock*>(p);
      b->next = l.head[c];
      l.head[c] = b;
      l.kept[c] += (c + 1) * kGranule;
      return;
    }
  }
  pool_free_slow(p, bytes);
}

// A standard allocator over the pool, for the containers inside payloads.
template <class T>
struct PoolAllocator {
  using value_type = T;
  PoolAllocator() noexcept = default;
  template <class U>
  PoolAllocator(const PoolAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    static_assert(alignof(T) <= node_pool::kGranule);
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(pool_allocate(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { pool_free(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const PoolAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace sqlparse
