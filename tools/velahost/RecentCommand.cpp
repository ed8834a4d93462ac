// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "VLIOManager.h"

#include <QCommandLineParser>

namespace {

void printRecent(QTextStream &out, const VLIOManager &manager)
{
    out << "Limit: " << manager.GetRecentLimit() << '\n';
    const QList<VLIOManager::RecentRecord> recent = manager.GetRecent();
    for (int i = 0; i < recent.size(); ++i)
        out << i << '\t' << recent.at(i).first << '\t' << recent.at(i).second << '\n';
}

} // namespace

VELAHOST_COMMAND(recent, "recent", "recent list | recent add FIRST SECOND | recent limit N",
                 "Show the recent-file list, put a record at its head, or change its limit for "
                 "this run (the list is saved when the run ends).")
{
    QCommandLineParser parser;
    const QStringList arguments =
        ParseHostArguments(parser, context, QStringLiteral("The recent-file list."),
                           {{QStringLiteral("action"), QStringLiteral("list, add or limit")}});
    const QString action = arguments.value(0, QStringLiteral("list"));
    const HostSession session;
    VLIOManager *manager = VLIOManager::Instance();

    if (action == QLatin1String("list") && arguments.size() <= 1) {
        printRecent(context.out, *manager);
        return 0;
    }
    if (action == QLatin1String("add") && arguments.size() == 3) {
        manager->AddToRecent({arguments.at(1), arguments.at(2)});
        printRecent(context.out, *manager);
        return 0;
    }
    if (action == QLatin1String("limit") && arguments.size() == 2) {
        bool ok = false;
        const int limit = arguments.at(1).toInt(&ok);
        if (ok) {
            manager->SetRecentListLimit(limit);
            printRecent(context.out, *manager);
            return 0;
        }
    }
    context.err << "velahost recent: expected list, add FIRST SECOND or limit N\n";
    return 2;
}
