// SPDX-License-Identifier: LGPL-2.1-or-later
// A plug-in container carrying the editor's plug-in objects: two image-file
// plug-ins (kind 2), an object of the same base class but another kind, a
// plain QObject and a null entry.
#include "IPluginContainer.h"
#include "KVImageFilePlugin.h"

#include <QVariant>

namespace {

class OtherKindPlugin : public KVImageFilePlugin
{
public:
    using KVImageFilePlugin::KVImageFilePlugin;
    int GetPluginKind() const override { return 7; }
};

} // namespace

class ImageFileContainer : public QObject, public IPluginContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IPluginContainer_iid)
    Q_INTERFACES(IPluginContainer)

public:
    ImageFileContainer()
    {
        m_png.setObjectName(QStringLiteral("png"));
        m_other.setObjectName(QStringLiteral("other"));
        m_plain.setObjectName(QStringLiteral("plain"));
        m_tiff.setObjectName(QStringLiteral("tiff"));
    }

    void OnLoaded() override { setProperty("loadedCalls", property("loadedCalls").toInt() + 1); }
    QString GetDescription() const override { return QStringLiteral("Image files"); }
    QList<QObject *> GetPluginObjects() override
    {
        return {&m_png, nullptr, &m_other, &m_plain, &m_tiff};
    }

private:
    KVImageFilePlugin m_png;
    OtherKindPlugin m_other;
    QObject m_plain;
    KVImageFilePlugin m_tiff;
};

#include "ImageFileContainer.moc"
