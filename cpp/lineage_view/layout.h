// A layered left-to-right layout of the lineage graph, computed when the page
// is built so that the browser only draws.
//
// 1. Layers: a box's layer is the longest path of table links leading to it
//    (sources at 0), after dropping the links that close a cycle.
// 2. Order: barycentre sweeps at the level of column rows: each box moves to
//    the mean position of the rows it is linked to in the layers already
//    placed, and the columns of a box that is only read follow their readers
//    the same way. The value edges decide; the indirect ones are hidden at first.
// 3. Coordinates: each layer is a column of boxes; a layer much taller than
//    the picture is wide wraps into sub-columns, keeping the whole near the
//    shape of a screen.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lineage_view/model.h"

namespace sqlparse::lineage_view {

inline constexpr double kRowH = 20;
inline constexpr double kHeadH = 26;
inline constexpr double kEmptyH = 10;    // the body of a box with no column rows
inline constexpr double kBoxGap = 22;    // between boxes of a sub-column
inline constexpr double kLayerGap = 180; // between layers, room for the edges
inline constexpr double kSubGap = 70;    // between the sub-columns of one wrapped layer
inline constexpr double kMargin = 30;
inline constexpr double kCharW = 7.0;    // of the 12px font, for sizing boxes
inline constexpr double kMinW = 120, kMaxW = 300;
inline constexpr int kSweeps = 6;

struct Box {
  int layer = 0;
  std::vector<int> columns;  // the table's column indexes in drawing order
  double x = 0, y = 0, w = 0, h = 0;
  std::vector<int> row_of;  // column index -> its row in `columns`

  double row_y(int column) const;  // a row's middle; the header's for -1
};

struct Layout {
  std::vector<Box> boxes;  // one per graph table
  std::vector<std::vector<int>> layers;  // table indexes, top to bottom
  double width = 0, height = 0;
};

// Longest-path layers of n nodes over `links` (from, to); a link closing a
// cycle in a depth-first walk (roots in index order) is left out. No recursion.
std::vector<int> assign_layers(int n, const std::vector<std::pair<int, int>>& links);

double box_width(std::string_view name, const std::vector<std::string_view>& columns);

Layout layout(const Graph& graph, int sweeps = kSweeps);

// The SVG path of edge e, written at p (room for edge_path_room(lay) bytes,
// never more than kEdgePathMax).
inline constexpr std::size_t kEdgePathMax = 8 * 25;
std::size_t edge_path_room(const Layout& lay);
char* write_edge_path(char* p, const Layout& lay, const Edge& e);
void append_edge_path(std::string& out, const Layout& lay, const Edge& e);

// Pairs of edges that cross between adjacent layers: a measure of the
// order's quality (quadratic per pair of layers; for tests and benchmarks).
long long crossings(const Graph& graph, const Layout& lay);

}  // namespace sqlparse::lineage_view
