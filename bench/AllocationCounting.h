#pragma once

// Counts heap allocations for a benchmark executable: include it in exactly
// one file of the executable. C allocations are counted too (through glibc's
// own entry points), so libraries that call malloc show up; under the
// sanitizers only operator new is counted.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<uint64_t> gAllocations{0};
}

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
// Counts C allocations too (msgpack-c's zone), forwarding to glibc's own.
extern "C"
{
    void* __libc_malloc(size_t);
    void* __libc_calloc(size_t, size_t);
    void* __libc_realloc(void*, size_t);
    void __libc_free(void*);

    void* malloc(size_t n)
    {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_malloc(n);
    }
    void* calloc(size_t count, size_t n)
    {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_calloc(count, n);
    }
    void* realloc(void* p, size_t n)
    {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
        return __libc_realloc(p, n);
    }
    void free(void* p)
    {
        __libc_free(p);
    }
}
#define TOLVO_NEW_COUNTS 0
#else
#define TOLVO_NEW_COUNTS 1
#endif

void* operator new(size_t n)
{
    if (TOLVO_NEW_COUNTS)
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n != 0 ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n)
{
    return operator new(n);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}

namespace
{

// Counts the allocations of one timed loop.
class AllocationMeter
{
public:
    explicit AllocationMeter(benchmark::State& state) : state_(state), before_(gAllocations.load()) {}
    ~AllocationMeter()
    {
        state_.counters["allocs"] = benchmark::Counter(static_cast<double>(gAllocations.load() - before_),
                                                       benchmark::Counter::kAvgIterations);
    }

private:
    benchmark::State& state_;
    uint64_t before_;
};

} // namespace
