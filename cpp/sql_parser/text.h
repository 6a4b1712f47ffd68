// UTF-8 and quoted text as the classic tree reads them: code points, the
// letters a name may hold, and the escapes of strings and quoted names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sqlparse::sql_parser {

// True for non-ASCII code points that Python's str.isalpha() accepts.
bool is_unicode_letter(std::uint32_t cp);

// Decodes the text of a string literal or quoted name (quotes excluded):
// doubled quotes and backslash escapes, the way the host language reads a
// string literal. Returns false when an escape is malformed (then `out` is
// unspecified). `out` may be null to only validate.
bool unescape(std::string_view body, char quote, std::string* out);

// Decodes one UTF-8 sequence at text[i]; returns its length (1 for an invalid
// byte, whose code point is then 0xFFFFFFFF).
std::size_t decode_utf8(std::string_view text, std::size_t i, std::uint32_t* cp);

}  // namespace sqlparse::sql_parser
