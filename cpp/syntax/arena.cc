// The per-thread cache of freed arena blocks.
#include <new>

#include "syntax/arena.h"

namespace sqlparse::syntax {
namespace {

// None kept under AddressSanitizer, which should see every block freed.
#if defined(__SANITIZE_ADDRESS__)
#define SQLPARSE_KEEP_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SQLPARSE_KEEP_BLOCKS 0
#endif
#endif
#ifndef SQLPARSE_KEEP_BLOCKS
#define SQLPARSE_KEEP_BLOCKS 1
#endif

constexpr bool kKeepBlocks = SQLPARSE_KEEP_BLOCKS != 0;
constexpr std::size_t kKeptBytes = Arena::kMaxBlock;  // at most this much per thread
constexpr std::size_t kKeptBlocks = 16;
constexpr std::size_t kSmallestBlock = 8192;

struct BlockCache {
  ArenaBlock* head = nullptr;
  std::size_t bytes = 0;
  std::size_t count = 0;
  ~BlockCache();
};

// Set once this thread's cache is destroyed (at thread exit): blocks freed
// later go straight back to the allocator.
thread_local bool block_cache_gone = false;

BlockCache& block_cache() {
  thread_local BlockCache cache;
  return cache;
}

void free_block(ArenaBlock* b) { ::operator delete(static_cast<void*>(b)); }

BlockCache::~BlockCache() {
  while (head != nullptr) {
    ArenaBlock* next = head->next;
    free_block(head);
    head = next;
  }
  bytes = count = 0;
  block_cache_gone = true;
}

}  // namespace

ArenaBlock* take_arena_block(std::size_t at_least) {
  if (kKeepBlocks && !block_cache_gone) {
    BlockCache& cache = block_cache();
    for (ArenaBlock** link = &cache.head; *link != nullptr; link = &(*link)->next) {
      ArenaBlock* b = *link;
      if (b->size >= at_least) {
        *link = b->next;
        cache.bytes -= b->size;
        --cache.count;
        return b;
      }
    }
  }
  // Sizes up to the largest block are powers of two, so that freed blocks
  // fit the next script's needs.
  std::size_t size = at_least;
  if (size <= Arena::kMaxBlock) {
    size = kSmallestBlock;
    while (size < at_least) size *= 2;
  }
  auto* b = static_cast<ArenaBlock*>(::operator new(size));
  b->next = nullptr;
  b->size = size;
  return b;
}

void give_arena_blocks(ArenaBlock* chain) {
  BlockCache* cache = kKeepBlocks && !block_cache_gone ? &block_cache() : nullptr;
  while (chain != nullptr) {
    ArenaBlock* b = chain;
    chain = b->next;
    if (cache != nullptr && cache->count < kKeptBlocks && cache->bytes + b->size <= kKeptBytes) {
      b->next = cache->head;
      cache->head = b;
      cache->bytes += b->size;
      ++cache->count;
    } else {
      free_block(b);
    }
  }
}

}  // namespace sqlparse::syntax
