// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLPluginLoader.h"

#include "private/VLPluginLoader_p.h"

#include <QPluginLoader>

VLPluginLoader *VLPluginLoader::m_pInstance = nullptr;

void VLPluginLoader::InitInstance()
{
    if (!m_pInstance)
        m_pInstance = new VLPluginLoader;
}

VLPluginLoader *VLPluginLoader::Instance()
{
    return m_pInstance;
}

void VLPluginLoader::ReleaseInstance()
{
    if (!m_pInstance)
        return;
    delete m_pInstance;
    m_pInstance = nullptr;
}

VLPluginLoader::VLPluginLoader(QObject *parent)
    : QObject(parent)
    , d_ptr(new VLPluginLoaderPrivate(this))
{
}

VLPluginLoader::~VLPluginLoader()
{
    // The plug-ins go while the object is whole: slots of the unload signals
    // may still call GetState or GetPlugins.
    Q_D(VLPluginLoader);
    d->UnloadAll();
}

QStringList VLPluginLoader::LoadPlugins(const QStringList &fileNames)
{
    Q_D(VLPluginLoader);
    return d->Load(fileNames);
}

QString VLPluginLoader::LoadPlugin(const QString &fileName)
{
    const QStringList loaded = LoadPlugins(QStringList(fileName));
    return loaded.size() == 1 ? loaded.first() : QString();
}

void VLPluginLoader::UnloadPlugins(const QStringList &fileNames)
{
    Q_D(VLPluginLoader);
    d->Unload(fileNames);
}

void VLPluginLoader::UnloadPlugin(const QString &fileName)
{
    UnloadPlugins(QStringList(fileName));
}

QObject *VLPluginLoader::GetPlugin(const QString &fileName) const
{
    Q_D(const VLPluginLoader);
    QPluginLoader *loader = d->FindLoaded(fileName);
    return loader ? loader->instance() : nullptr;
}

QList<QObject *> VLPluginLoader::GetPlugins() const
{
    Q_D(const VLPluginLoader);
    QList<QObject *> plugins;
    for (QPluginLoader *loader : d->loaded)
        plugins.append(loader->instance());
    return plugins;
}

QList<QString> VLPluginLoader::GetLoadList() const
{
    Q_D(const VLPluginLoader);
    return d->states.keys();
}

VLPluginLoader::PluginState VLPluginLoader::GetState(const QString &fileName) const
{
    Q_D(const VLPluginLoader);
    const auto record = d->states.constFind(fileName);
    if (record == d->states.constEnd())
        return PluginUnknown;
    return static_cast<PluginState>(record->state);
}

QString VLPluginLoader::GetStateInfo(const QString &fileName) const
{
    Q_D(const VLPluginLoader);
    return d->states.value(fileName).info;
}
