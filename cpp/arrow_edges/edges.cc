#include "arrow_edges/edges.h"

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "lineage/batch.h"

namespace sqlparse::arrow_edges {

namespace {

enum Column {
  kRow, kStatement, kStatementKind, kTargetTable, kTargetColumn, kSourceTable,
  kSourceColumn, kKind, kEdge, kAmbiguous, kWarnings, kError, kColumnCount
};

class EdgeWriter {
 public:
  EdgeWriter() {
    using Type = ColumnBuilder::Type;
    static constexpr Type kTypes[kColumnCount] = {
        Type::kInt64,  Type::kInt32,  Type::kString, Type::kString,
        Type::kString, Type::kString, Type::kString, Type::kString,
        Type::kString, Type::kBool,   Type::kStringList, Type::kString};
    for (int c = 0; c < kColumnCount; ++c) columns_.emplace_back(kEdgeColumnNames[c], kTypes[c]);
  }

  void script(std::int64_t row, const lineage::ScriptLineage& result);
  void failed_text(std::int64_t row, std::optional<std::int32_t> statement, std::string_view error);
  std::vector<ExportedBatch> finish();

 private:
  struct Statement {
    std::int64_t row;
    std::int32_t index;
    const lineage::StatementLineage* lineage;
    std::vector<std::string_view> warnings;
  };
  void edge(const Statement& st, const std::optional<std::string>& target, const std::string* column,
            const lineage::SourceColumn& source, std::string_view edge);
  void bare(const Statement& st);
  void begin_row(std::int64_t row, std::optional<std::int32_t> statement);
  void end_row();
  void push(Column c, const std::optional<std::string>& value) {
    if (value) columns_[c].push_string(*value);
    else columns_[c].push_null();
  }

  std::vector<ColumnBuilder> columns_;
  std::vector<ExportedBatch> batches_;
};

void EdgeWriter::begin_row(std::int64_t row, std::optional<std::int32_t> statement) {
  columns_[kRow].push_int(row);
  if (statement) columns_[kStatement].push_int(*statement);
  else columns_[kStatement].push_null();
}

void EdgeWriter::end_row() {
  for (const ColumnBuilder& column : columns_) {
    if (column.data_bytes() > kBatchCutBytes) {
      batches_.push_back(export_batch(columns_));
      return;
    }
  }
}

void EdgeWriter::edge(const Statement& st, const std::optional<std::string>& target,
                      const std::string* column, const lineage::SourceColumn& source,
                      std::string_view kind_of_edge) {
  begin_row(st.row, st.index);
  columns_[kStatementKind].push_string(st.lineage->kind);
  push(kTargetTable, target);
  if (column) columns_[kTargetColumn].push_string(*column);
  else columns_[kTargetColumn].push_null();
  columns_[kSourceTable].push_string(source.table);
  columns_[kSourceColumn].push_string(source.column);
  columns_[kKind].push_string(source.kind);
  columns_[kEdge].push_string(kind_of_edge);
  columns_[kAmbiguous].push_bool(source.ambiguous);
  columns_[kWarnings].push_strings(st.warnings);
  columns_[kError].push_null();
  end_row();
}

void EdgeWriter::bare(const Statement& st) {
  begin_row(st.row, st.index);
  columns_[kStatementKind].push_string(st.lineage->kind);
  push(kTargetTable, st.lineage->target);
  for (Column c : {kTargetColumn, kSourceTable, kSourceColumn, kKind, kEdge, kAmbiguous}) {
    columns_[c].push_null();
  }
  columns_[kWarnings].push_strings(st.warnings);
  columns_[kError].push_null();
  end_row();
}

void EdgeWriter::failed_text(std::int64_t row, std::optional<std::int32_t> statement,
                             std::string_view error) {
  begin_row(row, statement);
  for (int c = kStatementKind; c < kError; ++c) columns_[c].push_null();
  columns_[kError].push_string(error);
  end_row();
}

// The composed columns that belong to statement k: the analysis lists them
// in statement order, one per output column of each statement that reads a
// table the script wrote earlier, under that statement's target and names.
std::vector<std::pair<std::size_t, std::size_t>> composed_runs(const lineage::ScriptLineage& r) {
  std::vector<std::pair<std::size_t, std::size_t>> runs(r.statements.size(), {0, 0});
  std::size_t at = 0;
  for (std::size_t k = 0; k < r.statements.size(); ++k) {
    const lineage::StatementLineage& st = r.statements[k];
    const std::size_t n = st.columns.size();
    if (st.error || n == 0 || at + n > r.composed.size()) continue;
    bool match = true;
    for (std::size_t j = 0; j < n && match; ++j) {
      const lineage::ComposedColumn& c = r.composed[at + j];
      match = c.target == st.target && c.name == st.columns[j].name;
    }
    if (match) {
      runs[k] = {at, at + n};
      at += n;
    }
  }
  if (at < r.composed.size() && !r.statements.empty()) {
    // Not matched to a statement: kept on the last one rather than lost.
    runs.back() = {runs.back().second == 0 ? at : runs.back().first, r.composed.size()};
  }
  return runs;
}

void EdgeWriter::script(std::int64_t row, const lineage::ScriptLineage& result) {
  const auto runs = composed_runs(result);
  for (std::size_t k = 0; k < result.statements.size(); ++k) {
    const lineage::StatementLineage& lin = result.statements[k];
    const auto index = static_cast<std::int32_t>(k);
    if (lin.error) {
      failed_text(row, index, lin.error->message);
      continue;
    }
    Statement st{row, index, &lin, {}};
    for (const lineage::Warning& w : lin.warnings) st.warnings.push_back(w.code);
    const std::size_t rows_before = static_cast<std::size_t>(columns_[kRow].length());
    const std::size_t batches_before = batches_.size();
    for (const lineage::OutputColumn& column : lin.columns) {
      for (const lineage::SourceColumn& source : column.sources) {
        edge(st, lin.target, &column.name, source, "direct");
      }
    }
    for (const lineage::SourceColumn& source : lin.indirect) {
      edge(st, lin.target, nullptr, source, "indirect");
    }
    for (std::size_t c = runs[k].first; c < runs[k].second; ++c) {
      const lineage::ComposedColumn& composed = result.composed[c];
      for (const lineage::SourceColumn& source : composed.sources) {
        edge(st, composed.target, &composed.name, source, "composed");
      }
    }
    if (batches_.size() == batches_before &&
        static_cast<std::size_t>(columns_[kRow].length()) == rows_before) {
      bare(st);
    }
  }
}

std::vector<ExportedBatch> EdgeWriter::finish() {
  if (columns_[kRow].length() > 0 || batches_.empty()) batches_.push_back(export_batch(columns_));
  return std::move(batches_);
}

std::string state_error(const TextColumn& texts, std::size_t i) {
  if (texts.states[i] == TextState::kNotUtf8) {
    return "text is not valid UTF-8 (byte " + std::to_string(texts.bad_byte[i]) + ")";
  }
  return "text of " + std::to_string(texts.bad_byte[i]) +
         " bytes is too long to analyse (the limit is 1 GiB)";
}

std::string outcome_error(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return "out of memory while analysing the text";
  } catch (const std::exception& e) {
    return std::string("analysis failed: ") + e.what();
  } catch (...) {
    return "analysis failed";
  }
}

}  // namespace

std::vector<ExportedBatch> lineage_edges(const TextColumn& texts, const syntax::Dialect& dialect,
                                         const lineage::Schema& schema, std::size_t threads) {
  EdgeWriter writer;
  lineage::LineageBatch run(texts.texts, dialect, schema, threads);
  for (std::size_t i = 0; i < run.size(); ++i) {
    const auto row = static_cast<std::int64_t>(i);
    const lineage::ScriptOutcome& outcome = run.wait(i);
    if (texts.states[i] == TextState::kNotUtf8 || texts.states[i] == TextState::kTooLong) {
      writer.failed_text(row, std::nullopt, state_error(texts, i));
    } else if (const auto* error = std::get_if<std::exception_ptr>(&outcome)) {
      writer.failed_text(row, std::nullopt, outcome_error(*error));
    } else if (texts.states[i] == TextState::kText) {
      writer.script(row, std::get<lineage::ScriptLineage>(outcome));
    }
    run.release(i);
  }
  return writer.finish();
}

}  // namespace sqlparse::arrow_edges
