// SPDX-License-Identifier: LGPL-2.1-or-later
//
// vela_save_loop FILE FIRSTROUND: saves FILE of the per-user data folder the
// way the editor does, round after round, until it is killed. After each
// save returns it prints the round's number on a line of its own.

#include "SaveLoop.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString file = app.arguments().value(1);
    GlobalApplicationData::InitInstance();
    GlobalApplicationData::Instance()->InitUserPreferences();
    VLIOManager::InitInstance();
    for (int round = app.arguments().value(2).toInt();; ++round) {
        SaveLoop::Save(file, round);
        std::printf("%d\n", round);
        std::fflush(stdout);
    }
}
