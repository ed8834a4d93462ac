// SPDX-License-Identifier: LGPL-2.1-or-later
#include "KVImageFileManager.h"

namespace {
KVImageFileManager *s_instance = nullptr;
}

void KVImageFileManager::CreateInstance()
{
    if (!s_instance)
        s_instance = new KVImageFileManager;
}

KVImageFileManager *KVImageFileManager::GetInstance()
{
    return s_instance;
}

void KVImageFileManager::ReleaseInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

bool KVImageFileManager::Register(KVImageFilePlugin *plugin)
{
    if (!plugin || m_plugins.contains(plugin))
        return false;
    m_plugins.append(plugin);
    return true;
}

QList<KVImageFilePlugin *> KVImageFileManager::GetPlugins() const
{
    return m_plugins;
}
