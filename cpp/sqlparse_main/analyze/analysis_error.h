// The one error type of the lineage analyser.
//
// Each kind names the host error that a caller sees (the Python binding raises
// that class). kUnsupportedFromShape is the analysis meeting a FROM shape it
// cannot trace: `shown` holds the values that the failure's single output line
// prints (the column key and the node beside its alias, or the FROM list
// alone), `column` and `node` the column key and the offending node.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "tree/node.h"

namespace sqlparse {

class AnalysisError : public std::runtime_error {
 public:
  enum class Kind {
    kTypeError,             // e.g. "keywords must be strings"
    kAttributeError,        // a missing record or a leaf queried by path
    kKeyError,              // mapped by the binding; the analysis no longer raises it
    kValueError,            // malformed path text, empty separator
    kRecursionError,        // a resolution cycle, or nesting beyond the limits
    kUnsupportedFromShape,  // "No active exception to reraise"
  };

  AnalysisError(Kind kind, std::string message) : std::runtime_error(message), kind_(kind) {}

  static AnalysisError unsupported_from_shape(Node column, Node node, std::vector<Node> shown) {
    AnalysisError e(Kind::kUnsupportedFromShape, "No active exception to reraise");
    e.column_ = std::move(column);
    e.node_ = std::move(node);
    e.shown_ = std::move(shown);
    return e;
  }

  Kind kind() const { return kind_; }
  const Node& column() const { return column_; }
  const Node& node() const { return node_; }
  const std::vector<Node>& shown() const { return shown_; }

 private:
  Kind kind_;
  Node column_;
  Node node_;
  std::vector<Node> shown_;
};

}  // namespace sqlparse
