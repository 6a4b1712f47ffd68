// Comment stripping: the first step of the front end, run on every query
// before it reaches the parser.
#pragma once

#include <string>
#include <string_view>

namespace sqlparse {

// Returns `sql` without block comments (optimizer hints included), without
// line comments and without blank lines, in three character-level stages:
//
//  1. Block comments. One pass with a signed depth counter and the previous
//     marker character ('/', '*' or none). On "/*" every '/' is stripped from
//     both ends of the output and depth goes up; a character is kept only at
//     depth 0; on "*/" depth goes down. Markers overlap ("/*/" opens and
//     closes), depth may go negative and nothing is quoted-string aware.
//  2. Line comments. Every match of the regular expression "--.*\n?" ('.' is
//     any character but a line feed, so a carriage return belongs to the
//     comment) becomes a single line feed.
//  3. Blank lines. The text is split at line feeds; lines that are empty or
//     made only of white space (the host language's str.strip() set, all of
//     Unicode's white space) are dropped; the rest are joined with line feeds,
//     unaltered.
//
// The input is UTF-8; lone surrogates in their 3-byte form and any other byte
// sequence are ordinary non-space characters. Runs in time linear in the
// input size and never throws except std::bad_alloc.
std::string re_hint(std::string_view sql);

}  // namespace sqlparse
