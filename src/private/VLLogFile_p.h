// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLLOGFILE_P_H
#define VLLOGFILE_P_H

#include <QFile>
#include <QMutex>
#include <QString>

/*
    The run's log file: one record per message, each followed by a line feed,
    written and flushed under the log mutex so that records of different
    threads never share a line. Nothing else is locked while the log mutex is
    held.
*/
class VLLogFile
{
public:
    //! Creates the folder, deletes every "*.txt" in it and opens a new file
    //! named by the current local time. Does nothing if a file is open.
    void Open(const QString &folder);

    bool IsOpen() const;
    //! The full path of the open file, or an empty string.
    QString FileName() const;

    //! Writes one record; false (and nothing written) when no file is open.
    bool Write(const QString &record);

    //! The file name of a log opened at the given moment.
    static QString FileNameFor(const QDateTime &time);

private:
    mutable QMutex m_mutex;
    QFile m_file;
};

#endif // VLLOGFILE_P_H
