// Counts calls of the global operator new in a benchmark binary, to show that
// work meant for the playback thread never touches the heap.
#ifndef SONVALE_BENCH_NEW_COUNTER_H
#define SONVALE_BENCH_NEW_COUNTER_H

#include <cstddef>

namespace sonvale::bench {

// Calls of operator new (single and array) since the process started.
std::size_t OperatorNewCalls();

}  // namespace sonvale::bench

#endif
