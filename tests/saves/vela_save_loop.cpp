// SPDX-License-Identifier: LGPL-2.1-or-later
//
// vela_save_loop FILE FIRSTROUND: saves FILE of the per-user data folder the
// way the editor does, round after round, until it is killed. After each
// save returns it prints the round's number on a line of its own.

#include "SaveLoop.h"

#include "GlobalApplicationData.h"
#include "UnitConverter.h"
#include "VLApplicationSettings.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "VLIOManager.h"

#include <QCoreApplication>
#include <QSize>

#include <cstdio>

namespace {

void save(const QString &file, int round)
{
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    const QStringList content = SaveLoop::Content(file, round);
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString file = app.arguments().value(1);
    GlobalApplicationData::InitInstance();
    GlobalApplicationData::Instance()->InitUserPreferences();
    VLIOManager::InitInstance();
    for (int round = app.arguments().value(2).toInt();; ++round) {
        save(file, round);
        std::printf("%d\n", round);
        std::fflush(stdout);
    }
}
