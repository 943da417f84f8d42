// Counts calls of the global operator new in a benchmark or test binary, to
// show that work meant for the playback thread never touches the heap; and,
// where the C library lets a program stand in for it (glibc, no sanitizer),
// calls of malloc, calloc and realloc, which C libraries make.
#ifndef SONVALE_BENCH_NEW_COUNTER_H
#define SONVALE_BENCH_NEW_COUNTER_H

#include <cstddef>

namespace sonvale::bench {

// Calls of operator new (single and array) since the process started.
std::size_t OperatorNewCalls();

// Whether MallocCalls() counts; it stays 0 where it cannot.
bool MallocCounted();
std::size_t MallocCalls();

}  // namespace sonvale::bench

#endif
