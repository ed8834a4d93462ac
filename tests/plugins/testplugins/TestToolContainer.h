// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_TESTTOOLCONTAINER_H
#define VELA_TESTTOOLCONTAINER_H

#include "IToolContainer.h"

#include <QObject>
#include <QVariant>

/*
    The root of a test tool container: it offers the objects it is given, in
    order, and counts the calls of OnLoaded() in the property "loadedCalls".
*/
class TestToolContainer : public QObject, public IToolContainer
{
    Q_OBJECT
    Q_INTERFACES(IToolContainer)

public:
    explicit TestToolContainer(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    void OnLoaded() override { setProperty("loadedCalls", property("loadedCalls").toInt() + 1); }
    QList<QObject *> GetTools() override { return m_tools; }

protected:
    QList<QObject *> m_tools;
};

#endif // VELA_TESTTOOLCONTAINER_H
