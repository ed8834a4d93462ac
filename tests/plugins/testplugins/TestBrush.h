// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_TESTBRUSH_H
#define VELA_TESTBRUSH_H

#include "IBrush.h"

#include <QDataStream>
#include <QIODevice>
#include <QString>

/*
    A brush of the test plug-ins. Its settings are one number, written as a
    big-endian quint32. Two numbers misbehave on purpose: writing
    FailingValue puts two bytes out and fails, reading RefusedValue fails.
    The tag makes a class of its own for every brush type and plug-in, so
    the registry can tell them apart by their run-time class.
*/
namespace TestBrushValues {
constexpr quint32 FailingValue = 0xFA17FA17u;
constexpr quint32 RefusedValue = 0xDEADBEEFu;
} // namespace TestBrushValues

template<class Tag>
class TestBrush final : public IBrush
{
public:
    static const QString &TypeId()
    {
        static const QString id = QString::fromLatin1(Tag::typeId);
        return id;
    }
    const QString &typeId() const override { return TypeId(); }

    bool serialize(QIODevice *device) override
    {
        if (value == TestBrushValues::FailingValue) {
            device->write("\xFA\x17", 2);
            return false;
        }
        QDataStream out(device);
        out << value;
        return out.status() == QDataStream::Ok;
    }

    bool deserialize(QIODevice *device) override
    {
        QDataStream in(device);
        quint32 read = 0;
        in >> read;
        if (in.status() != QDataStream::Ok || read == TestBrushValues::RefusedValue)
            return false;
        value = read;
        return true;
    }

    quint32 value = 0;
};

// Declares, inside an anonymous namespace, the brush class Name of the
// given type identifier.
#define VELA_TEST_BRUSH(Name, typeIdText)                                                          \
    namespace {                                                                                    \
    struct Name##Tag                                                                               \
    {                                                                                              \
        static constexpr const char typeId[] = typeIdText;                                         \
    };                                                                                             \
    using Name = TestBrush<Name##Tag>;                                                             \
    }

#endif // VELA_TESTBRUSH_H
