// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLSAVEFILE_P_H
#define VLSAVEFILE_P_H

#include "VelaGlobalExport.h"

#include <QFileDevice>
#include <QString>

#include <functional>

class QIODevice;
class QSettings;

/*
    How every file of the library is saved: whole or not at all where the
    folder lets a new file be made beside the old one (written to a temporary
    file and renamed over it once complete), and in place where it does not
    (a folder the user may not create files in, an immutable folder, some
    network and sync folders), so that such a file is still saved.

    What the library creates is its user's private data, as a profile folder
    is on Windows: new folders are its owner's alone (0700), new files too
    (0600). Folders and files that exist keep their modes: a user or an
    administrator may have chosen them.
*/
namespace VLSaveFile {

//! Replaces the file at path with what write() produces. False when neither
//! way could write it; in the atomic way the old file is then left whole.
VELAGLOBAL_EXPORT bool Write(const QString &path, const std::function<void(QIODevice &)> &write);

//! The permissions of a file the library creates.
constexpr QFileDevice::Permissions PrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

//! Creates the folder and every missing folder above it, each private to
//! its owner. True when the folder exists afterwards.
VELAGLOBAL_EXPORT bool MakeFolder(const QString &path);

//! Changes the ini file at path: edit() is given the file's settings and
//! what it leaves is written by the rule above. QSettings writes the file
//! itself only where no temporary folder can be made: it renames a temporary
//! file whose write failed (a full disk) over the old one. A file that
//! cannot be written is left as it was, and the editor goes on without it;
//! so is a file that cannot be read (see VLIniFile), and the edit is dropped.
VELAGLOBAL_EXPORT void EditSettings(const QString &path,
                                    const std::function<void(QSettings &)> &edit);

} // namespace VLSaveFile

#endif // VLSAVEFILE_P_H
