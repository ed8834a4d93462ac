// SPDX-License-Identifier: LGPL-2.1-or-later
// A plug-in container carrying an object of the image-file plug-in class
// but of another kind, a null entry, a plain QObject and, last, an
// image-file plug-in (kind 2) named "png". Built with VELA_EMPTY_CONTAINER
// set, it carries nothing.
#include "IPluginContainer.h"
#include "KVImageFilePlugin.h"

#include <QVariant>

struct OtherKindPlugin : KVImageFilePlugin
{
    int GetPluginKind() const override { return 7; }
};

class ImageFileContainer : public QObject, public IPluginContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IPluginContainer_iid)
    Q_INTERFACES(IPluginContainer)

public:
    using Objects = QList<QObject *>;
    ImageFileContainer() { m_png.setObjectName(QStringLiteral("png")); }
    void OnLoaded() override { setProperty("loadedCalls", property("loadedCalls").toInt() + 1); }
    QString GetDescription() const override { return QString(); }
    Objects GetPluginObjects() override { return VELA_EMPTY_CONTAINER ? Objects() : m_objects; }

private:
    OtherKindPlugin m_other;
    QObject m_plain;
    KVImageFilePlugin m_png;
    const Objects m_objects{&m_other, nullptr, &m_plain, &m_png};
};

#include "ImageFileContainer.moc"
