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
    enum UseDataRole {
        ColorManagementWorkingProfileId = 1,
        MiscellaneousCheckForUpdate = 2,
        UpdateRemind = 3,
        UpdateRemindDate = 4
    };

    static void SetFileName(const QString &fileName);
    static QString GetFileName();

    //! The key of a well-known setting; a null string for an unknown role.
    static QString GetName(UseDataRole role);

    static QVariant GetValue(const QString &key, const QVariant &defaultValue = QVariant());
    static void SetValue(const QString &key, const QVariant &value);
    static bool Contains(const QString &key);

private:
    VLApplicationSettings() = delete;

    static QString m_fileName;
};

#endif // VLAPPLICATIONSETTINGS_H
