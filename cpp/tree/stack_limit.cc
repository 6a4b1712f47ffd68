#include "tree/stack_limit.h"

#include <pthread.h>

#include <algorithm>
#include <cstddef>

namespace sqlparse {
namespace {

// Stack kept free below the last guarded step (a quarter of a small stack):
// the deepest unguarded calls under one (path queries, node helpers, the
// allocator) need far less.
constexpr std::size_t kStackReserve = 256 * 1024;

const char* compute_stack_floor() {
#if defined(__linux__)
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return nullptr;
  void* low = nullptr;
  std::size_t size = 0;
  const int rc = pthread_attr_getstack(&attr, &low, &size);
  pthread_attr_destroy(&attr);
  if (rc != 0 || low == nullptr || size == 0) return nullptr;
  return static_cast<const char*>(low) + std::min(kStackReserve, size / 4);
#elif defined(__APPLE__)
  pthread_t self = pthread_self();
  const char* high = static_cast<const char*>(pthread_get_stackaddr_np(self));
  const std::size_t size = pthread_get_stacksize_np(self);
  if (high == nullptr || size == 0) return nullptr;
  return high - size + std::min(kStackReserve, size / 4);
#else
  return nullptr;
#endif
}

}  // namespace

const char* stack_floor() {
  thread_local const char* const floor = compute_stack_floor();
  return floor;
}

}  // namespace sqlparse
