// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_TESTPLUGIN_H
#define VELA_TESTPLUGIN_H

#include "IBrush.h"

#include <QDataStream>

#include <atomic>

// A brush of the test plug-ins: its settings are one big-endian quint32.
// Writing FailingValue puts two bytes out and fails; reading RefusedValue
// fails; the test brush factory neither copies nor releases a brush that
// holds KeptValue.
constexpr quint32 FailingValue = 0xFA17FA17u, RefusedValue = 0xDEADBEEFu, KeptValue = 0x4B3E9700u;

enum TestBrushType { RoundType, NumberType, SecondType, StrangerType };

// Every file that uses it has classes of its own (the registry routes by
// class), hence the anonymous namespace.
namespace {

const QString typeIds[] = {"Vela.RoundBrush", "Test.Number", "Test.Second", "Test.Stranger"};

// The brushes of this plug-in that are alive, for a test to see every brush
// it was given back.
std::atomic<int> liveBrushes{0};

template<TestBrushType Type>
class TestBrush : public IBrush
{
public:
    TestBrush() { ++liveBrushes; }
    TestBrush(const TestBrush &other)
        : IBrush(other)
        , value(other.value)
    {
        ++liveBrushes;
    }
    ~TestBrush() override { --liveBrushes; }

    static const QString &TypeId() { return typeIds[Type]; }
    const QString &typeId() const override { return TypeId(); }

    bool serialize(QIODevice *device) override
    {
        if (value == FailingValue)
            return QDataStream(device).writeRawData("\xFA\x17", 2) < 0;
        return (QDataStream(device) << value).status() == QDataStream::Ok;
    }

    bool deserialize(QIODevice *device) override
    {
        return (QDataStream(device) >> value).status() == QDataStream::Ok && value != RefusedValue;
    }

    quint32 value = 0;
};

} // namespace

#endif // VELA_TESTPLUGIN_H
