// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The log record: one build-stamped line through the installed message
// handler into the open log file, against write(2) of the same bytes.

#include "BenchFigures.h"

#include "GlobalApplicationData.h"
#include "private/VLLogLine_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <fcntl.h>
#include <unistd.h>

namespace {

const int recordLine = 42;

const QString &recordSource()
{
    static const QString source = VLLogLine::SourceFileName(__FILE__);
    return source;
}

const QString &recordMessage()
{
    static const QString message = QStringLiteral("Plugin: \"brushes.so\" loaded successfully.");
    return message;
}

// The bytes that one record puts in the log file.
QByteArray recordBytes()
{
    return (QLatin1Char('"') + VLLogLine::Format(recordLine, recordSource(), recordMessage())
            + QStringLiteral("\" \n"))
        .toUtf8();
}

// The log file the records went to, for the check after the run: a later
// benchmark may restart the session and open another one.
QString &recordLog()
{
    static QString path;
    return path;
}

// A record as a log site of the library writes it: its text before the
// message is the site's own.
void writeRecord()
{
    static const QString siteText = VLLogLine::SiteText(recordLine, recordSource());
    VLLogLine::Write(siteText, recordMessage());
}

void LogRecord(benchmark::State &state)
{
    recordLog() = GlobalApplicationData::Instance()->GetLogFileName();
    for (auto _ : state)
        writeRecord();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LogRecord);

void LogRecordFloor(benchmark::State &state)
{
    const QString logFile = GlobalApplicationData::Instance()->GetLogFileName();
    const QString path = QFileInfo(logFile).dir().filePath(QStringLiteral("floor.bin"));
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        state.SkipWithError("cannot open the floor file");
        return;
    }
    const QByteArray bytes = recordBytes();
    for (auto _ : state) {
        if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            state.SkipWithError("short write");
    }
    ::close(fd);
    QFile::remove(path);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LogRecordFloor);

// Four threads logging at once; records per second of all of them.
void LogContended(benchmark::State &state)
{
    if (state.thread_index() == 0)
        recordLog() = GlobalApplicationData::Instance()->GetLogFileName();
    for (auto _ : state)
        writeRecord();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LogContended)->Threads(4)->UseRealTime();

const bool figures =
    FigureRegistry::Add({QStringLiteral("log record"), "LogRecord", "LogRecordFloor",
                         Figure::TimeRatio, QStringLiteral("<= 1.5")})
    && FigureRegistry::Add({QStringLiteral("log under contention (4 threads)"),
                            "LogContended/real_time/threads:4", "LogRecord", Figure::RateRatio,
                            QStringLiteral(">= 0.9")});

// Every line of the log is one whole line: the benchmark's records, and the
// session's own lines (plug-ins loaded at start-up, say) each begun and ended
// once.
const bool tornLineCheck = AddAfterRunCheck(QStringLiteral("log lines"), [] {
    if (recordLog().isEmpty())
        return QStringLiteral("not measured (filtered out)");
    QFile file(recordLog());
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the log");
    const QByteArray expected = recordBytes();
    const QByteArray start = QByteArrayLiteral("\"Build date=");
    qint64 records = 0;
    qint64 others = 0;
    qint64 torn = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (line == expected)
            ++records;
        else if (line.startsWith(start) && line.endsWith("\" \n") && line.count(start) == 1)
            ++others;
        else
            ++torn;
    }
    return QStringLiteral("%1 records, %2 other lines, %3 torn").arg(records).arg(others).arg(torn);
});

} // namespace
