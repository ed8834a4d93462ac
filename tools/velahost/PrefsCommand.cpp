// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "GlobalApplicationData.h"
#include "private/VLPreferenceMap_p.h"

#include <QCommandLineParser>

VELAHOST_COMMAND(prefs, "prefs", "prefs list | prefs get KEY | prefs set KEY VALUE",
                 "Show the preference parameters, or one of them, or change one and save the "
                 "preferences document.")
{
    QCommandLineParser parser;
    const QStringList arguments = ParseHostArguments(
        parser, context, QStringLiteral("The user's preferences document."),
        {{QStringLiteral("action"), QStringLiteral("list, get KEY or set KEY VALUE")}});
    const QString action = arguments.value(0, QStringLiteral("list"));

    const HostSession session;
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    const QMap<QString, QString> parameters = VLPreferenceMap::Parameters(*data);

    if (action == QLatin1String("list") && arguments.size() <= 1) {
        for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
            context.out << it.key() << " = " << it.value() << '\n';
        return 0;
    }
    const bool get = action == QLatin1String("get") && arguments.size() == 2;
    const bool set = action == QLatin1String("set") && arguments.size() == 3;
    if (!get && !set) {
        context.err << parser.helpText();
        return 2;
    }
    const QString key = arguments.at(1);
    // Saving writes only parameters the document has, so others are refused.
    if (!parameters.contains(key)) {
        context.err << "prefs: the preferences document has no parameter \"" << key << "\"\n";
        return 1;
    }
    if (get) {
        context.out << parameters.value(key) << '\n';
        return 0;
    }
    VLPreferenceMap::SetParameter(*data, key, arguments.at(2));
    data->SaveUserPreferences();
    return 0;
}
