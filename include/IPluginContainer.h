// SPDX-License-Identifier: LGPL-2.1-or-later
/*!
    \file IPluginContainer.h
    The root object interface of plug-ins carrying the editor's plug-in objects.
*/
#ifndef IPLUGINCONTAINER_H
#define IPLUGINCONTAINER_H

#include <QList>
#include <QObject>
#include <QString>

/*!
    The root object of a plug-in that carries the editor's own plug-in
    objects. Each object of GetPluginObjects() is a QObject of the editor's
    plug-in base classes; those of kind 2 are image-file plug-ins, which the
    loader registers with the editor's image-file manager.
*/
class IPluginContainer
{
public:
    //! The plug-in has been loaded; called before GetPluginObjects().
    virtual void OnLoaded() = 0;
    //! A line that describes the container to the user, e.g. in an about box.
    virtual QString GetDescription() const = 0;
    //! The plug-in objects carried; an empty list makes the loader refuse
    //! the plug-in.
    virtual QList<QObject *> GetPluginObjects() = 0;

protected:
    ~IPluginContainer() = default;
};

//! The identifier "Kelvane.PluginContainer/1.0" under which Qt's interface mechanism (qobject_cast,
//! Q_INTERFACES) knows IPluginContainer.
#define IPluginContainer_iid "Kelvane.PluginContainer/1.0"
Q_DECLARE_INTERFACE(IPluginContainer, IPluginContainer_iid)

#endif // IPLUGINCONTAINER_H
