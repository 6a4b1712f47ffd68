#include "tree/node_pool.h"

namespace sqlparse {

namespace {

using node_pool::FreeBlock;
using node_pool::kClasses;
using node_pool::kGranule;

// Gives a thread's kept blocks back when the thread ends; from then on its
// frees go straight to malloc (other thread-local objects may still drop
// trees after this runs).
struct ThreadEnd {
  bool armed = false;
  ~ThreadEnd() {
    node_pool::Lists& l = node_pool::lists;
    l.gone = true;
    for (std::size_t c = 0; c < kClasses; ++c) {
      while (FreeBlock* b = l.head[c]) {
        l.head[c] = b->next;
        ::operator delete(static_cast<void*>(b));
      }
      l.kept[c] = 0;
    }
  }
};

void register_thread() {
  static thread_local ThreadEnd end;
  end.armed = true;
  node_pool::lists.registered = true;
}

bool pooled(std::size_t bytes) {
  return node_pool::kEnabled && bytes != 0 && bytes <= kClasses * kGranule;
}

}  // namespace

void* pool_allocate_slow(std::size_t bytes) {
  if (!pooled(bytes)) return ::operator new(bytes);
  // Whole classes, so that the block can serve any size of its class later.
  return ::operator new((node_pool::class_of(bytes) + 1) * kGranule);
}

void pool_free_slow(void* p, std::size_t bytes) noexcept {
  node_pool::Lists& l = node_pool::lists;
  if (pooled(bytes) && !l.gone && !l.registered) {
    register_thread();
    pool_free(p, bytes);
    return;
  }
  ::operator delete(p);
}

}  // namespace sqlparse
