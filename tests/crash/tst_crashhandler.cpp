// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "VLCrashHandler.h"
#include "private/VLCrashRuntime_p.h"

#include <csignal>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray restartArguments = "-w\nUnexpected unknown exception.\n";

/*
    One run of the stand-in editor in a world of its own: its LOCALAPPDATA,
    TMPDIR and a PATH that finds the "Application.exe" of the run first. That
    script writes the arguments it was started with into the run's folder.
*/
class EditorRun
{
public:
    explicit EditorRun(const QString &name)
        : m_root(VelaTest::Sandbox::Current()->MakeFolder("runs/" + name))
    {
        QDir(m_root).mkpath("local");
        QDir(m_root).mkpath("tmp");
        const QString script = m_root + "/bin/Application.exe";
        VelaTest::WriteFile(script, "#!/bin/sh\n"
                                    "printf '%s\\n' \"$@\" > \"$RESTART_FILE.part\"\n"
                                    "mv \"$RESTART_FILE.part\" \"$RESTART_FILE\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString DataFolder() const { return m_root + "/local/Kelvane/"; }
    QString DumpFolder() const { return DataFolder() + "dumps"; }
    QString TempFolder() const { return m_root + "/tmp"; }
    QString RestartFile() const { return m_root + "/restart.txt"; }

    VelaTest::ChildResult Crash(const QString &kind, const QStringList &options = QStringList())
    {
        QProcessEnvironment environment = VelaTest::WithLocalAppData(m_root + "/local");
        environment.insert("TMPDIR", TempFolder());
        environment.insert("PATH", m_root + "/bin:" + environment.value("PATH"));
        environment.insert("RESTART_FILE", RestartFile());
        // The time limit is far above what any crash path takes: the fault
        // path's watchdog ends a stuck process after a few seconds.
        m_started = QDateTime::currentDateTime();
        const VelaTest::ChildResult result =
            VelaTest::RunChild(VelaTest::AppFolder() + "/velahost",
                               QStringList{"crash", kind} + options, environment, m_root, 30000);
        m_finished = QDateTime::currentDateTime();
        return result;
    }

    QByteArray Log() const { return VelaTest::RunLog(DataFolder()); }

    // Whether a dump named like this one could have been written by the run.
    bool IsNamedByCrashTime(const QString &fileName) const
    {
        const QDateTime named = QDateTime::fromString(fileName.chopped(4), "dd-MM-yyyy_hh-mm-ss");
        const QDateTime from = m_started.addMSecs(-m_started.time().msec());
        return named.isValid() && named >= from && named <= m_finished;
    }

private:
    QString m_root;
    QDateTime m_started;
    QDateTime m_finished;
};

QStringList dumpsIn(const QString &folder)
{
    return QDir(folder).entryList(QStringList{"*.dmp"}, QDir::Files, QDir::Name);
}

// The log lines of the crash handler, as the log output writes them.
QByteArray handlerLine(const QByteArray &message)
{
    return VelaTest::LogLine("src\\VLCrashHandler.cpp", message);
}

quint32 u32At(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint64 u64At(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint64>(bytes.constData() + at);
}

// The streams of a minidump, empty unless it passes the checks readers make:
// signature, version, every entry inside the file, no type twice.
QMap<quint32, QByteArray> minidumpStreams(const QByteArray &bytes)
{
    QMap<quint32, QByteArray> streams;
    if (bytes.size() < 32 || u32At(bytes, 0) != 0x504D444D || (u32At(bytes, 4) & 0xFFFF) != 0xA793
        || u32At(bytes, 12) + qsizetype(u32At(bytes, 8)) * 12 > bytes.size())
        return streams;
    for (quint32 i = 0, entry = u32At(bytes, 12); i < u32At(bytes, 8); ++i, entry += 12) {
        const quint32 type = u32At(bytes, entry);
        const quint32 size = u32At(bytes, entry + 4);
        const quint32 rva = u32At(bytes, entry + 8);
        if (type == 0 && size == 0)
            continue;
        if (qsizetype(rva) + size > bytes.size() || streams.contains(type))
            return {};
        streams.insert(type, bytes.mid(rva, size));
    }
    return streams;
}

// Where a row expects the dump: its "dumps" folder, the temporary folder
// (no application data object) or the data folder ("dumps" is a file).
enum DumpPlace { InDumps, InTemp, InData };

// The child's end of its pipe to the parent.
int s_pipe = -1;

// What a forked child of the test process said through its pipe, then '|'
// and how it ended: the signal that ended it, or minus its exit code. A child
// that says nothing more for a long time hung: it is killed and ends by SIGKILL.
QByteArray runInChild(void (*body)())
{
    QByteArray said;
    int fds[2];
    if (pipe(fds) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        // The child starts without the test framework's own crash handlers.
        for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber)
            std::signal(signalNumber, SIG_DFL);
        close(fds[0]);
        s_pipe = fds[1];
        body();
        _exit(0);
    }
    close(fds[1]);
    pollfd readable = {fds[0], POLLIN, 0};
    char buffer[256];
    ssize_t got = 0;
    while (poll(&readable, 1, 30000) > 0 && (got = read(fds[0], buffer, sizeof(buffer))) > 0)
        said.append(buffer, got);
    close(fds[0]);
    // Harmless for a child that has ended: it is not reaped yet.
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    return said + '|'
           + QByteArray::number(WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status));
}

// A write through it faults at a known address.
int *volatile s_faultAddress = reinterpret_cast<int *>(0x10);

// The filter of the row: it hangs, or faults again.
bool s_filterHangs = false;

} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fault_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("place");
        QTest::newRow("null write") << "null-write" << int(InDumps);
        QTest::newRow("worker") << "worker-null-write" << int(InDumps);
        QTest::newRow("stack overflow") << "stack-overflow" << int(InDumps);
        QTest::newRow("division by zero") << "divide-by-zero" << int(InDumps);
        QTest::newRow("without data") << "null-write" << int(InTemp);
        QTest::newRow("dumps blocked") << "null-write" << int(InData);
        // A fault while the log mutex or the crash lock is taken still ends the
        // process by its own signal, long before the test's time limit.
        QTest::newRow("fault inside a log write") << "null-write-in-log" << int(InDumps);
        QTest::newRow("log write of another thread never ends")
            << "null-write-log-stalled" << int(InDumps);
        QTest::newRow("fault inside a handler") << "null-write-in-handler" << int(InDumps);
        QTest::newRow("handler of another thread never ends")
            << "null-write-handler-stalled" << int(InDumps);
    }

    void fault()
    {
        QFETCH(QString, kind);
        QFETCH(int, place);
        const int signalNumber = kind == "divide-by-zero" ? SIGFPE : SIGSEGV;
        EditorRun run(QTest::currentDataTag());
        const QString folder = place == InDumps  ? run.DumpFolder()
                               : place == InTemp ? run.TempFolder()
                                                 : run.DataFolder();
        const QString oldDump = "01-01-2020_10-00-00.dmp";
        if (place == InData)
            QVERIFY(VelaTest::WriteFile(run.DumpFolder(), "a file where the folder should be"));
        QVERIFY(VelaTest::WriteFile(folder + '/' + oldDump, "old"));
        QVERIFY(VelaTest::WriteFile(folder + "/notes.txt", "kept"));

        const VelaTest::ChildResult result =
            run.Crash(kind, place == InTemp ? QStringList{"--after-release"} : QStringList());
        QCOMPARE(result.exitStatus, QProcess::CrashExit);
        QCOMPARE(result.exitCode, signalNumber);

        // One new dump named by the crash time; the earlier ones are deleted,
        // except in the temporary folder that other programs share.
        QStringList dumps = dumpsIn(folder);
        QVERIFY(!dumps.isEmpty());
        const QString dump = dumps.takeLast();
        QVERIFY2(run.IsNamedByCrashTime(dump), qPrintable(dump));
        QCOMPARE(dumps, place == InTemp ? QStringList(oldDump) : QStringList());
        QVERIFY(QFileInfo::exists(folder + "/notes.txt"));
        // The data folder path ends with a separator, and one more comes before
        // the file name.
        const QString dumpPath = folder + '/' + dump;

        // Lines the log cannot take (it is gone or its mutex is stuck) reach the
        // standard streams.
        const QByteArray log = run.Log() + result.standardOutput + result.standardError;
        const QByteArray created =
            handlerLine("Minidump was created in file \"" + dumpPath.toUtf8() + '"');
        QCOMPARE(log.count(handlerLine("Seh")), 1);
        QCOMPARE(log.count(created), 1);
        QVERIFY(log.indexOf(handlerLine("Seh")) < log.indexOf(created));

        // The editor is started again with its warning.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(run.RestartFile()), 10000);
        QCOMPARE(VelaTest::ReadFile(run.RestartFile()), restartArguments);

        // The dump opens in a debugger, once: the worker row shows the most.
        if (kind != "worker-null-write")
            return;
        const QString lldb = QStandardPaths::findExecutable("lldb");
        if (lldb.isEmpty())
            QSKIP("lldb is not installed: the dump was not opened");
        const QString output = QString::fromUtf8(
            VelaTest::RunChild(
                lldb,
                QStringLiteral("--batch|-c|%1|-o|thread list|-o|thread backtrace all "
                               "-c 12|-o|image list")
                    .arg(dumpPath)
                    .split('|'),
                QProcessEnvironment::systemEnvironment(), QString(), 120000)
                .standardOutput);
        // The crashing thread, stopped by its signal, in the code that failed;
        // the main thread that waits for it, with its own registers and
        // stack, unwinds down to main().
        const QRegularExpressionMatch match =
            QRegularExpression("Process (\\d+) stopped\n\\* thread #1: tid = (\\d+), 0x[0-9a-f]+ "
                               "velahost`.*CrashCommand\\.cpp:\\d+.*stop reason = signal SIGSEGV\n")
                .match(output);
        QVERIFY2(match.hasMatch() && match.captured(1) != match.captured(2), qPrintable(output));
        QVERIFY2(output.contains("thread #2: tid = " + match.captured(1))
                     && output.contains("velahost`main") && output.contains("/libVelaGlobal.so"),
                 qPrintable(output));
    }

    void softwareEvent_data()
    {
        // The row names the kind of the stand-in editor.
        QTest::addColumn<QByteArray>("message");
        // 0: the process goes on; else the signal that ends it afterwards.
        QTest::addColumn<int>("endingSignal");
        QTest::newRow("raise-abrt") << QByteArray("Unexpected abort") << 0;
        QTest::newRow("raise-int") << QByteArray("Unexpected int") << 0;
        QTest::newRow("raise-term") << QByteArray("Unexpected term") << 0;
        QTest::newRow("raise-fpe") << QByteArray("Unexpected fpe") << 0;
        QTest::newRow("raise-ill") << QByteArray("Unexpected ill") << 0;
        QTest::newRow("raise-segv") << QByteArray("Unexpected segv") << 0;
        QTest::newRow("abort") << QByteArray("Unexpected abort") << int(SIGABRT);
        QTest::newRow("terminate") << QByteArray("Terminate") << int(SIGABRT);
        QTest::newRow("unexpected") << QByteArray("Unexpected error") << int(SIGABRT);
        // A real pure virtual call reaches the runtime's pure-call entry.
        QTest::newRow("pure-virtual-call")
            << QByteArray("Pure virtual method call") << int(SIGABRT);
        QTest::newRow("invalid-parameter")
            << QByteArray("Invalid parameter expr \"destination != nullptr\" function \"strcpy_s\" "
                          "file \"tools\\velahost\\CrashCommand.cpp\" line \"42\"")
            << 0;
    }

    void softwareEvent()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, endingSignal);
        EditorRun run(QTest::currentDataTag());

        const VelaTest::ChildResult result =
            run.Crash(QString::fromLatin1(QTest::currentDataTag()));

        QCOMPARE(result.exitStatus, endingSignal ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(result.exitCode, endingSignal);
        // One line, and no "Seh", no dump, no restart.
        const QByteArray log = run.Log();
        QCOMPARE(log.count(handlerLine(message)), 1);
        QVERIFY2(!log.contains("Seh") && !log.contains("Minidum"), log.constData());
        QVERIFY(dumpsIn(run.DumpFolder()).isEmpty() && dumpsIn(run.TempFolder()).isEmpty());
        QVERIFY(!QFileInfo::exists(run.RestartFile()));
    }

    void dumpWithoutException()
    {
        // Every stream a reader needs, no exception stream, and the calling
        // thread first in the thread list.
        const QMap<quint32, QByteArray> streams =
            minidumpStreams(VelaTest::ReadFile(VLCrashHandler::WriteMinidump(nullptr)));
        for (quint32 type : {3u, 4u, 5u, 7u, 15u, 0x47670004u, 0x47670009u})
            QVERIFY2(streams.contains(type), qPrintable(QString::number(type, 16)));
        QVERIFY(!streams.contains(6u));
        const QByteArray threads = streams.value(3);
        QCOMPARE(threads.size(), 4 + qsizetype(u32At(threads, 0)) * 48);
        QCOMPARE(qint64(u32At(threads, 4)), qint64(gettid()));

        // The module data sections stay out: no saved range touches a
        // writable mapping of a file. (The stacks are in: the debugger
        // unwinds them in the fault test.)
        const QByteArray memory = streams.value(5);
        QCOMPARE(memory.size(), 4 + qsizetype(u32At(memory, 0)) * 16);
        int fileData = 0;
        for (const QByteArray &line : streams.value(0x47670009).split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 6 || fields.at(1).mid(1, 1) != "w" || !fields.at(5).startsWith('/'))
                continue;
            ++fileData;
            const QList<QByteArray> bounds = fields.at(0).split('-');
            for (quint32 i = 0; i < u32At(memory, 0); ++i) {
                const quint64 start = u64At(memory, 4 + i * 16);
                QVERIFY2(start + u32At(memory, 12 + i * 16) <= bounds.at(0).toULongLong(nullptr, 16)
                             || start >= bounds.at(1).toULongLong(nullptr, 16),
                         line.constData());
            }
        }
        QVERIFY(fileData > 0);
    }

    // Whatever the filter does, the fault ends the process by its signal.
    void faultingFilter_data()
    {
        QTest::addColumn<bool>("hangs");
        QTest::newRow("stuck filter ended by the watchdog") << true;
        QTest::newRow("fault inside the filter ends at once") << false;
    }

    void faultingFilter()
    {
        using namespace VLCrashRuntime;
        QFETCH(bool, hangs);
        s_filterHangs = hangs;
        const QByteArray end = runInChild([] {
            SetUnhandledExceptionFilter([](EXCEPTION_POINTERS *) -> LONG {
                // write() is async-signal-safe: the filter runs in a handler.
                if (write(s_pipe, "f", 1) != 1)
                    _exit(99);
                while (s_filterHangs)
                    pause();
                *s_faultAddress = 1;
                return EXCEPTION_EXECUTE_HANDLER;
            });
            *s_faultAddress = 1;
        });
        QCOMPARE(end, "f|" + QByteArray::number(SIGSEGV));
    }
};

VELA_TEST_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
