// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLLOGFILE_P_H
#define VLLOGFILE_P_H

#include "VelaGlobalExport.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QString>

#include <atomic>
#include <cstddef>

/*
    The run's log file: one record per message, each followed by a line feed,
    written and flushed under the log mutex so that records of different
    threads never share a line. Nothing else is locked while the log mutex is
    held.

    A thread that failed in the middle of a write reports the failure through
    this same log, and a thread that failed while writing never lets go. So a
    thread that already holds the log mutex does not take it again, and once
    a crash is being reported the wait for another thread's write is bounded;
    in both cases the record goes to the standard streams instead (Write
    answers false). Until then every record waits for its turn.
*/
class VLLogFile
{
public:
    VLLogFile() = default;
    ~VLLogFile();
    VLLogFile(const VLLogFile &) = delete;
    VLLogFile &operator=(const VLLogFile &) = delete;

    //! Creates the folder, deletes every "*.txt" in it and opens a new file
    //! named by the current local time. Does nothing if a file is open.
    void Open(const QString &folder);

    bool IsOpen() const;
    //! The full path of the open file, or an empty string.
    QString FileName() const;

    //! Writes one record; false (and nothing written) when no file is open
    //! or the log mutex cannot be had.
    bool Write(const QString &record);

    //! From now on, for the rest of the process, a write waits only a bounded
    //! time for another thread's: the crash handler reports a failure.
    VELAGLOBAL_EXPORT static void EnterCrashPath();

    //! Writes a record of the crash path (its bytes made beforehand, the line
    //! feed included) to the open log of the run with write(2), after the
    //! crash path's bounded wait for the log mutex (an ordinary wait outside
    //! the crash path, for a dump asked for); when this thread holds the
    //! mutex (it failed inside a write) or the wait runs out, the record is
    //! written all the same: the line must reach the file a support engineer
    //! reads. Without an open log it goes to the standard output, as the
    //! library's messages do then. Allocates nothing.
    VELAGLOBAL_EXPORT static void WriteCrashRecord(const char *bytes, std::size_t size);

    //! The descriptor of the run's open log, opened for reading too, or -1.
    //! Allocates nothing: the dump writer reads the log's tail with it.
    VELAGLOBAL_EXPORT static int CrashLogDescriptor();

    //! A function run under the log mutex before each write, or null. Lets
    //! the crash tests fail, or stall, inside a write.
    VELAGLOBAL_EXPORT static void SetLockedWriteHook(void (*hook)());

    //! The file name of a log opened at the given moment.
    static QString FileNameFor(const QDateTime &time);
    //! The moment a log of that file name was opened; invalid for a name
    //! that is no log's.
    VELAGLOBAL_EXPORT static QDateTime TimeOfFileName(const QString &fileName);

private:
    bool LockForWrite();

    mutable QMutex m_mutex;
    std::atomic<Qt::HANDLE> m_writer{nullptr};
    // Set after a bounded wait of the crash path ran out; later writes then do
    // not wait at all until the mutex is had again.
    std::atomic<bool> m_stalled{false};
    QFile m_file;
};

#endif // VLLOGFILE_P_H
