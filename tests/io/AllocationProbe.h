// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_ALLOCATIONPROBE_H
#define VELA_ALLOCATIONPROBE_H

#include <cstddef>

/*
    Watches the heap of the whole process (the library and Qt included) for
    the largest single request made between Start() and Stop(). Works where
    the C library lets a program replace malloc (glibc); elsewhere
    IsAvailable() is false.
*/
namespace AllocationProbe {

bool IsAvailable();
void Start();
//! The largest request, in bytes, since Start().
std::size_t Stop();

} // namespace AllocationProbe

#endif // VELA_ALLOCATIONPROBE_H
