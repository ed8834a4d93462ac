// SPDX-License-Identifier: LGPL-2.1-or-later
// Readers and writers that only report their names, for the I/O manager's
// scan. Each tool carries a name for both interfaces; its class says which
// interfaces Qt's cast finds, and a tool that is both reports a different name
// through each.
#include "IInput.h"
#include "IOutput.h"
#include "IToolContainer.h"

namespace {

struct In : IInput
{
    QString in;
    QString GetName() const override { return in; }
    QImage Read(QIODevice *) override { return QImage(); }
};

struct Out : IOutput
{
    QString out;
    QString GetName() const override { return out; }
    bool Write(const QImage &, QIODevice *) override { return false; }
};

class Reader : public QObject, public In, public Out
{
    Q_OBJECT
    Q_INTERFACES(IInput)
};

class Writer : public QObject, public In, public Out
{
    Q_OBJECT
    Q_INTERFACES(IOutput)
};

class ReaderWriter : public QObject, public In, public Out
{
    Q_OBJECT
    Q_INTERFACES(IInput IOutput)
};

template<typename Tool>
QObject *make(QObject *parent, const char *in, const char *out = "")
{
    auto *tool = new Tool;
    tool->setParent(parent);
    tool->in = in;
    tool->out = out;
    return tool;
}

} // namespace

class TestIOToolsContainer : public QObject, public IToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)
    Q_INTERFACES(IToolContainer)

    // Every kind of entry the scan meets: a reader, a null entry, an object
    // that is neither, a writer, a tool that is both, a second reader of the
    // first one's name and a reader named like one of the sample plug-in's.
    QObjectList m_tools = QObjectList() << make<Reader>(this, "Same") << nullptr
                                        << new QObject(this) << make<Writer>(this, "", "OnlyOut")
                                        << make<ReaderWriter>(this, "BothIn", "BothOut")
                                        << make<Reader>(this, "Same") << make<Reader>(this, "PNG");

public:
    void OnLoaded() override {}
    QObjectList GetTools() override { return m_tools; }
};

#include "TestIOTools.moc"
