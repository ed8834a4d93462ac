// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLCrashHandler.h"

#include "GlobalApplicationData.h"
#include "private/VLLogFile_p.h"
#include "private/VLLogLine_p.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <csignal>
#include <string>

using namespace VLCrashRuntime;

namespace {

// Another thread that holds the crash lock is reporting a failure of its
// own and lets go, or ends the process, long before this. A thread that
// still holds it then is stuck: the handler goes on without the lock, early
// enough to write its dump before the fault path's watchdog ends the process.
constexpr int crashLockWaitMs = 5000;

// Process-wide, alive while the library is loaded.
QMutex s_crashLock;
std::atomic<Qt::HANDLE> s_crashLockOwner{nullptr};

/*
    Holds the crash lock for one handler. The lock is not recursive: a
    failure on a thread that is already reporting one (a fault inside a
    handler) runs on without taking it again.
*/
class CrashLocker
{
public:
    CrashLocker()
    {
        // A log write of another thread that never ends must not hold up
        // the report.
        VLLogFile::EnterCrashPath();
        const Qt::HANDLE self = QThread::currentThreadId();
        if (s_crashLockOwner.load() == self)
            return;
        m_locked = s_crashLock.tryLock(crashLockWaitMs);
        if (m_locked)
            s_crashLockOwner.store(self);
    }

    ~CrashLocker()
    {
        if (!m_locked)
            return;
        s_crashLockOwner.store(nullptr);
        s_crashLock.unlock();
    }

    CrashLocker(const CrashLocker &) = delete;
    CrashLocker &operator=(const CrashLocker &) = delete;

private:
    bool m_locked = false;
};

QString wideText(const wchar_t *text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

QString dumpsFolderName()
{
    return QStringLiteral("dumps");
}

QStringList dumpFilePattern()
{
    return QStringList(QStringLiteral("*.dmp"));
}

// The folder for a new dump, emptied of earlier dumps; the temporary folder
// (left as it is) when there is no application data object.
QString dumpFolder()
{
    const GlobalApplicationData *data = GlobalApplicationData::Instance();
    if (!data)
        return QDir::tempPath();

    QString folder = data->GetAppDataFolderPath();
    if (QFileInfo(folder + dumpsFolderName()).isDir() || QDir(folder).mkpath(dumpsFolderName()))
        folder += dumpsFolderName();

    const QDir dir(folder);
    const QStringList oldDumps = dir.entryList(dumpFilePattern(), QDir::Files, QDir::NoSort);
    for (const QString &name : oldDumps)
        QFile::remove(dir.filePath(name));
    return folder;
}

} // namespace

VLCrashHandler::~VLCrashHandler()
{
    VL_LOG(QStringLiteral("Destroyed"));
}

QFileInfoList VLCrashHandler::DumpsIn(const QString &dataFolder)
{
    QFileInfoList dumps;
    for (const QString &folder : {dataFolder + dumpsFolderName(), dataFolder})
        dumps += QDir(folder).entryInfoList(dumpFilePattern(), QDir::Files, QDir::Name);
    return dumps;
}

void VLCrashHandler::InstallProcessHandlers()
{
    VLCrashRuntime::SetUnhandledExceptionFilter(OnUnhandledException);
    VLCrashRuntime::_set_purecall_handler(OnPureCall);
    VLCrashRuntime::_set_invalid_parameter_handler(OnInvalidParameter);
    // abort() reports the fault; its message behaviour stays as it is.
    VLCrashRuntime::_set_abort_behavior(CALL_REPORTFAULT, CALL_REPORTFAULT);
    VLCrashRuntime::signal(SIGABRT, OnAbortSignal);
    VLCrashRuntime::signal(SIGINT, OnIntSignal);
    VLCrashRuntime::signal(SIGTERM, OnTermSignal);
}

void VLCrashHandler::InstallThreadHandlers()
{
    VLCrashRuntime::set_terminate(OnTerminate);
    VLCrashRuntime::set_unexpected(OnUnexpected);
    VLCrashRuntime::signal(SIGFPE, OnFpeSignal);
    VLCrashRuntime::signal(SIGILL, OnIllSignal);
    VLCrashRuntime::signal(SIGSEGV, OnSegvSignal);
}

LONG VLCrashHandler::OnUnhandledException(EXCEPTION_POINTERS *exceptionPointers)
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Seh"));
    WriteMinidump(exceptionPointers);
    // The editor comes back and tells the user what happened.
    QProcess::startDetached(
        QStringLiteral("Application.exe"),
        {QStringLiteral("-w"), QStringLiteral("Unexpected unknown exception.")});
    return EXCEPTION_EXECUTE_HANDLER;
}

QString VLCrashHandler::WriteMinidump(EXCEPTION_POINTERS *exceptionPointers)
{
    const QString path = dumpFolder() + QDir::separator()
                         + QStringLiteral("%1.dmp").arg(QDateTime::currentDateTime().toString(
                             QStringLiteral("dd-MM-yyyy_hh-mm-ss")));

    const std::wstring nativePath = path.toStdWString();
    const HANDLE file =
        VLCrashRuntime::CreateFileW(nativePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!file || file == INVALID_HANDLE_VALUE) {
        VL_LOG(QStringLiteral("Minidum didn't create. file \"%1\"").arg(path));
        return QString();
    }

    MINIDUMP_EXCEPTION_INFORMATION exceptionInformation;
    exceptionInformation.ThreadId = VLCrashRuntime::GetCurrentThreadId();
    exceptionInformation.ExceptionPointers = exceptionPointers;
    exceptionInformation.ClientPointers = FALSE;

    MINIDUMP_CALLBACK_INFORMATION callbackInformation;
    callbackInformation.CallbackRoutine = MinidumpCallback;
    callbackInformation.CallbackParam = nullptr;

    // 0x1A25
    const auto dumpType = static_cast<MINIDUMP_TYPE>(
        MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithUnloadedModules
        | MiniDumpWithPrivateReadWriteMemory | MiniDumpWithFullMemoryInfo | MiniDumpWithThreadInfo);

    if (VLCrashRuntime::MiniDumpWriteDump(VLCrashRuntime::GetCurrentProcess(),
                                          VLCrashRuntime::GetCurrentProcessId(), file, dumpType,
                                          exceptionPointers ? &exceptionInformation : nullptr,
                                          nullptr, &callbackInformation)) {
        VL_LOG(QStringLiteral("Minidump was created in file \"%1\"").arg(path));
        VLCrashRuntime::CloseHandle(file);
        return path;
    }
    VL_LOG(QStringLiteral("MiniDumpWriteDump failed"));
    VLCrashRuntime::CloseHandle(file);
    return QString();
}

BOOL VLCrashHandler::MinidumpCallback(PVOID, const PMINIDUMP_CALLBACK_INPUT input,
                                      PMINIDUMP_CALLBACK_OUTPUT output)
{
    if (!input || !output)
        return FALSE;
    switch (input->CallbackType) {
    case ModuleCallback:
        // Module data sections stay out of the dump.
        output->ModuleWriteFlags &= ~ModuleWriteDataSeg;
        return TRUE;
    case ThreadCallback:
    case ThreadExCallback:
    case IncludeThreadCallback:
    case IncludeModuleCallback:
        return TRUE;
    default:
        return FALSE;
    }
}

void VLCrashHandler::OnPureCall()
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Pure virtual method call"));
}

void VLCrashHandler::OnInvalidParameter(const wchar_t *expression, const wchar_t *function,
                                        const wchar_t *file, unsigned int line, std::uintptr_t)
{
    const CrashLocker locker;
    VL_LOG(
        QStringLiteral("Invalid parameter expr \"%1\" function \"%2\" file \"%3\" line \"%4\"")
            .arg(wideText(expression), wideText(function), wideText(file), QString::number(line)));
}

void VLCrashHandler::OnAbortSignal(int)
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Unexpected abort"));
}

void VLCrashHandler::OnIntSignal(int)
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Unexpected int"));
}

void VLCrashHandler::OnTermSignal(int)
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Unexpected term"));
}

void VLCrashHandler::OnTerminate()
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Terminate"));
}

void VLCrashHandler::OnUnexpected()
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Unexpected error"));
}

void VLCrashHandler::OnFpeSignal(int)
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Unexpected fpe"));
}

void VLCrashHandler::OnIllSignal(int)
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Unexpected ill"));
}

void VLCrashHandler::OnSegvSignal(int)
{
    const CrashLocker locker;
    VL_LOG(QStringLiteral("Unexpected segv"));
}
