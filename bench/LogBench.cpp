// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The log record: one build-stamped line through the installed message
// handler into the open log file, against write(2) of the same bytes; and
// four threads logging at once, against four threads that each write(2) the
// same bytes under one QMutex, a write per record as the log's lock asks.

#include "BenchFigures.h"

#include "GlobalApplicationData.h"
#include "private/VLLogLine_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <atomic>

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

// The lines of the logs the records went to, counted after each run that
// wrote them: a benchmark that runs between two of them may restart the
// session, which opens another log and deletes this one.
struct LogTally
{
    QString path;
    qint64 counted = 0; // bytes of path already counted
    qint64 records = 0;
    qint64 others = 0;
    qint64 torn = 0;
    bool measured = false;
    bool unreadable = false;
};

LogTally &logTally()
{
    static LogTally tally;
    return tally;
}

// Every line of the log is one whole line: the benchmark's records, and the
// session's own lines (plug-ins loaded at start-up, say) each begun and ended
// once.
void tallyLog()
{
    LogTally &tally = logTally();
    const QString path = GlobalApplicationData::Instance()->GetLogFileName();
    if (path != tally.path)
        tally.counted = 0;
    tally.path = path;
    tally.measured = true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(tally.counted)) {
        tally.unreadable = true;
        return;
    }
    const QByteArray expected = recordBytes();
    const QByteArray start = QByteArrayLiteral("\"Build date=");
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (line == expected)
            ++tally.records;
        else if (line.startsWith(start) && line.endsWith("\" \n") && line.count(start) == 1)
            ++tally.others;
        else
            ++tally.torn;
    }
    tally.counted = file.pos();
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
    for (auto _ : state)
        writeRecord();
    state.SetItemsProcessed(state.iterations());
    tallyLog();
}
BENCHMARK(LogRecord);

// The file the floors write to, beside the log.
QString floorPath()
{
    const QString logFile = GlobalApplicationData::Instance()->GetLogFileName();
    return QFileInfo(logFile).dir().filePath(QStringLiteral("floor.bin"));
}

int openFloorFile()
{
    return ::open(QFile::encodeName(floorPath()).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
}

void closeFloorFile(int fd)
{
    ::close(fd);
    QFile::remove(floorPath());
}

void LogRecordFloor(benchmark::State &state)
{
    const int fd = openFloorFile();
    if (fd < 0) {
        state.SkipWithError("cannot open the floor file");
        return;
    }
    const QByteArray bytes = recordBytes();
    for (auto _ : state) {
        if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            state.SkipWithError("short write");
    }
    closeFloorFile(fd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LogRecordFloor);

// Four threads logging at once; records per second of all of them.
void LogContended(benchmark::State &state)
{
    for (auto _ : state)
        writeRecord();
    state.SetItemsProcessed(state.iterations());
    // The other threads have left their loops: Google Benchmark waits for
    // them all before the first one leaves its own.
    if (state.thread_index() == 0)
        tallyLog();
}
BENCHMARK(LogContended)->Threads(4)->UseRealTime();

// The threads share one file and one mutex; the first thread opens the file
// before, and closes it after, the timed loops of all of them.
std::atomic<int> s_contendedFloorFile{-1};

void LogContendedFloor(benchmark::State &state)
{
    static QMutex mutex;
    static QByteArray bytes;
    if (state.thread_index() == 0) {
        bytes = recordBytes();
        s_contendedFloorFile = openFloorFile();
    }
    for (auto _ : state) {
        const int fd = s_contendedFloorFile.load(std::memory_order_relaxed);
        const QMutexLocker locker(&mutex);
        if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            state.SkipWithError("short write");
    }
    if (state.thread_index() == 0)
        closeFloorFile(s_contendedFloorFile.exchange(-1));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LogContendedFloor)->Threads(4)->UseRealTime();

const bool figures =
    FigureRegistry::Add({QStringLiteral("log record"), "LogRecord", "LogRecordFloor",
                         Figure::TimeRatio, QStringLiteral("<= 1.5")})
    && FigureRegistry::Add(
        {QStringLiteral("log under contention (4 threads)"), "LogContended/real_time/threads:4",
         "LogContendedFloor/real_time/threads:4", Figure::RateRatio, QStringLiteral(">= 0.9")});

const bool tornLineCheck = AddAfterRunCheck(QStringLiteral("log lines"), [] {
    const LogTally &tally = logTally();
    if (!tally.measured)
        return QStringLiteral("not measured (filtered out)");
    if (tally.unreadable)
        return QStringLiteral("cannot read the log");
    return QStringLiteral("%1 records, %2 other lines, %3 torn")
        .arg(tally.records)
        .arg(tally.others)
        .arg(tally.torn);
});

} // namespace
