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
#include <QFileInfo>
#include <QPluginLoader>

#include <algorithm>
#include <iterator>
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
    // A library that refused to unload stays in memory, and its loader with
    // it, for the rest of the process: kept where leak checkers see it kept.
    static auto *const keptLoaders = new QList<QPluginLoader *>;
    keptLoaders->append(loaded);
}

void VLPluginLoaderPrivate::UnloadAll()
{
    UnloadLoaders(std::exchange(loaded, {}));
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
    // The file that the existence test found: Qt would look for a relative
    // path in its library paths only.
    auto *loader = new QPluginLoader(QFileInfo(fileName).absoluteFilePath());
    // Qt 5 and 6 keep an unloaded plug-in mapped unless told otherwise; the
    // editor expects an unloaded file to be really gone, as it was in Qt 4.
    loader->setLoadHints(QLibrary::LoadHints());
    // Loaded through this loader itself, so that it holds a reference of its
    // own even when another loader has the same file loaded already.
    loader->load();
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
    // Every loader holds a reference to its library, so one file loaded under
    // two path texts refuses to unload through the first of its loaders only
    // because a later one of the same list still holds it. Each such loader
    // waits for the last one of its file: the outcome of that one, the
    // library gone or kept, is the outcome of them all.
    QList<QPluginLoader *> waiting;
    for (int i = 0; i < loaders.size(); ++i) {
        QPluginLoader *loader = loaders.at(i);
        const QString fileName = loader->fileName();
        const bool unloaded = loader->unload();
        const auto sameFile = [&fileName](QPluginLoader *other) {
            return other->fileName() == fileName;
        };
        if (!unloaded && std::any_of(loaders.begin() + i + 1, loaders.end(), sameFile)) {
            waiting.append(loader);
            continue;
        }
        QList<QPluginLoader *> outcome;
        std::copy_if(waiting.begin(), waiting.end(), std::back_inserter(outcome), sameFile);
        waiting.erase(std::remove_if(waiting.begin(), waiting.end(), sameFile), waiting.end());
        outcome.append(loader);
        for (QPluginLoader *member : outcome)
            ReportUnload(member, fileName, unloaded);
    }
}

void VLPluginLoaderPrivate::ReportUnload(QPluginLoader *loader, const QString &fileName,
                                         bool unloaded)
{
    Q_Q(VLPluginLoader);
    if (unloaded) {
        delete loader;
        VL_LOG(QStringLiteral("Plugin: \"%1\" is unloaded successfully.").arg(fileName));
        states[fileName].state = VLPluginLoader::PluginUnloaded;
        Q_EMIT q->UnloadComplete(fileName);
    } else {
        // Another holder keeps the library in memory: the plug-in stays
        // loaded and goes to the back of the list. Qt dropped this loader's
        // reference all the same; it is taken back, so that the library
        // stays for as long as anything listed points into it.
        loader->load();
        loaded.append(loader);
        VL_LOG(QStringLiteral("Plugin: \"%1\" unloading error.").arg(fileName));
        states[fileName].state = VLPluginLoader::PluginUnloadError;
        Q_EMIT q->UnloadError(fileName);
    }
}
