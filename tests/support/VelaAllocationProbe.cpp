// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaAllocationProbe.h"

#include <atomic>

namespace {
std::atomic<bool> s_watching{false};
std::atomic<std::size_t> s_largest{0};

// Notes a request and hands its size back.
[[maybe_unused]] std::size_t note(std::size_t size)
{
    std::size_t largest = s_largest.load(std::memory_order_relaxed);
    while (s_watching.load(std::memory_order_relaxed) && size > largest
           && !s_largest.compare_exchange_weak(largest, size)) {
    }
    return size;
}
} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELA_SANITIZED_MALLOC
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELA_SANITIZED_MALLOC
#endif
#endif

#if defined(__GLIBC__) && !defined(VELA_SANITIZED_MALLOC)
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);

// The program's definitions serve every library of the process; each request
// is passed on unchanged.
__attribute__((visibility("default"))) void *malloc(std::size_t size) noexcept
{
    return __libc_malloc(note(size));
}

__attribute__((visibility("default"))) void *realloc(void *pointer, std::size_t size) noexcept
{
    return __libc_realloc(pointer, note(size));
}
}
#endif

void VelaAllocationProbe::Start()
{
    s_largest = 0;
    s_watching = true;
}

std::size_t VelaAllocationProbe::Stop()
{
    s_watching = false;
    return s_largest.load();
}
