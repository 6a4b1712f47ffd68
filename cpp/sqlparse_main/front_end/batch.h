// Lineage of many query texts on worker threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

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

// The analysis is CPU-bound, so threads past the cores only add start-up and
// switching; a batch runs at most this many per core (a bound, not a tuning).
inline constexpr std::size_t kMaxThreadsPerCore = 4;

// A batch being analysed: the constructor starts threads - 1 workers and
// `wait(i)` hands out text i's outcome as soon as it is done, so that a caller
// can consume outcomes in input order while later texts are still being
// analysed. The caller's thread is the last worker: inside `wait` it analyses
// unclaimed texts until the one it waits for is done. No exception leaves a
// worker: every one, std::bad_alloc included, is kept in its text's outcome.
// A thread that the system refuses to start means fewer workers, not an
// error. The texts (UTF-8) must outlive the run.
class BatchRun {
 public:
  // threads == 0 means std::thread::hardware_concurrency(); at most
  // kMaxThreadsPerCore per core run, whatever is asked.
  BatchRun(const std::vector<std::string_view>& texts, std::size_t threads);
  // Stops the workers from claiming more texts and joins them.
  ~BatchRun();
  BatchRun(const BatchRun&) = delete;
  BatchRun& operator=(const BatchRun&) = delete;

  std::size_t size() const { return texts_.size(); }
  // Whether text i's outcome is ready (never blocks).
  bool ready(std::size_t i) const;
  // Text i's outcome, analysing other texts meanwhile and blocking until it
  // is ready; the caller may move it out. Call it without holding locks that
  // the analysis could need (in the binding: with the GIL released).
  BatchOutcome& wait(std::size_t i);
  // The caller is done with text i's outcome. Call it in input order, from
  // the thread that calls wait(). The outcome is freed by the thread that
  // made it, so its memory goes back to that thread's malloc arena: now if
  // the caller's thread made it, else by its worker before that worker's
  // next text. (Freeing a worker's memory while the worker allocates makes
  // the two threads contend for its arena's lock.)
  void release(std::size_t i);

 private:
  void work();
  // Analyses text i; `by_caller` when on the caller's thread.
  void run_one(std::size_t i, bool by_caller);

  const std::vector<std::string_view>& texts_;
  std::vector<BatchOutcome> out_;
  std::unique_ptr<std::atomic<bool>[]> done_;
  std::unique_ptr<bool[]> by_caller_;      // read and written on the caller's thread only
  std::atomic<std::size_t> released_{0};  // outcomes [0, released_) are released
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::vector<std::thread> pool_;
};

// All outcomes of a batch, in input order (a BatchRun waited for in order).
std::vector<BatchOutcome> lineage_of_texts(const std::vector<std::string_view>& texts,
                                           std::size_t threads);

}  // namespace sqlparse
