// Parse errors: the position of the offending token in characters, lines and
// columns, and the one-line message.
#include <cstdio>

#include "sql_parser/reference/parser_internal.h"

namespace sqlparse::sql_parser {
namespace {

inline bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Up to 10 characters from byte `at`, control characters written as escapes
// so the message stays on one line.
std::string found_text(std::string_view text, std::size_t at) {
  std::string out;
  std::size_t i = at;
  for (int chars = 0; chars < 10 && i < text.size(); ++chars) {
    std::uint32_t cp = 0;
    std::size_t len = decode_utf8(text, i, &cp);
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (len == 1 && c < 0x20) {
      switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        }
      }
    } else if (len == 1 && c >= 0x80 && cp == 0xFFFFFFFF) {
      // A byte that is not UTF-8 (possible only from C++ callers); a lone
      // surrogate's 3-byte form still counts as one character.
      std::size_t j = i + 1;
      while (j < text.size() && j < i + 3 && is_continuation(static_cast<unsigned char>(text[j]))) ++j;
      out.append(text.substr(i, j - i));
      len = j - i;
    } else {
      out.append(text.substr(i, len));
    }
    i += len;
  }
  return out;
}

}  // namespace

void Parser::fail(const Token& at, std::string_view expecting) {
  const std::string_view text = lex_.text();
  std::size_t byte = at.kind == Tok::kEnd ? lex_.limit() : at.begin;
  if (byte > text.size()) byte = text.size();
  ParseError e;
  e.expecting = std::string(expecting);
  // A token the lexer could not finish is reported as what it lacks.
  if (at.kind == Tok::kError) {
    switch (static_cast<LexError>(at.sub)) {
      case LexError::kUnterminatedString:
        e.expecting = "a string closed by '";
        break;
      case LexError::kUnterminatedName:
        e.expecting = text[byte] == '[' ? "a name closed by ]" : std::string("a name closed by ") + text[byte];
        break;
      case LexError::kBadEscape:
        e.expecting = "valid backslash escapes";
        break;
      default:
        break;
    }
  }
  std::size_t chars = 0;
  std::size_t column_chars = 0;
  int line = 1;
  for (std::size_t i = 0; i < byte; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (is_continuation(c)) continue;
    ++chars;
    ++column_chars;
    if (c == '\n') {
      ++line;
      column_chars = 0;
    }
  }
  e.offset = chars;
  e.line = line;
  e.column = static_cast<int>(column_chars) + 1;
  if (at.kind == Tok::kEnd) {
    e.found = "end of text";
  } else {
    e.found = found_text(text, byte);
  }
  e.message = "Expecting " + e.expecting + ", found \"" + e.found + "\" (at char " +
              std::to_string(e.offset) + "), (line:" + std::to_string(e.line) +
              ", col:" + std::to_string(e.column) + ")";
  throw e;
}

}  // namespace sqlparse::sql_parser
