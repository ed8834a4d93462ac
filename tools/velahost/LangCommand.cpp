// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "GlobalApplicationData.h"

#include <QCommandLineParser>

VELAHOST_COMMAND(lang, "lang", "lang set INDEX",
                 "Store the interface language (0 sv_SE, 1 en_UK, 2 de_DE, 3 ru_RU) for the "
                 "next start.")
{
    QCommandLineParser parser;
    const QStringList arguments = ParseHostArguments(
        parser, context, QStringLiteral("Store the interface language for the next start."),
        {{QStringLiteral("set"), QStringLiteral("The action: set.")},
         {QStringLiteral("INDEX"), QStringLiteral("The language index.")}});
    bool isNumber = false;
    const int index = arguments.value(1).toInt(&isNumber);
    if (arguments.size() != 2 || arguments.first() != QLatin1String("set") || !isNumber) {
        context.err << parser.helpText();
        return 2;
    }

    const HostSession session;
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    // An index out of range is logged and stores nothing.
    data->SetLanguageIndex(index);
    if (data->GetLanguage(index).isNull()) {
        context.err << "velahost: no language at index " << index << '\n';
        return 1;
    }
    context.out << "Stored language:       " << data->GetLanguage() << '\n';
    context.out << "Current language:      " << data->GetCurrentLanguage()
                << " (until the next start)\n";
    return 0;
}
