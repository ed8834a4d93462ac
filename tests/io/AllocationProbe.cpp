// SPDX-License-Identifier: LGPL-2.1-or-later
#include "AllocationProbe.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<bool> s_watching{false};
std::atomic<std::size_t> s_largest{0};

void note(std::size_t size)
{
    if (!s_watching.load(std::memory_order_relaxed))
        return;
    std::size_t largest = s_largest.load(std::memory_order_relaxed);
    while (size > largest && !s_largest.compare_exchange_weak(largest, size)) {
    }
}

} // namespace

#if defined(__GLIBC__)

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);

// The program's own definitions take the place of the C library's for
// every library of the process; they pass each request on unchanged.
__attribute__((visibility("default"))) void *malloc(std::size_t size) noexcept
{
    note(size);
    return __libc_malloc(size);
}

__attribute__((visibility("default"))) void *calloc(std::size_t count, std::size_t size) noexcept
{
    note(count * size);
    return __libc_calloc(count, size);
}

__attribute__((visibility("default"))) void *realloc(void *pointer, std::size_t size) noexcept
{
    note(size);
    return __libc_realloc(pointer, size);
}
}

#endif

namespace AllocationProbe {

bool IsAvailable()
{
#if defined(__GLIBC__)
    return true;
#else
    return false;
#endif
}

void Start()
{
    s_largest = 0;
    s_watching = true;
}

std::size_t Stop()
{
    s_watching = false;
    return s_largest.load();
}

} // namespace AllocationProbe
