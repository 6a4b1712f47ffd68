#include "lineage_view/layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_set>

#include "lineage_view/text.h"

namespace sqlparse::lineage_view {

double Box::row_y(int column) const {
  if (column >= 0) return y + kHeadH + row_of[column] * kRowH + kRowH / 2;
  return y + kHeadH / 2;
}

std::vector<int> assign_layers(int n, const std::vector<std::pair<int, int>>& links) {
  std::vector<std::vector<int>> succ(n);
  std::unordered_set<std::uint64_t> seen;
  for (auto [a, b] : links) {
    const std::uint64_t key = (static_cast<std::uint64_t>(a) << 32) | static_cast<std::uint32_t>(b);
    if (a != b && seen.insert(key).second) succ[a].push_back(b);
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
    left_.resize(base_[n]);
    right_.resize(base_[n]);
    box_left_.resize(n);
    box_right_.resize(n);
    movable_.resize(n);
    for (std::size_t t = 0; t < n; ++t) movable_[t] = graph.tables[t].role() == Role::kSource;
  }

  void run(int sweeps) {
    bool any_value = false;
    for (const Edge& e : graph_.edges) any_value = any_value || !e.indirect;
    // Ordered by the value edges, which the page shows at first (and which
    // cross less that way); by all when there are none.
    std::vector<std::size_t> left_keys, right_keys;
    for (const Edge& e : graph_.edges) {
      if (any_value && e.indirect) continue;
      const std::size_t a = row(e.source_table, e.source_column), b = row(e.target_table, e.target_column);
      const int la = lay_.boxes[e.source_table].layer, lb = lay_.boxes[e.target_table].layer;
      if (la < lb) {
        link(left_, left_keys, b, a);
        link(right_, right_keys, a, b);
      } else if (la > lb) {
        link(left_, left_keys, a, b);
        link(right_, right_keys, b, a);
      }
    }
    by_box(left_, left_keys, box_left_);
    by_box(right_, right_keys, box_right_);
    for (const std::vector<int>& order : lay_.layers) positions(order);
    const int count = static_cast<int>(lay_.layers.size());
    for (int s = 0; s < sweeps; ++s) {
      for (int li = 1; li < count; ++li) sweep(li, left_, box_left_);
      for (int li = count - 2; li >= 0; --li) sweep(li, right_, box_right_);
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
  using Side = std::vector<std::vector<std::size_t>>;

  static void link(Side& side, std::vector<std::size_t>& keys, std::size_t from, std::size_t to) {
    if (side[from].empty()) keys.push_back(from);
    side[from].push_back(to);
  }

  // Each box's neighbour rows: those of its rows, rows in first-linked order.
  void by_box(const Side& side, const std::vector<std::size_t>& keys, Side& out) const {
    for (std::size_t r : keys) {
      std::vector<std::size_t>& rows = out[box_of_[r]];
      rows.insert(rows.end(), side[r].begin(), side[r].end());
    }
  }

  double mean(const std::vector<std::size_t>& rows, double fallback) const {
    if (rows.empty()) return fallback;
    double sum = 0;
    for (std::size_t r : rows) sum += pos_[r];
    return sum / static_cast<double>(rows.size());
  }

  void sweep(int li, const Side& side, const Side& box_side) {
    std::vector<int>& order = lay_.layers[li];
    for (int t : order) {
      Box& box = lay_.boxes[t];
      if (!movable_[t] || box.columns.size() < 2) continue;
      keys_.resize(graph_.tables[t].columns.size());
      for (int c : box.columns) keys_[c] = mean(side[row(t, c)], pos_[row(t, c)]);
      std::stable_sort(box.columns.begin(), box.columns.end(), [&](int a, int b) { return keys_[a] < keys_[b]; });
    }
    box_keys_.resize(graph_.tables.size());
    for (int t : order) box_keys_[t] = mean(box_side[t], pos_[base_[t]]);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return box_keys_[a] < box_keys_[b]; });
    positions(order);
  }

  const Graph& graph_;
  Layout& lay_;
  std::vector<std::size_t> base_;  // each box's header row; its columns follow
  std::vector<int> box_of_;
  std::vector<double> pos_;  // each row's place in its layer, as a fraction
  Side left_, right_, box_left_, box_right_;
  std::vector<char> movable_;  // boxes whose rows may move: those only read from
  std::vector<double> keys_, box_keys_;
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

void append_edge_path(std::string& out, const Graph&, const Layout& lay, const Edge& e) {
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
  const double v[8] = {x1, y1, c1, y1, c2, y2, x2, y2};
  for (int i = 0; i < 8; ++i) {
    out += i == 0 ? 'M' : i == 2 ? 'C' : ' ';
    append_fixed0(out, v[i]);
  }
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
