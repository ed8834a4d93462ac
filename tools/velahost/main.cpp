// SPDX-License-Identifier: LGPL-2.1-or-later
//
// velahost: a command-line stand-in for the editor. It starts and stops the
// library in the editor's order and offers subcommands that exercise it.

#include "HostCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

QString commandList()
{
    QString text = QStringLiteral("Commands:\n");
    for (const HostCommand &command : HostCommandRegistry::All())
        text += QStringLiteral("  %1\n      %2\n").arg(command.synopsis, command.summary);
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velahost"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELAHOST_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays the editor's part around the VelaGlobal library.\n\n")
        + commandList());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("The command to run (default: report)."),
                                 QStringLiteral("[command]"));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.process(app);

    QStringList arguments = parser.positionalArguments();
    const QString name = arguments.isEmpty() ? QStringLiteral("report") : arguments.first();
    const HostCommand *command = HostCommandRegistry::Find(name);
    if (!command) {
        err << "velahost: unknown command \"" << name << "\"\n\n" << commandList();
        return 2;
    }
    if (arguments.isEmpty())
        arguments << name;
    // A subcommand parses its own arguments; its name stands where a
    // parser expects the program name.
    arguments.first() = QCoreApplication::applicationName() + QLatin1Char(' ') + name;

    HostContext context{arguments, out, err};
    const int status = command->run(context);
    out.flush();
    err.flush();
    return status;
}
