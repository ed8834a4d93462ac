// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VLAPPLICATIONSETTINGS_H
#define VLAPPLICATIONSETTINGS_H

#include "VelaGlobalExport.h"

#include <QString>
#include <QVariant>

/*!
    The key/value store for the user's simple settings: one ini file,
    "kelvane.ini" in the per-user data folder once GlobalApplicationData has
    named it. Nothing is cached: every call opens the file, does one thing and
    closes it, so a value written is on disk before the call returns and is
    seen by every later call, in this process or another.
*/
class VELAGLOBAL_EXPORT VLApplicationSettings
{
public:
    //! Well-known settings, named by GetName().
    enum UseDataRole {
        //! "ColorManagement/WorkingProfileID": the working colour profile.
        ColorManagementWorkingProfileId = 1,
        //! "Miscellaneous/CheckForUpdate": whether the editor checks for updates.
        MiscellaneousCheckForUpdate = 2,
        //! "Update/Remind": whether the editor reminds of an update.
        UpdateRemind = 3,
        //! "Update/RemindDate": when the editor reminds of an update next.
        UpdateRemindDate = 4
    };

    //! Names the settings file; GlobalApplicationData names "kelvane.ini" in
    //! the per-user data folder.
    static void SetFileName(const QString &fileName);
    //! The settings file's path; empty until one is named.
    static QString GetFileName();

    //! The key of a well-known setting; a null string for an unknown role.
    static QString GetName(UseDataRole role);

    //! The value stored under \a key ("group/name" for an ini group), or
    //! \a defaultValue when there is none.
    static QVariant GetValue(const QString &key, const QVariant &defaultValue = QVariant());
    //! Stores \a value under \a key and writes the file.
    static void SetValue(const QString &key, const QVariant &value);
    //! Whether a value is stored under \a key.
    static bool Contains(const QString &key);

private:
    VLApplicationSettings() = delete;

    static QString m_fileName;
};

#endif // VLAPPLICATIONSETTINGS_H
