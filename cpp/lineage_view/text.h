// Text helpers of the lineage view: numbers as the page writes them, UTF-8
// lengths, and the quoting of text from SQL for HTML, JSON in a <script>
// element, and Graphviz.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sqlparse::lineage_view {

void append_int(std::string& out, std::int64_t value);
// `value` rounded to an integer, ties to even (as printf's "%.0f").
void append_fixed0(std::string& out, double value);
// The same written at p (room for 24 bytes); the end of what was written.
char* write_fixed0(char* p, double value);

// Code points in valid UTF-8.
std::size_t utf8_length(std::string_view text);

// Text for an HTML element or a quoted attribute: & < > " ' as references.
void append_html(std::string& out, std::string_view text);

// A JSON string literal that is also safe inside a <script> element: & < >
// are written as \u escapes, so no "</script>" or "<!--" can appear.
void append_json_string(std::string& out, std::string_view text);

// A Graphviz double-quoted string holding `text` literally (line feeds as \n).
void append_dot_quoted(std::string& out, std::string_view text);

// Runs of Unicode white space as one space, trimmed at both ends; then at most
// `width` code points, the last an ellipsis when cut.
std::string squeeze_and_cut(std::string_view text, std::size_t width);

}  // namespace sqlparse::lineage_view
