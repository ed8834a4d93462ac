// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_SAVELOOP_H
#define VELA_SAVELOOP_H

#include "GlobalApplicationData.h"
#include "UnitConverter.h"
#include "VLApplicationSettings.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "VLIOManager.h"

#include <QSize>
#include <QStringList>

/*
    What round N of the save loop leaves in a file of the per-user data
    folder, as the library reads it back. Each round's content differs from
    every other round's; long entries make a save take a while, so that kills
    land inside it.
*/
namespace SaveLoop {

inline QStringList Content(const QString &file, int round)
{
    const auto tagged = [](int taggedRound, int length) {
        return QStringLiteral("/round/%1/").arg(taggedRound) + QString(length, QLatin1Char('v'));
    };
    QStringList content;
    if (file == QLatin1String("kelvane.ini") || file == QLatin1String("properties.xml")) {
        content << tagged(round, 1 << 19);
    } else if (file == QLatin1String("units_user.ini")) {
        for (int unit = 0; unit < 3000; ++unit)
            content << tagged(round, 0) + QString::number(unit);
    } else if (file == QLatin1String("settings.ini")) {
        // One record a round, newest first; the recent list keeps 15.
        for (int added = round; added > 0 && added > round - 15; --added)
            content << tagged(added, 1 << 14);
    } else {
        // Export lists: the first entry follows the round, 3000 more stay.
        const bool sizes = file == QLatin1String("ExportAndShareSize.ini");
        content << (sizes ? QString::number(round + 1)
                          : QStringLiteral("%1x1").arg(1 + round % 10000));
        for (int entry = 1; entry <= 3000; ++entry)
            content << (sizes ? QString::number(entry * 1000 + 7)
                              : QStringLiteral("%1x2").arg(entry));
    }
    return content;
}

// Saves round N the way the editor does.
inline void Save(const QString &file, int round)
{
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    const QStringList content = Content(file, round);
    const QString first = content.first();
    if (file == QLatin1String("kelvane.ini")) {
        VLApplicationSettings::SetValue(QStringLiteral("Saves/Round"), first);
    } else if (file == QLatin1String("properties.xml")) {
        data->SetLastVisitedFolder(first);
        data->SaveUserPreferences();
    } else if (file == QLatin1String("units_user.ini")) {
        QList<UnitItem> units;
        for (const QString &name : content)
            units.append({name, QStringLiteral("u"), 2.54f, false});
        data->SetCustomUnitList(units);
    } else if (file == QLatin1String("settings.ini")) {
        VLIOManager::Instance()->AddToRecent({first, QStringLiteral("PNG")});
    } else if (file == QLatin1String("ExportAndShareSize.ini")) {
        VLExportSizes::Set(0, first.toLongLong());
    } else {
        const QStringList size = first.split(QLatin1Char('x'));
        VLExportResolutions::Set(0, QSize(size.at(0).toInt(), size.at(1).toInt()));
    }
}

// The file as the library reads it at the next start of the editor.
inline QStringList Stored(const QString &file)
{
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    QStringList stored;
    if (file == QLatin1String("kelvane.ini")) {
        stored << VLApplicationSettings::GetValue(QStringLiteral("Saves/Round"), QVariant())
                      .toString();
    } else if (file == QLatin1String("properties.xml")) {
        data->InitUserPreferences();
        stored << data->LastVisitedFolder();
    } else if (file == QLatin1String("units_user.ini")) {
        QList<UnitItem> units;
        LoadUnits(units, data->GetAppDataFolderPath() + file, false);
        for (const UnitItem &unit : units)
            stored << unit.name;
    } else if (file == QLatin1String("settings.ini")) {
        VLIOManager::InitInstance();
        for (const VLIOManager::RecentRecord &record : VLIOManager::Instance()->GetRecent())
            stored << record.first;
        VLIOManager::ReleaseInstance();
    } else if (file == QLatin1String("ExportAndShareSize.ini")) {
        for (const qint64 size : VLExportSizes::GetList())
            stored << QString::number(size);
    } else {
        for (const QSize &size : VLExportResolutions::GetList())
            stored << QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    }
    GlobalApplicationData::ReleaseInstance();
    return stored;
}

} // namespace SaveLoop

#endif // VELA_SAVELOOP_H
