// The full column lineage of many scripts on worker threads.
#pragma once

#include <cstddef>
#include <exception>
#include <string_view>
#include <variant>
#include <vector>

#include "concurrency/ordered_batch.h"
#include "lineage/lineage.h"
#include "syntax/dialect.h"

namespace sqlparse::lineage {

// What one script gave: its lineage (statements that do not parse carry their
// error), or what escaped the analysis (std::bad_alloc, ...), kept alive to be
// rethrown on the consumer's thread.
using ScriptOutcome = std::variant<ScriptLineage, std::exception_ptr>;

// A batch being analysed: the constructor starts threads - 1 workers, and
// wait(i) hands out script i's outcome once it is done, the caller's thread
// analysing unclaimed scripts meanwhile, so that outcomes can be consumed in
// input order while later scripts are still being analysed
// (concurrency::OrderedBatch says how). The texts (UTF-8) and the schema must
// outlive the run; the schema is only read.
class LineageBatch {
 public:
  // threads == 0 means std::thread::hardware_concurrency().
  LineageBatch(const std::vector<std::string_view>& texts, const syntax::Dialect& dialect,
               const Schema& schema, std::size_t threads);

  std::size_t size() const { return run_.size(); }
  // Whether script i's outcome is ready (never blocks).
  bool ready(std::size_t i) const { return run_.ready(i); }
  // Script i's outcome, blocking (and helping) until it is ready. Call it
  // without holding locks the analysis could need (the GIL released).
  ScriptOutcome& wait(std::size_t i) { return run_.wait(i); }
  // The caller is done with outcome i; call in input order from the thread
  // that calls wait(). The thread that made it frees it.
  void release(std::size_t i) { run_.release(i); }

 private:
  concurrency::OrderedBatch<ScriptOutcome> run_;
};

}  // namespace sqlparse::lineage
