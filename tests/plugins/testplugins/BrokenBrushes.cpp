// SPDX-License-Identifier: LGPL-2.1-or-later
// A brush plug-in with a bug that only a round trip shows: its brush writes
// its number twice but reads it once, leaving four bytes behind.
#include "BrushFactoryBase.h"
#include "TestToolContainer.h"

#include <QDataStream>

namespace {

class LeakyBrush final : public IBrush
{
public:
    static const QString &TypeId()
    {
        static const QString id = QStringLiteral("Test.Leaky");
        return id;
    }
    const QString &typeId() const override { return TypeId(); }

    bool serialize(QIODevice *device) override
    {
        QDataStream out(device);
        out << m_value << m_value;
        return out.status() == QDataStream::Ok;
    }

    bool deserialize(QIODevice *device) override
    {
        QDataStream in(device);
        in >> m_value;
        return in.status() == QDataStream::Ok;
    }

private:
    quint32 m_value = 1;
};

} // namespace

class BrokenBrushesContainer : public TestToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)

public:
    BrokenBrushesContainer() { m_tools << new BrushFactoryOf<LeakyBrush>(this); }
};

#include "BrokenBrushes.moc"
