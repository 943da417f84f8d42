#include "bench/new_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replacements live apart from any caller: inlined into one, GCC sees
// free() take what operator new returned and warns of a mismatch that is not
// one (malloc is behind both).
namespace {

std::atomic<std::size_t> calls{0};
std::atomic<std::size_t> mallocs{0};

}  // namespace

std::size_t sonvale::bench::OperatorNewCalls()
{
    return calls.load(std::memory_order_relaxed);
}

std::size_t sonvale::bench::MallocCalls()
{
    return mallocs.load(std::memory_order_relaxed);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SONVALE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define SONVALE_SANITIZED 1
#endif
#endif

#if defined(__GLIBC__) && !defined(SONVALE_SANITIZED)
// A program's own malloc takes the place of the C library's for every shared
// library too; glibc's stays reachable under these names.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);

void* malloc(std::size_t size)
{
    mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size)
{
    mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
}

bool sonvale::bench::MallocCounted()
{
    return true;
}
#else
bool sonvale::bench::MallocCounted()
{
    return false;
}
#endif

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
