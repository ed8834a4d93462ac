// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostSession.h"

#include "GlobalApplicationData.h"
#include "VLIOManager.h"

#include <QCoreApplication>

HostSession::HostSession()
    : HostSession(Options())
{
}

HostSession::HostSession(const Options &options)
{
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    data->SetBuildString(QCoreApplication::applicationName() + QLatin1Char(' ')
                         + QCoreApplication::applicationVersion());
    data->RegisterLogOutput(options.logFolder);
    data->InitUserPreferences();
    data->InstallProcessExceptionHandler();
    data->InstallThreadExceptionHandler();
    VLIOManager::InitInstance();
}

HostSession::~HostSession()
{
    VLIOManager::ReleaseInstance();
    GlobalApplicationData::ReleaseInstance();
}
