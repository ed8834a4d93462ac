// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BrushFactoryManager.h"

#include "IBrush.h"
#include "IToolContainer.h"
#include "VLPluginLoader.h"
#include "private/VLLogLine_p.h"

#include <QMutexLocker>

#include <typeinfo>

namespace {

// The brush factory of a tool container: its first tool that is one.
IBrushFactory *firstBrushFactory(QObject *root)
{
    auto *container = qobject_cast<IToolContainer *>(root);
    if (!container)
        return nullptr;
    const QList<QObject *> tools = container->GetTools();
    for (QObject *tool : tools) {
        if (auto *factory = qobject_cast<IBrushFactory *>(tool))
            return factory;
    }
    return nullptr;
}

} // namespace

BrushFactoryManager *BrushFactoryManager::m_pInstance = nullptr;

void BrushFactoryManager::InitInstance()
{
    if (!m_pInstance)
        m_pInstance = new BrushFactoryManager;
}

BrushFactoryManager *BrushFactoryManager::instance()
{
    return m_pInstance;
}

void BrushFactoryManager::ReleaseInstance()
{
    if (!m_pInstance)
        return;
    delete m_pInstance;
    m_pInstance = nullptr;
}

BrushFactoryManager::BrushFactoryManager()
{
    load();
}

BrushFactoryManager::~BrushFactoryManager()
{
    VL_LOG(QStringLiteral("Destroy"));
    release();
    VL_LOG(QStringLiteral("Destroyed"));
}

void BrushFactoryManager::load()
{
    release();
    // Without a plug-in loader there is nothing to scan.
    const VLPluginLoader *loader = VLPluginLoader::Instance();
    if (!loader)
        return;
    const QList<QObject *> plugins = loader->GetPlugins();
    for (QObject *root : plugins) {
        IBrushFactory *factory = firstBrushFactory(root);
        if (!factory)
            continue;
        m_factories.push_back(factory);
        // The plug-in loaded first keeps a type that a later one announces too.
        const QSet<QString> types = factory->enumerate();
        for (const QString &typeId : types)
            m_types.emplace(typeId, factory);
    }
}

void BrushFactoryManager::release()
{
    m_types.clear();
    m_copyRoutes.clear();
    m_releaseRoutes.clear();
}

QSet<QString> BrushFactoryManager::enumerate() const
{
    QSet<QString> types;
    types.reserve(int(m_types.size()));
    for (const auto &entry : m_types)
        types.insert(entry.first);
    return types;
}

IBrush *BrushFactoryManager::create(const QString &typeId)
{
    const QMutexLocker locker(&m_mutex);
    const auto entry = m_types.find(typeId);
    return entry == m_types.end() ? nullptr : entry->second->create(typeId);
}

IBrush *BrushFactoryManager::copy(const IBrush *brush)
{
    const QMutexLocker locker(&m_mutex);
    if (!brush)
        return nullptr;
    const std::type_index brushClass(typeid(*brush));
    const auto route = m_copyRoutes.find(brushClass);
    // A learned route is final: a factory that now fails is not replaced.
    if (route != m_copyRoutes.end())
        return route->second->copy(brush);
    for (IBrushFactory *factory : m_factories) {
        if (IBrush *copied = factory->copy(brush)) {
            m_copyRoutes.emplace(brushClass, factory);
            return copied;
        }
    }
    return nullptr;
}

bool BrushFactoryManager::release(IBrush *brush)
{
    const QMutexLocker locker(&m_mutex);
    if (!brush)
        return false;
    // Read before the brush is gone.
    const std::type_index brushClass(typeid(*brush));
    const auto route = m_releaseRoutes.find(brushClass);
    if (route != m_releaseRoutes.end())
        return route->second->release(brush);
    for (IBrushFactory *factory : m_factories) {
        if (factory->release(brush)) {
            m_releaseRoutes.emplace(brushClass, factory);
            return true;
        }
    }
    return false;
}
