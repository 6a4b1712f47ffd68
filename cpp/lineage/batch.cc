// Workers claim the next unclaimed script through one atomic index and
// publish each outcome with a release store on its own flag, so outcomes need
// no lock. Each worker frees the outcomes it made once the consumer has
// released them, before it claims its next script.
#include "lineage/batch.h"

#include <algorithm>

namespace sqlparse::lineage {

LineageBatch::LineageBatch(const std::vector<std::string_view>& texts,
                           const syntax::Dialect& dialect, const Schema& schema,
                           std::size_t threads)
    : texts_(texts),
      dialect_(dialect),
      schema_(schema),
      out_(texts.size()),
      done_(new std::atomic<bool>[texts.size()]),
      by_caller_(new bool[texts.size()]()) {
  for (std::size_t i = 0; i < texts.size(); ++i) done_[i].store(false, std::memory_order_relaxed);
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  if (threads == 0) threads = cores;
  threads = std::min({threads, texts.size(), kMaxBatchThreadsPerCore * cores});
  if (threads <= 1) return;  // the caller's thread is the one worker
  pool_.reserve(threads - 1);
  try {
    for (std::size_t t = 1; t < threads; ++t) pool_.emplace_back([this] { work(); });
  } catch (...) {
    // A thread the system refuses to start only means fewer workers.
  }
}

LineageBatch::~LineageBatch() {
  stop_.store(true, std::memory_order_relaxed);
  for (std::thread& t : pool_) t.join();
}

void LineageBatch::run_one(std::size_t i, bool by_caller) {
  if (by_caller) by_caller_[i] = true;
  try {
    auto script = syntax::parse_script(texts_[i], dialect_, /*collect_errors=*/true);
    out_[i] = analyze_lineage(*script, schema_);
  } catch (...) {
    out_[i] = std::current_exception();
  }
  done_[i].store(true, std::memory_order_release);
  done_[i].notify_all();
}

void LineageBatch::work() {
  std::vector<std::size_t> made;  // this worker's outcomes, increasing
  std::size_t freed = 0;
  while (!stop_.load(std::memory_order_relaxed)) {
    const std::size_t released = released_.load(std::memory_order_acquire);
    for (; freed < made.size() && made[freed] < released; ++freed) {
      out_[made[freed]] = ScriptOutcome();
    }
    const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= texts_.size()) return;  // the rest is freed with the batch
    made.push_back(i);
    run_one(i, false);
  }
}

ScriptOutcome& LineageBatch::wait(std::size_t i) {
  while (!ready(i)) {
    const std::size_t k = next_.fetch_add(1, std::memory_order_relaxed);
    if (k >= texts_.size()) break;
    run_one(k, true);
  }
  done_[i].wait(false, std::memory_order_acquire);
  return out_[i];
}

void LineageBatch::release(std::size_t i) {
  if (by_caller_[i]) out_[i] = ScriptOutcome();
  released_.store(i + 1, std::memory_order_release);
}

}  // namespace sqlparse::lineage
