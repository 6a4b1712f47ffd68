// Helpers shared by the analyser's source files (not part of its interface).
#pragma once

#include <string>

#include "sqlparse_main/analyze/analysis_error.h"
#include "tree/stack_limit.h"

namespace sqlparse {

// Most nested guarded calls (sub-analyses, re-dispatches, star expansions)
// that one top-level analysis may have active at once. Each costs up to a few
// hundred bytes of stack; the stack check below covers smaller stacks.
inline constexpr int kMaxGuardedCalls = 10000;


// Counts one guarded call for as long as it is active, and refuses one that
// would start too close to the end of the thread's stack, whatever its size.
class CallGuard {
 public:
  explicit CallGuard(int& active) : active_(active) {
    if (active_ >= kMaxGuardedCalls) {
      throw AnalysisError(AnalysisError::Kind::kRecursionError,
                          "analysis nested more than " + std::to_string(kMaxGuardedCalls) +
                              " calls deep");
    }
    if (stack_exhausted()) {
      throw AnalysisError(AnalysisError::Kind::kRecursionError,
                          "analysis nested too deeply for the thread's stack");
    }
    ++active_;
  }
  ~CallGuard() { --active_; }
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;

 private:
  int& active_;
};

}  // namespace sqlparse
