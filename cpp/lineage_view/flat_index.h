// An insert-only hash index from keys to small ints, in one array of
// (hash, value) pairs (open addressing, linear probing). The keys are not
// stored: the caller says whether a stored value's key equals the one looked
// up, which it can tell from its own arrays. The graph looks up every source
// column a few times, and a node per entry would cost more than the lookups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace sqlparse::lineage_view {

inline std::uint64_t mix64(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  return h ^ (h >> 33);
}

inline std::uint64_t hash_text(std::string_view text, std::uint64_t seed = 0) {
  std::uint64_t h = seed ^ (text.size() * 0x9e3779b97f4a7c15ULL);
  const char* p = text.data();
  std::size_t n = text.size();
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 31;
  }
  // The last 1 to 7 bytes in at most two loads (overlapping when they can).
  std::uint64_t w = 0;
  if (n >= 4) {
    std::uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + n - 4, 4);
    w = (static_cast<std::uint64_t>(hi) << 32) | lo;
  } else if (n > 0) {
    w = static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) |
        static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
        static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16;
  }
  return mix64(h ^ w);
}

// Whether two short texts are equal, compared in place eight bytes a step
// (names are short; a library call per comparison costs more than the compare).
inline bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  std::size_t n = a.size();
  for (; n >= 8; p += 8, q += 8, n -= 8) {
    std::uint64_t x, y;
    std::memcpy(&x, p, 8);
    std::memcpy(&y, q, 8);
    if (x != y) return false;
  }
  for (; n > 0; ++p, ++q, --n) {
    if (*p != *q) return false;
  }
  return true;
}

class FlatIndex {
 public:
  void reserve(std::size_t n) {
    std::size_t size = 64;
    while (size < 2 * n) size *= 2;
    if (size > slots_.size()) rehash(size);
  }

  // The value stored under `hash` for which same(value) holds; when there is
  // none, `value` is stored. Second: whether it was stored now.
  template <typename Same>
  std::pair<int, bool> try_emplace(std::uint64_t hash, int value, Same&& same) {
    if ((size_ + 1) * 2 > slots_.size()) rehash(slots_.empty() ? 64 : slots_.size() * 2);
    const std::uint32_t tag = static_cast<std::uint32_t>(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = tag & mask;; i = (i + 1) & mask) {
      Slot& s = slots_[i];
      if (s.value == 0) {
        s = Slot{tag, value + 1};
        ++size_;
        return {value, true};
      }
      if (s.tag == tag && same(s.value - 1)) return {s.value - 1, false};
    }
  }

  // The value under `hash` for which same(value) holds, or -1.
  template <typename Same>
  int find(std::uint64_t hash, Same&& same) const {
    if (slots_.empty()) return -1;
    const std::uint32_t tag = static_cast<std::uint32_t>(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = tag & mask;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (s.value == 0) return -1;
      if (s.tag == tag && same(s.value - 1)) return s.value - 1;
    }
  }

 private:
  struct Slot {  // all zero when empty, so that a new array is one memset
    std::uint32_t tag = 0;
    int value = 0;  // the value + 1
  };

  void rehash(std::size_t size) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{});
    const std::size_t mask = size - 1;
    for (const Slot& s : old) {
      if (s.value == 0) continue;
      std::size_t i = s.tag & mask;
      while (slots_[i].value != 0) i = (i + 1) & mask;
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace sqlparse::lineage_view
