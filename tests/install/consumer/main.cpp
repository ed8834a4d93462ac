// SPDX-License-Identifier: LGPL-2.1-or-later
// Uses the installed headers and library as an editor would.
#include <GlobalApplicationData.h>
#include <VLApplicationSettings.h>

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    GlobalApplicationData::InitInstance();
    std::printf("data=%s\n", qPrintable(GlobalApplicationData::Instance()->GetAppDataFolderPath()));
    std::printf("version=%s\n",
                qPrintable(VLApplicationSettings::GetValue(QStringLiteral("Version")).toString()));
    GlobalApplicationData::ReleaseInstance();
}
