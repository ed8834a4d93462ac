// SPDX-License-Identifier: LGPL-2.1-or-later
// Readers and writers that only report their names, for the I/O manager's
// scan. A tool that is both may report a different name through each interface.
#include "IInput.h"
#include "IOutput.h"
#include "IToolContainer.h"

#include <QImage>

namespace {

struct NamedInput : IInput
{
    QString inName;
    QString GetName() const override { return inName; }
    QImage Read(QIODevice *) override { return QImage(); }
};

struct NamedOutput : IOutput
{
    QString outName;
    QString GetName() const override { return outName; }
    bool Write(const QImage &, QIODevice *) override { return false; }
};

class Reader : public QObject, public NamedInput
{
    Q_OBJECT
    Q_INTERFACES(IInput)
public:
    explicit Reader(const char *name) { inName = QLatin1String(name); }
};

class Writer : public QObject, public NamedOutput
{
    Q_OBJECT
    Q_INTERFACES(IOutput)
public:
    explicit Writer(const char *name) { outName = QLatin1String(name); }
};

class ReaderWriter : public QObject, public NamedInput, public NamedOutput
{
    Q_OBJECT
    Q_INTERFACES(IInput IOutput)
public:
    ReaderWriter(const char *in, const char *out)
    {
        inName = QLatin1String(in);
        outName = QLatin1String(out);
    }
};

} // namespace

class TestIOToolsContainer : public QObject, public IToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)
    Q_INTERFACES(IToolContainer)

public:
    TestIOToolsContainer()
    {
#if VELA_TEST_IO_TOOLS == 1
        // Every kind of entry the scan meets: a reader, a null entry, an
        // object that is neither, a writer, and a tool that is both.
        m_tools << new Reader("Same") << nullptr << new QObject << new Writer("OnlyOut")
                << new ReaderWriter("BothIn", "BothOut");
#else
        // Two more readers named "Same": the last one met wins.
        m_tools << new Reader("Same") << new Reader("Same") << new Reader("Alpha");
#endif
        for (QObject *tool : m_tools)
            if (tool)
                tool->setParent(this);
    }
    void OnLoaded() override {}
    QList<QObject *> GetTools() override
    {
        return m_tools;
    }

private:
    QList<QObject *> m_tools;
};

#include "TestIOTools.moc"
