// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Preloaded into a child that is to fail at a chosen moment: time() answers
// the seconds since the epoch in VELA_FIXED_TIME when it is set.
#include <cstdlib>

#include <time.h>

extern "C" __attribute__((visibility("default"))) time_t time(time_t *answer) noexcept
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    const char *fixed = std::getenv("VELA_FIXED_TIME");
    const time_t seconds = fixed ? time_t(std::strtoll(fixed, nullptr, 10)) : now.tv_sec;
    if (answer)
        *answer = seconds;
    return seconds;
}
