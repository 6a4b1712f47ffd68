// Binding powers of the classic grammar's operators, loosest first: shared
// by the classic parser and the rendering of typed trees as classic trees,
// which must group operators exactly as the parser does.
#pragma once

namespace sqlparse::sql_parser {

enum Bp : int {
  kBpNone = 0,
  kBpOr,
  kBpAnd,
  kBpNot,  // prefix
  kBpNotSimilar,
  kBpSimilar,
  kBpNotRlike,
  kBpRlike,
  kBpNotLike,
  kBpLike,
  kBpIs,
  kBpIsNot,
  kBpNotIn,
  kBpIn,
  kBpNotBetween,
  kBpBetween,
  kBpEq,
  kBpCompare,
  kBpBitOr,
  kBpBitAnd,
  kBpBitNot,  // prefix
  kBpAdd,
  kBpNeg,  // prefix
  kBpMul,
  kBpConcat,
  kBpCollate,
  kBpCast,
};

}  // namespace sqlparse::sql_parser
