// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BrushFactoryManager.h"

#include "IBrush.h"
#include "IToolContainer.h"
#include "VLPluginLoader.h"
#include "private/BrushFactoryManager_p.h"
#include "private/VLLogLine_p.h"

#include <QMutexLocker>

#include <typeinfo>

namespace {

// The route of a class other than the one routed last: the factory learned
// for the class, whatever it answers now, or else the first factory in order
// that answers; that one is learned. Kept apart from the common case, which
// then needs little more than the call itself.
template<class Result, class RouteCache, class Ask>
Q_NEVER_INLINE Result routeAnew(RouteCache &cache, const std::vector<IBrushFactory *> &factories,
                                const std::type_info &brushClass, Ask ask)
{
    IBrushFactory *learned = nullptr;
    Result result = Result();
    const auto known = cache.routes.find(brushClass);
    if (known != cache.routes.end()) {
        learned = known->second;
        result = ask(learned);
    } else {
        for (IBrushFactory *factory : factories) {
            if ((result = ask(factory))) {
                learned = factory;
                cache.routes.emplace(brushClass, factory);
                break;
            }
        }
    }
    if (learned) {
        cache.lastClass = &brushClass;
        cache.lastFactory = learned;
    }
    return result;
}

// Routes a brush by its run-time class.
template<class Result, class RouteCache, class Ask>
Result route(RouteCache &cache, const std::vector<IBrushFactory *> &factories,
             const std::type_info &brushClass, Ask ask)
{
    if (cache.lastClass == &brushClass)
        return ask(cache.lastFactory);
    return routeAnew<Result>(cache, factories, brushClass, ask);
}

} // namespace

IBrushFactory *FirstBrushFactory(QObject *pluginRoot)
{
    auto *container = qobject_cast<IToolContainer *>(pluginRoot);
    if (!container)
        return nullptr;
    const QList<QObject *> tools = container->GetTools();
    for (QObject *tool : tools) {
        if (auto *factory = qobject_cast<IBrushFactory *>(tool))
            return factory;
    }
    return nullptr;
}

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
        IBrushFactory *factory = FirstBrushFactory(root);
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
    m_recentTypes = {};
    m_types.clear();
    m_copyRoutes = RouteCache();
    m_releaseRoutes = RouteCache();
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
    for (const TypeRoute &recent : m_recentTypes) {
        if (recent.type && *recent.type == typeId)
            return recent.factory->create(typeId);
    }
    const auto entry = m_types.find(typeId);
    if (entry == m_types.end())
        return nullptr;
    m_recentTypes[m_nextRecentType] = {&entry->first, entry->second};
    m_nextRecentType = (m_nextRecentType + 1) % m_recentTypes.size();
    return entry->second->create(typeId);
}

IBrush *BrushFactoryManager::copy(const IBrush *brush)
{
    const QMutexLocker locker(&m_mutex);
    if (!brush)
        return nullptr;
    return route<IBrush *>(m_copyRoutes, m_factories, typeid(*brush),
                           [brush](IBrushFactory *factory) { return factory->copy(brush); });
}

bool BrushFactoryManager::release(IBrush *brush)
{
    const QMutexLocker locker(&m_mutex);
    if (!brush)
        return false;
    // The class is read before the brush is gone.
    return route<bool>(m_releaseRoutes, m_factories, typeid(*brush),
                       [brush](IBrushFactory *factory) { return factory->release(brush); });
}
