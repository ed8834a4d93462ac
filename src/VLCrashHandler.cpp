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

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <initializer_list>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

extern char **environ;
#endif

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

    // The process ends once the handler returns: another thread that failed
    // meanwhile must not start a report that the end cuts off, and whose
    // first step would delete the dump just written.
    void KeepUntilExit() { m_locked = false; }

    CrashLocker(const CrashLocker &) = delete;
    CrashLocker &operator=(const CrashLocker &) = delete;

private:
    bool m_locked = false;
};

/*
    A log line of the crash path, made when the library is loaded so that
    writing it allocates nothing: the record that the log output writes for
    the message, in UTF-8 with its line feed. %1 to %4 in the message are
    filled in, in a fixed buffer, when it is written.
*/
class CrashRecord
{
public:
    CrashRecord(int line, const char *message)
    {
        const QByteArray text = (QLatin1Char('"')
                                 + VLLogLine::Format(line, VLLogLine::SourceFileName(__FILE__),
                                                     QString::fromUtf8(message))
                                 + QStringLiteral("\" \n"))
                                    .toUtf8();
        m_size = std::min(sizeof(m_text), static_cast<std::size_t>(text.size()));
        std::memcpy(m_text, text.constData(), m_size);
    }

    void Write(std::initializer_list<const char *> arguments = {}) const
    {
        char record[8192];
        std::size_t size = 0;
        const auto put = [&](char c) {
            if (size < sizeof(record))
                record[size++] = c;
        };
        for (std::size_t i = 0; i < m_size; ++i) {
            const std::size_t number = i + 1 < m_size ? std::size_t(m_text[i + 1] - '1') : 9;
            if (m_text[i] != '%' || number >= arguments.size()) {
                put(m_text[i]);
                continue;
            }
            for (const char *c = arguments.begin()[number]; c && *c; ++c)
                put(*c);
            ++i;
        }
        // A cut record still ends its line.
        record[size - 1] = '\n';
        VLLogFile::WriteCrashRecord(record, size);
    }

private:
    char m_text[512];
    std::size_t m_size = 0;
};

// Where the crash path looks, worked out at installation.
struct CrashPaths
{
    // The per-user data folder (with its separator) and the temporary
    // folder.
    wchar_t dataFolder[1024];
    wchar_t tempFolder[1024];
#ifndef Q_OS_WIN
    // "Application.exe" in the folder of the running executable.
    char besideExecutable[4096];
    // Local time minus UTC, in seconds, when the handlers were installed.
    long utcOffset;
#endif
};
CrashPaths s_paths;

void copyWide(const QString &text, wchar_t *buffer, std::size_t capacity)
{
    const qsizetype length = std::min<qsizetype>(text.size(), qsizetype(capacity) - 1);
    text.left(length).toWCharArray(buffer);
    buffer[length] = L'\0';
}

const char *const editorName = "Application.exe";
const char *const restartArguments[] = {"-w", "Unexpected unknown exception."};

#ifdef Q_OS_WIN

// The folder for a new dump, emptied of earlier dumps; the temporary folder
// (left as it is) when there is no application data object.
bool makeDumpPath(wchar_t *path, std::size_t capacity)
{
    QString folder = QDir::tempPath();
    if (GlobalApplicationData::Instance()) {
        folder = QString::fromWCharArray(s_paths.dataFolder);
        if (QFileInfo(folder + QStringLiteral("dumps")).isDir()
            || QDir(folder).mkpath(QStringLiteral("dumps")))
            folder += QStringLiteral("dumps");
        const QDir dir(folder);
        const QStringList oldDumps =
            dir.entryList(QStringList(QStringLiteral("*.dmp")), QDir::Files, QDir::NoSort);
        for (const QString &name : oldDumps)
            QFile::remove(dir.filePath(name));
    }
    const QString file = folder + QDir::separator()
                         + QStringLiteral("%1.dmp").arg(QDateTime::currentDateTime().toString(
                             QStringLiteral("dd-MM-yyyy_hh-mm-ss")));
    copyWide(file, path, capacity);
    return file.size() < qsizetype(capacity);
}

void startEditor()
{
    QProcess::startDetached(
        QString::fromLatin1(editorName),
        {QString::fromLatin1(restartArguments[0]), QString::fromLatin1(restartArguments[1])});
}

#else

// Text appended to a fixed buffer; false once it no longer fits.
template<typename Char>
class Builder
{
public:
    Builder(Char *buffer, std::size_t capacity)
        : m_buffer(buffer)
        , m_capacity(capacity)
    {
        m_buffer[0] = 0;
    }

    template<typename Text>
    Builder &operator<<(const Text *text)
    {
        for (; text && *text; ++text) {
            if (m_length + 1 >= m_capacity) {
                m_fits = false;
                break;
            }
            m_buffer[m_length++] = static_cast<Char>(*text);
        }
        m_buffer[m_length] = 0;
        return *this;
    }

    // Two digits, with a leading zero.
    Builder &Two(long value)
    {
        const char digits[] = {char('0' + value / 10 % 10), char('0' + value % 10), 0};
        return *this << digits;
    }

    std::size_t Length() const { return m_length; }
    void Cut(std::size_t length)
    {
        m_length = length;
        m_buffer[length] = 0;
    }
    bool Fits() const { return m_fits; }

private:
    Char *m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    bool m_fits = true;
};

// "dd-MM-yyyy_hh-mm-ss" of the local time, from the offset of installation
// time: the system's local time functions take a lock.
void appendCrashTime(Builder<wchar_t> &name)
{
    const long long seconds = static_cast<long long>(time(nullptr)) + s_paths.utcOffset;
    long long days = seconds / 86400;
    long secondOfDay = static_cast<long>(seconds % 86400);
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    const VLCrashRuntime::CivilDate date = VLCrashRuntime::CivilDateFromDays(days);

    name.Two(date.day) << "-";
    name.Two(date.month) << "-";
    name.Two(date.year / 100).Two(date.year % 100) << "_";
    name.Two(secondOfDay / 3600) << "-";
    name.Two(secondOfDay / 60 % 60) << "-";
    name.Two(secondOfDay % 60);
}

// Deletes the plain files named "*.dmp" (in any case) of a folder.
void deleteDumps(const char *folder)
{
    const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    alignas(8) char entries[8192];
    long got = 0;
    while ((got = syscall(SYS_getdents64, dir, entries, sizeof(entries))) > 0) {
        for (long at = 0; at < got;) {
            const auto *entry = reinterpret_cast<const struct dirent64 *>(entries + at);
            at += entry->d_reclen;
            const std::size_t length = std::strlen(entry->d_name);
            if (length < 4 || strcasecmp(entry->d_name + length - 4, ".dmp") != 0)
                continue;
            struct stat status;
            if (entry->d_type == DT_REG
                || (entry->d_type == DT_UNKNOWN
                    && fstatat(dir, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
                    && S_ISREG(status.st_mode)))
                unlinkat(dir, entry->d_name, 0);
        }
    }
    close(dir);
}

// The folder for a new dump, emptied of earlier dumps; the temporary folder
// (left as it is) when there is no application data object. Then the file
// name of the crash time.
bool makeDumpPath(wchar_t *path, std::size_t capacity)
{
    Builder<wchar_t> file(path, capacity);
    char narrow[4096];
    if (GlobalApplicationData::Instance()) {
        file << s_paths.dataFolder;
        const std::size_t dataFolder = file.Length();
        file << L"dumps";
        VLCrashRuntime::Utf8FromWide(path, narrow, sizeof(narrow));
        struct stat status;
        if (!(stat(narrow, &status) == 0 && S_ISDIR(status.st_mode)) && mkdir(narrow, 0700) != 0) {
            file.Cut(dataFolder);
            VLCrashRuntime::Utf8FromWide(path, narrow, sizeof(narrow));
        }
        deleteDumps(narrow);
    } else {
        file << s_paths.tempFolder;
    }
    file << L"/";
    appendCrashTime(file);
    file << L".dmp";
    return file.Fits();
}

// The editor in the folder of the running executable, else the first on
// PATH, as Windows looks for a program.
bool findEditor(char *program, std::size_t capacity)
{
    if (access(s_paths.besideExecutable, X_OK) == 0) {
        Builder<char>(program, capacity) << s_paths.besideExecutable;
        return true;
    }
    const char *path = getenv("PATH");
    while (path && *path) {
        const char *end = std::strchr(path, ':');
        const std::size_t length = end ? std::size_t(end - path) : std::strlen(path);
        Builder<char> candidate(program, capacity);
        if (length == 0)
            candidate << ".";
        for (std::size_t i = 0; i < length; ++i) {
            const char c[] = {path[i], 0};
            candidate << c;
        }
        candidate << "/" << editorName;
        if (candidate.Fits() && access(program, X_OK) == 0)
            return true;
        path = end ? end + 1 : nullptr;
    }
    return false;
}

// Started detached, with the signals at their defaults and none blocked.
void startEditor()
{
    char program[4096];
    if (!findEditor(program, sizeof(program)))
        return;
    char *const arguments[] = {const_cast<char *>(editorName),
                               const_cast<char *>(restartArguments[0]),
                               const_cast<char *>(restartArguments[1]), nullptr};
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0)
        return;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t editor = 0;
    posix_spawn(&editor, program, nullptr, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
}

#endif // Q_OS_WIN

} // namespace

VLCrashHandler::~VLCrashHandler()
{
    VL_LOG(QStringLiteral("Destroyed"));
}

QFileInfoList VLCrashHandler::DumpsIn(const QString &dataFolder)
{
    QFileInfoList dumps;
    for (const QString &folder : {dataFolder + QStringLiteral("dumps"), dataFolder})
        dumps += QDir(folder).entryInfoList(QStringList(QStringLiteral("*.dmp")), QDir::Files,
                                            QDir::Name);
    return dumps;
}

void VLCrashHandler::PrepareCrashPath(const QString &dataFolder)
{
    copyWide(dataFolder, s_paths.dataFolder, sizeof(s_paths.dataFolder) / sizeof(wchar_t));
    copyWide(QDir::tempPath(), s_paths.tempFolder, sizeof(s_paths.tempFolder) / sizeof(wchar_t));
#ifndef Q_OS_WIN
    char executable[4096];
    const ssize_t length = readlink("/proc/self/exe", executable, sizeof(executable) - 1);
    executable[length > 0 ? length : 0] = '\0';
    if (char *slash = std::strrchr(executable, '/'))
        slash[1] = '\0';
    Builder<char>(s_paths.besideExecutable, sizeof(s_paths.besideExecutable))
        << executable << editorName;

    const time_t now = time(nullptr);
    struct tm local;
    s_paths.utcOffset = localtime_r(&now, &local) ? local.tm_gmtoff : 0;
#endif
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

// Every handler below writes records made in advance and allocates nothing:
// a failure inside the allocator (glibc's abort on a corrupt heap, holding
// its lock) must not leave it waiting for that lock.

static const CrashRecord s_sehRecord(__LINE__, "Seh");

LONG VLCrashHandler::OnUnhandledException(EXCEPTION_POINTERS *exceptionPointers)
{
    CrashLocker locker;
    s_sehRecord.Write();
    WriteDumpFile(exceptionPointers);
    // The editor comes back and tells the user what happened.
    startEditor();
    locker.KeepUntilExit();
    return EXCEPTION_EXECUTE_HANDLER;
}

static const CrashRecord s_notCreatedRecord(__LINE__, "Minidum didn't create. file \"%1\"");
static const CrashRecord s_createdRecord(__LINE__, "Minidump was created in file \"%1\"");
static const CrashRecord s_failedRecord(__LINE__, "MiniDumpWriteDump failed");

const char *VLCrashHandler::WriteDumpFile(EXCEPTION_POINTERS *exceptionPointers)
{
    static wchar_t path[1024];
    static char narrowPath[4096];
    const bool fits = makeDumpPath(path, sizeof(path) / sizeof(path[0]));
    VLCrashRuntime::Utf8FromWide(path, narrowPath, sizeof(narrowPath));

    const HANDLE file =
        fits ? VLCrashRuntime::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
             : INVALID_HANDLE_VALUE;
    if (!file || file == INVALID_HANDLE_VALUE) {
        s_notCreatedRecord.Write({narrowPath});
        return nullptr;
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
        s_createdRecord.Write({narrowPath});
        VLCrashRuntime::CloseHandle(file);
        return narrowPath;
    }
    s_failedRecord.Write();
    VLCrashRuntime::CloseHandle(file);
    return nullptr;
}

QString VLCrashHandler::WriteMinidump(EXCEPTION_POINTERS *exceptionPointers)
{
    // Asked for outside a failure, before any handler was installed.
    if (!s_paths.tempFolder[0]) {
        const GlobalApplicationData *data = GlobalApplicationData::Instance();
        PrepareCrashPath(data ? data->GetAppDataFolderPath() : QString());
    }
    const char *path = WriteDumpFile(exceptionPointers);
    return path ? QString::fromUtf8(path) : QString();
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

static const CrashRecord s_pureCallRecord(__LINE__, "Pure virtual method call");

void VLCrashHandler::OnPureCall()
{
    const CrashLocker locker;
    s_pureCallRecord.Write();
}

static const CrashRecord s_invalidParameterRecord(
    __LINE__, "Invalid parameter expr \"%1\" function \"%2\" file \"%3\" line \"%4\"");

void VLCrashHandler::OnInvalidParameter(const wchar_t *expression, const wchar_t *function,
                                        const wchar_t *file, unsigned int line, std::uintptr_t)
{
    const CrashLocker locker;
    char texts[3][1024];
    VLCrashRuntime::Utf8FromWide(expression, texts[0], sizeof(texts[0]));
    VLCrashRuntime::Utf8FromWide(function, texts[1], sizeof(texts[1]));
    VLCrashRuntime::Utf8FromWide(file, texts[2], sizeof(texts[2]));
    char digits[16];
    char *number = digits + sizeof(digits) - 1;
    *number = '\0';
    do {
        *--number = static_cast<char>('0' + line % 10);
        line /= 10;
    } while (line);
    s_invalidParameterRecord.Write({texts[0], texts[1], texts[2], number});
}

static const CrashRecord s_abortRecord(__LINE__, "Unexpected abort");

void VLCrashHandler::OnAbortSignal(int)
{
    const CrashLocker locker;
    s_abortRecord.Write();
}

static const CrashRecord s_intRecord(__LINE__, "Unexpected int");

void VLCrashHandler::OnIntSignal(int)
{
    const CrashLocker locker;
    s_intRecord.Write();
}

static const CrashRecord s_termRecord(__LINE__, "Unexpected term");

void VLCrashHandler::OnTermSignal(int)
{
    const CrashLocker locker;
    s_termRecord.Write();
}

static const CrashRecord s_terminateRecord(__LINE__, "Terminate");

void VLCrashHandler::OnTerminate()
{
    const CrashLocker locker;
    s_terminateRecord.Write();
}

static const CrashRecord s_unexpectedRecord(__LINE__, "Unexpected error");

void VLCrashHandler::OnUnexpected()
{
    const CrashLocker locker;
    s_unexpectedRecord.Write();
}

static const CrashRecord s_fpeRecord(__LINE__, "Unexpected fpe");

void VLCrashHandler::OnFpeSignal(int)
{
    const CrashLocker locker;
    s_fpeRecord.Write();
}

static const CrashRecord s_illRecord(__LINE__, "Unexpected ill");

void VLCrashHandler::OnIllSignal(int)
{
    const CrashLocker locker;
    s_illRecord.Write();
}

static const CrashRecord s_segvRecord(__LINE__, "Unexpected segv");

void VLCrashHandler::OnSegvSignal(int)
{
    const CrashLocker locker;
    s_segvRecord.Write();
}
