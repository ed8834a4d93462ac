// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "VLIOManager.h"

#include <QCommandLineParser>

VELAHOST_COMMAND(io, "io", "io",
                 "List the image readers and writers that the loaded plug-ins offer.")
{
    QCommandLineParser parser;
    ParseHostArguments(parser, context, QStringLiteral("The image readers and writers."));

    const HostSession session;
    const VLIOManager *manager = VLIOManager::Instance();
    context.out << "Readers: " << manager->GetInputs().join(QLatin1Char(' ')) << '\n';
    context.out << "Writers: " << manager->GetOutputs().join(QLatin1Char(' ')) << '\n';
    return 0;
}
