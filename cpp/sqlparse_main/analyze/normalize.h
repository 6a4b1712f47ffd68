// Tree normalisation: the copy of a tree in which every space (U+0020) in
// every map key and every string has become "_".
//
// The result is exactly what a JSON round trip gives (serialise, replace the
// spaces in the text, parse back): other characters stay as they are, numbers,
// booleans and nulls are unchanged, map order is kept, and when two keys of a
// map become equal the map keeps one key, at the first one's position, with
// the later one's value. It is computed on the tree directly. Sub-trees that
// hold no space are shared with the input rather than copied: nodes are
// immutable once shared, so the result cannot be told apart from a deep copy.
#pragma once

#include "tree/node.h"

namespace sqlparse {

// Iterative: any depth that the tree type accepts is fine.
Node normalize(const Node& tree);

}  // namespace sqlparse
