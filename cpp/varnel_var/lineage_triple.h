// One lineage fact: a source table (possibly "database.table"), the source
// column and the output column name. Members are tree nodes because the
// analysis carries whatever node the select list held (a star list, say).
#pragma once

#include "tree/node.h"

namespace sqlparse {

struct LineageTriple {
  Node table;
  Node src;
  Node tgt;
};

}  // namespace sqlparse
