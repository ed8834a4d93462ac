// SPDX-License-Identifier: LGPL-2.1-or-later
/*!
    \file IBrushTool.h
    The brush tool interface.
*/
#ifndef IBRUSHTOOL_H
#define IBRUSHTOOL_H

#include <QMetaType>
#include <QObject>
#include <QString>

/*!
    A brush tool offered by a plug-in. Tools register themselves with
    GlobalApplicationData::RegisterBrushTool() and are listed by their names.
    The registering side owns the tool and unregisters it before deleting it.
*/
class IBrushTool
{
public:
    //! The tool has become the active brush tool.
    virtual void OnActivate() = 0;
    //! Another tool has become active.
    virtual void OnDeactivate() = 0;
    //! The text by which the tool is listed.
    virtual QString GetName() const = 0;

protected:
    ~IBrushTool() = default;
};

//! The identifier "IBrushTool/1.0" under which Qt's interface mechanism (qobject_cast,
//! Q_INTERFACES) knows IBrushTool.
#define IBrushTool_iid "IBrushTool/1.0"
Q_DECLARE_INTERFACE(IBrushTool, IBrushTool_iid)
Q_DECLARE_METATYPE(IBrushTool *)

#endif // IBRUSHTOOL_H
