// Helpers shared by the analyser's source files (not part of its interface).
#pragma once

#include <string>

#include "sqlparse_main/analyze/analysis_error.h"

namespace sqlparse {

// Most nested guarded calls (sub-analyses, re-dispatches, star expansions)
// that one top-level analysis may have active at once. Each costs a few
// hundred bytes of stack at most, so the bound keeps the stack in megabytes.
inline constexpr int kMaxGuardedCalls = 4000;

// Counts one guarded call for as long as it is active.
class CallGuard {
 public:
  explicit CallGuard(int& active) : active_(active) {
    if (active_ >= kMaxGuardedCalls) {
      throw AnalysisError(AnalysisError::Kind::kRecursionError,
                          "analysis nested more than " + std::to_string(kMaxGuardedCalls) +
                              " calls deep");
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
