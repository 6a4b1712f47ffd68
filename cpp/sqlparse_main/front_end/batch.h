// Lineage of many query texts on worker threads.
#pragma once

#include <cstddef>
#include <exception>
#include <string_view>
#include <variant>
#include <vector>

#include "concurrency/ordered_batch.h"
#include "sql_parser/parser.h"
#include "sqlparse_main/analyze/analysis_error.h"
#include "varnel_var/lineage_triple.h"

namespace sqlparse {

// What `lineage_of_text` gave for one text: its triples, or the error it
// threw. The core's own two error types are kept by value, so that the
// consumer reads them without rethrowing; anything else (std::bad_alloc, ...)
// is captured as an exception_ptr, which keeps the exception alive and can be
// rethrown on any thread.
using BatchOutcome = std::variant<std::vector<LineageTriple>, sql_parser::ParseError,
                                  AnalysisError, std::exception_ptr>;

// A batch being analysed: the constructor starts threads - 1 workers and
// `wait(i)` hands out text i's outcome as soon as it is done, so that a caller
// can consume outcomes in input order while later texts are still being
// analysed (concurrency::OrderedBatch says how). No exception leaves a
// worker: every one, std::bad_alloc included, is kept in its text's outcome.
// The texts (UTF-8) must outlive the run.
class BatchRun {
 public:
  // threads == 0 means std::thread::hardware_concurrency(); at most
  // concurrency::kMaxThreadsPerCore per core run, whatever is asked.
  BatchRun(const std::vector<std::string_view>& texts, std::size_t threads);

  std::size_t size() const { return run_.size(); }
  // Whether text i's outcome is ready (never blocks).
  bool ready(std::size_t i) const { return run_.ready(i); }
  // Text i's outcome, analysing other texts meanwhile and blocking until it
  // is ready; the caller may move it out. Call it without holding locks that
  // the analysis could need (in the binding: with the GIL released).
  BatchOutcome& wait(std::size_t i) { return run_.wait(i); }
  // The caller is done with text i's outcome. Call it in input order, from
  // the thread that calls wait(); the thread that made it frees it.
  void release(std::size_t i) { run_.release(i); }

 private:
  concurrency::OrderedBatch<BatchOutcome> run_;
};

// All outcomes of a batch, in input order (a BatchRun waited for in order).
std::vector<BatchOutcome> lineage_of_texts(const std::vector<std::string_view>& texts,
                                           std::size_t threads);

}  // namespace sqlparse
