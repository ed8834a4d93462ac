// SPDX-License-Identifier: LGPL-2.1-or-later
/*!
    \file IInput.h
    The image reader interface, offered by plug-ins as a tool.
*/
#ifndef IINPUT_H
#define IINPUT_H

#include <QImage>
#include <QObject>
#include <QString>

class QIODevice;

/*!
    An image reader offered by a plug-in as one of its tools. VLIOManager
    files it under the name it reports; the object belongs to the plug-in.
*/
class IInput
{
public:
    //! The name under which the reader is listed, e.g. "PNG".
    virtual QString GetName() const = 0;
    //! Reads one image; a null image when the data cannot be read.
    virtual QImage Read(QIODevice *device) = 0;

protected:
    ~IInput() = default;
};

//! The identifier "IInput/1.0" under which Qt's interface mechanism (qobject_cast,
//! Q_INTERFACES) knows IInput.
#define IInput_iid "IInput/1.0"
Q_DECLARE_INTERFACE(IInput, IInput_iid)

#endif // IINPUT_H
