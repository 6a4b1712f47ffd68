// Lineage of many query texts on worker threads.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <variant>
#include <vector>

#include "varnel_var/lineage_triple.h"

namespace sqlparse {

// What `lineage_of_text` gave for one text: its triples, or the exception it
// threw, captured (the exception object is kept alive by the pointer and can
// be rethrown on any thread).
using BatchOutcome = std::variant<std::vector<LineageTriple>, std::exception_ptr>;

// Runs `lineage_of_text` on every text, on `threads` worker threads (0 means
// std::thread::hardware_concurrency(); never more threads than texts; one
// thread runs on the caller's thread). Outcomes come back in input order. No
// exception leaves a worker: every one, std::bad_alloc included, is captured
// in its text's outcome. A thread that the system refuses to start means fewer
// workers, not an error; the call throws only std::bad_alloc for its result.
std::vector<BatchOutcome> lineage_of_texts(const std::vector<std::string>& texts,
                                           std::size_t threads);

}  // namespace sqlparse
