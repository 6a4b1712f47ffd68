// Keyword lookup: an open-addressing table of the lower-case words, built once.
#include "syntax/keywords.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace sqlparse::syntax {
namespace {

struct KeywordInfo {
  std::string_view text;
};

constexpr KeywordInfo kKeywords[] = {
    {""},
#define SQLPARSE_KW_INFO(name, text, reserved) {text},
    SQLPARSE_KEYWORDS(SQLPARSE_KW_INFO)
#undef SQLPARSE_KW_INFO
};
static_assert(sizeof(kKeywords) / sizeof(kKeywords[0]) == static_cast<std::size_t>(Kw::kCount));

constexpr std::size_t kLongest = kLongestKeyword;
constexpr std::size_t kSlots = 1024;  // a power of two, well above twice the keyword count

// A word is looked up as three 8-byte words: its bytes, zero-padded to 24,
// each OR-ed with 0x20. That folds ASCII case, and no byte of a name maps
// onto a byte of a keyword (letters and "_") except its own other case.
struct Key {
  std::uint64_t w[3] = {0, 0, 0};
};

// Exactly the n bytes at p (1 to 8), little-endian, zero above: a few
// overlapping loads, never a byte past the word.
inline std::uint64_t load_bytes(const char* p, std::size_t n) {
  if (n >= 4) {
    std::uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + n - 4, 4);
    return lo | (std::uint64_t{hi} << ((n - 4) * 8));
  }
  const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
  return byte(0) | (byte(n / 2) << (n / 2 * 8)) | (byte(n - 1) << ((n - 1) * 8));
}

// Each used byte OR-ed with 0x20.
inline std::uint64_t folded(std::uint64_t w, std::size_t used) {
  const std::uint64_t mask = used >= 8 ? ~std::uint64_t{0} : ((std::uint64_t{1} << (used * 8)) - 1);
  return w | (0x2020202020202020ULL & mask);
}

// For words of 1 to kLongest bytes.
inline Key key_of(std::string_view word) {
  static_assert(kLongest == 24);
  const char* p = word.data();
  const std::size_t n = word.size();
  Key k;
  if (n <= 8) {
    k.w[0] = folded(load_bytes(p, n), n);
  } else if (n <= 16) {
    k.w[0] = folded(load_bytes(p, 8), 8);
    k.w[1] = folded(load_bytes(p + 8, n - 8), n - 8);
  } else {
    k.w[0] = folded(load_bytes(p, 8), 8);
    k.w[1] = folded(load_bytes(p + 8, 8), 8);
    k.w[2] = folded(load_bytes(p + 16, n - 16), n - 16);
  }
  return k;
}

inline std::size_t slot_of(const Key& k) {
  const std::uint64_t h = k.w[0] * 0x9E3779B97F4A7C15ULL + k.w[1] * 0xC2B2AE3D27D4EB4FULL +
                          k.w[2] * 0x165667B19E3779F9ULL;
  return static_cast<std::size_t>(h >> 40) & (kSlots - 1);
}

struct Slot {
  Key key;
  std::uint16_t kw = 0;
};

struct Table {
  std::array<Slot, kSlots> slots{};
  Table() {
    for (std::size_t k = 1; k < static_cast<std::size_t>(Kw::kCount); ++k) {
      const Key key = key_of(kKeywords[k].text);
      std::size_t i = slot_of(key);
      while (slots[i].kw != 0) i = (i + 1) & (kSlots - 1);
      slots[i] = {key, static_cast<std::uint16_t>(k)};
    }
  }
};

const Table kTable;


}  // namespace

namespace keyword_detail {

constexpr std::array<std::uint64_t, (kLongestKeyword + 1) * 32 * 32 / 64> kShapes = [] {
  std::array<std::uint64_t, (kLongestKeyword + 1) * 32 * 32 / 64> shapes{};
  for (std::size_t k = 1; k < static_cast<std::size_t>(Kw::kCount); ++k) {
    const std::size_t shape = shape_of(kKeywords[k].text);
    shapes[shape / 64] |= std::uint64_t{1} << (shape % 64);
  }
  return shapes;
}();

constexpr std::array<ShortSlot, kShortSlots> kShortTable = [] {
  std::array<ShortSlot, kShortSlots> slots{};
  for (std::size_t k = 1; k < static_cast<std::size_t>(Kw::kCount); ++k) {
    const std::string_view text = kKeywords[k].text;
    if (text.size() > 8) continue;
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      key |= std::uint64_t{static_cast<unsigned char>(text[i]) | 0x20u} << (i * 8);
    }
    std::size_t i = short_slot_of(key);
    while (slots[i].kw != 0) i = (i + 1) & (kShortSlots - 1);
    slots[i] = {key, static_cast<std::uint16_t>(k)};
  }
  return slots;
}();

}  // namespace keyword_detail

Kw keyword_detail::lookup(std::string_view word) {
  if (word.size() <= 8) return lookup_short(word);
  const Key key = key_of(word);
  std::size_t i = slot_of(key);
  for (;;) {
    const Slot& s = kTable.slots[i];
    if (s.kw == 0) return Kw::kNone;
    if (s.key.w[0] == key.w[0] && s.key.w[1] == key.w[1] && s.key.w[2] == key.w[2]) {
      return static_cast<Kw>(s.kw);
    }
    i = (i + 1) & (kSlots - 1);
  }
}


}  // namespace sqlparse::syntax
