// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLApplicationSettings.h"

#include "private/VLSaveFile_p.h"

#include "private/VLIniFile_p.h"

QString VLApplicationSettings::m_fileName;

void VLApplicationSettings::SetFileName(const QString &fileName)
{
    m_fileName = fileName;
}

QString VLApplicationSettings::GetFileName()
{
    return m_fileName;
}

QString VLApplicationSettings::GetName(UseDataRole role)
{
    switch (role) {
    case ColorManagementWorkingProfileId:
        return QStringLiteral("ColorManagement/WorkingProfileID");
    case MiscellaneousCheckForUpdate:
        return QStringLiteral("Miscellaneous/CheckForUpdate");
    case UpdateRemind:
        return QStringLiteral("Update/Remind");
    case UpdateRemindDate:
        return QStringLiteral("Update/RemindDate");
    }
    return QString();
}

// A fresh QSettings per call: the file is re-read every time, and a write
// reaches it before the call returns.
QVariant VLApplicationSettings::GetValue(const QString &key, const QVariant &defaultValue)
{
    // A value that QSettings cannot decode reads as no value, as it does
    // until QSettings writes the file again (as "@Invalid()").
    const QVariant value = VLIniFile(GetFileName()).value(key);
    return value.isValid() ? value : defaultValue;
}

void VLApplicationSettings::SetValue(const QString &key, const QVariant &value)
{
    VLSaveFile::EditSettings(GetFileName(),
                             [&](QSettings &settings) { settings.setValue(key, value); });
}

bool VLApplicationSettings::Contains(const QString &key)
{
    return GetValue(key).isValid();
}
