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
*/
namespace VLSaveFile {

//! Replaces the file at path with what write() produces. False when neither
//! way could write it; in the atomic way the old file is then left whole.
VELAGLOBAL_EXPORT bool Write(const QString &path, const std::function<void(QIODevice &)> &write);

//! Changes the ini file at path: edit() is given the file's settings and
//! what it leaves is written by the rule above. QSettings is never left to
//! write the file itself: it renames a temporary file whose write failed (a
//! full disk) over the old one. False when the file could not be written.
VELAGLOBAL_EXPORT bool EditSettings(const QString &path,
                                    const std::function<void(QSettings &)> &edit);

} // namespace VLSaveFile

#endif // VLSAVEFILE_P_H
