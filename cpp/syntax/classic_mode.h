// The classic mode's pieces shared by its two files. Not a public header.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sql_parser/parser.h"
#include "syntax/lexer.h"

namespace sqlparse::syntax {

// Turns the tokens into those the classic lexer reads: pieces split or
// joined (N'x', ~~, foo@bar), and an error token at the first place it has no
// reading for (a block comment, ?, ->, a[1] ...).
void classic_tokens(std::string_view text, std::vector<Token>& tokens);

// Length of the number a word starting with a digit or "." begins with: 2
// of 2x, which the classic lexer reads as 2 times x.
std::size_t classic_number_prefix(std::string_view word);

// Whether the classic lexer has the operator.
bool classic_operator(Op op);

// The found text of a classic error: up to 10 characters from byte `at`,
// control characters escaped.
std::string classic_found_text(std::string_view text, std::size_t at);

// The classic error at byte `byte` of `text`: the position in characters,
// line and column, the found text (or "end of text"), the one-line message.
sql_parser::ParseError classic_error(std::string_view text, std::size_t byte, std::string_view expecting,
                                     bool at_end);

}  // namespace sqlparse::syntax
