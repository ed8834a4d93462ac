// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "VLCrashHandler.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <csignal>

#include <unistd.h>

namespace {

const QString timePattern = QStringLiteral("dd-MM-yyyy_hh-mm-ss");
const QByteArray restartArguments = "-w\nUnexpected unknown exception.\n";
// Far above what any crash path takes; the watchdog of the fault path ends a
// stuck process after a few seconds.
constexpr int childTimeoutMs = 30000;

/*
    One run of the stand-in editor in a world of its own: its LOCALAPPDATA,
    TMPDIR and a PATH that finds the "Application.exe" of the run first. That
    script writes the arguments it was started with into the run's folder.
*/
class EditorRun
{
public:
    explicit EditorRun(const QString &name)
        : m_root(VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("runs/") + name))
    {
        QDir(m_root).mkpath(QStringLiteral("local"));
        QDir(m_root).mkpath(QStringLiteral("tmp"));
        const QString script = m_root + QStringLiteral("/bin/Application.exe");
        VelaTest::WriteFile(script, "#!/bin/sh\n"
                                    "printf '%s\\n' \"$@\" > \"$RESTART_FILE.part\"\n"
                                    "mv \"$RESTART_FILE.part\" \"$RESTART_FILE\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString DataFolder() const { return m_root + QStringLiteral("/local/Kelvane/"); }
    QString DumpFolder() const { return DataFolder() + QStringLiteral("dumps"); }
    QString TempFolder() const { return m_root + QStringLiteral("/tmp"); }
    QString RestartFile() const { return m_root + QStringLiteral("/restart.txt"); }

    VelaTest::ChildResult Crash(const QString &kind, const QStringList &options = QStringList())
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LOCALAPPDATA"), m_root + QStringLiteral("/local"));
        environment.insert(QStringLiteral("TMPDIR"), TempFolder());
        environment.insert(QStringLiteral("PATH"), m_root + QStringLiteral("/bin:")
                                                       + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("RESTART_FILE"), RestartFile());
        m_started = QDateTime::currentDateTime();
        const VelaTest::ChildResult result =
            VelaTest::RunChild(VelaTest::AppFolder() + QStringLiteral("/velahost"),
                               QStringList{QStringLiteral("crash"), kind} + options, environment,
                               m_root, childTimeoutMs);
        m_finished = QDateTime::currentDateTime();
        return result;
    }

    QByteArray Log() const
    {
        const QDir logs(DataFolder() + QStringLiteral("logs"));
        const QStringList files = logs.entryList(QStringList(QStringLiteral("*.txt")), QDir::Files);
        return files.size() == 1 ? VelaTest::ReadFile(logs.filePath(files.first())) : QByteArray();
    }

    // Whether a dump named like this one could have been written by the run.
    bool IsNamedByCrashTime(const QString &fileName) const
    {
        const QDateTime named = QDateTime::fromString(fileName.chopped(4), timePattern);
        const QDateTime from = m_started.addMSecs(-m_started.time().msec());
        return fileName.endsWith(QLatin1String(".dmp")) && named.isValid() && named >= from
               && named <= m_finished;
    }

private:
    QString m_root;
    QDateTime m_started;
    QDateTime m_finished;
};

QStringList dumpsIn(const QString &folder)
{
    return QDir(folder).entryList(QStringList(QStringLiteral("*.dmp")), QDir::Files, QDir::Name);
}

// The log lines of the crash handler, as the log output writes them.
QByteArray handlerLine(const QByteArray &message)
{
    return "file=\"src\\VLCrashHandler.cpp\". " + message + "\" \n";
}

int countOf(const QByteArray &text, const QByteArray &part)
{
    return text.count(part);
}

/*
    The streams of a minidump, read after checking the rules that readers
    apply: signature, version, every entry inside the file, no type twice.
*/
class MinidumpFile
{
public:
    explicit MinidumpFile(const QByteArray &bytes)
        : m_bytes(bytes)
    {
        if (bytes.size() < 32 || U32(0) != 0x504D444D || (U32(4) & 0xFFFF) != 0xA793)
            return;
        const quint32 count = U32(8);
        const quint32 directory = U32(12);
        if (directory + qsizetype(count) * 12 > bytes.size())
            return;
        for (quint32 i = 0; i < count; ++i) {
            const quint32 type = U32(directory + i * 12);
            const quint32 size = U32(directory + i * 12 + 4);
            const quint32 rva = U32(directory + i * 12 + 8);
            if (type == 0 && size == 0)
                continue;
            if (qsizetype(rva) + size > bytes.size() || m_streams.contains(type)) {
                m_streams.clear();
                return;
            }
            m_streams.insert(type, bytes.mid(rva, size));
        }
    }

    QList<quint32> Types() const { return m_streams.keys(); }
    QByteArray Stream(quint32 type) const { return m_streams.value(type); }

    quint32 U32(qsizetype at) const { return qFromLittleEndian<quint32>(m_bytes.constData() + at); }

private:
    QByteArray m_bytes;
    QMap<quint32, QByteArray> m_streams;
};

quint32 u32At(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint64 u64At(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint64>(bytes.constData() + at);
}

} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void realFault_data();
    void realFault();
    void withoutApplicationData();
    void dumpFolderBlocked();
    void softwareEvent_data();
    void softwareEvent();
    void faultWhileLocksHeld_data();
    void faultWhileLocksHeld();
    void dumpOpensInLldb_data();
    void dumpOpensInLldb();
    void dumpWithoutException();
};

void TestCrashHandler::realFault_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("null write") << QStringLiteral("null-write") << int(SIGSEGV);
    QTest::newRow("null write on a worker") << QStringLiteral("worker-null-write") << int(SIGSEGV);
    QTest::newRow("stack overflow") << QStringLiteral("stack-overflow") << int(SIGSEGV);
    QTest::newRow("division by zero") << QStringLiteral("divide-by-zero") << int(SIGFPE);
}

void TestCrashHandler::realFault()
{
    QFETCH(QString, kind);
    QFETCH(int, signalNumber);
    EditorRun run(QTest::currentDataTag());
    QVERIFY(
        VelaTest::WriteFile(run.DumpFolder() + QStringLiteral("/01-01-2020_10-00-00.dmp"), "old"));
    QVERIFY(VelaTest::WriteFile(run.DumpFolder() + QStringLiteral("/other.dmp"), "old"));
    QVERIFY(VelaTest::WriteFile(run.DumpFolder() + QStringLiteral("/notes.txt"), "kept"));

    const VelaTest::ChildResult result = run.Crash(kind);

    // The process ends by the fault's own signal.
    QCOMPARE(result.exitStatus, QProcess::CrashExit);
    QCOMPARE(result.exitCode, signalNumber);

    const QStringList dumps = dumpsIn(run.DumpFolder());
    QCOMPARE(dumps.size(), 1);
    QVERIFY2(run.IsNamedByCrashTime(dumps.first()), qPrintable(dumps.first()));
    QVERIFY(QFileInfo::exists(run.DumpFolder() + QStringLiteral("/notes.txt")));
    const QString dumpPath = run.DumpFolder() + QLatin1Char('/') + dumps.first();
    QVERIFY(VelaTest::ReadFile(dumpPath).startsWith("MDMP"));

    const QByteArray log = run.Log();
    QCOMPARE(countOf(log, handlerLine("Seh")), 1);
    QCOMPARE(countOf(log, handlerLine("Minidump was created in file \"" + dumpPath.toUtf8() + '"')),
             1);
    QVERIFY(log.indexOf("Seh") < log.indexOf("Minidump was created"));

    // The editor is started again with its warning.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(run.RestartFile()), 10000);
    QCOMPARE(VelaTest::ReadFile(run.RestartFile()), restartArguments);
}

void TestCrashHandler::withoutApplicationData()
{
    EditorRun run(QStringLiteral("without-data"));
    QVERIFY(VelaTest::WriteFile(run.TempFolder() + QStringLiteral("/someone-elses.dmp"), "keep"));

    const VelaTest::ChildResult result =
        run.Crash(QStringLiteral("null-write"), {QStringLiteral("--after-release")});
    QCOMPARE(result.exitStatus, QProcess::CrashExit);

    const QStringList dumps = dumpsIn(run.TempFolder());
    QCOMPARE(dumps.size(), 2);
    QVERIFY(dumps.contains(QStringLiteral("someone-elses.dmp")));
    QVERIFY(run.IsNamedByCrashTime(dumps.first()));
    QVERIFY(!QFileInfo::exists(run.DumpFolder()));

    // With the log gone the lines reach the standard output.
    const QString dumpPath = run.TempFolder() + QLatin1Char('/') + dumps.first();
    QVERIFY(result.standardOutput.contains(handlerLine("Seh")));
    QVERIFY(result.standardOutput.contains(
        handlerLine("Minidump was created in file \"" + dumpPath.toUtf8() + '"')));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(run.RestartFile()), 10000);
    QCOMPARE(VelaTest::ReadFile(run.RestartFile()), restartArguments);
}

void TestCrashHandler::dumpFolderBlocked()
{
    EditorRun run(QStringLiteral("blocked"));
    QVERIFY(VelaTest::WriteFile(run.DumpFolder(), "a file where the folder should be"));
    QVERIFY(VelaTest::WriteFile(run.DataFolder() + QStringLiteral("old.dmp"), "old"));

    const VelaTest::ChildResult result = run.Crash(QStringLiteral("null-write"));
    QCOMPARE(result.exitStatus, QProcess::CrashExit);

    QVERIFY(QFileInfo(run.DumpFolder()).isFile());
    const QStringList dumps = dumpsIn(run.DataFolder());
    QCOMPARE(dumps.size(), 1);
    QVERIFY(run.IsNamedByCrashTime(dumps.first()));
    // The data folder path ends with a separator, and one more comes before
    // the file name.
    QVERIFY(
        run.Log().contains(handlerLine("Minidump was created in file \"" + run.DataFolder().toUtf8()
                                       + '/' + dumps.first().toUtf8() + '"')));
}

void TestCrashHandler::softwareEvent_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("message");
    // -1: the process goes on; else the signal that ends it afterwards.
    QTest::addColumn<int>("endingSignal");

    QTest::newRow("raise SIGABRT")
        << QStringLiteral("raise-abrt") << QByteArray("Unexpected abort") << -1;
    QTest::newRow("raise SIGINT") << QStringLiteral("raise-int") << QByteArray("Unexpected int")
                                  << -1;
    QTest::newRow("raise SIGTERM")
        << QStringLiteral("raise-term") << QByteArray("Unexpected term") << -1;
    QTest::newRow("raise SIGFPE") << QStringLiteral("raise-fpe") << QByteArray("Unexpected fpe")
                                  << -1;
    QTest::newRow("raise SIGILL") << QStringLiteral("raise-ill") << QByteArray("Unexpected ill")
                                  << -1;
    QTest::newRow("raise SIGSEGV")
        << QStringLiteral("raise-segv") << QByteArray("Unexpected segv") << -1;
    QTest::newRow("abort") << QStringLiteral("abort") << QByteArray("Unexpected abort")
                           << int(SIGABRT);
    QTest::newRow("terminate") << QStringLiteral("terminate") << QByteArray("Terminate")
                               << int(SIGABRT);
    QTest::newRow("unexpected") << QStringLiteral("unexpected") << QByteArray("Unexpected error")
                                << int(SIGABRT);
    QTest::newRow("pure call") << QStringLiteral("pure-call")
                               << QByteArray("Pure virtual method call") << int(SIGABRT);
    QTest::newRow("pure virtual call") << QStringLiteral("pure-virtual-call")
                                       << QByteArray("Pure virtual method call") << int(SIGABRT);
    QTest::newRow("invalid parameter")
        << QStringLiteral("invalid-parameter")
        << QByteArray("Invalid parameter expr \"destination != nullptr\" function \"strcpy_s\" "
                      "file \"tools\\velahost\\CrashCommand.cpp\" line \"42\"")
        << -1;
}

void TestCrashHandler::softwareEvent()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, message);
    QFETCH(int, endingSignal);
    EditorRun run(QTest::currentDataTag());

    const VelaTest::ChildResult result = run.Crash(kind);

    if (endingSignal < 0) {
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);
    } else {
        QCOMPARE(result.exitStatus, QProcess::CrashExit);
        QCOMPARE(result.exitCode, endingSignal);
    }
    const QByteArray log = run.Log();
    QCOMPARE(countOf(log, handlerLine(message)), 1);
    QVERIFY(!log.contains("Seh"));
    QVERIFY(!log.contains("Minidump"));
    QVERIFY(dumpsIn(run.DumpFolder()).isEmpty());
    QVERIFY(dumpsIn(run.TempFolder()).isEmpty());
    QVERIFY(!QFileInfo::exists(run.RestartFile()));
}

void TestCrashHandler::faultWhileLocksHeld_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("fault inside a write") << QStringLiteral("null-write-in-log");
    QTest::newRow("write of another thread never ends") << QStringLiteral("null-write-log-stalled");
    QTest::newRow("fault inside a handler") << QStringLiteral("null-write-in-handler");
    QTest::newRow("handler of another thread never ends")
        << QStringLiteral("null-write-handler-stalled");
}

void TestCrashHandler::faultWhileLocksHeld()
{
    QFETCH(QString, kind);
    EditorRun run(QTest::currentDataTag());

    const VelaTest::ChildResult result = run.Crash(kind);

    // Ended by the fault (not by the test's time limit), with its dump; the
    // lines the log could not take went to the standard streams.
    QCOMPARE(result.exitStatus, QProcess::CrashExit);
    QCOMPARE(result.exitCode, int(SIGSEGV));
    QCOMPARE(dumpsIn(run.DumpFolder()).size(), 1);
    QVERIFY((result.standardOutput + result.standardError).contains(handlerLine("Seh")));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(run.RestartFile()), 10000);
}

void TestCrashHandler::dumpOpensInLldb_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("signalName");
    QTest::addColumn<bool>("onWorker");
    QTest::newRow("null write") << QStringLiteral("null-write") << QStringLiteral("SIGSEGV")
                                << false;
    QTest::newRow("worker") << QStringLiteral("worker-null-write") << QStringLiteral("SIGSEGV")
                            << true;
    QTest::newRow("stack overflow")
        << QStringLiteral("stack-overflow") << QStringLiteral("SIGSEGV") << false;
    QTest::newRow("division by zero")
        << QStringLiteral("divide-by-zero") << QStringLiteral("SIGFPE") << false;
}

void TestCrashHandler::dumpOpensInLldb()
{
    QFETCH(QString, kind);
    QFETCH(QString, signalName);
    QFETCH(bool, onWorker);
    const QString lldb = QStandardPaths::findExecutable(QStringLiteral("lldb"));
    if (lldb.isEmpty())
        QSKIP("lldb is not installed");

    EditorRun run(QStringLiteral("lldb-") + kind);
    run.Crash(kind);
    const QStringList dumps = dumpsIn(run.DumpFolder());
    QCOMPARE(dumps.size(), 1);

    const VelaTest::ChildResult result =
        VelaTest::RunChild(lldb,
                           {QStringLiteral("--batch"), QStringLiteral("-c"),
                            run.DumpFolder() + QLatin1Char('/') + dumps.first(),
                            QStringLiteral("-o"), QStringLiteral("thread list"),
                            QStringLiteral("-o"), QStringLiteral("thread backtrace all -c 12"),
                            QStringLiteral("-o"), QStringLiteral("image list")},
                           QProcessEnvironment::systemEnvironment(), QString(), 120000);
    const QString output = QString::fromUtf8(result.standardOutput);

    // The crashing thread, stopped by its signal, in the code of the stand-in
    // editor that failed.
    const QRegularExpression crashed(
        QStringLiteral("Process (\\d+) stopped\n\\* thread #1: tid = (\\d+), 0x[0-9a-f]+ "
                       "velahost`.*CrashCommand\\.cpp:\\d+.*stop reason = signal ")
        + signalName + QLatin1Char('\n'));
    const QRegularExpressionMatch match = crashed.match(output);
    QVERIFY2(match.hasMatch(), qPrintable(output));
    QCOMPARE(match.captured(1) != match.captured(2), onWorker);
    // The other threads come with their own registers and stacks: the main
    // thread that waits for the worker unwinds down to main().
    if (onWorker) {
        QVERIFY2(output.contains(QStringLiteral("thread #2: tid = ") + match.captured(1)),
                 qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("velahost`main")), qPrintable(output));
    }
    QVERIFY2(output.contains(QStringLiteral("/libVelaGlobal.so")), qPrintable(output));
}

void TestCrashHandler::dumpWithoutException()
{
    // No application data object in this process: the temporary folder.
    const QString path = VLCrashHandler::WriteMinidump(nullptr);
    QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());

    const MinidumpFile dump(VelaTest::ReadFile(path));
    const QList<quint32> types = dump.Types();
    for (quint32 type : {3u, 4u, 5u, 7u, 15u, 0x47670004u, 0x47670009u})
        QVERIFY2(types.contains(type), qPrintable(QString::number(type, 16)));
    QVERIFY(!types.contains(6u)); // no exception stream

    // The calling thread comes first, with its stack among the saved memory.
    const QByteArray threads = dump.Stream(3);
    QVERIFY(threads.size() >= 4 + 48);
    QCOMPARE(threads.size(), 4 + qsizetype(u32At(threads, 0)) * 48);
    QCOMPARE(qint64(u32At(threads, 4)), qint64(gettid()));
    const quint64 stackStart = u64At(threads, 4 + 24);
    QVERIFY(u32At(threads, 4 + 32) > 0);

    const QByteArray memory = dump.Stream(5);
    QCOMPARE(memory.size(), 4 + qsizetype(u32At(memory, 0)) * 16);
    QList<QPair<quint64, quint64>> ranges;
    for (quint32 i = 0; i < u32At(memory, 0); ++i) {
        const quint64 start = u64At(memory, 4 + i * 16);
        ranges.append({start, start + u32At(memory, 4 + i * 16 + 8)});
    }
    QVERIFY(std::any_of(
        ranges.cbegin(), ranges.cend(),
        [stackStart](const QPair<quint64, quint64> &range) { return range.first == stackStart; }));

    // The module data sections stay out: no saved range touches a writable
    // mapping of a file.
    const QList<QByteArray> maps = dump.Stream(0x47670009).split('\n');
    int fileData = 0;
    for (const QByteArray &line : maps) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields.at(1).mid(1, 1) != "w" || !fields.at(5).startsWith('/'))
            continue;
        ++fileData;
        const QList<QByteArray> bounds = fields.at(0).split('-');
        const quint64 start = bounds.at(0).toULongLong(nullptr, 16);
        const quint64 end = bounds.at(1).toULongLong(nullptr, 16);
        for (const auto &range : ranges)
            QVERIFY2(range.second <= start || range.first >= end, line.constData());
    }
    QVERIFY(fileData > 0);
}

VELA_TEST_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
