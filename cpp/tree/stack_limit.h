// How close the current thread is to the end of its stack.
//
// Every recursive walk of the system (the parser, the analyser's nested calls,
// the conversion of trees to and from Python) is bounded by a depth limit. A
// thread with a small stack (a Python thread after threading.stack_size(),
// say) may run out before that limit, so the walks also ask here and fail
// with their ordinary "too deep" error instead of overflowing the stack.
#pragma once

namespace sqlparse {

// The lowest stack address at which a recursive step may still start on this
// thread (the stack's end plus a reserve for the calls below it), or null
// where the platform does not tell. Computed once per thread.
const char* stack_floor();

// True when the caller's frame lies below the floor: recursing further would
// risk a stack overflow.
inline bool stack_exhausted() {
  const char* floor = stack_floor();
  return floor != nullptr && static_cast<const char*>(__builtin_frame_address(0)) < floor;
}

}  // namespace sqlparse
