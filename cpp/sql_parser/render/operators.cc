// Operator expressions read again with the classic precedence.
//
// The two grammars rank operators differently ("=" is looser than "<" in the
// classic one, unary minus looser than "*", LIKE / IN / BETWEEN looser than
// "=", "||" tighter than "*"). So an operator expression of the typed tree is
// laid out again as the sequence of operands and operators it was written as
// (parenthesised parts stay single operands) and parsed once more by the
// classic parser's precedence climbing. The result has the classic shape,
// and a sequence the classic grammar cannot read is refused.
#include <new>
#include <type_traits>
#include <vector>

#include "sql_parser/binding_powers.h"
#include "sql_parser/classic_shapes.h"
#include "sql_parser/render/render_internal.h"

namespace sqlparse::sql_parser::render {
namespace {


struct InfixOp {
  const char* key = nullptr;
  int bp = kBpNone;
  bool flat = false;  // add, mul, and, or: one list for the whole chain
};

InfixOp infix_op(std::string_view op) {
  // By length first: most operators are told apart by one or two characters.
  switch (op.size()) {
    case 1:
      switch (op[0]) {
        case '+': return {"add", kBpAdd, true};
        case '*': return {"mul", kBpMul, true};
        case '=': return {"eq", kBpEq};
        case '<': return {"lt", kBpCompare};
        case '>': return {"gt", kBpCompare};
        case '|': return {"binary_or", kBpBitOr};
        case '&': return {"binary_and", kBpBitAnd};
        case '-': return {"sub", kBpAdd};
        case '/': return {"div", kBpMul};
        case '%': return {"mod", kBpMul};
        default: return {};
      }
    case 2:
      if (op == "or") return {"or", kBpOr, true};
      if (op == "==") return {"eq", kBpEq};
      if (op == "<>" || op == "!=") return {"neq", kBpEq};
      if (op == "<=") return {"lte", kBpCompare};
      if (op == ">=") return {"gte", kBpCompare};
      if (op == "||") return {"concat", kBpConcat};
      if (op == "is") return {"eq", kBpIs};
      return {};
    default:
      break;
  }
  if (op == "and") return {"and", kBpAnd, true};
  if (op == "like") return {"like", kBpLike};
  if (op == "not like") return {"not_like", kBpNotLike};
  if (op == "rlike") return {"rlike", kBpRlike};
  if (op == "not rlike") return {"not_rlike", kBpNotRlike};
  if (op == "similar to") return {"similar_to", kBpSimilar};
  if (op == "not similar to") return {"not_similar_to", kBpNotSimilar};
  if (op == "is not") return {"is_not", kBpIsNot};
  return {};
}

// Appends the operands of `e` to `chain`: its own operands when it is a chain
// of the same operator, else e itself.
void append_operand(List& chain, const char* key, Rendered& e) {
  if ((e.flags & Rendered::kFlatChain) && e.node.is_map()) {
    const Map& m = e.node.as_map();
    if (m.size() == 1 && m.entries()[0].first == key && m.entries()[0].second.is_list()) {
      for (const Node& n : m.entries()[0].second.as_list()) chain.push_back(n);
      return;
    }
  }
  chain.push_back(std::move(e.node));
}

bool is_bare_star(const ast::Expr* e) {
  return e->kind == ast::ExprKind::kStar && static_cast<const ast::Star*>(e)->qualifier.parts.empty();
}

// One item of the written sequence.
struct Piece {
  enum Kind : std::uint8_t {
    kOperand,      // expr, rendered when the climb reaches it
    kNumber,       // text: the number of 2x
    kName,         // text: the name of 2x
    kInList,       // in: its parenthesised list or query
    kAnyQuery,     // quantified: any (select ..)
    kInfix,        // text: the operator
    kImplicitMul,  // 2x
    kPrefix,       // text: "-", "~", "not"
    kBetween,      // negated
    kAnd,          // the AND of BETWEEN .. AND (the classic grammar reads any AND there)
    kIn,           // negated
    kCast,         // expr: the Cast node (its type)
    kCollate,      // expr: the Collate node
  };
  Piece(Kind k, const ast::Expr* e, std::string_view t = {}, bool n = false)
      : kind(k), expr(e), text(t), negated(n) {}
  Kind kind;
  const ast::Expr* expr;
  std::string_view text;
  bool negated;
};

// Whether the first token of `e` as written is a decimal number.
bool starts_with_number(const ast::Expr* e) {
  for (;;) {
    switch (e->kind) {
      case ast::ExprKind::kBinary: e = static_cast<const ast::Binary*>(e)->left; continue;
      case ast::ExprKind::kBetween: e = static_cast<const ast::Between*>(e)->operand; continue;
      case ast::ExprKind::kIn: e = static_cast<const ast::In*>(e)->operand; continue;
      case ast::ExprKind::kQuantified: e = static_cast<const ast::Quantified*>(e)->left; continue;
      case ast::ExprKind::kCollate: e = static_cast<const ast::Collate*>(e)->operand; continue;
      case ast::ExprKind::kCast:
        if (static_cast<const ast::Cast*>(e)->style != "::") return false;
        e = static_cast<const ast::Cast*>(e)->operand;
        continue;
      case ast::ExprKind::kLiteral: {
        const auto& l = *static_cast<const ast::Literal*>(e);
        if (l.literal_kind != ast::LiteralKind::kNumber) return false;
        return !(l.text.size() > 2 && l.text[0] == '0' && (l.text[1] == 'x' || l.text[1] == 'X'));
      }
      case ast::ExprKind::kColumn: {
        const auto& c = *static_cast<const ast::ColumnRef*>(e);
        return c.name.parts.size() == 1 && c.name.parts[0].quote == 0 && number_prefix(c.name.parts[0].text) > 0;
      }
      default:
        return false;
    }
  }
}

// The pieces of one operator expression: most have a handful, held inline.
using Pieces = ast::SmallVec<Piece, 16>;

// A stack whose first N items live inside it (lay_out's work list).
template <class T, std::size_t N>
class InlineStack {
 public:
  InlineStack() = default;
  InlineStack(const InlineStack&) = delete;
  InlineStack& operator=(const InlineStack&) = delete;
  void push_back(const T& item) {
    if (size_ < N) {
      new (slot(size_)) T(item);
    } else {
      more_.push_back(item);
    }
    ++size_;
  }
  T pop() {
    --size_;
    if (size_ < N) return *slot(size_);
    T item = more_.back();
    more_.pop_back();
    return item;
  }
  bool empty() const { return size_ == 0; }

 private:
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  T* slot(std::size_t i) { return std::launder(reinterpret_cast<T*>(inline_)) + i; }
  alignas(T) unsigned char inline_[N * sizeof(T)];
  std::vector<T> more_;
  std::size_t size_ = 0;
};

// The written sequence of an operator expression; iterative, so that long
// chains need no recursion.
void lay_out(const ast::Expr* root, Pieces& out) {
  // Work items: a node to lay out (expr set) or a piece to emit.
  struct Work {
    bool emit;
    Piece piece;
  };
  InlineStack<Work, 16> stack;
  auto node = [](const ast::Expr* e) { return Work{false, Piece{Piece::kOperand, e}}; };
  auto emit = [](Piece p) { return Work{true, p}; };
  stack.push_back(node(root));
  while (!stack.empty()) {
    Work w = stack.pop();
    if (w.emit) {
      out.push_back(w.piece);
      continue;
    }
    const ast::Expr* e = w.piece.expr;
    if (e == nullptr) unsupported("missing expression");
    // Pushed in reverse: the last pushed is laid out first.
    switch (e->kind) {
      case ast::ExprKind::kBinary: {
        const auto& b = *static_cast<const ast::Binary*>(e);
        if (b.escape) unsupported("like .. escape");
        if (infix_op(b.op).key == nullptr) unsupported("operator " + std::string(b.op));
        if (is_bare_star(b.left) || is_bare_star(b.right)) unsupported("* as an operand");
        stack.push_back(node(b.right));
        stack.push_back(emit({Piece::kInfix, e, b.op}));
        stack.push_back(node(b.left));
        continue;
      }
      case ast::ExprKind::kUnary: {
        const auto& u = *static_cast<const ast::Unary*>(e);
        if (u.postfix) unsupported("postfix operator " + std::string(u.op));
        if (u.op == "+") {
          // +6 is the number itself; a plus before anything else is not classic.
          if (!starts_with_number(u.operand)) unsupported("unary plus");
          stack.push_back(node(u.operand));
          continue;
        }
        if (u.op != "-" && u.op != "~" && u.op != "not") unsupported("unary operator " + std::string(u.op));
        stack.push_back(node(u.operand));
        stack.push_back(emit({Piece::kPrefix, e, u.op}));
        continue;
      }
      case ast::ExprKind::kBetween: {
        const auto& b = *static_cast<const ast::Between*>(e);
        if (b.symmetric) unsupported("between symmetric");
        stack.push_back(node(b.high));
        stack.push_back(emit({Piece::kAnd, e}));
        stack.push_back(node(b.low));
        stack.push_back(emit({Piece::kBetween, e, {}, b.negated}));
        stack.push_back(node(b.operand));
        continue;
      }
      case ast::ExprKind::kIn: {
        const auto& in = *static_cast<const ast::In*>(e);
        if (in.unparenthesised) {
          if (in.items.size() != 1) unsupported("in without parentheses");
          stack.push_back(node(in.items[0]));
        } else {
          if (in.query == nullptr && in.items.empty()) unsupported("empty in list");
          stack.push_back(emit({Piece::kInList, e}));
        }
        stack.push_back(emit({Piece::kIn, e, {}, in.negated}));
        stack.push_back(node(in.operand));
        continue;
      }
      case ast::ExprKind::kQuantified: {
        const auto& q = *static_cast<const ast::Quantified*>(e);
        if (q.quantifier == "all") unsupported("all (..) comparison");
        const InfixOp op = infix_op(q.op);
        if (op.key == nullptr || op.bp == kBpIs || op.bp == kBpIsNot) unsupported("quantified comparison");
        stack.push_back(emit({Piece::kAnyQuery, e}));
        stack.push_back(emit({Piece::kInfix, e, q.op}));
        stack.push_back(node(q.left));
        continue;
      }
      case ast::ExprKind::kCollate:
        stack.push_back(emit({Piece::kCollate, e}));
        stack.push_back(node(static_cast<const ast::Collate*>(e)->operand));
        continue;
      case ast::ExprKind::kCast:
        if (static_cast<const ast::Cast*>(e)->style == "::") {
          stack.push_back(emit({Piece::kCast, e}));
          stack.push_back(node(static_cast<const ast::Cast*>(e)->operand));
          continue;
        }
        break;
      case ast::ExprKind::kColumn:
      case ast::ExprKind::kLiteral: {
        // 2x and 2.0f: a number, then a product with the name written against it.
        std::string_view text;
        if (e->kind == ast::ExprKind::kColumn) {
          const auto& c = *static_cast<const ast::ColumnRef*>(e);
          if (c.name.parts.size() == 1 && c.name.parts[0].quote == 0) text = c.name.parts[0].text;
        } else if (static_cast<const ast::Literal*>(e)->literal_kind == ast::LiteralKind::kNumber) {
          text = static_cast<const ast::Literal*>(e)->text;
        }
        const std::size_t n = number_prefix(text);
        if (n != 0 && n < text.size()) {
          stack.push_back(emit({Piece::kName, e, text.substr(n)}));
          stack.push_back(emit({Piece::kImplicitMul, e}));
          stack.push_back(emit({Piece::kNumber, e, text.substr(0, n)}));
          continue;
        }
        break;
      }
      default:
        break;
    }
    out.push_back({Piece::kOperand, e});
  }
}

}  // namespace

// The classic parser's precedence climbing over a laid-out sequence.
class Climb {
 public:
  Climb(Renderer& r, const Pieces& pieces) : r_(r), pieces_(pieces) {}

  Rendered run() {
    Rendered out = expr(0, false);
    if (pos_ != pieces_.size()) unsupported("operators in an order the classic grammar rejects");
    return out;
  }

 private:
  const Piece* peek() const { return pos_ < pieces_.size() ? &pieces_[pos_] : nullptr; }

  // The infix operator at the current piece, if any.
  InfixOp infix_at() const {
    const Piece* p = peek();
    if (p == nullptr) return {};
    switch (p->kind) {
      case Piece::kInfix: return infix_op(p->text);
      case Piece::kImplicitMul: return {"mul", kBpMul, true};
      case Piece::kAnd: return {"and", kBpAnd, true};
      case Piece::kBetween: return {p->negated ? "not_between" : "between", p->negated ? kBpNotBetween : kBpBetween};
      case Piece::kIn: return {p->negated ? "nin" : "in", p->negated ? kBpNotIn : kBpIn};
      case Piece::kCast: return {"cast", kBpCast};
      case Piece::kCollate: return {"collate", kBpCollate};
      default: return {};
    }
  }

  Rendered expr(int min_bp, bool after_tight) {
    Depth depth(r_);
    Rendered left = prefix(min_bp, after_tight);
    List chain;  // operands of a pending add/mul/and/or chain
    const char* chain_key = nullptr;
    auto close_chain = [&]() {
      if (!chain_key) return;
      left.node = single(chain_key, finish_list(std::move(chain)));
      left.flags = Rendered::kFlatChain;
      chain = List();
      chain_key = nullptr;
    };
    for (;;) {
      const InfixOp op = infix_at();
      if (op.key == nullptr || op.bp < min_bp) break;
      const Piece& piece = pieces_[pos_++];
      if (op.flat) {
        Rendered right = expr(op.bp + 1, op.bp >= kBpMul);
        if (chain_key == op.key) {
          append_operand(chain, op.key, right);
          continue;
        }
        close_chain();
        chain_key = op.key;
        append_operand(chain, op.key, left);
        append_operand(chain, op.key, right);
        left.flags = 0;
        continue;
      }
      close_chain();
      Node result;
      switch (piece.kind) {
        case Piece::kBetween: {
          Rendered low = expr(kBpEq, false);
          const Piece* and_piece = peek();
          const bool is_and = and_piece != nullptr &&
                              (and_piece->kind == Piece::kAnd ||
                               (and_piece->kind == Piece::kInfix && and_piece->text == "and"));
          if (!is_and) unsupported("operators in an order the classic grammar rejects");
          ++pos_;
          Rendered high = expr(kBpEq, false);
          List items;
          items.reserve(3);
          items.push_back(std::move(left.node));
          items.push_back(std::move(low.node));
          items.push_back(std::move(high.node));
          result = single(op.key, finish_list(std::move(items)));
          break;
        }
        case Piece::kCast:
          result = pair(op.key, std::move(left.node), r_.type(*static_cast<const ast::Cast*>(piece.expr)->type));
          break;
        case Piece::kCollate:
          result = pair(op.key, std::move(left.node), collation(*static_cast<const ast::Collate*>(piece.expr)));
          break;
        default: {
          Rendered right = expr(op.bp + 1, op.bp >= kBpMul);
          const bool equality = op.bp == kBpEq || op.bp == kBpIs || op.bp == kBpIsNot;
          if (equality && ((left.flags & Rendered::kBareNull) || (right.flags & Rendered::kBareNull))) {
            // Comparing with the NULL keyword itself tests for a missing value.
            const bool equal = std::string_view(op.key) == "eq";
            Node other = (right.flags & Rendered::kBareNull) ? std::move(left.node) : std::move(right.node);
            result = single(equal ? "missing" : "exists", std::move(other));
          } else {
            result = pair(op.key, std::move(left.node), std::move(right.node));
          }
          break;
        }
      }
      left.node = std::move(result);
      left.flags = 0;
    }
    close_chain();
    return left;
  }

  Rendered prefix(int min_bp, bool after_tight) {
    const Piece* p = peek();
    if (p == nullptr) unsupported("operators in an order the classic grammar rejects");
    if (p->kind == Piece::kPrefix) {
      Depth depth(r_);
      const std::string_view op = p->text;
      if (op == "-" && (min_bp <= kBpNeg || after_tight)) {
        ++pos_;
        // Right after * / % ||, the minus takes only the operand of that operator.
        Rendered inner = expr(after_tight && min_bp > kBpNeg ? min_bp : kBpMul, false);
        if (inner.flags & Rendered::kBareNumber) return {negate_number(inner.node), 0};
        return {single("neg", std::move(inner.node)), 0};
      }
      if (op == "not" && min_bp <= kBpNot) {
        ++pos_;
        return {single("not", expr(kBpNot + 1, false).node), 0};
      }
      if (op == "~" && min_bp <= kBpBitNot) {
        ++pos_;
        return {single("binary_not", expr(kBpBitNot + 1, false).node), 0};
      }
      unsupported("prefix operator in an operand position");
    }
    const Piece& piece = pieces_[pos_++];
    switch (piece.kind) {
      case Piece::kOperand: return r_.expr(piece.expr);
      case Piece::kNumber: return {number_node(piece.text), Rendered::kBareNumber};
      case Piece::kName: {
        ast::Ident id;
        id.text = piece.text;
        return {Node::string(ident_text(id)), 0};
      }
      case Piece::kInList: return in_list(*static_cast<const ast::In*>(piece.expr));
      case Piece::kAnyQuery: {
        const auto& q = *static_cast<const ast::Quantified*>(piece.expr);
        Node inner = q.query ? r_.query(unwrap_parens(*q.query), false) : r_.value(q.array);
        return {single(std::string(q.quantifier), std::move(inner)), 0};
      }
      default: unsupported("operators in an order the classic grammar rejects");
    }
  }

  // The parenthesised right side of IN, as the classic grammar reads any
  // parenthesised operand: a query, one expression, or a list.
  Rendered in_list(const ast::In& in) {
    if (in.query) return {r_.query(unwrap_parens(*in.query), false), 0};
    if (in.items.size() == 1) {
      Rendered only = r_.expr(in.items[0]);
      only.flags &= Rendered::kFlatChain;
      return only;
    }
    List items;
    items.reserve(in.items.size());
    for (const ast::Expr* item : in.items) items.push_back(r_.value(item));
    return {finish_list(std::move(items)), 0};
  }

  Node collation(const ast::Collate& c) {
    std::string_view name = c.collation;
    if (!name.empty() && (name[0] == '"' || name[0] == '`' || name[0] == '[')) {
      ast::Ident id;
      id.text = name;
      id.quote = name[0];
      return Node::string(ident_text(id));
    }
    return Node::string(std::string(name));
  }

  static Node pair(const char* key, Node left, Node right) { return pair_node(key, std::move(left), std::move(right)); }

  Renderer& r_;
  const Pieces& pieces_;
  std::size_t pos_ = 0;
};

namespace {

// Whether `e` is one operand as written: no operator expression of its own
// and no number written against a name (2x), so that an operator between two
// such operands is read the same at any precedence.
bool single_operand(const ast::Expr* e) {
  if (e == nullptr) return false;
  switch (e->kind) {
    case ast::ExprKind::kBinary: case ast::ExprKind::kUnary: case ast::ExprKind::kBetween:
    case ast::ExprKind::kIn: case ast::ExprKind::kQuantified: case ast::ExprKind::kCollate:
      return false;
    case ast::ExprKind::kCast:
      return static_cast<const ast::Cast*>(e)->style != "::";
    case ast::ExprKind::kStar:
      return !is_bare_star(e);
    case ast::ExprKind::kColumn: {
      const auto& c = *static_cast<const ast::ColumnRef*>(e);
      return !(c.name.parts.size() == 1 && c.name.parts[0].quote == 0 && number_prefix(c.name.parts[0].text) != 0);
    }
    case ast::ExprKind::kLiteral: {
      const auto& l = *static_cast<const ast::Literal*>(e);
      return l.literal_kind != ast::LiteralKind::kNumber || number_prefix(l.text) == l.text.size();
    }
    default:
      return true;
  }
}

}  // namespace

Rendered Renderer::operators(const ast::Expr* e) {
  // The common case, one binary operator between two single operands, gives
  // what the climb below gives for [left, op, right], without laying out.
  if (e->kind == ast::ExprKind::kBinary) {
    const auto& b = *static_cast<const ast::Binary*>(e);
    const InfixOp op = b.escape == nullptr ? infix_op(b.op) : InfixOp{};
    if (op.key != nullptr && single_operand(b.left) && single_operand(b.right)) {
      Depth depth(*this);
      Rendered left = expr(b.left);
      Rendered right = expr(b.right);
      if (op.flat) {
        List chain;
        chain.reserve(2);
        append_operand(chain, op.key, left);
        append_operand(chain, op.key, right);
        return {single(op.key, finish_list(std::move(chain))), Rendered::kFlatChain};
      }
      const bool equality = op.bp == kBpEq || op.bp == kBpIs || op.bp == kBpIsNot;
      if (equality && ((left.flags & Rendered::kBareNull) || (right.flags & Rendered::kBareNull))) {
        const bool equal = std::string_view(op.key) == "eq";
        Node other = (right.flags & Rendered::kBareNull) ? std::move(left.node) : std::move(right.node);
        return {single(equal ? "missing" : "exists", std::move(other)), 0};
      }
      return {pair_node(op.key, std::move(left.node), std::move(right.node)), 0};
    }
  }
  Pieces pieces;
  lay_out(e, pieces);
  Climb climb(*this, pieces);
  return climb.run();
}

}  // namespace sqlparse::sql_parser::render
