// SPDX-License-Identifier: LGPL-2.1-or-later
/*!
    \file IBrush.h
    The brush interface, implemented by plug-ins' brush engines.
*/
#ifndef IBRUSH_H
#define IBRUSH_H

#include <QObject>
#include <QString>

class QIODevice;

/*!
    A brush made by a brush factory. It belongs to the factory that made it
    and goes back to it through IBrushFactory::release(), never through
    delete. The registry routes brushes by their run-time class, so every
    brush engine has a class of its own.
*/
class IBrush
{
public:
    //! The type identifier under which a factory creates this kind of brush.
    virtual const QString &typeId() const = 0;
    //! Writes the brush's settings at the device's position; true on success.
    //! Nothing frames them, so they must be read back by deserialize() alone.
    virtual bool serialize(QIODevice *device) = 0;
    //! Reads exactly what serialize() wrote, from the device's position.
    virtual bool deserialize(QIODevice *device) = 0;

protected:
    virtual ~IBrush() = default;
};

//! The identifier "IBrush/1.0" under which Qt's interface mechanism (qobject_cast,
//! Q_INTERFACES) knows IBrush.
#define IBrush_iid "IBrush/1.0"
Q_DECLARE_INTERFACE(IBrush, IBrush_iid)

#endif // IBRUSH_H
