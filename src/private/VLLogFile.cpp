// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLLogFile_p.h"
#include "private/VLSaveFile_p.h"

#include <QDateTime>
#include <QDir>
#include <QMutexLocker>
#include <QThread>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// On the crash path: far longer than any write takes.
constexpr int crashWriteWaitMs = 2000;

std::atomic<void (*)()> s_lockedWriteHook{nullptr};
std::atomic<bool> s_crashPath{false};

// The log the crash path writes to: the one open file of the run.
std::atomic<VLLogFile *> s_runLog{nullptr};

void writeAll(int fd, const char *bytes, std::size_t size)
{
    while (size) {
#ifdef Q_OS_WIN
        const int put = ::_write(fd, bytes, static_cast<unsigned int>(size));
#else
        const ssize_t put = ::write(fd, bytes, size);
#endif
        if (put <= 0)
            return;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
}

// "24-05-2015_09-07-31.txt": the local time the run's log was opened.
const QString logFileNamePattern = QStringLiteral("dd-MM-yyyy_hh-mm-ss'.txt'");

} // namespace

VLLogFile::~VLLogFile()
{
    VLLogFile *self = this;
    s_runLog.compare_exchange_strong(self, nullptr);
}

void VLLogFile::Open(const QString &folder)
{
    QMutexLocker locker(&m_mutex);
    if (m_file.isOpen())
        return;

    if (!VLSaveFile::MakeFolder(folder))
        return;

    // Each run keeps only its own log: every earlier .txt file goes,
    // whoever made it.
    const QDir logDir(folder);
    const QStringList oldLogs = logDir.entryList(QStringList(QStringLiteral("*.txt")),
                                                 QDir::Files | QDir::Hidden, QDir::NoSort);
    for (const QString &name : oldLogs)
        QFile::remove(logDir.filePath(name));

    m_file.setFileName(folder + QDir::separator() + FileNameFor(QDateTime::currentDateTime()));
    // Unbuffered: each record reaches the system in the one write call.
    // The log is always a new file: the earlier ones are gone.
    if (m_file.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_file.setPermissions(VLSaveFile::PrivateFile);
        s_runLog.store(this);
    }
}

bool VLLogFile::IsOpen() const
{
    QMutexLocker locker(&m_mutex);
    return m_file.isOpen();
}

QString VLLogFile::FileName() const
{
    QMutexLocker locker(&m_mutex);
    return m_file.isOpen() ? m_file.fileName() : QString();
}

bool VLLogFile::Write(const QString &record)
{
    QByteArray bytes = record.toUtf8();
    bytes.append('\n');

    if (!LockForWrite())
        return false;
    const bool open = m_file.isOpen();
    if (open) {
        if (void (*hook)() = s_lockedWriteHook.load())
            hook();
        // Straight to the descriptor, as the crash path writes: the record
        // is the one system call made while others wait for the mutex.
        writeAll(m_file.handle(), bytes.constData(), std::size_t(bytes.size()));
    }
    m_writer.store(nullptr);
    m_mutex.unlock();
    return open;
}

bool VLLogFile::LockForWrite()
{
    const Qt::HANDLE self = QThread::currentThreadId();
    if (m_writer.load() == self)
        return false;
    if (!s_crashPath.load()) {
        // An ordinary message waits for its turn, however slow the write
        // before it.
        m_mutex.lock();
        m_writer.store(self);
        return true;
    }
    const bool locked = m_mutex.tryLock(m_stalled.load() ? 0 : crashWriteWaitMs);
    m_stalled.store(!locked);
    if (locked)
        m_writer.store(self);
    return locked;
}

void VLLogFile::EnterCrashPath()
{
    s_crashPath.store(true);
}

void VLLogFile::WriteCrashRecord(const char *bytes, std::size_t size)
{
    // The crash path is entered by the handler that reports a failure; a
    // record of a dump asked for outside one leaves the log's waits as they
    // are, or later messages behind a slow write would be dropped.
    VLLogFile *log = s_runLog.load();
    if (!log) {
        static const char debug[] = "Debug: ";
        writeAll(1, debug, sizeof(debug) - 1);
        writeAll(1, bytes, size);
        return;
    }
    const bool locked = log->LockForWrite();
    writeAll(log->m_file.handle(), bytes, size);
    if (locked) {
        log->m_writer.store(nullptr);
        log->m_mutex.unlock();
    }
}

int VLLogFile::CrashLogDescriptor()
{
    const VLLogFile *log = s_runLog.load();
    return log ? log->m_file.handle() : -1;
}

void VLLogFile::SetLockedWriteHook(void (*hook)())
{
    s_lockedWriteHook.store(hook);
}

QString VLLogFile::FileNameFor(const QDateTime &time)
{
    return time.toString(logFileNamePattern);
}

QDateTime VLLogFile::TimeOfFileName(const QString &fileName)
{
    return QDateTime::fromString(fileName, logFileNamePattern);
}
