// Many independent jobs on worker threads, their outcomes handed out in
// input order while later jobs still run.
//
// Workers claim the next unclaimed job through one atomic index (cheap work
// stealing: a worker that drew short jobs simply claims more); each writes
// only the outcome slot of the job it claimed and then publishes it with a
// release store on that slot's flag, so the outcomes need no lock. The
// consumer's thread counts as one of the workers: while the outcome it needs
// next is not ready it runs jobs too, so `threads` threads run in all, and it
// sleeps (C++20 atomic wait, no spinning) only at the very end.
//
// Memory goes back where it came from: the consumer publishes how far it has
// released outcomes, and each worker frees the released outcomes it made
// before it claims its next job, so no thread frees another's allocations
// while that thread is still allocating (which would make the two contend
// for the lock of one malloc arena).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace sqlparse::concurrency {

// The jobs are CPU-bound, so threads past the cores only add start-up and
// switching; a batch runs at most this many per core (a bound, not a tuning).
inline constexpr std::size_t kMaxThreadsPerCore = 4;

template <typename Outcome>
class OrderedBatch {
 public:
  // Runs job(i, outcome) for every i in [0, count); the job must not throw
  // (it keeps its errors in the outcome). threads == 0 means one per core;
  // a thread the system refuses to start means fewer workers, not an error.
  OrderedBatch(std::size_t count, std::size_t threads,
               std::function<void(std::size_t, Outcome&)> job)
      : job_(std::move(job)),
        out_(count),
        done_(new std::atomic<bool>[count]),
        by_caller_(new bool[count]()) {
    for (std::size_t i = 0; i < count; ++i) done_[i].store(false, std::memory_order_relaxed);
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    if (threads == 0) threads = cores;
    threads = std::min({threads, count, kMaxThreadsPerCore * cores});
    if (threads <= 1) return;  // the caller's thread is the one worker
    pool_.reserve(threads - 1);
    try {
      for (std::size_t t = 1; t < threads; ++t) pool_.emplace_back([this] { work(); });
    } catch (...) {
    }
  }

  // Stops the workers from claiming more jobs and joins them.
  ~OrderedBatch() {
    stop_.store(true, std::memory_order_relaxed);
    for (std::thread& t : pool_) t.join();
  }
  OrderedBatch(const OrderedBatch&) = delete;
  OrderedBatch& operator=(const OrderedBatch&) = delete;

  std::size_t size() const { return out_.size(); }
  // Whether job i's outcome is ready (never blocks).
  bool ready(std::size_t i) const { return done_[i].load(std::memory_order_acquire); }

  // Job i's outcome, running other jobs meanwhile and blocking until it is
  // ready; the caller may move it out. Call it without holding locks the
  // jobs could need (in the binding: with the GIL released).
  Outcome& wait(std::size_t i) {
    while (!ready(i)) {
      const std::size_t k = next_.fetch_add(1, std::memory_order_relaxed);
      if (k >= out_.size()) break;
      run_one(k, true);
    }
    done_[i].wait(false, std::memory_order_acquire);
    return out_[i];
  }

  // The caller is done with outcome i. Call it in input order, from the
  // thread that calls wait(). The outcome is freed by the thread that made
  // it: now if the caller's thread made it, else by its worker before that
  // worker's next job.
  void release(std::size_t i) {
    if (by_caller_[i]) out_[i] = Outcome();
    released_.store(i + 1, std::memory_order_release);
  }

 private:
  void run_one(std::size_t i, bool by_caller) {
    if (by_caller) by_caller_[i] = true;  // workers leave their entries false
    job_(i, out_[i]);
    done_[i].store(true, std::memory_order_release);
    done_[i].notify_all();
  }

  void work() {
    std::vector<std::size_t> made;  // this worker's outcomes, increasing
    std::size_t freed = 0;
    while (!stop_.load(std::memory_order_relaxed)) {
      // The acquire pairs with release(): the caller's reads are done.
      const std::size_t released = released_.load(std::memory_order_acquire);
      for (; freed < made.size() && made[freed] < released; ++freed) {
        out_[made[freed]] = Outcome();
      }
      const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
      if (i >= out_.size()) return;  // the rest is freed with the batch
      made.push_back(i);
      run_one(i, false);
    }
  }

  std::function<void(std::size_t, Outcome&)> job_;
  std::vector<Outcome> out_;
  std::unique_ptr<std::atomic<bool>[]> done_;
  std::unique_ptr<bool[]> by_caller_;     // read and written on the caller's thread only
  std::atomic<std::size_t> released_{0};  // outcomes [0, released_) are released
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::vector<std::thread> pool_;
};

}  // namespace sqlparse::concurrency
