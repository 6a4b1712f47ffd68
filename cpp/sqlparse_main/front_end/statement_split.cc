// The statement splitter: one pass over the bytes with a small lexical state
// (plain text, a quoted string or name, a line or block comment). Every byte
// goes through `step`, which keeps the code-point offset, the line and the
// column up to date and widens the current statement's span over every byte
// that is not white space; so comments at the edge of a statement stay part of
// its text (the comment stripping removes them later), while the white space
// around it does not.
#include "sqlparse_main/front_end/statement_split.h"

namespace sqlparse {
namespace {

bool is_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Continuation bytes of UTF-8 do not start a code point.
bool starts_code_point(unsigned char c) { return (c & 0xC0) != 0x80; }

enum class State { kPlain, kString, kQuotedName, kLineComment, kBlockComment };

class Splitter {
 public:
  explicit Splitter(std::string_view text) : text_(text) {}

  std::vector<StatementSpan> run() {
    const std::size_t n = text_.size();
    while (i_ < n) {
      const char c = text_[i_];
      const char next = i_ + 1 < n ? text_[i_ + 1] : '\0';
      switch (state_) {
        case State::kPlain:
          if (c == ';') {
            close_piece();
            step(/*widen=*/false);
          } else if (c == '-' && next == '-') {
            state_ = State::kLineComment;
            step();
            step();
          } else if (c == '#') {
            state_ = State::kLineComment;
            step();
          } else if (c == '/' && next == '*') {
            state_ = State::kBlockComment;
            depth_ = 1;
            step();
            step();
          } else if (c == '\'') {
            enter_quote('\'');
          } else if (c == '"' || c == '`') {
            enter_quote(c);
          } else if (c == '[') {
            enter_quote(']');
          } else {
            if (!is_space(static_cast<unsigned char>(c))) has_content_ = true;
            step();
          }
          break;
        case State::kString:
        case State::kQuotedName:
          if (c == close_) {
            // A doubled closing quote is one quote character inside the text.
            if (next == close_) {
              step();
              step();
            } else {
              state_ = State::kPlain;
              step();
            }
          } else {
            step();
          }
          break;
        case State::kLineComment:
          if (c == '\n') state_ = State::kPlain;
          step();
          break;
        case State::kBlockComment:
          if (c == '/' && next == '*') {
            ++depth_;
            step();
            step();
          } else if (c == '*' && next == '/') {
            if (--depth_ == 0) state_ = State::kPlain;
            step();
            step();
          } else {
            step();
          }
          break;
      }
    }
    close_piece();
    return std::move(out_);
  }

 private:
  void enter_quote(char close) {
    state_ = close == '\'' ? State::kString : State::kQuotedName;
    close_ = close;
    has_content_ = true;
    step();
  }

  // Moves past the byte at i_, widening the current span over it unless it is
  // white space (or the ";" that separates two statements).
  void step(bool widen = true) {
    const auto c = static_cast<unsigned char>(text_[i_]);
    const bool lead = starts_code_point(c);
    if (widen && !is_space(c)) {
      if (!span_open_) {
        span_open_ = true;
        span_.begin = i_;
        span_.cp_begin = cp_;
        span_.line = line_;
        span_.column = column_;
      }
      span_.end = i_ + 1;
      span_.cp_end = cp_ + (lead ? 1 : 0);
    }
    if (lead) {
      ++cp_;
      ++column_;
    }
    if (c == '\n') {
      ++line_;
      column_ = 1;
    }
    ++i_;
  }

  // Ends the piece before a ";" or at the end of the text.
  void close_piece() {
    if (span_open_ && has_content_) out_.push_back(span_);
    span_open_ = false;
    has_content_ = false;
    span_ = StatementSpan{};
  }

  std::string_view text_;
  std::size_t i_ = 0;
  std::size_t cp_ = 0;
  std::size_t line_ = 1;
  std::size_t column_ = 1;
  State state_ = State::kPlain;
  char close_ = '\0';
  std::size_t depth_ = 0;

  StatementSpan span_;
  bool span_open_ = false;
  // Something besides white space and comments: a word, a symbol, a string.
  bool has_content_ = false;
  std::vector<StatementSpan> out_;
};

}  // namespace

std::vector<StatementSpan> split_statements(std::string_view text) { return Splitter(text).run(); }

}  // namespace sqlparse
