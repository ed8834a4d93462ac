// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLLogFile_p.h"

#include <QDateTime>
#include <QDir>
#include <QMutexLocker>
#include <QThread>

namespace {

// Far longer than any write takes.
constexpr int writeWaitMs = 2000;

std::atomic<void (*)()> s_lockedWriteHook{nullptr};

} // namespace

void VLLogFile::Open(const QString &folder)
{
    QMutexLocker locker(&m_mutex);
    if (m_file.isOpen())
        return;

    QDir dir;
    if (!dir.mkpath(folder))
        return;

    // Each run keeps only its own log: every earlier .txt file goes,
    // whoever made it.
    const QDir logDir(folder);
    const QStringList oldLogs =
        logDir.entryList(QStringList(QStringLiteral("*.txt")), QDir::Files, QDir::NoSort);
    for (const QString &name : oldLogs)
        QFile::remove(logDir.filePath(name));

    m_file.setFileName(folder + QDir::separator() + FileNameFor(QDateTime::currentDateTime()));
    // Unbuffered: each record reaches the system in the one write call.
    m_file.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered);
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
        m_file.write(bytes);
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
    const bool locked = m_mutex.tryLock(m_stalled.load() ? 0 : writeWaitMs);
    m_stalled.store(!locked);
    if (locked)
        m_writer.store(self);
    return locked;
}

void VLLogFile::SetLockedWriteHook(void (*hook)())
{
    s_lockedWriteHook.store(hook);
}

QString VLLogFile::FileNameFor(const QDateTime &time)
{
    return QStringLiteral("%1.txt").arg(time.toString(QStringLiteral("dd-MM-yyyy_hh-mm-ss")));
}
