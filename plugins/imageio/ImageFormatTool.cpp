// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ImageFormatTool.h"

#include <QImageReader>
#include <QImageWriter>

namespace VelaImageIO {

ImageFormatTool::ImageFormatTool(const QString &name, const QByteArray &format, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_format(format)
{
    setObjectName(name);
}

QString ImageFormatTool::GetName() const
{
    return m_name;
}

QImage ImageFormatTool::Read(QIODevice *device)
{
    QImageReader reader(device, m_format);
    // The format is this tool's business: data of another format is refused.
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

bool ImageFormatTool::Write(const QImage &image, QIODevice *device)
{
    QImageWriter writer(device, m_format);
    return writer.write(image);
}

} // namespace VelaImageIO
