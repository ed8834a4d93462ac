// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLSaveFile_p.h"

#include "private/VLIniFile_p.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace VLSaveFile {

namespace {

// Longer than any other writer holds the file.
constexpr int lockWaitMs = 5000;

} // namespace

bool MakeFolder(const QString &path)
{
    const QString folder = QDir(path).absolutePath();
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).path();
    if (parent == folder || !MakeFolder(parent))
        return false;
#ifdef Q_OS_WIN
    // The profile's own access rules apply.
    return QDir().mkdir(folder) || QFileInfo(folder).isDir();
#else
    // Made here or by another process meanwhile: either way it is there.
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return QFileInfo(folder).isDir();
#endif
}

bool Write(const QString &path, const std::function<void(QIODevice &)> &write)
{
    const bool created = !QFileInfo::exists(path);
    QSaveFile file(path);
    // Qt writes in place by itself where the folder refuses this user.
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly)) {
        // Qt gives a new file the default mode, an existing one its own.
        if (created)
            file.setPermissions(PrivateFile);
        write(file);
        // Qt renames a temporary file whose buffered last write failed (a
        // full disk) over the old one: the write is checked here first.
        if (!file.flush() || file.error() != QFileDevice::NoError)
            file.cancelWriting();
        return file.commit();
    }
    // A folder that refuses new files to everyone (an immutable folder) still
    // lets an existing file be written in place. Where the folder takes new
    // files the failure has another cause, a full disk for one, and the old
    // file is left as it is.
    const QFileInfo info(path);
    if (!info.isFile() || QFileInfo(info.path()).isWritable())
        return false;
    QFile existing(path);
    if (!existing.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    write(existing);
    return existing.flush() && existing.error() == QFileDevice::NoError;
}

void EditSettings(const QString &path, const std::function<void(QSettings &)> &edit)
{
    // Writers of other processes take turns, as QSettings has them do; where
    // no lock file can be made (a full disk, a closed folder) the write goes
    // on without it.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.tryLock(lockWaitMs);

    // The new text is made by QSettings itself, in a file of its own.
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        // No temporary folder to make the text in: QSettings writes the file
        // itself as it goes out of scope, atomically where it can, under
        // the same lock file.
        lock.unlock();
        QSettings settings(path, QSettings::IniFormat);
        if (VLIniFile::ReadAll(settings))
            edit(settings);
        return;
    }
    const QString textPath = scratch.filePath(QStringLiteral("settings.ini"));
    {
        // A file that cannot be read is left as it is, and the edit with it.
        const QSettings current(path, QSettings::IniFormat);
        if (!VLIniFile::ReadAll(current))
            return;
        QSettings text(textPath, QSettings::IniFormat);
        const QStringList keys = current.allKeys();
        for (const QString &key : keys)
            text.setValue(key, current.value(key));
        edit(text);
    }
    QFile text(textPath);
    if (!text.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = text.readAll();
    const QDateTime before = QFileInfo(path).lastModified();
    if (!Write(path, [&bytes](QIODevice &device) { device.write(bytes); }))
        return;
    // QSettings knows a file it has read by its size and its time to the
    // millisecond: a new text written within the millisecond of the old one
    // is given a later time, or a read that follows in this process could
    // answer from the old text.
    QFile written(path);
    if (before.isValid() && QFileInfo(path).lastModified() <= before
        && written.open(QIODevice::ReadOnly))
        written.setFileTime(before.addMSecs(1), QFileDevice::FileModificationTime);
}

} // namespace VLSaveFile
