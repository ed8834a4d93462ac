// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLCRASHHANDLER_H
#define VLCRASHHANDLER_H

#include "VelaGlobalExport.h"
#include "private/VLCrashRuntime_p.h"

#include <QFileInfoList>
#include <QString>

#include <cstdint>

#ifdef Q_OS_WIN
#define VL_CRASH_CALLBACK CALLBACK
#else
#define VL_CRASH_CALLBACK
#endif

/*
    Turns the failure paths of the runtime and of the operating system into
    log lines, and an unhandled fault into a minidump and a restart of the
    editor. The application data object owns one instance; the handlers
    themselves are static. Every handler runs under the crash lock, so that
    threads failing together are reported one after the other.
*/
class VLCrashHandler
{
public:
    VLCrashHandler() = default;
    ~VLCrashHandler();

    VLCrashHandler(const VLCrashHandler &) = delete;
    VLCrashHandler &operator=(const VLCrashHandler &) = delete;

    //! The unhandled-fault filter, the pure-call and invalid-parameter
    //! handlers, abort's fault report and the SIGABRT, SIGINT and SIGTERM
    //! handlers, for the whole process.
    static void InstallProcessHandlers();
    //! The terminate and unexpected handlers and the SIGFPE, SIGILL and SIGSEGV
    //! handlers, which the runtime keeps per thread, for the calling thread.
    static void InstallThreadHandlers();

    //! Works out, while it is safe to allocate, what the crash path needs:
    //! the per-user data folder (with its separator), the temporary folder,
    //! the editor beside the running executable and the local time offset.
    //! The installing members call it first.
    static void PrepareCrashPath(const QString &dataFolder);

    //! Writes a minidump of the process into the dump folder (deleting the
    //! earlier dumps there) and returns its path, or an empty string when no
    //! dump was written. The exception may be null.
    VELAGLOBAL_EXPORT static QString
    WriteMinidump(VLCrashRuntime::EXCEPTION_POINTERS *exceptionPointers);

    //! The dumps that the writer may have left for a per-user data folder:
    //! those of its "dumps" folder, then those of the folder itself (where
    //! they go when "dumps" cannot be made). Only looks.
    VELAGLOBAL_EXPORT static QFileInfoList DumpsIn(const QString &dataFolder);

private:
    static VLCrashRuntime::LONG VL_CRASH_CALLBACK
    OnUnhandledException(VLCrashRuntime::EXCEPTION_POINTERS *exceptionPointers);
    static void OnPureCall();
    static void OnInvalidParameter(const wchar_t *expression, const wchar_t *function,
                                   const wchar_t *file, unsigned int line, std::uintptr_t reserved);
    static void OnAbortSignal(int signalNumber);
    static void OnIntSignal(int signalNumber);
    static void OnTermSignal(int signalNumber);
    static void OnTerminate();
    static void OnUnexpected();
    static void OnFpeSignal(int signalNumber);
    static void OnIllSignal(int signalNumber);
    static void OnSegvSignal(int signalNumber);
    //! WriteMinidump without allocating: the path in UTF-8 in a static
    //! buffer, or null when no dump was written.
    static const char *WriteDumpFile(VLCrashRuntime::EXCEPTION_POINTERS *exceptionPointers);

    static VLCrashRuntime::BOOL VL_CRASH_CALLBACK MinidumpCallback(
        VLCrashRuntime::PVOID param, const VLCrashRuntime::PMINIDUMP_CALLBACK_INPUT input,
        VLCrashRuntime::PMINIDUMP_CALLBACK_OUTPUT output);
};

#endif // VLCRASHHANDLER_H
