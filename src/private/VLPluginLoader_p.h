// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLPLUGINLOADER_P_H
#define VLPLUGINLOADER_P_H

#include "VLPluginLoader.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class QPluginLoader;

//! What the loader remembers of one path.
struct PluginStateRecord
{
    int state = VLPluginLoader::PluginUnknown;
    QString fileName; //!< the path as given to the load that last started
    QString info;     //!< the error text of the last failed load
    int loadTime = 0; //!< milliseconds taken by the last load attempt
};

class VLPluginLoaderPrivate
{
    Q_DECLARE_PUBLIC(VLPluginLoader)

public:
    explicit VLPluginLoaderPrivate(VLPluginLoader *q);
    //! Keeps what UnloadAll could not unload in memory for good.
    ~VLPluginLoaderPrivate();

    //! Unloads every loaded plug-in, announcing each through the owner.
    void UnloadAll();

    QStringList Load(const QStringList &fileNames);
    void Unload(const QStringList &fileNames);

    //! The loaded plug-in reported under the name, or null.
    QPluginLoader *FindLoaded(const QString &fileName) const;

    VLPluginLoader *q_ptr;
    //! One Qt loader per loaded plug-in, in load order; owned.
    QList<QPluginLoader *> loaded;
    QMap<QString, PluginStateRecord> states;

private:
    //! The outcome of loading one file.
    struct LoadResult
    {
        QPluginLoader *loader = nullptr; //!< null when refused
        QString error;
        qint64 elapsedMs = 0;
    };

    static LoadResult LoadOne(const QString &fileName);
    static void RegisterImageFilePlugins(const QList<QObject *> &objects);
    //! Unloads the loaders in order; those that refuse go back to the end
    //! of the loaded list.
    void UnloadLoaders(const QList<QPluginLoader *> &loaders);
    //! Logs, records and announces one loader's unload, deleting the loader
    //! or putting it back at the end of the loaded list.
    void ReportUnload(QPluginLoader *loader, const QString &fileName, bool unloaded);
};

#endif // VLPLUGINLOADER_P_H
