// SPDX-License-Identifier: LGPL-2.1-or-later
/*!
    \file IToolContainer.h
    The root object interface of plug-ins that offer tools.
*/
#ifndef ITOOLCONTAINER_H
#define ITOOLCONTAINER_H

#include <QList>
#include <QObject>

/*!
    The root object of a plug-in that offers tools (brush factories, image
    readers and writers). The plug-in loader calls OnLoaded() once the root
    object exists; the registries ask each object of GetTools() for the
    interface they serve. The objects belong to the plug-in.
*/
class IToolContainer
{
public:
    //! The plug-in has been loaded and accepted.
    virtual void OnLoaded() = 0;
    //! The tool objects of the plug-in, in the order it prefers them.
    virtual QList<QObject *> GetTools() = 0;

protected:
    ~IToolContainer() = default;
};

//! The identifier "IToolContainer/1.0" under which Qt's interface mechanism (qobject_cast,
//! Q_INTERFACES) knows IToolContainer.
#define IToolContainer_iid "IToolContainer/1.0"
Q_DECLARE_INTERFACE(IToolContainer, IToolContainer_iid)

#endif // ITOOLCONTAINER_H
