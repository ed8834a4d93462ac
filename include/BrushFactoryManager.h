// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef BRUSHFACTORYMANAGER_H
#define BRUSHFACTORYMANAGER_H

#include "IBrushFactory.h"
#include "VelaGlobalExport.h"

#include <QMutex>
#include <QSet>
#include <QString>

#include <array>
#include <map>
#include <typeindex>
#include <vector>

/*!
    The registry of brush factories, itself one composite brush factory.

    Created after the plug-ins have been loaded, it takes the first brush
    factory of every loaded tool container once; plug-ins loaded later are
    not seen. create() goes to the factory that announced the type first;
    copy() and release() go to the factory that last handled a brush of the
    same run-time class, or else ask the factories in registration order.
    create, copy and release hold a non-recursive mutex across the call into
    the factory, which therefore must not call back into the registry.
*/
class VELAGLOBAL_EXPORT BrushFactoryManager : public IBrushFactory
{
public:
    //! Creates the registry, scanning the loaded plug-ins; does nothing if
    //! it exists. The plug-in loader must exist.
    static void InitInstance();
    //! The registry, or null before InitInstance() and after ReleaseInstance().
    static BrushFactoryManager *instance();
    //! Destroys the registry; brushes must have been released before.
    static void ReleaseInstance();

    QSet<QString> enumerate() const override;
    IBrush *create(const QString &typeId) override;
    IBrush *copy(const IBrush *brush) override;
    bool release(IBrush *brush) override;

private:
    BrushFactoryManager();
    ~BrushFactoryManager() override;
    Q_DISABLE_COPY(BrushFactoryManager)

    void load();
    //! Forgets the type table and the learned routes; the factories stay.
    void release();

    //! The factories learned per run-time class. The class routed last is
    //! also kept by address, which answers repeated calls for one class
    //! without comparing class names.
    struct RouteCache
    {
        std::map<std::type_index, IBrushFactory *> routes;
        const std::type_info *lastClass = nullptr;
        IBrushFactory *lastFactory = nullptr;
    };

    //! A type asked for lately: its key in the type table, which does not
    //! change once the plug-ins have been scanned, and its factory.
    struct TypeRoute
    {
        const QString *type = nullptr;
        IBrushFactory *factory = nullptr;
    };

    std::vector<IBrushFactory *> m_factories;
    std::map<QString, IBrushFactory *> m_types;
    RouteCache m_copyRoutes;
    RouteCache m_releaseRoutes;
    QMutex m_mutex;
    // A preset stream names few types, over and over: those asked for last
    // are found by one equality test each rather than by a walk down the
    // type table, whose ordered comparisons cost far more.
    std::array<TypeRoute, 4> m_recentTypes;
    size_t m_nextRecentType = 0;

    static BrushFactoryManager *m_pInstance;
};

#endif // BRUSHFACTORYMANAGER_H
