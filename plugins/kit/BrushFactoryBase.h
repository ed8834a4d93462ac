// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_BRUSHFACTORYBASE_H
#define VELA_BRUSHFACTORYBASE_H

#include "IBrush.h"
#include "IBrushFactory.h"

#include <QObject>

#include <typeinfo>

/*
    The QObject side of a plug-in's brush factory: a tool object that the
    brush registry finds through qobject_cast<IBrushFactory *>.
*/
class BrushFactoryBase : public QObject, public IBrushFactory
{
    Q_OBJECT
    Q_INTERFACES(IBrushFactory)

public:
    explicit BrushFactoryBase(QObject *parent = nullptr);
    ~BrushFactoryBase() override;
};

/*
    A brush factory for a fixed set of brush classes. Each class names its
    type with a static TypeId() and is made from it; copies use the copy
    constructor. A brush is recognised by its exact run-time class, so the
    classes of a plug-in must not share their names with another plug-in's.
*/
template<class... Brushes>
class BrushFactoryOf : public BrushFactoryBase
{
public:
    using BrushFactoryBase::BrushFactoryBase;

    QSet<QString> enumerate() const override { return {Brushes::TypeId()...}; }

    IBrush *create(const QString &typeId) override
    {
        IBrush *brush = nullptr;
        ((brush = brush ? brush : (typeId == Brushes::TypeId() ? new Brushes : nullptr)), ...);
        return brush;
    }

    IBrush *copy(const IBrush *brush) override
    {
        if (!brush)
            return nullptr;
        IBrush *copied = nullptr;
        ((copied = copied ? copied : copyAs<Brushes>(*brush)), ...);
        return copied;
    }

    bool release(IBrush *brush) override { return brush && (releaseAs<Brushes>(brush) || ...); }

private:
    template<class Brush>
    static IBrush *copyAs(const IBrush &brush)
    {
        return typeid(brush) == typeid(Brush) ? new Brush(static_cast<const Brush &>(brush))
                                              : nullptr;
    }

    template<class Brush>
    static bool releaseAs(IBrush *brush)
    {
        if (typeid(*brush) != typeid(Brush))
            return false;
        delete static_cast<Brush *>(brush);
        return true;
    }
};

#endif // VELA_BRUSHFACTORYBASE_H
