// Type names: multi-word names (double precision, timestamp with time zone),
// parameters in (..) or <..> (dec(15,4), varchar(max), Nullable(String),
// array<struct<a:int>>, struct(a int)), and array suffixes (int[]).
#include "syntax/grammar.h"

namespace sqlparse::syntax {
namespace {

// Words that continue a type name begun by another word.
bool continues_type(std::string_view w) {
  static constexpr std::string_view kWords[] = {"precision", "varying", "character", "char",
                                                "varchar", "raw", "unsigned", "signed",
                                                "zerofill", "int", "integer", "bigint",
                                                "smallint", "tinyint", "text"};
  return is_one_of(w, kWords);
}

// Types whose parameters are written in <..>: array<int>, map<k, v>,
// struct<a:int>. For any other, a "<" after the type is a comparison:
// b::int < 5.
bool takes_angle_params(std::string_view name) {
  static constexpr std::string_view kNames[] = {"array", "struct", "map", "multiset", "set", "row",
                                                "record", "tuple", "object", "union", "list",
                                                "vector", "nested", "frozen", "uniontype"};
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(dot + 1);
  return is_one_of(name, kNames);
}

}  // namespace

bool Parser::at_type_start() const { return at(Tok::kWord) || at(Tok::kQuotedName); }

TypeName* Parser::type_name() {
  if (classic_) [[unlikely]] return classic_type_name();
  DepthGuard guard(*this);
  const std::uint32_t begin = here();
  if (!at_type_start()) fail("a type name");
  TypeName* t = arena_.make<TypeName>();
  t->span.begin = begin;
  const std::size_t from = pos_;
  const bool interval = at_kw(Kw::kInterval);
  advance();
  while (at(Tok::kDot) && (at(Tok::kWord, 1) || at(Tok::kQuotedName, 1))) {
    advance();
    advance();
  }
  while (at(Tok::kWord) && continues_type(text_of(peek()))) advance();
  if (interval) {
    // interval year to month, interval day(3) to second
    auto unit = [&]() {
      if (at(Tok::kWord) && !at_kw(Kw::kTo) && peek().kw != Kw::kAs) {
        advance();
        if (at(Tok::kLParen) && at(Tok::kNumber, 1)) skip_group();
      }
    };
    if (at_kw(Kw::kYear) || at_kw(Kw::kMonth) || at_kw(Kw::kDay) || at_kw(Kw::kHour) ||
        at_kw(Kw::kMinute) || at_kw(Kw::kSecond)) {
      unit();
      if (accept_kw(Kw::kTo)) unit();
    }
  }
  t->name = raw_since(from);

  auto param = [&]() {
    TypeParam p;
    if (at(Tok::kNumber) || at(Tok::kString) || at_op(Op::kMinus) || at(Tok::kStar)) {
      // 15, 'UTC', 'a' = 1, 10 byte
      const std::uint32_t pb = here();
      const std::size_t pf = pos_;
      int depth = 0;
      while (!at_end() && !at(Tok::kError)) {
        if (depth == 0 && (at(Tok::kComma) || at(Tok::kRParen) || at_op(Op::kGt) || at_op(Op::kShiftRight))) break;
        if (at(Tok::kLParen)) ++depth;
        if (at(Tok::kRParen)) --depth;
        advance();
      }
      TypeName* v = arena_.make<TypeName>();
      v->name = raw_since(pf);
      v->span = span_from(pb);
      p.type = v;
      return p;
    }
    if (!at_type_start()) fail("a type parameter");
    if (at_op(Op::kColon, 1)) {
      p.name = ident_of(peek());
      advance();
      advance();
    } else if ((at(Tok::kWord, 1) || at(Tok::kQuotedName, 1)) && !continues_type(text_of(peek(1))) &&
               !at_kw(Kw::kWith, 1) && !at_kw(Kw::kWithout, 1) && !at_kw(Kw::kTo, 1)) {
      p.name = ident_of(peek());  // struct(a int)
      advance();
    }
    p.type = type_name();
    // Column options inside struct fields: not null, comment '..'
    while (at_kw(Kw::kNot) && at_kw(Kw::kNull, 1)) {
      advance();
      advance();
    }
    return p;
  };

  SmallVec<TypeParam> params;
  if (at(Tok::kLParen)) {
    advance();
    if (!at(Tok::kRParen)) {
      do {
        params.push_back(param());
      } while (accept(Tok::kComma));
    }
    expect(Tok::kRParen, "a comma or )");
  } else if (at_op(Op::kLt) && takes_angle_params(t->name)) {
    advance();
    t->angle = true;
    do {
      params.push_back(param());
    } while (accept(Tok::kComma));
    if (at_op(Op::kShiftRight)) {
      // The ">>" that closes two nested lists: take one ">" and leave the other.
      toks_[pos_].op = Op::kGt;
      toks_[pos_].begin += 1;
    } else if (at_op(Op::kGe) || at_op(Op::kNeq)) {
      fail(">");
    } else if (!accept_op(Op::kGt)) {
      fail("a comma or >");
    }
  }
  t->params = arena_.list(params);

  const std::size_t suffix_from = pos_;
  for (;;) {
    if ((at_kw(Kw::kWith) || at_kw(Kw::kWithout)) &&
        (at_kw(Kw::kTime, 1) || (at_kw(Kw::kLocal, 1) && at_kw(Kw::kTime, 2)))) {
      advance();
      accept_kw(Kw::kLocal);
      advance();
      expect_kw(Kw::kZone, "ZONE");
    } else if (at_word("unsigned") || at_word("signed") || at_word("zerofill")) {
      advance();
    } else if (at_kw(Kw::kArray) && !at(Tok::kLBracket, 1) && !at(Tok::kLParen, 1)) {
      advance();
    } else {
      break;
    }
  }
  if (pos_ > suffix_from) t->suffix = raw_since(suffix_from);
  while (!no_type_dims_ && at(Tok::kLBracket) &&
         (at(Tok::kRBracket, 1) || (at(Tok::kNumber, 1) && at(Tok::kRBracket, 2) &&
                                    text_of(peek(1)).find('.') == std::string_view::npos))) {
    skip_group();
    ++t->array_dims;
  }
  t->span = span_from(begin);
  return t;
}

}  // namespace sqlparse::syntax
