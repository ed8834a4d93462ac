// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"

#include <QCommandLineParser>

VELAHOST_COMMAND(report, "report", "report",
                 "Start the library as the editor does and show what it knows (the default).")
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Show what the library knows."));
    parser.addHelpOption();
    parser.process(context.arguments);

    const HostSession session;
    const GlobalApplicationData *data = GlobalApplicationData::Instance();

    QTextStream &out = context.out;
    out << "Application folder:    " << data->GetAppFolderPath() << '\n';
    out << "Per-user data folder:  " << data->GetAppDataFolderPath() << '\n';
    out << "Settings file:         " << VLApplicationSettings::GetFileName() << '\n';
    out << "Log file:              " << data->GetLogFileName() << '\n';
    out << "Build string:          " << data->GetBuildString() << '\n';
    out << "Features blob:         " << GlobalApplicationData::GetFeaturesData().size()
        << " bytes\n";
    out << "Settings version:      "
        << VLApplicationSettings::GetValue(QStringLiteral("Version")).toString() << '\n';
    out << "Stored language:       "
        << VLApplicationSettings::GetValue(QStringLiteral("Language/Index")).toString() << '\n';
    return 0;
}
