// The batch runner. Workers claim the next unclaimed text through one atomic
// index (cheap work stealing: a worker that drew short queries simply claims
// more); each writes only the outcome slot of the text it claimed and then
// publishes it with a release store on that slot's flag, so the outcomes need
// no lock. The consumer's thread counts as one of the workers: while the
// outcome it needs next is not ready it analyses texts too, so `threads`
// threads run in all, and it sleeps (C++20 atomic wait, no spinning) only at
// the very end of the batch. The texts are analysed independently; the pipeline
// shares no mutable state between calls.
//
// Memory goes back where it came from: the consumer publishes how far it has
// released outcomes (one release store per text), and each worker frees the
// released outcomes it made before it claims its next text, so no thread frees
// another's allocations while that thread is still allocating.
#include "sqlparse_main/front_end/batch.h"

#include <algorithm>

#include "sqlparse_main/front_end/pipeline.h"

namespace sqlparse {

BatchRun::BatchRun(const std::vector<std::string_view>& texts, std::size_t threads)
    : texts_(texts),
      out_(texts.size()),
      done_(new std::atomic<bool>[texts.size()]),
      by_caller_(new bool[texts.size()]()) {
  for (std::size_t i = 0; i < texts.size(); ++i) done_[i].store(false, std::memory_order_relaxed);
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  if (threads == 0) threads = cores;
  threads = std::min({threads, texts.size(), kMaxThreadsPerCore * cores});
  // The caller's thread is one of the `threads`: it analyses texts itself
  // whenever the outcome it waits for is not ready (see wait()).
  if (threads <= 1) return;
  pool_.reserve(threads - 1);
  try {
    for (std::size_t t = 1; t < threads; ++t) pool_.emplace_back([this] { work(); });
  } catch (...) {
    // A thread that cannot be started only means fewer workers.
  }
}

BatchRun::~BatchRun() {
  stop_.store(true, std::memory_order_relaxed);
  for (std::thread& t : pool_) t.join();
}

void BatchRun::run_one(std::size_t i, bool by_caller) {
  if (by_caller) by_caller_[i] = true;  // workers leave their entries false
  // Moving the caught error out cannot throw: its members are strings and
  // shared nodes.
  try {
    out_[i] = lineage_of_text(texts_[i]);
  } catch (sql_parser::ParseError& e) {
    out_[i] = std::move(e);
  } catch (AnalysisError& e) {
    out_[i] = std::move(e);
  } catch (...) {
    out_[i] = std::current_exception();
  }
  done_[i].store(true, std::memory_order_release);
  done_[i].notify_all();
}

void BatchRun::work() {
  // This worker's outcomes in the order it made them (increasing), and how
  // many of them it has freed.
  std::vector<std::size_t> made;
  std::size_t freed = 0;
  while (!stop_.load(std::memory_order_relaxed)) {
    // Free the outcomes that the caller has released; the acquire pairs with
    // release(), so the caller's reads of them are done.
    const std::size_t released = released_.load(std::memory_order_acquire);
    for (; freed < made.size() && made[freed] < released; ++freed) {
      out_[made[freed]] = BatchOutcome();
    }
    const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= texts_.size()) return;  // the rest is freed with the run
    made.push_back(i);
    run_one(i, false);
  }
}

bool BatchRun::ready(std::size_t i) const { return done_[i].load(std::memory_order_acquire); }

BatchOutcome& BatchRun::wait(std::size_t i) {
  // Rather than sleep, help: claim and analyse the next unclaimed text until
  // text i is done. Once every text is claimed, sleep until the worker that
  // holds text i publishes it.
  while (!ready(i)) {
    const std::size_t k = next_.fetch_add(1, std::memory_order_relaxed);
    if (k >= texts_.size()) break;
    run_one(k, true);
  }
  done_[i].wait(false, std::memory_order_acquire);
  return out_[i];
}

void BatchRun::release(std::size_t i) {
  if (by_caller_[i]) out_[i] = BatchOutcome();
  released_.store(i + 1, std::memory_order_release);
}

std::vector<BatchOutcome> lineage_of_texts(const std::vector<std::string_view>& texts,
                                           std::size_t threads) {
  BatchRun run(texts, threads);
  std::vector<BatchOutcome> out;
  out.reserve(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) out.push_back(std::move(run.wait(i)));
  return out;
}

}  // namespace sqlparse
