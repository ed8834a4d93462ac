// SPDX-License-Identifier: LGPL-2.1-or-later
/*!
    \file IBrushFactory.h
    The brush factory interface, offered by plug-ins as a tool.
*/
#ifndef IBRUSHFACTORY_H
#define IBRUSHFACTORY_H

#include <QObject>
#include <QSet>
#include <QString>

class IBrush;

/*!
    Creates, copies and destroys the brushes of the brush types a plug-in
    knows. A plug-in offers one as a tool of its IToolContainer.
*/
class IBrushFactory
{
public:
    virtual ~IBrushFactory() = default;

    //! The brush type identifiers that create() accepts.
    virtual QSet<QString> enumerate() const = 0;
    //! A new brush of the type, or null for a type the factory does not know.
    virtual IBrush *create(const QString &typeId) = 0;
    //! A new brush equal to the given one, or null when the brush is not of
    //! a class this factory handles.
    virtual IBrush *copy(const IBrush *brush) = 0;
    //! Destroys a brush this factory made and returns true; returns false
    //! and leaves the brush alone when its class is not this factory's.
    virtual bool release(IBrush *brush) = 0;
};

//! The identifier "IBrushFactory/1.0" under which Qt's interface mechanism (qobject_cast,
//! Q_INTERFACES) knows IBrushFactory.
#define IBrushFactory_iid "IBrushFactory/1.0"
Q_DECLARE_INTERFACE(IBrushFactory, IBrushFactory_iid)

#endif // IBRUSHFACTORY_H
