// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The settings store: one GetValue on files of 10, 100 and 1,000 keys,
// against a QSettings opened on the same file for each read.

#include "BenchFigures.h"

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"

#include <QSettings>

namespace {

QString settingsFile(int keys)
{
    const QString path = GlobalApplicationData::Instance()->GetAppDataFolderPath()
                         + QStringLiteral("bench-%1.ini").arg(keys);
    QSettings settings(path, QSettings::IniFormat);
    if (settings.allKeys().size() != keys) {
        settings.clear();
        for (int i = 0; i < keys; ++i)
            settings.setValue(QStringLiteral("Group%1/Key%2").arg(i / 10).arg(i),
                              QStringLiteral("value number %1").arg(i));
    }
    return path;
}

QString lookedUpKey(int keys)
{
    const int last = keys - 1;
    return QStringLiteral("Group%1/Key%2").arg(last / 10).arg(last);
}

void SettingsGetValue(benchmark::State &state)
{
    const int keys = int(state.range(0));
    const QString previous = VLApplicationSettings::GetFileName();
    VLApplicationSettings::SetFileName(settingsFile(keys));
    const QString key = lookedUpKey(keys);
    for (auto _ : state)
        benchmark::DoNotOptimize(VLApplicationSettings::GetValue(key));
    VLApplicationSettings::SetFileName(previous);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SettingsGetValue)->Arg(10)->Arg(100)->Arg(1000);

void SettingsGetValueFloor(benchmark::State &state)
{
    const int keys = int(state.range(0));
    const QString path = settingsFile(keys);
    const QString key = lookedUpKey(keys);
    for (auto _ : state) {
        const QSettings settings(path, QSettings::IniFormat);
        benchmark::DoNotOptimize(settings.value(key));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SettingsGetValueFloor)->Arg(10)->Arg(100)->Arg(1000);

const bool figures = [] {
    for (int keys : {10, 100, 1000}) {
        const std::string arg = '/' + std::to_string(keys);
        FigureRegistry::Add({QStringLiteral("settings store, %1 keys").arg(keys),
                             "SettingsGetValue" + arg, "SettingsGetValueFloor" + arg,
                             Figure::Report, QStringLiteral("report")});
    }
    return true;
}();

} // namespace
