#include "lineage/kinds.h"

#include <algorithm>
#include <array>

namespace sqlparse::lineage {

std::string_view kind_name(Kind k) {
  switch (k) {
    case Kind::kIdentity: return "identity";
    case Kind::kTransformation: return "transformation";
    case Kind::kAggregation: return "aggregation";
    case Kind::kWindow: return "window";
    case Kind::kConditional: return "conditional";
  }
  return "identity";
}

std::string_view kind_name(IndirectKind k) {
  switch (k) {
    case IndirectKind::kJoin: return "join";
    case IndirectKind::kFilter: return "filter";
    case IndirectKind::kGroupBy: return "group_by";
    case IndirectKind::kSort: return "sort";
  }
  return "filter";
}

Src* SourceSet::find(int column) {
  if (index_.empty()) {
    for (Src& have : items_) {
      if (have.column == column) return &have;
    }
    return nullptr;
  }
  auto it = index_.find(column);
  return it == index_.end() ? nullptr : &items_[it->second];
}

void SourceSet::add(Src s) {
  if (Src* have = find(s.column)) {
    if (value_rank(s.kind) > value_rank(have->kind)) have->kind = s.kind;
    // A column resolved for certain on one path is not a mere candidate.
    have->flagged = have->flagged && s.flagged;
    return;
  }
  items_.push_back(s);
  if (items_.size() < kIndexFrom) return;
  if (index_.empty()) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      index_.emplace(items_[i].column, static_cast<std::uint32_t>(i));
    }
  } else {
    index_.emplace(s.column, static_cast<std::uint32_t>(items_.size() - 1));
  }
}

void SourceSet::add_all(const SourceSet& other, Kind ctx) {
  for (const Src& s : other.items_) add(Src{s.column, compose(ctx, s.kind), s.flagged});
}

void add_indirect(std::vector<Indirect>& list, Indirect item) {
  for (const Indirect& have : list) {
    if (have.column == item.column && have.kind == item.kind) return;
  }
  list.push_back(item);
}

namespace {

// Sorted, for binary search.
constexpr std::array<std::string_view, 52> kAggregates = {
    "any_value",      "approx_count_distinct", "approx_distinct", "approx_percentile",
    "approx_quantiles", "approx_top_count",   "array_agg",      "array_concat_agg",
    "avg",            "bit_and",              "bit_or",         "bit_xor",
    "bool_and",       "bool_or",              "collect_list",   "collect_set",
    "corr",           "count",                "count_if",       "countif",
    "covar_pop",      "covar_samp",           "every",          "group_concat",
    "grouping",       "hll_count",            "json_agg",       "json_object_agg",
    "jsonb_agg",      "listagg",              "logical_and",    "logical_or",
    "max",            "max_by",               "median",         "min",
    "min_by",         "mode",                 "object_agg",     "percentile",
    "percentile_approx", "percentile_cont",   "percentile_disc", "stddev",
    "stddev_pop",     "stddev_samp",          "string_agg",     "sum",
    "var_pop",        "var_samp",             "variance",       "xmlagg",
};

constexpr std::array<std::string_view, 24> kLocationReaders = {
    "azureblobstorage", "csv_scan", "delta_scan", "external", "file",
    "gcs", "hdfs", "iceberg_scan", "opendatasource", "openquery",
    "openrowset", "parquet_scan", "read_blob", "read_csv", "read_csv_auto",
    "read_json", "read_json_auto", "read_ndjson", "read_parquet", "read_text",
    "read_xlsx", "remote", "s3", "url",
};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& sorted, std::string_view name) {
  return std::binary_search(sorted.begin(), sorted.end(), name);
}

}  // namespace

bool is_aggregate_function(std::string_view name) { return contains(kAggregates, name); }

bool is_location_reader(std::string_view name) { return contains(kLocationReaders, name); }

}  // namespace sqlparse::lineage
