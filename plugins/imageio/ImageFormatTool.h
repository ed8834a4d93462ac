// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_IMAGEFORMATTOOL_H
#define VELA_IMAGEFORMATTOOL_H

#include "IInput.h"
#include "IOutput.h"

#include <QByteArray>
#include <QObject>

namespace VelaImageIO {

//! Reader and writer of one image format, over Qt's own image I/O.
class ImageFormatTool : public QObject, public IInput, public IOutput
{
    Q_OBJECT
    Q_INTERFACES(IInput IOutput)

public:
    //! name: how the editor lists it ("PNG"); format: Qt's name ("png").
    ImageFormatTool(const QString &name, const QByteArray &format, QObject *parent);

    // Reader and writer are listed under the same name.
    QString GetName() const override;
    QImage Read(QIODevice *device) override;
    bool Write(const QImage &image, QIODevice *device) override;

private:
    const QString m_name;
    const QByteArray m_format;
};

} // namespace VelaImageIO

#endif // VELA_IMAGEFORMATTOOL_H
