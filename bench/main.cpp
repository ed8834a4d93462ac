// SPDX-License-Identifier: LGPL-2.1-or-later
//
// vela_bench: runs every benchmark in a private per-user data folder, then
// prints one line per figure.

#include "BenchFigures.h"

#include "BrushFactoryManager.h"
#include "GlobalApplicationData.h"
#include "VLPluginLoader.h"

#include <QDir>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return 1;
    qputenv("LOCALAPPDATA", QFile::encodeName(sandbox.path()));

    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    data->RegisterLogOutput(QStringLiteral("logs"));

    // The shipped plug-ins, loaded the way the editor loads them.
    VLPluginLoader::InitInstance();
    const QDir plugins(data->GetAppFolderPath() + QStringLiteral("/plugins"));
    QStringList files;
    for (const QFileInfo &entry : plugins.entryInfoList(QDir::Files, QDir::Name))
        files << entry.canonicalFilePath();
    VLPluginLoader::Instance()->LoadPlugins(files);
    BrushFactoryManager::InitInstance();

    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    QStringList lines = reporter.FigureLines();
    lines += RunAfterRunChecks();
    BrushFactoryManager::ReleaseInstance();
    VLPluginLoader::ReleaseInstance();
    GlobalApplicationData::ReleaseInstance();

    std::printf("\nVelaGlobal figures (library beside the floor of the same work, one run):\n");
    for (const QString &line : lines)
        std::printf("%s\n", line.toLocal8Bit().constData());
    benchmark::Shutdown();
    return 0;
}
