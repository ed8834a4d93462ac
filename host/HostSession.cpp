// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostSession.h"

#include "BrushFactoryManager.h"
#include "GlobalApplicationData.h"
#include "KVImageFileManager.h"
#include "VLIOManager.h"
#include "VLPluginLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

// In the form the Qt loader reports them, so that their load and unload
// records coincide.
QStringList HostSession::ShippedPluginFiles(const QString &appFolder)
{
    const QDir folder(appFolder + QDir::separator() + QStringLiteral("plugins"));
    QStringList files;
    const QFileInfoList entries = folder.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (QLibrary::isLibrary(entry.fileName()))
            files << entry.canonicalFilePath();
    }
    return files;
}

HostSession::HostSession()
    : HostSession(Options())
{
}

HostSession::HostSession(const Options &options)
{
    //! [start-up]
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    data->SetBuildString(QCoreApplication::applicationName() + QLatin1Char(' ')
                         + QCoreApplication::applicationVersion());
    data->RegisterLogOutput(options.logFolder);
    data->CreateLanguageMap();
    data->InitUserPreferences();
    data->InstallProcessExceptionHandler();
    data->InstallThreadExceptionHandler();

    // The editor's image-file manager is there before plug-ins register with it.
    KVImageFileManager::CreateInstance();
    VLPluginLoader::InitInstance();
    QStringList pluginFiles;
    if (options.loadShippedPlugins)
        pluginFiles = ShippedPluginFiles(data->GetAppFolderPath());
    pluginFiles += options.pluginFiles;
    if (!pluginFiles.isEmpty())
        VLPluginLoader::Instance()->LoadPlugins(pluginFiles);
    BrushFactoryManager::InitInstance();
    VLIOManager::InitInstance();
    //! [start-up]
}

HostSession::~HostSession()
{
    //! [shut-down]
    VLIOManager::ReleaseInstance();
    BrushFactoryManager::ReleaseInstance();
    // Nothing keeps pointing into a plug-in once it is unloaded.
    KVImageFileManager::ReleaseInstance();
    VLPluginLoader::ReleaseInstance();
    GlobalApplicationData::ReleaseInstance();
    //! [shut-down]
}
