// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELAFUZZ_FUZZSUPPORT_H
#define VELAFUZZ_FUZZSUPPORT_H

#include <QString>

#include <cstddef>
#include <cstdint>

namespace VelaFuzz {

//! A private folder for the whole fuzzing run (LOCALAPPDATA points into it).
QString WorkFolder();

//! The run's QCoreApplication, made on the first call.
void Application();

//! Replaces the file at path with the input bytes; returns the path.
QString WriteInput(const QString &path, const uint8_t *data, size_t size);

} // namespace VelaFuzz

#endif // VELAFUZZ_FUZZSUPPORT_H
