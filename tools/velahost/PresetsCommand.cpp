// SPDX-License-Identifier: LGPL-2.1-or-later
//
// presets: reads a brush preset stream with the shipped plug-ins and lists
// what it holds, or writes a sample stream with one preset per brush type.
#include "HostCommand.h"
#include "HostSession.h"

#include "BrushFactoryManager.h"
#include "BrushPresetManager.h"
#include "IBrush.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace {

QStringList knownBrushTypes()
{
    const QSet<QString> announced = BrushFactoryManager::instance()->enumerate();
    QStringList types(announced.begin(), announced.end());
    std::sort(types.begin(), types.end());
    return types;
}

int createSample(const QString &file, HostContext &context)
{
    BrushFactoryManager *registry = BrushFactoryManager::instance();
    BrushPresetManager table;
    const QStringList types = knownBrushTypes();
    for (const QString &typeId : types) {
        IBrush *brush = registry->create(typeId);
        table.CreatePreset(brush);
        registry->release(brush);
    }
    QSaveFile output(file);
    if (!output.open(QIODevice::WriteOnly) || !table.Serialize(&output) || !output.commit()) {
        context.err << "velahost presets: cannot write " << file << ": " << output.errorString()
                    << '\n';
        return 1;
    }
    context.out << "Wrote " << table.Enumarate().size() << " presets to " << file << '\n';
    return 0;
}

int list(const QString &file, HostContext &context)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        context.err << "velahost presets: cannot open " << file << ": " << input.errorString()
                    << '\n';
        return 1;
    }
    BrushPresetManager table;
    if (!table.Deserialize(&input)) {
        context.err << "velahost presets: " << file
                    << " is not a brush preset stream: it does not begin with "
                       "\"KVBrushPresetManager 1.00000\"\n";
        return 1;
    }
    const std::vector<QUuid> ids = table.Enumarate();
    context.out << "Presets in " << file << ": " << ids.size() << '\n';
    for (const QUuid &id : ids)
        context.out << "  " << id.toString() << "  " << table.GetBrush(id)->typeId() << '\n';
    // Records of other types are skipped, and what follows them with them.
    context.out << "Brush types of the loaded plug-ins: "
                << knownBrushTypes().join(QStringLiteral(", ")) << '\n';
    return 0;
}

} // namespace

VELAHOST_COMMAND(presets, "presets", "presets [--create] FILE",
                 "List the presets of a brush preset stream, read with the shipped plug-ins; "
                 "with --create, write a sample stream with one preset per brush type.")
{
    QCommandLineParser parser;
    const QCommandLineOption create(QStringLiteral("create"),
                                    QStringLiteral("Write a sample stream instead of reading."));
    const QStringList files = ParseHostArguments(
        parser, context, QStringLiteral("Read or write a brush preset stream."),
        {{QStringLiteral("file"), QStringLiteral("The preset stream."), QStringLiteral("FILE")}},
        {create});
    if (files.size() != 1) {
        context.err << "velahost presets: give one preset file\n";
        return 2;
    }

    const HostSession session;
    return parser.isSet(create) ? createSample(files.first(), context)
                                : list(files.first(), context);
}
