// The batch runner. Workers take the next unclaimed text through one atomic
// index (cheap work stealing: a worker that drew short queries simply claims
// more), and each writes only the outcome slot of the text it claimed, so the
// result vector needs no lock. The texts are analysed independently; the
// pipeline shares no mutable state between calls.
#include "sqlparse_main/front_end/batch.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "sqlparse_main/front_end/pipeline.h"

namespace sqlparse {
namespace {

void work(const std::vector<std::string>& texts, std::vector<BatchOutcome>& out,
          std::atomic<std::size_t>& next) {
  for (;;) {
    const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
    if (i >= texts.size()) return;
    try {
      out[i] = lineage_of_text(texts[i]);
    } catch (...) {
      out[i] = std::current_exception();
    }
  }
}

}  // namespace

std::vector<BatchOutcome> lineage_of_texts(const std::vector<std::string>& texts,
                                           std::size_t threads) {
  std::vector<BatchOutcome> out(texts.size());
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = std::min(threads, texts.size());
  std::atomic<std::size_t> next{0};
  if (threads <= 1) {
    work(texts, out, next);
    return out;
  }
  std::vector<std::thread> pool;
  pool.reserve(threads - 1);
  try {
    for (std::size_t t = 1; t < threads; ++t) {
      pool.emplace_back([&texts, &out, &next] { work(texts, out, next); });
    }
  } catch (...) {
    // A thread that cannot be started only means fewer workers: the caller's
    // thread and those already running still finish the whole batch.
  }
  work(texts, out, next);
  for (std::thread& t : pool) t.join();
  return out;
}

}  // namespace sqlparse
