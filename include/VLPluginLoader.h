// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VLPLUGINLOADER_H
#define VLPLUGINLOADER_H

#include "VelaGlobalExport.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class VLPluginLoaderPrivate;

/*!
    The library's one plug-in loader.

    The editor hands it plug-in files; each is loaded as a Qt plug-in whose
    root object must be an IToolContainer or an IPluginContainer. Loaded
    plug-ins are kept in load order, and GetPlugins() is the list that the
    brush registry and the I/O manager scan. Every path ever loaded or
    unloaded keeps a state record. Loading processes pending events between
    files so that a progress display stays alive.
*/
class VELAGLOBAL_EXPORT VLPluginLoader : public QObject
{
    Q_OBJECT

public:
    VL_DECLARE_TRUTF8

    //! The state of a plug-in path, as GetState() answers it.
    enum PluginState {
        //! The path has no record.
        PluginUnknown = 0,
        //! A load of the path has started.
        PluginLoading = 1,
        //! The file exists but was refused as a plug-in.
        PluginLoadError = 2,
        //! Loaded and accepted.
        PluginLoaded = 3,
        //! Its library failed to unload; the plug-in stays loaded.
        PluginUnloadError = 5,
        //! Unloaded.
        PluginUnloaded = 6,
        //! The file did not exist when its load started.
        PluginMissingFile = 7
    };
    Q_ENUM(PluginState)

    //! Creates the loader; does nothing if it exists.
    static void InitInstance();
    //! The loader, or null before InitInstance() and after ReleaseInstance().
    static VLPluginLoader *Instance();
    //! Unloads every plug-in and destroys the loader; does nothing without one.
    static void ReleaseInstance();

    //! Loads the files that are not loaded yet, in order; returns the names
    //! (as the Qt loader reports them) of those loaded by this call.
    QStringList LoadPlugins(const QStringList &fileNames);
    //! Loads one file; its reported name, or an empty string if it was not
    //! loaded by this call.
    QString LoadPlugin(const QString &fileName);
    //! Unloads the loaded plug-ins among the names, in load order.
    void UnloadPlugins(const QStringList &fileNames);
    //! Unloads one plug-in, as UnloadPlugins() does.
    void UnloadPlugin(const QString &fileName);

    //! The root object of the first loaded plug-in reported under the name.
    QObject *GetPlugin(const QString &fileName) const;
    //! The root objects of the loaded plug-ins, in load order.
    QList<QObject *> GetPlugins() const;
    //! Every path with a state record, in ascending order.
    QList<QString> GetLoadList() const;
    //! The path's last state, or PluginUnknown for a path without a record.
    PluginState GetState(const QString &fileName) const;
    //! The error text of the path's last failed load; empty otherwise.
    QString GetStateInfo(const QString &fileName) const;

Q_SIGNALS:
    //! A load failed: the file is missing or was refused. \a fileName is the
    //! path as given, \a errorString says why.
    void LoadError(const QString &fileName, const QString &errorString);
    //! The load of \a fileName, the path as given, starts.
    void LoadBegin(const QString &fileName);
    //! The plug-in at \a fileName, the path as given, was loaded and accepted.
    void LoadComplete(const QString &fileName);
    //! The library of the plug-in the Qt loader reports as \a fileName failed
    //! to unload.
    void UnloadError(const QString &fileName);
    //! The plug-in the Qt loader reports as \a fileName was unloaded.
    void UnloadComplete(const QString &fileName);

private:
    explicit VLPluginLoader(QObject *parent = nullptr);
    ~VLPluginLoader() override;
    Q_DISABLE_COPY(VLPluginLoader)

    static VLPluginLoader *m_pInstance;

    std::unique_ptr<VLPluginLoaderPrivate> d_ptr;
    Q_DECLARE_PRIVATE(VLPluginLoader)
};

#endif // VLPLUGINLOADER_H
