// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Saves the user's preferences document over and over, a new last visited
// folder each round, until it is killed.

#include "GlobalApplicationData.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    data->InitUserPreferences();
    for (int round = 1;; ++round) {
        data->SetLastVisitedFolder(QStringLiteral("/round/%1").arg(round));
        data->SaveUserPreferences();
    }
}
