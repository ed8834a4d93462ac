// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLPluginLoader_p.h"

#include "IPluginContainer.h"
#include "IToolContainer.h"
#include "KVImageFileManager.h"
#include "KVImageFilePlugin.h"
#include "private/VLLogLine_p.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPluginLoader>

#include <utility>

namespace {

// Seconds as the log lines print them: 125 ms reads 0.125, 2000 ms reads 2.
QString secondsText(qint64 elapsedMs)
{
    return QStringLiteral("%1").arg(elapsedMs / 1000.0);
}

// A refused plug-in that gave a root object: the library goes, and the Qt
// loader with it once control is back in the event loop.
void discard(QPluginLoader *loader)
{
    loader->unload();
    loader->deleteLater();
}

} // namespace

VLPluginLoaderPrivate::VLPluginLoaderPrivate(VLPluginLoader *q)
    : q_ptr(q)
{
}

VLPluginLoaderPrivate::~VLPluginLoaderPrivate()
{
    UnloadLoaders(std::exchange(loaded, {}));
    // A library that refused to unload stays in memory, and its loader with
    // it, for the rest of the process: kept where leak checkers see it kept.
    static auto *const keptLoaders = new QList<QPluginLoader *>;
    keptLoaders->append(loaded);
}

QPluginLoader *VLPluginLoaderPrivate::FindLoaded(const QString &fileName) const
{
    for (QPluginLoader *loader : loaded) {
        if (loader->fileName() == fileName)
            return loader;
    }
    return nullptr;
}

QStringList VLPluginLoaderPrivate::Load(const QStringList &fileNames)
{
    Q_Q(VLPluginLoader);

    // Already loaded names are dropped once, up front; a name given twice
    // is still tried twice.
    QStringList pending;
    for (const QString &fileName : fileNames) {
        if (!FindLoaded(fileName))
            pending.append(fileName);
    }

    QStringList result;
    for (const QString &fileName : pending) {
        // Slots may call back into the loader, so the record is looked up
        // anew after every signal.
        PluginStateRecord &record = states[fileName];
        record.state = VLPluginLoader::PluginLoading;
        record.fileName = fileName;
        record.info.clear();
        Q_EMIT q->LoadBegin(fileName);
        QCoreApplication::processEvents(QEventLoop::AllEvents);

        if (!QFile::exists(fileName)) {
            states[fileName].state = VLPluginLoader::PluginMissingFile;
            Q_EMIT q->LoadError(fileName, QStringLiteral("Missing file"));
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            continue;
        }

        const LoadResult outcome = LoadOne(fileName);
        const QString seconds = secondsText(outcome.elapsedMs);
        if (outcome.loader) {
            loaded.append(outcome.loader);
            const QString reportedName = outcome.loader->fileName();
            result.append(reportedName);
            VL_LOG(QStringLiteral("Plugin: \"%1\" loaded successfully. Loading time is %2 sec.")
                       .arg(reportedName, seconds));
            PluginStateRecord &loadedRecord = states[fileName];
            loadedRecord.state = VLPluginLoader::PluginLoaded;
            loadedRecord.loadTime = int(outcome.elapsedMs);
            Q_EMIT q->LoadComplete(fileName);
        } else {
            VL_LOG(QStringLiteral("Plugin: \"%1\" loading error. Loading time is %2 sec. Error "
                                  "message is \"%3\".")
                       .arg(fileName, seconds, outcome.error));
            PluginStateRecord &failedRecord = states[fileName];
            failedRecord.state = VLPluginLoader::PluginLoadError;
            failedRecord.loadTime = int(outcome.elapsedMs);
            failedRecord.info = outcome.error;
            Q_EMIT q->LoadError(fileName, outcome.error);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return result;
}

VLPluginLoaderPrivate::LoadResult VLPluginLoaderPrivate::LoadOne(const QString &fileName)
{
    QElapsedTimer timer;
    timer.start();

    LoadResult result;
    auto *loader = new QPluginLoader(fileName);
    // Qt 5 and 6 keep an unloaded plug-in mapped unless told otherwise; the
    // editor expects an unloaded file to be really gone, as it was in Qt 4.
    loader->setLoadHints(QLibrary::LoadHints());
    QObject *root = loader->instance();
    if (!root) {
        result.error = loader->errorString();
        delete loader;
    } else if (IToolContainer *tools = qobject_cast<IToolContainer *>(root)) {
        tools->OnLoaded();
        result.loader = loader;
    } else if (IPluginContainer *container = qobject_cast<IPluginContainer *>(root)) {
        container->OnLoaded();
        const QList<QObject *> objects = container->GetPluginObjects();
        if (objects.isEmpty()) {
            result.error = QStringLiteral("Empty container.");
            discard(loader);
        } else {
            RegisterImageFilePlugins(objects);
            result.loader = loader;
        }
    } else {
        result.error = QStringLiteral("Is not an kelvane plugin.");
        discard(loader);
    }
    result.elapsedMs = timer.elapsed();
    return result;
}

void VLPluginLoaderPrivate::RegisterImageFilePlugins(const QList<QObject *> &objects)
{
    KVImageFileManager *manager = KVImageFileManager::GetInstance();
    if (!manager)
        return;
    for (QObject *object : objects) {
        // Only an object of the editor's plug-in base class can be asked
        // for its kind; anything else is not an image-file plug-in.
        auto *plugin = qobject_cast<KVImageFilePlugin *>(object);
        if (plugin && plugin->GetPluginKind() == KVImageFilePlugin::ImageFileKind)
            manager->Register(plugin);
    }
}

void VLPluginLoaderPrivate::Unload(const QStringList &fileNames)
{
    // Taken in load order, whatever the order of the names.
    QList<QPluginLoader *> leaving;
    for (auto it = loaded.begin(); it != loaded.end();) {
        if (fileNames.contains((*it)->fileName())) {
            leaving.append(*it);
            it = loaded.erase(it);
        } else {
            ++it;
        }
    }
    UnloadLoaders(leaving);
}

void VLPluginLoaderPrivate::UnloadLoaders(const QList<QPluginLoader *> &loaders)
{
    Q_Q(VLPluginLoader);
    for (QPluginLoader *loader : loaders) {
        const QString fileName = loader->fileName();
        if (loader->unload()) {
            delete loader;
            VL_LOG(QStringLiteral("Plugin: \"%1\" is unloaded successfully.").arg(fileName));
            states[fileName].state = VLPluginLoader::PluginUnloaded;
            Q_EMIT q->UnloadComplete(fileName);
        } else {
            // Another holder keeps the library in memory: the plug-in stays
            // loaded and goes to the back of the list.
            loaded.append(loader);
            VL_LOG(QStringLiteral("Plugin: \"%1\" unloading error.").arg(fileName));
            states[fileName].state = VLPluginLoader::PluginUnloadError;
            Q_EMIT q->UnloadError(fileName);
        }
    }
}
