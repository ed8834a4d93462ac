// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Preloaded into a child that is to fail. time() answers the seconds since
// the epoch in VELA_FIXED_TIME when it is set, so that the failure happens at
// a chosen moment. An allocation made on the alternate signal stack, where
// the crash path runs, writes a line to the standard error. A write of bytes
// that hold the text in VELA_FAULT_IN_WRITE faults instead: a failure inside
// the report of another. VELA_SLOW_END puts off the end of a failing process.
#include <cstdlib>
#include <cstring>

#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

extern "C" {

void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);

__attribute__((visibility("default"))) time_t time(time_t *answer) noexcept
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    const char *fixed = std::getenv("VELA_FIXED_TIME");
    const time_t seconds = fixed ? time_t(std::strtoll(fixed, nullptr, 10)) : now.tv_sec;
    if (answer)
        *answer = seconds;
    return seconds;
}

static bool onSignalStack()
{
    stack_t current = {};
    return sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK);
}

static void noteCrashPathAllocation()
{
    static const char line[] = "vela crash probe: an allocation on the alternate signal stack\n";
    if (onSignalStack())
        (void)!write(STDERR_FILENO, line, sizeof(line) - 1);
}

// With VELA_SLOW_END set, a handler that gives a signal back to its default
// action, to end the process by it, waits a tenth of a second first: time
// enough for any other thread to act meanwhile.
int __sigaction(int number, const struct sigaction *action, struct sigaction *old);

__attribute__((visibility("default"))) int sigaction(int number, const struct sigaction *action,
                                                     struct sigaction *old) noexcept
{
    if (action && action->sa_handler == SIG_DFL && std::getenv("VELA_SLOW_END")
        && onSignalStack()) {
        const timespec pause = {0, 100 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return __sigaction(number, action, old);
}

__attribute__((visibility("default"))) void *malloc(std::size_t size) noexcept
{
    noteCrashPathAllocation();
    return __libc_malloc(size);
}

__attribute__((visibility("default"))) void *calloc(std::size_t count, std::size_t size) noexcept
{
    noteCrashPathAllocation();
    return __libc_calloc(count, size);
}

__attribute__((visibility("default"))) void *realloc(void *pointer, std::size_t size) noexcept
{
    noteCrashPathAllocation();
    return __libc_realloc(pointer, size);
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void *bytes, std::size_t size)
{
    const char *text = std::getenv("VELA_FAULT_IN_WRITE");
    if (text && memmem(bytes, size, text, std::strlen(text)))
        *static_cast<volatile int *>(nullptr) = 1;
    return syscall(SYS_write, fd, bytes, size);
}
}
