// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The sample of the plug-in guide: one brush type, an image reader and an
// image writer, offered by one tool container.
#include <IBrush.h>
#include <IBrushFactory.h>
#include <IInput.h>
#include <IOutput.h>
#include <IToolContainer.h>

#include <QDataStream>
#include <QIODevice>
#include <QImage>
#include <QObject>

//! [brush]
// The brush's settings bytes begin with their own version. Version 1 wrote
// the size alone; version 2 added the hardness. A preset stream saved by
// the version 1 plug-in still reads: the hardness takes its default.
class GuideRoundBrush : public IBrush
{
public:
    static const QString &TypeId()
    {
        static const QString id = QStringLiteral("Guide.Round");
        return id;
    }

    const QString &typeId() const override { return TypeId(); }

    bool serialize(QIODevice *device) override
    {
        QDataStream out(device);
        out.setVersion(QDataStream::Qt_4_8);
        out << SettingsVersion << size << hardness;
        return out.status() == QDataStream::Ok;
    }

    bool deserialize(QIODevice *device) override
    {
        QDataStream in(device);
        in.setVersion(QDataStream::Qt_4_8);
        quint8 version = 0;
        double readSize = 0.0;
        double readHardness = DefaultHardness;
        in >> version;
        if (version < 1 || version > SettingsVersion)
            return false; // a newer plug-in's record: refused, not misread
        in >> readSize;
        if (version >= 2)
            in >> readHardness;
        if (in.status() != QDataStream::Ok || readSize < 1.0 || readHardness < 0.0
            || readHardness > 1.0)
            return false; // the brush stays as it was
        size = readSize;
        hardness = readHardness;
        return true;
    }

    static constexpr quint8 SettingsVersion = 2;
    static constexpr double DefaultHardness = 0.8;
    double size = 20.0;
    double hardness = DefaultHardness;
};
//! [brush]

//! [factory]
// Brushes go back to the factory that made them; the registry asks each
// factory in turn, so release() and copy() refuse brushes of other classes.
class GuideBrushFactory : public QObject, public IBrushFactory
{
    Q_OBJECT
    Q_INTERFACES(IBrushFactory)

public:
    QSet<QString> enumerate() const override { return {GuideRoundBrush::TypeId()}; }

    IBrush *create(const QString &typeId) override
    {
        return typeId == GuideRoundBrush::TypeId() ? new GuideRoundBrush : nullptr;
    }

    IBrush *copy(const IBrush *brush) override
    {
        const auto *round = dynamic_cast<const GuideRoundBrush *>(brush);
        return round ? new GuideRoundBrush(*round) : nullptr;
    }

    bool release(IBrush *brush) override
    {
        auto *round = dynamic_cast<GuideRoundBrush *>(brush);
        delete round;
        return round != nullptr;
    }
};
//! [factory]

//! [io]
// One object can be both reader and writer; both are listed by its name.
class GuidePpmFormat : public QObject, public IInput, public IOutput
{
    Q_OBJECT
    Q_INTERFACES(IInput IOutput)

public:
    QString GetName() const override { return QStringLiteral("PPM"); }

    QImage Read(QIODevice *device) override
    {
        QImage image;
        image.load(device, "ppm");
        return image; // null when the data is not a PPM image
    }

    bool Write(const QImage &image, QIODevice *device) override
    {
        return image.save(device, "ppm");
    }
};
//! [io]

//! [container]
// The plug-in's root object. Its tools live as long as the plug-in.
class GuideContainer : public QObject, public IToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)
    Q_INTERFACES(IToolContainer)

public:
    void OnLoaded() override {}
    QList<QObject *> GetTools() override { return {&m_brushes, &m_ppm}; }

private:
    GuideBrushFactory m_brushes;
    GuidePpmFormat m_ppm;
};
//! [container]

#include "GuideBrushes.moc"
