// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_PLUGINTESTSUPPORT_H
#define VELA_PLUGINTESTSUPPORT_H

#include "VelaTestSupport.h"

// The path of a plug-in built by the tree, in the form that QPluginLoader
// reports it, so that load and unload records share their key.
#define VELA_PLUGIN(name) QFileInfo(QStringLiteral(VELA_PLUGIN_##name)).canonicalFilePath()

// Collects the library's log lines while it lives, as messages by source
// file, and keeps them from the test's output.
class LogCapture
{
public:
    LogCapture() { s_current = this; }
    ~LogCapture() { qInstallMessageHandler(m_previous); }

    QMap<QString, QStringList> lines; // by source file

private:
    // "Build date=..., time=.... Line=<n>, file="<source>". <message>" and a space.
    static void Handle(QtMsgType, const QMessageLogContext &, const QString &record)
    {
        static const QRegularExpression pattern(QStringLiteral(
            R"re(^"Build date=[^,]+, time=[0-9:]+\. Line=[0-9]+, file="([^"]+)"\. (.*)" $)re"));
        const QRegularExpressionMatch match = pattern.match(record);
        if (match.hasMatch())
            s_current->lines[match.captured(1)] << match.captured(2);
    }

    static inline LogCapture *s_current = nullptr;
    // Installed before the constructor's body runs, where nothing logs.
    QtMessageHandler m_previous = qInstallMessageHandler(Handle);
};

#endif // VELA_PLUGINTESTSUPPORT_H
