// Literals of the reference grammar: numbers, strings and intervals.
#include <charconv>
#include <limits>

#include "sql_parser/reference/parser_internal.h"

namespace sqlparse::sql_parser {

Node Parser::parse_number(const Token& t) {
  std::string_view s = text_of(t);
  switch (static_cast<NumberKind>(t.sub)) {
    case NumberKind::kHex: {
      Map m;
      m.append("hex", Node::string(std::string(s.substr(2))));
      return Node::map(std::move(m));
    }
    case NumberKind::kInt: {
      std::size_t first = s.find_first_not_of('0');
      if (first != std::string_view::npos && s.size() - first > kMaxIntegerDigits) {
        fail(t, "a number of at most 4300 digits");
      }
      return Node::integer_from_text(s);
    }
    case NumberKind::kIntExponent: {
      // Digits, "e", an optional sign and the exponent: an integer when the
      // exponent is not negative (1e3 is 1000), a float otherwise.
      std::size_t e = s.find_first_of("eE");
      std::string_view mantissa = s.substr(0, e);
      std::string_view exp = s.substr(e + 1);
      bool negative = !exp.empty() && exp[0] == '-';
      if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) exp.remove_prefix(1);
      if (!negative) {
        std::size_t first = mantissa.find_first_not_of('0');
        if (first == std::string_view::npos) return Node::integer(0);
        std::size_t zeros = 0;
        std::size_t digits = mantissa.size() - first;
        std::size_t exp_digits = exp.find_first_not_of('0');
        if (exp_digits != std::string_view::npos) {
          if (exp.size() - exp_digits > 5) fail(t, "a number of at most 4300 digits");
          std::from_chars(exp.data() + exp_digits, exp.data() + exp.size(), zeros);
        }
        if (digits + zeros > kMaxIntegerDigits) fail(t, "a number of at most 4300 digits");
        std::string text(mantissa.substr(first));
        text.append(zeros, '0');
        return Node::integer_from_text(text);
      }
      [[fallthrough]];
    }
    case NumberKind::kFloat:
      break;
  }
  double d = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (ec == std::errc::result_out_of_range) {
    // Too large is infinity, too small is zero, as the host's float() gives.
    std::size_t e = s.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < s.size() && s[e + 1] == '-';
    d = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc() || ptr != s.data() + s.size()) {
    fail(t, "a number");
  }
  return Node::number(d);
}

Node Parser::parse_string_literal_text(const Token& t) {
  std::string_view raw = text_of(t);
  std::string_view body = raw.substr(1, raw.size() - 2);
  if (t.sub == 0) return Node::string(std::string(body));
  std::string out;
  out.reserve(body.size());
  unescape(body, t.quote, &out);
  return Node::string(std::move(out));
}

Node Parser::parse_interval() {
  // INTERVAL n unit | INTERVAL 'n unit[, n unit...]'
  advance();
  const Token t = peek();
  if (t.kind == Tok::kNumber && static_cast<NumberKind>(t.sub) != NumberKind::kHex) {
    Node amount = parse_number(t);
    advance();
    const Token u = peek();
    std::string_view unit = u.kind == Tok::kWord ? interval_unit(text_of(u)) : std::string_view();
    if (unit.empty()) fail(u, "an interval unit");
    advance();
    return interval_node(std::move(amount), unit);
  }
  if (t.kind == Tok::kString) {
    Node text = parse_string_literal_text(t);
    std::string_view s = text.as_string();
    List parts;
    std::size_t start = 0;
    for (;;) {
      std::size_t comma = s.find(',', start);
      std::string_view piece = s.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      Node amount;
      std::string_view unit;
      if (!parse_interval_piece(piece, &amount, &unit)) fail(t, "an interval such as '3 day'");
      parts.push_back(interval_node(std::move(amount), unit));
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    advance();
    if (parts.size() == 1) return std::move(parts[0]);
    Map m;
    m.append("add", Node::list(std::move(parts)));
    return Node::map(std::move(m));
  }
  fail(t, "an interval amount");
}

}  // namespace sqlparse::sql_parser
