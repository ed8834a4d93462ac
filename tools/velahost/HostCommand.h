// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELAHOST_HOSTCOMMAND_H
#define VELAHOST_HOSTCOMMAND_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

class HostSession;
class QCommandLineOption;
class QCommandLineParser;

// What a subcommand is given: its own arguments (the command name first, as
// QCommandLineParser expects) and the host's output streams.
struct HostContext
{
    QStringList arguments;
    QTextStream &out;
    QTextStream &err;
};

struct HostCommand
{
    QString name;
    QString synopsis;
    QString summary;
    int (*run)(HostContext &context);
};

// Subcommands register themselves, one source file each, with
// VELAHOST_COMMAND; main() looks them up by name.
class HostCommandRegistry
{
public:
    static bool Add(const HostCommand &command);
    static const HostCommand *Find(const QString &name);
    static QList<HostCommand> All();
};

// A positional argument as the help text shows it.
struct HostArgument
{
    QString name;
    QString description;
    QString syntax = QString();
};

//! Sets up a subcommand's parser (help, the options, the positional
//! arguments), parses the subcommand's arguments and returns the positional
//! ones. --help and unknown options end the process, as
//! QCommandLineParser::process does.
QStringList ParseHostArguments(QCommandLineParser &parser, const HostContext &context,
                               const QString &description,
                               const QList<HostArgument> &positional = {},
                               const QList<QCommandLineOption> &options = {});

#define VELAHOST_COMMAND(function, name, synopsis, summary)                                        \
    static int function(HostContext &context);                                                     \
    static const bool function##Registered = HostCommandRegistry::Add(                             \
        {QStringLiteral(name), QStringLiteral(synopsis), QStringLiteral(summary), &function});     \
    static int function(HostContext &context)

#endif // VELAHOST_HOSTCOMMAND_H
