// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PluginTestSupport.h"

#include <QRegularExpression>

namespace PluginTest {

namespace {

LogCapture *s_capture = nullptr;

} // namespace

// The records the library hands to the message handler:
// "Build date=..., time=.... Line=<n>, file="<source>". <message>" followed by a space.
void LogCapture::Handle(QtMsgType, const QMessageLogContext &, const QString &record)
{
    static const QRegularExpression pattern(
        QStringLiteral(
            R"re(^"Build date=[^,]+, time=[0-9:]+\. Line=[0-9]+, file="([^"]+)"\. (.*)" $)re"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = pattern.match(record);
    if (s_capture && match.hasMatch())
        s_capture->m_lines.append({match.captured(1), match.captured(2)});
}

LogCapture::LogCapture()
    : m_previous(qInstallMessageHandler(Handle))
{
    s_capture = this;
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    s_capture = nullptr;
}

QList<LogCapture::Line> LogCapture::Lines() const
{
    return m_lines;
}

QStringList LogCapture::Messages(const QString &sourceFile) const
{
    QStringList messages;
    for (const Line &line : m_lines) {
        if (line.sourceFile == sourceFile)
            messages.append(line.message);
    }
    return messages;
}

void LogCapture::Clear()
{
    m_lines.clear();
}

} // namespace PluginTest
