#include "lineage_view/layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "lineage_view/text.h"

namespace sqlparse::lineage_view {

double Box::row_y(int column) const {
  if (column >= 0) return y + kHeadH + row_of[column] * kRowH + kRowH / 2;
  return y + kHeadH / 2;
}

std::vector<int> assign_layers(int n, const std::vector<std::pair<int, int>>& links) {
  // Each node's successors once, in the order of their first link: links
  // grouped by their start (in order), then a stamp per successor.
  std::vector<std::size_t> start(static_cast<std::size_t>(n) + 1, 0);
  for (auto [a, b] : links) ++start[a + 1];
  for (int a = 0; a < n; ++a) start[a + 1] += start[a];
  std::vector<int> grouped(links.size());
  {
    std::vector<std::size_t> at(start.begin(), start.end() - 1);
    for (auto [a, b] : links) grouped[at[a]++] = b;
  }
  std::vector<std::vector<int>> succ(n);
  std::vector<int> stamp(n, -1);
  for (int a = 0; a < n; ++a) {
    for (std::size_t i = start[a]; i < start[a + 1]; ++i) {
      const int b = grouped[i];
      if (b == a || stamp[b] == a) continue;
      stamp[b] = a;
      succ[a].push_back(b);
    }
  }
  // Depth-first walk with an explicit stack; 1: on the walk's path, 2: done.
  std::vector<char> state(n, 0);
  std::vector<std::vector<int>> kept(n);
  std::vector<std::pair<int, std::size_t>> stack;
  for (int root = 0; root < n; ++root) {
    if (state[root]) continue;
    state[root] = 1;
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next == succ[node].size()) {
        state[node] = 2;
        stack.pop_back();
        continue;
      }
      const int to = succ[node][next++];
      if (state[to] == 1) continue;  // closes a cycle
      kept[node].push_back(to);
      if (state[to] == 0) {
        state[to] = 1;
        stack.emplace_back(to, 0);
      }
    }
  }
  std::vector<int> indegree(n, 0), layer(n, 0), ready;
  for (int a = 0; a < n; ++a) {
    for (int b : kept[a]) ++indegree[b];
  }
  for (int a = 0; a < n; ++a) {
    if (indegree[a] == 0) ready.push_back(a);
  }
  while (!ready.empty()) {
    const int a = ready.back();
    ready.pop_back();
    for (int b : kept[a]) {
      layer[b] = std::max(layer[b], layer[a] + 1);
      if (--indegree[b] == 0) ready.push_back(b);
    }
  }
  return layer;
}

double box_width(std::string_view name, const std::vector<std::string_view>& columns) {
  std::size_t longest = utf8_length(name) + 4;
  for (std::string_view c : columns) longest = std::max(longest, utf8_length(c) + 2);
  const double w = std::nearbyint(static_cast<double>(longest) * kCharW + 16);
  return std::min(kMaxW, std::max(kMinW, w));
}

namespace {

double box_height(std::size_t columns) {
  return kHeadH + (columns ? static_cast<double>(columns) * kRowH : kEmptyH);
}

// Lists of ints by key, in one array: list k is items[start[k] .. start[k + 1]).
struct Lists {
  std::vector<std::size_t> start;
  std::vector<std::size_t> items;

  std::size_t size(std::size_t k) const { return start[k + 1] - start[k]; }
  const std::size_t* begin(std::size_t k) const { return items.data() + start[k]; }
};

// Barycentre ordering over rows: a box's header is one row, each column one.
class Orderer {
 public:
  Orderer(const Graph& graph, Layout& lay) : graph_(graph), lay_(lay) {
    const std::size_t n = graph.tables.size();
    base_.resize(n + 1);
    for (std::size_t t = 0; t < n; ++t) base_[t + 1] = base_[t] + 1 + graph.tables[t].columns.size();
    box_of_.resize(base_[n]);
    for (std::size_t t = 0; t < n; ++t) {
      std::fill(box_of_.begin() + base_[t], box_of_.begin() + base_[t + 1], static_cast<int>(t));
    }
    pos_.assign(base_[n], 0.0);
    movable_.resize(n);
    for (std::size_t t = 0; t < n; ++t) movable_[t] = graph.tables[t].role() == Role::kSource;
  }

  void run(int sweeps) {
    bool any_value = false;
    for (const Edge& e : graph_.edges) any_value = any_value || !e.indirect;
    // Ordered by the value edges, which the page shows at first (and which
    // cross less that way); by all when there are none. Each row's
    // neighbours, split by the side they are on, in edge order.
    std::vector<std::pair<std::size_t, std::size_t>> left, right;
    for (const Edge& e : graph_.edges) {
      if (any_value && e.indirect) continue;
      const std::size_t a = row(e.source_table, e.source_column), b = row(e.target_table, e.target_column);
      const int la = lay_.boxes[e.source_table].layer, lb = lay_.boxes[e.target_table].layer;
      if (la < lb) {
        left.emplace_back(b, a);
        right.emplace_back(a, b);
      } else if (la > lb) {
        left.emplace_back(a, b);
        right.emplace_back(b, a);
      }
    }
    group(left, left_, box_left_);
    group(right, right_, box_right_);
    for (const std::vector<int>& order : lay_.layers) positions(order);
    const int count = static_cast<int>(lay_.layers.size());
    for (int s = 0; s < sweeps; ++s) {
      bool moved = false;
      for (int li = 1; li < count; ++li) moved |= sweep(li, left_, box_left_);
      for (int li = count - 2; li >= 0; --li) moved |= sweep(li, right_, box_right_);
      if (!moved) break;  // settled: the next sweeps would change nothing either
    }
  }

  const std::vector<double>& pos() const { return pos_; }
  std::size_t row(int table, int column) const {
    return base_[table] + (column < 0 ? 0 : 1 + static_cast<std::size_t>(column));
  }
  void positions(const std::vector<int>& order) {
    std::size_t total = 0;
    for (int t : order) total += 1 + lay_.boxes[t].columns.size();
    const double whole = static_cast<double>(total ? total : 1);
    std::size_t at = 0;
    for (int t : order) {
      const Box& box = lay_.boxes[t];
      pos_[base_[t]] = (static_cast<double>(at) + 0.5) / whole;
      for (std::size_t i = 0; i < box.columns.size(); ++i) {
        pos_[base_[t] + 1 + box.columns[i]] = (static_cast<double>(at + i) + 1.5) / whole;
      }
      at += 1 + box.columns.size();
    }
  }

 private:
  // The (row, neighbour) pairs as each row's list, and each box's list: the
  // lists of its rows joined in the order the rows first appear in `pairs`.
  void group(const std::vector<std::pair<std::size_t, std::size_t>>& pairs, Lists& rows, Lists& boxes) const {
    const std::size_t n = pos_.size();
    rows.start.assign(n + 1, 0);
    for (const auto& [r, to] : pairs) ++rows.start[r + 1];
    for (std::size_t r = 0; r < n; ++r) rows.start[r + 1] += rows.start[r];
    std::vector<std::size_t> at(rows.start.begin(), rows.start.end() - 1);
    rows.items.resize(pairs.size());
    std::vector<std::size_t> first_seen;
    for (const auto& [r, to] : pairs) {
      if (at[r] == rows.start[r]) first_seen.push_back(r);
      rows.items[at[r]++] = to;
    }
    const std::size_t boxes_n = lay_.boxes.size();
    boxes.start.assign(boxes_n + 1, 0);
    for (std::size_t r : first_seen) boxes.start[box_of_[r] + 1] += rows.size(r);
    for (std::size_t b = 0; b < boxes_n; ++b) boxes.start[b + 1] += boxes.start[b];
    std::vector<std::size_t> fill(boxes.start.begin(), boxes.start.end() - 1);
    boxes.items.resize(pairs.size());
    for (std::size_t r : first_seen) {
      std::copy(rows.begin(r), rows.begin(r) + rows.size(r), boxes.items.begin() + fill[box_of_[r]]);
      fill[box_of_[r]] += rows.size(r);
    }
  }

  double mean(const Lists& lists, std::size_t k, double fallback) const {
    const std::size_t n = lists.size(k);
    if (n == 0) return fallback;
    const std::size_t* rows = lists.begin(k);
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += pos_[rows[i]];
    return sum / static_cast<double>(n);
  }

  // `order` sorted by key(item), stably, without a temporary buffer each
  // time; whether anything moved.
  template <typename Key>
  bool sort_by(std::vector<int>& order, Key&& key) {
    keyed_.clear();
    for (std::size_t i = 0; i < order.size(); ++i) keyed_.emplace_back(key(order[i]), static_cast<int>(i));
    if (std::is_sorted(keyed_.begin(), keyed_.end())) return false;
    std::sort(keyed_.begin(), keyed_.end());
    scratch_.assign(order.begin(), order.end());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = scratch_[keyed_[i].second];
    return true;
  }

  bool sweep(int li, const Lists& side, const Lists& box_side) {
    std::vector<int>& order = lay_.layers[li];
    bool moved = false;
    for (int t : order) {
      Box& box = lay_.boxes[t];
      if (!movable_[t] || box.columns.size() < 2) continue;
      moved |= sort_by(box.columns, [&](int c) { return mean(side, row(t, c), pos_[row(t, c)]); });
    }
    moved |= sort_by(order, [&](int t) { return mean(box_side, static_cast<std::size_t>(t), pos_[base_[t]]); });
    if (moved) positions(order);
    return moved;
  }

  const Graph& graph_;
  Layout& lay_;
  std::vector<std::size_t> base_;  // each box's header row; its columns follow
  std::vector<int> box_of_;
  std::vector<double> pos_;  // each row's place in its layer, as a fraction
  Lists left_, right_, box_left_, box_right_;
  std::vector<char> movable_;  // boxes whose rows may move: those only read from
  std::vector<std::pair<double, int>> keyed_;
  std::vector<int> scratch_;
};

// The height at which a layer wraps: near a 16:10 picture overall.
double wrap_height(const Layout& lay) {
  double s = 0, widest = 0, tallest = 0;
  for (const std::vector<int>& order : lay.layers) {
    double h = 0;
    for (int t : order) h += lay.boxes[t].h + kBoxGap;
    s += h;
  }
  for (const Box& b : lay.boxes) {
    widest = std::max(widest, b.w);
    tallest = std::max(tallest, b.h + kBoxGap);
  }
  if (lay.boxes.empty()) widest = kMinW;
  const double w = widest + kLayerGap;
  const double n = static_cast<double>(lay.layers.size());
  const double h = (n * w + std::sqrt(std::pow(n * w, 2.0) + 6.4 * s * w)) / 3.2;
  return std::max({h, tallest, 600.0});
}

void place(Layout& lay) {
  const double limit = wrap_height(lay);
  struct SubColumn {
    double x;
    std::vector<int> boxes;
    double height;
  };
  std::vector<SubColumn> subs;
  double x = kMargin;
  for (const std::vector<int>& order : lay.layers) {
    const std::size_t first = subs.size();
    subs.push_back({0, {}, 0});
    double used = 0;
    for (int t : order) {
      const double h = lay.boxes[t].h + kBoxGap;
      if (!subs.back().boxes.empty() && used + h > limit) {
        subs.push_back({0, {}, 0});
        used = 0;
      }
      subs.back().boxes.push_back(t);
      used += h;
    }
    for (std::size_t k = first; k < subs.size(); ++k) {
      double w = 0, h = 0;
      for (int t : subs[k].boxes) {
        w = std::max(w, lay.boxes[t].w);
        h += lay.boxes[t].h + kBoxGap;
      }
      subs[k].x = x;
      subs[k].height = h - kBoxGap;
      x += w + (k + 1 < subs.size() ? kSubGap : kLayerGap);
    }
  }
  double height = 0;
  for (const SubColumn& sub : subs) height = std::max(height, sub.height);
  for (const SubColumn& sub : subs) {
    double y = kMargin + (height - sub.height) / 2;
    for (int t : sub.boxes) {
      lay.boxes[t].x = sub.x;
      lay.boxes[t].y = y;
      y += lay.boxes[t].h + kBoxGap;
    }
  }
  lay.width = std::nearbyint(subs.empty() ? 2 * kMargin : x - kLayerGap + kMargin);
  lay.height = std::nearbyint(height + 2 * kMargin);
}

}  // namespace

Layout layout(const Graph& graph, int sweeps) {
  const std::vector<Statement>& statements = *graph.statements;
  const int n = static_cast<int>(graph.tables.size());
  std::vector<std::pair<int, int>> links;
  links.reserve(graph.edges.size());
  for (const Edge& e : graph.edges) links.emplace_back(e.source_table, e.target_table);
  for (std::size_t i = 0; i < statements.size(); ++i) {
    if (statements[i].failed) continue;
    const int target = graph.statement_box[i];
    for (std::string_view s : statements[i].source_tables) links.emplace_back(graph.find_table(s), target);
  }
  const std::vector<int> layer = assign_layers(n, links);
  Layout lay;
  lay.boxes.resize(n);
  int count = 0;
  for (int t = 0; t < n; ++t) {
    Box& box = lay.boxes[t];
    box.layer = layer[t];
    box.columns.resize(graph.tables[t].columns.size());
    for (std::size_t i = 0; i < box.columns.size(); ++i) box.columns[i] = static_cast<int>(i);
    count = std::max(count, layer[t] + 1);
  }
  lay.layers.resize(count);
  for (int t = 0; t < n; ++t) lay.layers[layer[t]].push_back(t);
  Orderer(graph, lay).run(sweeps);
  for (int t = 0; t < n; ++t) {
    Box& box = lay.boxes[t];
    box.row_of.assign(box.columns.size(), 0);
    for (std::size_t i = 0; i < box.columns.size(); ++i) box.row_of[box.columns[i]] = static_cast<int>(i);
    box.w = box_width(graph.tables[t].name, graph.tables[t].columns);
    box.h = box_height(box.columns.size());
  }
  place(lay);
  return lay;
}

std::size_t edge_path_room(const Layout& lay) {
  // A path's ends lie on its boxes, so within m of 0 (below); its control
  // points are an end plus or minus at most 40 + m.
  double m = 0;
  for (const Box& b : lay.boxes) {
    m = std::max({m, std::abs(b.x) + b.w, std::abs(b.y) + b.h});
  }
  const double bound = 2 * m + 42;  // and 1 for rounding up
  if (!(bound < 1e15)) return kEdgePathMax;
  std::size_t digits = 1;
  for (double v = 10; v <= bound; v *= 10) ++digits;
  return std::min(kEdgePathMax, 8 * (digits + 2));  // a sign and a separator each
}

char* write_edge_path(char* p, const Layout& lay, const Edge& e) {
  const Box& a = lay.boxes[e.source_table];
  const Box& b = lay.boxes[e.target_table];
  const double x1 = a.x + a.w, y1 = a.row_y(e.source_column), y2 = b.row_y(e.target_column);
  double x2 = b.x, c1, c2;
  if (e.source_table == e.target_table) {  // a table written from itself: a loop on the right
    x2 = b.x + b.w;
    const double bend = 40 + std::abs(y2 - y1) / 4;
    c1 = x1 + bend;
    c2 = x2 + bend;
  } else {
    const double dx = std::max(40.0, std::abs(x2 - x1) / 2);
    c1 = x1 + dx;
    c2 = x2 - dx;
  }
  // "M x1 y1 C c1 y1 c2 y2 x2 y2"; each y written once and copied.
  *p++ = 'M';
  p = write_fixed0(p, x1);
  *p++ = ' ';
  char* y1_at = p;
  p = write_fixed0(p, y1);
  const std::size_t y1_size = static_cast<std::size_t>(p - y1_at);
  *p++ = 'C';
  p = write_fixed0(p, c1);
  *p++ = ' ';
  std::memcpy(p, y1_at, y1_size);
  p += y1_size;
  *p++ = ' ';
  p = write_fixed0(p, c2);
  *p++ = ' ';
  char* y2_at = p;
  p = write_fixed0(p, y2);
  const std::size_t y2_size = static_cast<std::size_t>(p - y2_at);
  *p++ = ' ';
  p = write_fixed0(p, x2);
  *p++ = ' ';
  std::memcpy(p, y2_at, y2_size);
  return p + y2_size;
}

void append_edge_path(std::string& out, const Layout& lay, const Edge& e) {
  char buf[kEdgePathMax];
  out.append(buf, write_edge_path(buf, lay, e));
}

long long crossings(const Graph& graph, const Layout& lay) {
  Layout copy = lay;
  Orderer orderer(graph, copy);
  for (const std::vector<int>& order : copy.layers) orderer.positions(order);
  std::vector<std::vector<std::pair<double, double>>> by_pair(lay.layers.size());
  for (const Edge& e : graph.edges) {
    const Box& a = lay.boxes[e.source_table];
    const Box& b = lay.boxes[e.target_table];
    if (b.layer != a.layer + 1) continue;
    by_pair[a.layer].emplace_back(orderer.pos()[orderer.row(e.source_table, e.source_column)],
                                  orderer.pos()[orderer.row(e.target_table, e.target_column)]);
  }
  long long n = 0;
  for (const auto& pairs : by_pair) {
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      for (std::size_t j = i + 1; j < pairs.size(); ++j) {
        n += (pairs[i].first - pairs[j].first) * (pairs[i].second - pairs[j].second) < 0;
      }
    }
  }
  return n;
}

}  // namespace sqlparse::lineage_view
