#include "heapcounter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <malloc.h>

// glibc's own entry points, which stay reachable under these replacements.
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {

std::atomic<long long> g_allocations{0};
std::atomic<long long> g_requested{0};
std::atomic<long long> g_live{0};

void *counted(void *pointer, size_t requested)
{
    if (pointer) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
        g_requested.fetch_add(static_cast<long long>(requested), std::memory_order_relaxed);
        g_live.fetch_add(static_cast<long long>(malloc_usable_size(pointer)),
                         std::memory_order_relaxed);
    }
    return pointer;
}

void released(void *pointer)
{
    if (pointer)
        g_live.fetch_sub(static_cast<long long>(malloc_usable_size(pointer)),
                         std::memory_order_relaxed);
}

} // namespace

HeapCounter::Totals HeapCounter::totals()
{
    Totals totals;
    totals.allocations = g_allocations.load(std::memory_order_relaxed);
    totals.requestedBytes = g_requested.load(std::memory_order_relaxed);
    totals.liveBytes = g_live.load(std::memory_order_relaxed);
    return totals;
}

extern "C" {

void *malloc(size_t size)
{
    return counted(__libc_malloc(size), size);
}

void *calloc(size_t count, size_t size)
{
    return counted(__libc_calloc(count, size), count * size);
}

void *realloc(void *pointer, size_t size)
{
    // Counted as a release and a new allocation, which is what growing a buffer costs.
    const long long before = pointer ? static_cast<long long>(malloc_usable_size(pointer)) : 0;
    void *moved = __libc_realloc(pointer, size);
    if (!moved) {
        // A size of 0 frees the block and gives null; a failure leaves it where it was.
        if (pointer && size == 0)
            g_live.fetch_sub(before, std::memory_order_relaxed);
        return moved;
    }
    g_live.fetch_sub(before, std::memory_order_relaxed);
    return counted(moved, size);
}

void free(void *pointer)
{
    released(pointer);
    __libc_free(pointer);
}

void *memalign(size_t alignment, size_t size)
{
    return counted(__libc_memalign(alignment, size), size);
}

void *aligned_alloc(size_t alignment, size_t size)
{
    return counted(__libc_memalign(alignment, size), size);
}

int posix_memalign(void **result, size_t alignment, size_t size)
{
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void *pointer = counted(__libc_memalign(alignment, size), size);
    if (!pointer && size)
        return ENOMEM;
    *result = pointer;
    return 0;
}

} // extern "C"
