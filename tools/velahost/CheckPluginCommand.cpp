// SPDX-License-Identifier: LGPL-2.1-or-later
//
// check-plugin: what a plug-in author runs before shipping. Each file is
// loaded through the library's loader as the editor would load it; every
// brush type that its factory announces must survive a round trip through
// its own settings bytes.
#include "HostCommand.h"
#include "HostSession.h"

#include "IBrush.h"
#include "IBrushFactory.h"
#include "IPluginContainer.h"
#include "IToolContainer.h"
#include "KVImageFilePlugin.h"
#include "VLPluginLoader.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace {

// A brush of the factory under test, handed back to it when it goes.
class FactoryBrush
{
public:
    FactoryBrush(IBrushFactory *factory, IBrush *brush)
        : m_factory(factory)
        , m_brush(brush)
    {
    }
    ~FactoryBrush()
    {
        if (m_brush)
            m_factory->release(m_brush);
    }
    FactoryBrush(const FactoryBrush &) = delete;
    FactoryBrush &operator=(const FactoryBrush &) = delete;

    IBrush *get() const { return m_brush; }

private:
    IBrushFactory *m_factory;
    IBrush *m_brush;
};

// The brush's settings bytes; false when serialize() reports a failure.
bool settingsOf(IBrush *brush, QByteArray *bytes)
{
    QBuffer buffer(bytes);
    buffer.open(QIODevice::WriteOnly);
    return brush->serialize(&buffer);
}

// Create, serialize, deserialize into a fresh brush, serialize again and
// compare; the same for a copy. Empty when all went well, else what failed.
QString roundTrip(IBrushFactory *factory, const QString &typeId, int *settingsSize)
{
    const FactoryBrush brush(factory, factory->create(typeId));
    if (!brush.get())
        return QStringLiteral("create() gave no brush");
    if (brush.get()->typeId() != typeId)
        return QStringLiteral("the brush calls its type \"%1\"").arg(brush.get()->typeId());
    QByteArray written;
    if (!settingsOf(brush.get(), &written))
        return QStringLiteral("serialize() failed");
    *settingsSize = written.size();

    const FactoryBrush fresh(factory, factory->create(typeId));
    QBuffer reading(&written);
    reading.open(QIODevice::ReadOnly);
    if (!fresh.get() || !fresh.get()->deserialize(&reading))
        return QStringLiteral("deserialize() refused the bytes serialize() wrote");
    // Preset records carry no length: whatever is left would be read as
    // the next record.
    if (!reading.atEnd())
        return QStringLiteral("deserialize() left %1 of %2 bytes unread")
            .arg(reading.bytesAvailable())
            .arg(written.size());
    QByteArray rewritten;
    if (!settingsOf(fresh.get(), &rewritten) || rewritten != written)
        return QStringLiteral("serialize() after deserialize() wrote other bytes");

    const FactoryBrush copied(factory, factory->copy(brush.get()));
    QByteArray copiedBytes;
    if (!copied.get() || !settingsOf(copied.get(), &copiedBytes) || copiedBytes != written)
        return QStringLiteral("copy() did not give an equal brush");
    return QString();
}

QString stateName(VLPluginLoader::PluginState state)
{
    switch (state) {
    case VLPluginLoader::PluginLoaded:
        return QStringLiteral("loaded");
    case VLPluginLoader::PluginLoadError:
        return QStringLiteral("refused");
    case VLPluginLoader::PluginMissingFile:
        return QStringLiteral("missing file");
    default:
        return QStringLiteral("not loaded");
    }
}

// Reports the plug-in objects of a plug-in container, with their kinds.
void describePluginObjects(IPluginContainer *container, QTextStream &out)
{
    QStringList kinds;
    const QList<QObject *> objects = container->GetPluginObjects();
    for (const QObject *object : objects) {
        const auto *plugin = qobject_cast<const KVImageFilePlugin *>(object);
        kinds << (plugin ? QString::number(plugin->GetPluginKind()) : QStringLiteral("?"));
    }
    out << "  Container:   plug-in container (" << container->GetDescription() << ")\n";
    out << "  Objects:     " << objects.size() << " (kinds " << kinds.join(QStringLiteral(", "))
        << ")\n";
}

// Reports the brush factory of a tool container and round-trips its
// types; false when a round trip failed.
bool checkBrushes(IToolContainer *container, QTextStream &out)
{
    out << "  Container:   tool container\n";
    IBrushFactory *factory = nullptr;
    const QList<QObject *> tools = container->GetTools();
    for (QObject *tool : tools) {
        if ((factory = qobject_cast<IBrushFactory *>(tool)))
            break;
    }
    if (!factory) {
        out << "  Brush types: none (no brush factory)\n";
        return true;
    }
    const QSet<QString> announced = factory->enumerate();
    QStringList types(announced.begin(), announced.end());
    std::sort(types.begin(), types.end());
    out << "  Brush types: " << types.join(QStringLiteral(", ")) << '\n';
    bool allPassed = true;
    for (const QString &typeId : types) {
        int size = 0;
        const QString failure = roundTrip(factory, typeId, &size);
        if (failure.isEmpty()) {
            out << "    " << typeId << ": round trip ok (" << size << " bytes)\n";
        } else {
            out << "    " << typeId << ": round trip FAILED: " << failure << '\n';
            allPassed = false;
        }
    }
    return allPassed;
}

// Loads one file and reports on it; false when it was refused or a round
// trip failed.
bool checkFile(const QString &file, QTextStream &out)
{
    VLPluginLoader *loader = VLPluginLoader::Instance();
    const QFileInfo info(file);
    const QString path = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();

    QString error;
    QObject receiver;
    QObject::connect(loader, &VLPluginLoader::LoadError, &receiver,
                     [&error](const QString &, const QString &text) { error = text; });
    QElapsedTimer timer;
    timer.start();
    const QString loaded = loader->LoadPlugin(path);
    const qint64 elapsed = timer.elapsed();

    const VLPluginLoader::PluginState state = loader->GetState(path);
    out << "Plug-in:       " << path << '\n';
    out << "  State:       " << stateName(state) << " (" << int(state) << ")\n";
    if (loaded.isEmpty() && state == VLPluginLoader::PluginLoaded) {
        out << "  Error:       already loaded under this name\n";
        return false;
    }
    out << "  Error:       " << (error.isEmpty() ? QStringLiteral("none") : error) << '\n';
    out << "  Load time:   " << QStringLiteral("%1").arg(elapsed / 1000.0) << " sec\n";
    if (state != VLPluginLoader::PluginLoaded)
        return false;

    QObject *root = loader->GetPlugin(loaded);
    if (auto *tools = qobject_cast<IToolContainer *>(root))
        return checkBrushes(tools, out);
    if (auto *container = qobject_cast<IPluginContainer *>(root))
        describePluginObjects(container, out);
    return true;
}

} // namespace

VELAHOST_COMMAND(checkPlugin, "check-plugin", "check-plugin FILE...",
                 "Load plug-in files as the editor does, list their brush types and round-trip "
                 "each through its settings bytes; fails on a refused file or a broken round trip.")
{
    QCommandLineParser parser;
    const QStringList files = ParseHostArguments(
        parser, context, QStringLiteral("Check plug-in files before shipping them."),
        {{QStringLiteral("files"), QStringLiteral("Plug-in files."), QStringLiteral("FILE...")}});
    if (files.isEmpty()) {
        context.err << "velahost check-plugin: no plug-in file given\n";
        return 2;
    }

    HostSession::Options options;
    // Only the files under test: a shipped plug-in checked by its own path
    // would otherwise count as loaded already.
    options.loadShippedPlugins = false;
    const HostSession session(options);

    int failed = 0;
    for (const QString &file : files) {
        if (!checkFile(file, context.out))
            ++failed;
    }
    if (failed)
        context.err << "velahost check-plugin: " << failed << " of " << files.size()
                    << " plug-in files failed\n";
    return failed ? 1 : 0;
}
