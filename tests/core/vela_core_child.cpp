// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Child process for the core tests: one short run of the editor, in the
// folder it was copied to, with the environment it was given. It prints the
// folders and files the library chose, and logs before the log exists, into
// it and after it is gone.
//   vela_core_child LOGFOLDER [fatal]

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    qDebug("before-init");
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    const bool made = data->MakeAppDataFolder(QString());
    qDebug("before-register");
    data->RegisterLogOutput(args.value(0));
    const QStringList facts = {
        "app=" + data->GetAppFolderPath(),
        "data=" + data->GetAppDataFolderPath(),
        "made=" + QString::number(made),
        "settings=" + VLApplicationSettings::GetFileName(),
        "log=" + data->GetLogFileName(),
        "features=" + QString::number(GlobalApplicationData::GetFeaturesData().size()),
        "language=" + VLApplicationSettings::GetValue("Language/Index").toString()};
    std::printf("%s\n", facts.join('\n').toLocal8Bit().constData());
    std::fflush(stdout);
    qDebug("into-log");
    qWarning("warning-into-log");
    if (args.value(1) == QLatin1String("fatal"))
        qFatal("fatal-into-log");
    GlobalApplicationData::ReleaseInstance();
    qDebug("after-release");
    qWarning("warning-after-release");
    qCritical("critical-after-release");
    return 0;
}
