// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_TESTPLUGIN_H
#define VELA_TESTPLUGIN_H

#include "IBrush.h"
#include "IToolContainer.h"

#include <QDataStream>
#include <QIODevice>
#include <QObject>
#include <QVariant>

/*
    A brush of the test plug-ins: its settings are one big-endian quint32.
    Writing FailingValue puts two bytes out and fails; reading RefusedValue
    fails. The tag gives every brush type of every plug-in a class of its
    own, which is what the registry routes by.
*/
constexpr quint32 FailingValue = 0xFA17FA17u;
constexpr quint32 RefusedValue = 0xDEADBEEFu;

template<class Tag>
class TestBrush : public IBrush
{
public:
    static inline const QString s_typeId = QString::fromLatin1(Tag::typeId);
    static const QString &TypeId() { return s_typeId; }
    const QString &typeId() const override { return s_typeId; }

    bool serialize(QIODevice *device) override
    {
        if (value == FailingValue) {
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
        in >> value;
        return in.status() == QDataStream::Ok && value != RefusedValue;
    }

    quint32 value = 0;
};

#define VELA_TEST_BRUSH(Name, typeIdText)                                                          \
    namespace {                                                                                    \
    struct Name##Tag                                                                               \
    {                                                                                              \
        static constexpr const char typeId[] = typeIdText;                                         \
    };                                                                                             \
    using Name = TestBrush<Name##Tag>;                                                             \
    }

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
