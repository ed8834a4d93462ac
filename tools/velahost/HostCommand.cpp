// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"

#include <QCommandLineParser>

#include <algorithm>

namespace {

QList<HostCommand> &commands()
{
    static QList<HostCommand> list;
    return list;
}

} // namespace

bool HostCommandRegistry::Add(const HostCommand &command)
{
    commands().append(command);
    return true;
}

const HostCommand *HostCommandRegistry::Find(const QString &name)
{
    for (const HostCommand &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

QList<HostCommand> HostCommandRegistry::All()
{
    QList<HostCommand> list = commands();
    std::sort(list.begin(), list.end(),
              [](const HostCommand &a, const HostCommand &b) { return a.name < b.name; });
    return list;
}

QStringList ParseHostArguments(QCommandLineParser &parser, const HostContext &context,
                               const QString &description, const QList<HostArgument> &positional,
                               const QList<QCommandLineOption> &options)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addOptions(options);
    for (const HostArgument &argument : positional)
        parser.addPositionalArgument(argument.name, argument.description, argument.syntax);
    parser.process(context.arguments);
    return parser.positionalArguments();
}
