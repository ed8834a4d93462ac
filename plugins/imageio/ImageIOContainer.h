// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_IMAGEIOCONTAINER_H
#define VELA_IMAGEIOCONTAINER_H

#include "IToolContainer.h"

#include <QList>
#include <QObject>

namespace VelaImageIO {

//! The root of the sample image I/O plug-in: a reader and writer each for
//! "PNG", "JPEG" and "BMP".
class ImageIOContainer : public QObject, public IToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)
    Q_INTERFACES(IToolContainer)

public:
    explicit ImageIOContainer(QObject *parent = nullptr);

    void OnLoaded() override;
    QList<QObject *> GetTools() override;

private:
    QList<QObject *> m_tools;
};

} // namespace VelaImageIO

#endif // VELA_IMAGEIOCONTAINER_H
