// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLCRASHHANDLER_H
#define VLCRASHHANDLER_H

/*
    Turns the failure paths of the runtime and of the operating system into
    log lines, and an unhandled fault into a minidump and a restart of the
    editor. The application data object owns one instance; the handlers
    themselves are static.
*/
class VLCrashHandler
{
public:
    VLCrashHandler() = default;
    ~VLCrashHandler();

    VLCrashHandler(const VLCrashHandler &) = delete;
    VLCrashHandler &operator=(const VLCrashHandler &) = delete;
};

#endif // VLCRASHHANDLER_H
