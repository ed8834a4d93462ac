// SPDX-License-Identifier: LGPL-2.1-or-later
/*!
    \file IOutput.h
    The image writer interface, offered by plug-ins as a tool.
*/
#ifndef IOUTPUT_H
#define IOUTPUT_H

#include <QImage>
#include <QObject>
#include <QString>

class QIODevice;

/*!
    An image writer offered by a plug-in as one of its tools. VLIOManager
    files it under the name it reports; the object belongs to the plug-in.
*/
class IOutput
{
public:
    //! The name under which the writer is listed, e.g. "PNG".
    virtual QString GetName() const = 0;
    //! Writes the image to the device; false when it could not be written.
    virtual bool Write(const QImage &image, QIODevice *device) = 0;

protected:
    ~IOutput() = default;
};

//! The identifier "IOutput/1.0" under which Qt's interface mechanism (qobject_cast,
//! Q_INTERFACES) knows IOutput.
#define IOutput_iid "IOutput/1.0"
Q_DECLARE_INTERFACE(IOutput, IOutput_iid)

#endif // IOUTPUT_H
