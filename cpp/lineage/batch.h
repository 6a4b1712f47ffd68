// The full column lineage of many scripts on worker threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "lineage/lineage.h"
#include "syntax/dialect.h"

namespace sqlparse::lineage {

// What one script gave: its lineage (statements that do not parse carry their
// error), or what escaped the analysis (std::bad_alloc, ...), kept alive to be
// rethrown on the consumer's thread.
using ScriptOutcome = std::variant<ScriptLineage, std::exception_ptr>;

// Parsing and analysis are CPU-bound: threads past the cores only add start-up
// and switching, so a batch runs at most this many per core.
inline constexpr std::size_t kMaxBatchThreadsPerCore = 4;

// A batch being analysed: the constructor starts threads - 1 workers, and
// wait(i) hands out script i's outcome once it is done, the caller's thread
// analysing unclaimed scripts meanwhile, so that outcomes can be consumed in
// input order while later scripts are still being analysed. The texts (UTF-8)
// and the schema must outlive the run; the schema is only read.
class LineageBatch {
 public:
  // threads == 0 means std::thread::hardware_concurrency().
  LineageBatch(const std::vector<std::string_view>& texts, const syntax::Dialect& dialect,
               const Schema& schema, std::size_t threads);
  ~LineageBatch();
  LineageBatch(const LineageBatch&) = delete;
  LineageBatch& operator=(const LineageBatch&) = delete;

  std::size_t size() const { return texts_.size(); }
  // Whether script i's outcome is ready (never blocks).
  bool ready(std::size_t i) const { return done_[i].load(std::memory_order_acquire); }
  // Script i's outcome, blocking (and helping) until it is ready. Call it
  // without holding locks the analysis could need (the GIL released).
  ScriptOutcome& wait(std::size_t i);
  // The caller is done with outcome i; call in input order from the thread
  // that calls wait(). The outcome is freed by the thread that made it, so
  // that no thread frees into an arena another thread is allocating from.
  void release(std::size_t i);

 private:
  void work();
  void run_one(std::size_t i, bool by_caller);

  const std::vector<std::string_view>& texts_;
  const syntax::Dialect& dialect_;
  const Schema& schema_;
  std::vector<ScriptOutcome> out_;
  std::unique_ptr<std::atomic<bool>[]> done_;
  std::unique_ptr<bool[]> by_caller_;  // the caller's thread alone reads and writes it
  std::atomic<std::size_t> released_{0};
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::vector<std::thread> pool_;
};

}  // namespace sqlparse::lineage
