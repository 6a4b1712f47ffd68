// Keyword lookup: an open-addressing table of the lower-case words, built once.
#include "syntax/keywords.h"

#include <array>
#include <cstddef>

namespace sqlparse::syntax {
namespace {

struct KeywordInfo {
  std::string_view text;
  bool reserved;
};

constexpr KeywordInfo kKeywords[] = {
    {"", false},
#define SQLPARSE_KW_INFO(name, text, reserved) {text, reserved != 0},
    SQLPARSE_KEYWORDS(SQLPARSE_KW_INFO)
#undef SQLPARSE_KW_INFO
};
static_assert(sizeof(kKeywords) / sizeof(kKeywords[0]) == static_cast<std::size_t>(Kw::kCount));

constexpr std::size_t kLongest = 24;
constexpr std::size_t kSlots = 1024;  // a power of two, well above twice the keyword count

constexpr std::uint32_t hash(const char* s, std::size_t n) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(s[i])) * 16777619u;
  return h;
}

struct Table {
  std::array<std::uint16_t, kSlots> slots{};
  Table() {
    for (std::size_t k = 1; k < static_cast<std::size_t>(Kw::kCount); ++k) {
      std::string_view t = kKeywords[k].text;
      std::size_t i = hash(t.data(), t.size()) & (kSlots - 1);
      while (slots[i] != 0) i = (i + 1) & (kSlots - 1);
      slots[i] = static_cast<std::uint16_t>(k);
    }
  }
};

const Table& table() {
  static const Table t;
  return t;
}

}  // namespace

Kw keyword_of(std::string_view word) {
  if (word.size() < 2 || word.size() > kLongest) return Kw::kNone;
  char lower[kLongest];
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    lower[i] = c;
  }
  const Table& t = table();
  std::size_t i = hash(lower, word.size()) & (kSlots - 1);
  while (std::uint16_t k = t.slots[i]) {
    if (kKeywords[k].text == std::string_view(lower, word.size())) return static_cast<Kw>(k);
    i = (i + 1) & (kSlots - 1);
  }
  return Kw::kNone;
}

bool is_reserved(Kw kw) { return kKeywords[static_cast<std::size_t>(kw)].reserved; }

}  // namespace sqlparse::syntax
