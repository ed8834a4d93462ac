// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_TESTPLUGIN_H
#define VELA_TESTPLUGIN_H

#include "IBrush.h"
#include "IToolContainer.h"

#include <QDataStream>
#include <QVariant>

// A brush of the test plug-ins: its settings are one big-endian quint32.
// Writing FailingValue puts two bytes out and fails; reading RefusedValue
// fails; the test brush factory neither copies nor releases a brush that
// holds KeptValue.
constexpr quint32 FailingValue = 0xFA17FA17u;
constexpr quint32 RefusedValue = 0xDEADBEEFu;
constexpr quint32 KeptValue = 0x4B3E9700u;

enum TestBrushType { RoundType, NumberType, SecondType, StrangerType };

// Every file that uses it has classes of its own (the registry routes by
// class), hence the anonymous namespace.
namespace {

template<TestBrushType Type>
class TestBrush : public IBrush
{
public:
    static const QString &TypeId()
    {
        static const QString ids[] = {"Vela.RoundBrush", "Test.Number", "Test.Second",
                                      "Test.Stranger"};
        return ids[Type];
    }
    const QString &typeId() const override { return TypeId(); }

    bool serialize(QIODevice *device) override
    {
        if (value == FailingValue)
            return QDataStream(device).writeRawData("\xFA\x17", 2) < 0;
        QDataStream out(device);
        out << value;
        return out.status() == QDataStream::Ok;
    }

    bool deserialize(QIODevice *device) override
    {
        QDataStream in(device);
        in >> value;
        return in.status() == QDataStream::Ok && value != RefusedValue;
    }

    quint32 value = 0;
};

} // namespace

// The root of a test tool container: offers its tools in order and counts
// the calls of OnLoaded() in the property "loadedCalls".
class TestToolContainer : public QObject, public IToolContainer
{
    Q_OBJECT
    Q_INTERFACES(IToolContainer)

public:
    void OnLoaded() override { setProperty("loadedCalls", property("loadedCalls").toInt() + 1); }
    QList<QObject *> GetTools() override { return m_tools; }

protected:
    QList<QObject *> m_tools;
};

#endif // VELA_TESTPLUGIN_H
