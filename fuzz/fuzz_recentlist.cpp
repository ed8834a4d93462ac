// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The I/O manager over a garbage "RecentFiles" value: the load reads at most
// 15 records without crashing or allocating beyond the value's own size, and
// the list still takes a record and saves.

#include "FuzzSupport.h"

#include "GlobalApplicationData.h"
#include "VLIOManager.h"

#include <QDir>
#include <QSettings>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool started = [] {
        VelaFuzz::WorkFolder();
        GlobalApplicationData::InitInstance();
        return true;
    }();
    Q_UNUSED(started);

    const QString path = GlobalApplicationData::Instance()->GetAppDataFolderPath()
                         + QDir::separator() + QStringLiteral("settings.ini");
    QSettings(path, QSettings::IniFormat)
        .setValue(QStringLiteral("Recent/RecentFiles"),
                  QByteArray(reinterpret_cast<const char *>(data), int(size)));

    VLIOManager::InitInstance();
    VLIOManager *manager = VLIOManager::Instance();
    if (manager->GetRecent().size() > 15)
        std::abort();
    manager->AddToRecent({QStringLiteral("/fuzz.png"), QStringLiteral("PNG")});
    if (manager->GetRecent().size() > 15)
        std::abort();
    VLIOManager::ReleaseInstance();
    return 0;
}
