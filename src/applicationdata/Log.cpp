// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/GlobalApplicationDataParts_p.h"

#include "private/VLLogFile_p.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>

namespace {

void writeToStandardStreams(QtMsgType type, const QString &message)
{
    const QByteArray text = message.toLocal8Bit();
    switch (type) {
    case QtDebugMsg:
        std::fprintf(stdout, "Debug: %s\n", text.constData());
        std::fflush(stdout);
        break;
    case QtWarningMsg:
        std::fprintf(stdout, "Warning: %s\n", text.constData());
        std::fflush(stdout);
        break;
    case QtCriticalMsg:
        std::fprintf(stderr, "Critical: %s\n", text.constData());
        break;
    case QtFatalMsg:
        std::fprintf(stderr, "Fatal: %s\n", text.constData());
        std::abort();
    default:
        break;
    }
}

} // namespace

void GlobalApplicationData::RegisterLogOutput(const QString &subFolder)
{
    // Without a per-user data folder the log folder is the bare name,
    // relative to the working directory, like every other per-user file.
    const QString dataFolder = GetAppDataFolderPath();
    if (!m_log->IsOpen())
        m_log->Open(dataFolder.isEmpty() ? subFolder : dataFolder + QDir::separator() + subFolder);
    qInstallMessageHandler(VelaMessageOutput);
}

QString GlobalApplicationData::GetLogFileName() const
{
    return m_log->FileName();
}

void GlobalApplicationData::VelaMessageOutput(QtMsgType type, const QMessageLogContext &,
                                              const QString &message)
{
    // The instance pointer is read without a lock: the application data
    // object outlives every thread that logs.
    if (GlobalApplicationData *self = m_pInstance) {
        if (self->m_log->Write(message))
            return;
    }
    writeToStandardStreams(type, message);
}

void GlobalApplicationData::VelaFinishOutput(QtMsgType type, const QMessageLogContext &,
                                             const QString &message)
{
    writeToStandardStreams(type, message);
}
