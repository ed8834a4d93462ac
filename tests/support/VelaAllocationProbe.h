// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELAALLOCATIONPROBE_H
#define VELAALLOCATIONPROBE_H

#include <cstddef>

// The largest single heap request of the whole process between Start() and
// Stop(), made through malloc and realloc (the buffers of Qt's containers).
// It sees them where glibc lets the program's malloc take the place of the
// C library's; under a sanitizer, which owns malloc, it stands aside and
// Stop() gives 0, so a bound checked against it passes.
namespace VelaAllocationProbe {

void Start();
std::size_t Stop();

} // namespace VelaAllocationProbe

#endif // VELAALLOCATIONPROBE_H
