// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Child process for the core tests. Each mode plays one short run of the
// editor and prints what the test needs to see.

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QtGlobal>

#include <cstdio>

namespace {

void print(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0);

    if (mode == QLatin1String("settings-set")) {
        VLApplicationSettings::SetFileName(args.value(1));
        VLApplicationSettings::SetValue(args.value(2), args.value(3));
        return 0;
    }
    if (mode == QLatin1String("settings-get")) {
        VLApplicationSettings::SetFileName(args.value(1));
        print(
            VLApplicationSettings::GetValue(args.value(2), QStringLiteral("<absent>")).toString());
        return 0;
    }
    if (mode == QLatin1String("folders")) {
        GlobalApplicationData::InitInstance();
        const GlobalApplicationData *data = GlobalApplicationData::Instance();
        print(QStringLiteral("app=") + data->GetAppFolderPath());
        print(QStringLiteral("data=") + data->GetAppDataFolderPath());
        print(QStringLiteral("features=%1").arg(GlobalApplicationData::GetFeaturesData().size()));
        print(QStringLiteral("language=")
              + VLApplicationSettings::GetValue(QStringLiteral("Language/Index")).toString());
        GlobalApplicationData::ReleaseInstance();
        return 0;
    }
    if (mode == QLatin1String("lifecycle")) {
        // Messages before the log exists, into it, and after it is gone.
        qDebug("before-init");
        GlobalApplicationData::InitInstance();
        qDebug("before-register");
        GlobalApplicationData::Instance()->RegisterLogOutput(args.value(1));
        print(QStringLiteral("log=") + GlobalApplicationData::Instance()->GetLogFileName());
        qDebug("into-log");
        qWarning("warning-into-log");
        GlobalApplicationData::ReleaseInstance();
        qDebug("after-release");
        qWarning("warning-after-release");
        qCritical("critical-after-release");
        return 0;
    }
    if (mode == QLatin1String("fatal")) {
        // No log file: a fatal message is printed and the process aborts.
        GlobalApplicationData::InitInstance();
        GlobalApplicationData::Instance()->RegisterLogOutput(args.value(1));
        print(QStringLiteral("log=") + GlobalApplicationData::Instance()->GetLogFileName());
        qFatal("fatal-without-log");
        return 0;
    }
    return 2;
}
