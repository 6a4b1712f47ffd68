// Column lineage of a column of SQL texts, as a table of edges.
//
// Each text is analysed as a script (statement errors collected) and gives
// rows, each naming the input row it came from:
//   - one per source of each output column ("direct"), per column deciding
//     the rows ("indirect", no target column: it decides every one), and per
//     source traced through a table the script wrote earlier ("composed");
//   - one with no edge for a statement that gives none, so that every
//     statement shows with its kind and warnings;
//   - one with the error for a statement that does not parse, or for a text
//     that cannot be analysed at all (no statement number then);
//   - none for a null or empty text.
#pragma once

#include <cstddef>
#include <vector>

#include "arrow_edges/edge_table.h"
#include "arrow_edges/text_column.h"
#include "lineage/lineage.h"
#include "syntax/dialect.h"

namespace sqlparse::arrow_edges {

// The columns of every batch, in order. "row" is the index of the text in
// the input column; the rest are the edge table's own.
inline constexpr const char* kEdgeColumnNames[] = {
    "row",           "statement",     "statement_kind", "target_table",
    "target_column", "source_table",  "source_column",  "kind",
    "edge",          "ambiguous",     "warnings",       "error"};

// The edges of every text of `texts`, analysed on `threads` threads (0: one
// per core); the batches come in input order, each cut below 2 GiB of string
// data. Only reads the texts' buffers; call it without holding the GIL.
std::vector<ExportedBatch> lineage_edges(const TextColumn& texts, const syntax::Dialect& dialect,
                                         const lineage::Schema& schema, std::size_t threads);

}  // namespace sqlparse::arrow_edges
