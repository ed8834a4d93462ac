// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Saves the user's preferences document over and over, a new last visited
// folder each round, announcing each finished save on its own line, until it
// is killed.

#include "GlobalApplicationData.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    data->InitUserPreferences();

    QTextStream out(stdout);
    for (int round = 1;; ++round) {
        data->SetLastVisitedFolder(QStringLiteral("/round/%1").arg(round));
        data->SaveUserPreferences();
        out << round << Qt::endl;
    }
}
