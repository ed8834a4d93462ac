// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELAFUZZ_FUZZSUPPORT_H
#define VELAFUZZ_FUZZSUPPORT_H

#include <QString>

#include <cstddef>
#include <cstdint>

class GlobalApplicationData;

/*
    What the fuzz targets set up once per process, so that each input costs
    only the library's own reading of it. The same targets run under libFuzzer
    and, built with the replay main, over their committed corpus under CTest.
*/
namespace VelaFuzz {

//! A private folder for the whole run, on tmpfs where the machine has one,
//! that LOCALAPPDATA points into. Made on the first call, together with the
//! run's QGuiApplication (offscreen) and a message handler that drops the library's
//! debug lines. (The working directory stays: libFuzzer names its files
//! relative to it.)
QString WorkFolder();

//! The application data object of the run, made on the first call.
GlobalApplicationData *ApplicationData();

//! Replaces the file at path with the input bytes; returns the path. Each
//! file written gets a modification time of its own: QSettings keeps a file
//! that it has read for as long as its size and time stay the same, and two
//! inputs of equal size would otherwise meet within one timestamp.
QString WriteInput(const QString &path, const uint8_t *data, size_t size);

//! Whether this input also takes the costly half of its target's check, a
//! save and the reads after it: one input in sixteen, chosen by its bytes so
//! that a finding replays alike, and every input where VELA_FUZZ_FULL_CHECKS
//! is set (the corpus replay and merge). The other inputs are only read, at
//! many times the pace.
bool TakesFullCheck(const uint8_t *data, size_t size);

} // namespace VelaFuzz

#endif // VELAFUZZ_FUZZSUPPORT_H
