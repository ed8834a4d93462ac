// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLLogLine_p.h"

#include <QMessageLogContext>
#include <QStringBuilder>

#ifndef VL_SOURCE_ROOT
#define VL_SOURCE_ROOT ""
#endif

namespace {

// Everything before the line number is the same for every line of the run.
const QString &linePrefix()
{
    static const QString prefix = QStringLiteral("Build date=") + VLLogLine::BuildDate()
                                  + QStringLiteral(", time=") + VLLogLine::BuildTime()
                                  + QStringLiteral(". Line=");
    return prefix;
}

} // namespace

namespace VLLogLine {

QString BuildDate()
{
    return QStringLiteral(__DATE__);
}

QString BuildTime()
{
    return QStringLiteral(__TIME__);
}

QString SourceFileName(const char *compilerPath)
{
    QString path = QString::fromUtf8(compilerPath);
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString root = QString::fromUtf8(VL_SOURCE_ROOT);
    if (!root.isEmpty() && path.startsWith(root))
        path.remove(0, root.size());
    // A compiler cache hands the compiler paths relative to the build
    // folder: "../../src/File.cpp".
    while (path.startsWith(QLatin1String("../")) || path.startsWith(QLatin1String("./")))
        path.remove(0, path.indexOf(QLatin1Char('/')) + 1);
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return path;
}

QString SiteText(int line, const QString &sourceFile)
{
    // The same text as successive arg() substitutions into
    // "Build date=%1, time=%2. Line=%3, file=\"%4\". %5" up to the message.
    const QString &prefix = linePrefix();
    QString text;
    text.reserve(prefix.size() + sourceFile.size() + 24);
    text += prefix;
    text += QString::number(line);
    text += QLatin1String(", file=\"");
    text += sourceFile;
    text += QLatin1String("\". ");
    return text;
}

QString Format(int line, const QString &sourceFile, const QString &message)
{
    return SiteText(line, sourceFile) + message;
}

void Write(const QString &siteText, const QString &message)
{
    // Qt 4's qDebug() put a string item in double quotes and added a space;
    // Qt 5 and 6 escape the quotes inside and trim the space, so the record
    // is given to the message handler directly, already in the Qt 4 form.
    // Built in one allocation.
    const QString record = QLatin1Char('"') % siteText % message % QLatin1String("\" ");
    qt_message_output(QtDebugMsg, QMessageLogContext(), record);
}

} // namespace VLLogLine
