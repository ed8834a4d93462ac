// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ImageIOContainer.h"

#include "ImageFormatTool.h"

namespace VelaImageIO {

ImageIOContainer::ImageIOContainer(QObject *parent)
    : QObject(parent)
{
    m_tools << new ImageFormatTool(QStringLiteral("PNG"), "png", this)
            << new ImageFormatTool(QStringLiteral("JPEG"), "jpeg", this)
            << new ImageFormatTool(QStringLiteral("BMP"), "bmp", this);
}

void ImageIOContainer::OnLoaded()
{
    // Qt's image I/O needs no preparation.
}

QList<QObject *> ImageIOContainer::GetTools()
{
    return m_tools;
}

} // namespace VelaImageIO
