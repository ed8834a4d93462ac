// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_TESTIOTOOLS_H
#define VELA_TESTIOTOOLS_H

#include "IInput.h"
#include "IOutput.h"
#include "IToolContainer.h"

#include <QList>
#include <QObject>

/*
    Readers and writers that only report their names, for the I/O manager's
    scan. A tool that is both may report a different name through each
    interface.
*/
namespace VelaTestIO {

class NamedInput : public IInput
{
public:
    explicit NamedInput(const QString &name);
    QString GetName() const override;
    QImage Read(QIODevice *device) override;

private:
    const QString m_name;
};

class NamedOutput : public IOutput
{
public:
    explicit NamedOutput(const QString &name);
    QString GetName() const override;
    bool Write(const QImage &image, QIODevice *device) override;

private:
    const QString m_name;
};

class Reader : public QObject, public NamedInput
{
    Q_OBJECT
    Q_INTERFACES(IInput)

public:
    Reader(const QString &name, QObject *parent);
};

class Writer : public QObject, public NamedOutput
{
    Q_OBJECT
    Q_INTERFACES(IOutput)

public:
    Writer(const QString &name, QObject *parent);
};

class ReaderWriter : public QObject, public NamedInput, public NamedOutput
{
    Q_OBJECT
    Q_INTERFACES(IInput IOutput)

public:
    ReaderWriter(const QString &inputName, const QString &outputName, QObject *parent);
};

//! The root object; the plug-in's build names its tools (see TestIOTools.cpp).
class Container : public QObject, public IToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)
    Q_INTERFACES(IToolContainer)

public:
    explicit Container(QObject *parent = nullptr);
    void OnLoaded() override;
    QList<QObject *> GetTools() override;

private:
    QList<QObject *> m_tools;
};

} // namespace VelaTestIO

#endif // VELA_TESTIOTOOLS_H
