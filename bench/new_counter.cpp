#include "bench/new_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replacements live apart from any caller: inlined into one, GCC sees
// free() take what operator new returned and warns of a mismatch that is not
// one (malloc is behind both).
namespace {

std::atomic<std::size_t> calls{0};

}  // namespace

std::size_t sonvale::bench::OperatorNewCalls()
{
    return calls.load(std::memory_order_relaxed);
}

void* operator new(std::size_t size)
{
    calls.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
