// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TestIOTools.h"

namespace VelaTestIO {

NamedInput::NamedInput(const QString &name)
    : m_name(name)
{
}

QString NamedInput::GetName() const
{
    return m_name;
}

QImage NamedInput::Read(QIODevice *)
{
    return QImage();
}

NamedOutput::NamedOutput(const QString &name)
    : m_name(name)
{
}

QString NamedOutput::GetName() const
{
    return m_name;
}

bool NamedOutput::Write(const QImage &, QIODevice *)
{
    return false;
}

Reader::Reader(const QString &name, QObject *parent)
    : QObject(parent)
    , NamedInput(name)
{
}

Writer::Writer(const QString &name, QObject *parent)
    : QObject(parent)
    , NamedOutput(name)
{
}

ReaderWriter::ReaderWriter(const QString &inputName, const QString &outputName, QObject *parent)
    : QObject(parent)
    , NamedInput(inputName)
    , NamedOutput(outputName)
{
}

Container::Container(QObject *parent)
    : QObject(parent)
{
#if VELA_TEST_IO_TOOLS == 1
    // Every kind of entry the scan meets: a reader, a null entry, an object
    // that is neither, a writer, and a tool that is both under two names.
    m_tools << new Reader(QStringLiteral("Same"), this) << nullptr << new QObject(this)
            << new Writer(QStringLiteral("OnlyOut"), this)
            << new ReaderWriter(QStringLiteral("BothIn"), QStringLiteral("BothOut"), this);
#else
    // Two more readers named "Same": the last one met wins.
    m_tools << new Reader(QStringLiteral("Same"), this) << new Reader(QStringLiteral("Same"), this)
            << new Reader(QStringLiteral("Alpha"), this);
#endif
}

void Container::OnLoaded() {}

QList<QObject *> Container::GetTools()
{
    return m_tools;
}

} // namespace VelaTestIO
