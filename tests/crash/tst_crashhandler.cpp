// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "private/VLCrashRuntime_p.h"

#include <csignal>

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray restartArguments = "-w\nUnexpected unknown exception.\n";

/*
    One run of the stand-in editor in a world of its own: its LOCALAPPDATA,
    TMPDIR and a PATH that finds the "Application.exe" of the run first, or a
    copy of the editor with "Application.exe" beside it and not on PATH. That
    script writes the arguments it was started with into the run's folder;
    where the run asks for a new run, it first keeps a copy of the crashed
    run's log and starts the host, whose log replaces that one.
*/
class EditorRun
{
public:
    EditorRun(const QString &name, bool besideEditor)
        : m_root(VelaTest::Sandbox::Current()->MakeFolder("runs/" + name))
        , m_editor(VelaTest::AppFolder() + "/velahost")
    {
        QDir(m_root).mkpath("local");
        QDir(m_root).mkpath("tmp");
        QDir(m_root).mkpath("app");
        if (besideEditor) {
            m_editor = m_root + "/app/velahost";
            QFile::copy(VelaTest::AppFolder() + "/velahost", m_editor);
        }
        const QString script = m_root + (besideEditor ? "/app" : "/bin") + "/Application.exe";
        VelaTest::WriteFile(script,
                            "#!/bin/sh\n"
                            "if [ -n \"$NEW_RUN\" ]; then\n"
                            "  cat \"$LOCALAPPDATA\"/Kelvane/logs/*.txt > \"$RESTART_FILE.log\"\n"
                            "  \"$NEW_RUN\" report > /dev/null 2>&1\n"
                            "fi\n"
                            "printf '%s\\n' \"$@\" > \"$RESTART_FILE.part\"\n"
                            "mv \"$RESTART_FILE.part\" \"$RESTART_FILE\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString DataFolder() const { return m_root + "/local/Kelvane/"; }
    QString DumpFolder() const { return DataFolder() + "dumps"; }
    QString TempFolder() const { return m_root + "/tmp"; }
    QString RestartFile() const { return m_root + "/restart.txt"; }
    // The crashed run's log as the restart found it, before the new run.
    QString CrashedLogCopy() const { return RestartFile() + ".log"; }

    VelaTest::ChildResult Crash(const QString &kind, const QStringList &options,
                                const QString &preload, bool newRun)
    {
        QProcessEnvironment environment = VelaTest::WithLocalAppData(m_root + "/local");
        if (!preload.isEmpty())
            environment.insert("LD_PRELOAD", preload);
        environment.insert("TMPDIR", TempFolder());
        environment.insert("PATH", m_root + "/bin:" + environment.value("PATH"));
        environment.insert("RESTART_FILE", RestartFile());
        if (newRun)
            environment.insert("NEW_RUN", VelaTest::AppFolder() + "/velahost");
        // The time limit is far above what any crash path takes: the fault
        // path's watchdog ends a stuck process after a few seconds.
        m_started = QDateTime::currentDateTime();
        const VelaTest::ChildResult result = VelaTest::RunChild(
            m_editor, QStringList{"crash", kind} + options, environment, m_root, 60000);
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
    QString m_editor;
    QDateTime m_started;
    QDateTime m_finished;
};

QStringList dumpsIn(const QString &folder)
{
    return QDir(folder).entryList(QStringList{"*.dmp"}, QDir::Files, QDir::Name);
}

// The bytes of the dump's log stream, read by its directory.
QByteArray logTailOf(const QString &dumpPath)
{
    const QByteArray dump = VelaTest::ReadFile(dumpPath);
    const auto word = [&dump](qsizetype at) {
        return at + 4 <= dump.size() ? qFromLittleEndian<quint32>(dump.constData() + at) : 0u;
    };
    for (quint32 i = 0; i < word(8); ++i) {
        const qsizetype entry = qsizetype(word(12)) + 12 * qsizetype(i);
        if (word(entry) == VLCrashRuntime::LogTailStream)
            return dump.mid(word(entry + 8), word(entry + 4));
    }
    return "no log stream";
}

// The log lines of the crash handler, as the log output writes them.
QByteArray handlerLine(const QByteArray &message)
{
    return VelaTest::LogLine("src\\VLCrashHandler.cpp", message);
}

// A tool that a row's check needs; a missing one fails the row.
QString tool(const QString &name, const QString &path = QString())
{
    const QString found = path.isEmpty() ? QStandardPaths::findExecutable(name) : path;
    if (found.isEmpty() || !QFileInfo(found).isExecutable())
        qWarning("%s is not installed (scripts/install-deps installs it)", qPrintable(name));
    return QFileInfo(found).isExecutable() ? found : QString();
}

QString runTool(const QString &program, const QStringList &arguments)
{
    return QString::fromUtf8(VelaTest::RunChild(program, arguments,
                                                QProcessEnvironment::systemEnvironment(), QString(),
                                                120000)
                                 .standardOutput);
}

// The C++ runtime the tests run with: preloaded, it comes before the library
// in the order in which symbols are looked up.
QString cxxRuntime()
{
    const QList<QByteArray> maps = VelaTest::ReadFile("/proc/self/maps").split('\n');
    for (const QByteArray &line : maps) {
        const int at = line.indexOf('/');
        if (at > 0 && line.contains("/libstdc++.so"))
            return QString::fromUtf8(line.mid(at));
    }
    return QString();
}

// Where a row expects the dump: its "dumps" folder, the temporary folder
// (no application data object) or the data folder ("dumps" is a file); or
// no dump at all.
enum DumpPlace { InDumps, InTemp, InData, NoDump };

// What a row checks beyond the lines, the dump and the restart.
enum Check {
    // The crash lines are in the log file itself, not on the standard streams.
    LogFileOnly = 0x1,
    // lldb shows the failing thread in the code that failed, and main().
    LldbBacktrace = 0x2,
    // lldb lists every thread of the process.
    LldbThreads = 0x4,
    // lldb reads the heap's marker back from the dump.
    LldbHeap = 0x8,
    // minidump_stackwalk gives the crash reason and lists every thread.
    Stackwalk = 0x10,
    // The dump stays small: untouched stacks are not written.
    SmallDump = 0x20,
    // "Application.exe" lies beside the editor, not on PATH.
    BesideEditor = 0x40,
    // The C++ runtime comes first in symbol lookup.
    RuntimeFirst = 0x80,
    // The restart starts a new run, which deletes the crashed run's log: the
    // dump holds the newest lines of it, byte for byte, from a line start.
    NewRun = 0x100,
};

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
    // One row per way the editor fails: the lines it leaves, the dump, the
    // restart and what the dump shows.
    void crash_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("message");
        // The signal that ends the process, or 0 when it goes on.
        QTest::addColumn<int>("endingSignal");
        QTest::addColumn<int>("place");
        QTest::addColumn<int>("checks");
        // Threads the dump lists, when the row counts them.
        QTest::addColumn<int>("threads");

        const QByteArray seh = "Seh";
        const QStringList none;
        QTest::newRow("null write") << "null-write" << none << seh << int(SIGSEGV) << int(InDumps)
                                    << int(Stackwalk | SmallDump) << 1;
        QTest::newRow("worker") << "worker-null-write" << none << seh << int(SIGSEGV)
                                << int(InDumps) << int(LldbBacktrace) << 2;
        QTest::newRow("stack overflow")
            << "stack-overflow" << none << seh << int(SIGSEGV) << int(InDumps) << 0 << 0;
        QTest::newRow("stack overflow on a thread that installed nothing")
            << "thread-stack-overflow" << none << seh << int(SIGSEGV) << int(InDumps)
            << int(Stackwalk) << 2;
        QTest::newRow("division by zero")
            << "divide-by-zero" << none << seh << int(SIGFPE) << int(InDumps) << 0 << 0;
        QTest::newRow("without data") << "null-write" << QStringList{"--after-release"} << seh
                                      << int(SIGSEGV) << int(InTemp) << 0 << 0;
        QTest::newRow("dumps blocked")
            << "null-write" << none << seh << int(SIGSEGV) << int(InData) << 0 << 0;
        // A fault while the log mutex or the crash lock is taken still ends the
        // process by its own signal, long before the test's time limit, and
        // its lines reach the log file.
        QTest::newRow("fault inside a log write")
            << "null-write-in-log" << none << seh << int(SIGSEGV) << int(InDumps)
            << int(LogFileOnly) << 0;
        QTest::newRow("fault inside the editor's message handler")
            << "null-write-in-message-handler" << none << seh << int(SIGSEGV) << int(InDumps)
            << int(LogFileOnly) << 0;
        QTest::newRow("log write of another thread never ends")
            << "null-write-log-stalled" << none << seh << int(SIGSEGV) << int(InDumps)
            << int(LogFileOnly) << 0;
        QTest::newRow("fault inside a handler")
            << "null-write-in-handler" << none << seh << int(SIGSEGV) << int(InDumps)
            << int(LogFileOnly) << 0;
        QTest::newRow("handler of another thread never ends")
            << "null-write-handler-stalled" << none << seh << int(SIGSEGV) << int(InDumps)
            << int(LogFileOnly) << 0;
        QTest::newRow("60 threads blocking every signal")
            << "null-write" << QStringList{"--threads", "60", "--block-signals"} << seh
            << int(SIGSEGV) << int(InDumps) << int(LldbThreads) << 61;
        QTest::newRow("300 idle threads")
            << "null-write" << QStringList{"--threads", "300"} << seh << int(SIGSEGV)
            << int(InDumps) << int(Stackwalk | SmallDump) << 301;
        QTest::newRow("200 MB heap") << "null-write" << QStringList{"--heap", "200"} << seh
                                     << int(SIGSEGV) << int(InDumps) << int(LldbHeap) << 0;
        QTest::newRow("new run after the restart")
            << "null-write" << none << seh << int(SIGSEGV) << int(InDumps) << int(NewRun) << 0;
        // More log than the dump holds.
        QTest::newRow("new run after the restart, long log")
            << "null-write" << QStringList{"--log-lines", "8000"} << seh << int(SIGSEGV)
            << int(InDumps) << int(NewRun | Stackwalk) << 1;
        QTest::newRow("editor beside the executable, not on PATH")
            << "null-write" << none << seh << int(SIGSEGV) << int(InDumps) << int(BesideEditor)
            << 0;

        // Software events: one line, no dump, no restart.
        const auto event = [&](const char *kind, const QByteArray &message, int endingSignal,
                               int checks = 0) {
            QTest::newRow(kind) << QString::fromLatin1(kind).section(' ', 0, 0) << none << message
                                << endingSignal << int(NoDump) << checks << 0;
        };
        event("raise-abrt", "Unexpected abort", 0);
        event("raise-int", "Unexpected int", 0);
        event("raise-term", "Unexpected term", 0);
        event("raise-fpe", "Unexpected fpe", 0);
        event("raise-ill", "Unexpected ill", 0);
        event("raise-segv", "Unexpected segv", 0);
        event("abort", "Unexpected abort", SIGABRT);
        // glibc aborts while it holds its heap lock: nothing may wait for it.
        event("double-free", "Unexpected abort", SIGABRT);
        event("terminate", "Terminate", SIGABRT);
        event("unexpected", "Unexpected error", SIGABRT);
        // A real pure virtual call reaches the pure-call handler whichever of
        // the library and the C++ runtime comes first.
        event("pure-virtual-call", "Pure virtual method call", SIGABRT);
        event("pure-virtual-call with the C++ runtime first", "Pure virtual method call", SIGABRT,
              RuntimeFirst);
        event("invalid-parameter",
              "Invalid parameter expr \"destination != nullptr\" function \"strcpy_s\" "
              "file \"tools\\velahost\\CrashCommand.cpp\" line \"42\"",
              0);
    }

    void crash()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, message);
        QFETCH(int, endingSignal);
        QFETCH(int, place);
        QFETCH(int, checks);
        QFETCH(int, threads);
        EditorRun run(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'),
                      checks & BesideEditor);
        const QString folder = place == InTemp   ? run.TempFolder()
                               : place == InData ? run.DataFolder()
                                                 : run.DumpFolder();
        const QString oldDump = "01-01-2020_10-00-00.dmp";
        if (place == InData)
            QVERIFY(VelaTest::WriteFile(run.DumpFolder(), "a file where the folder should be"));
        if (place != NoDump) {
            QVERIFY(VelaTest::WriteFile(folder + '/' + oldDump, "old"));
            QVERIFY(VelaTest::WriteFile(folder + "/notes.txt", "kept"));
        }

        const VelaTest::ChildResult result = run.Crash(
            kind, options, (checks & RuntimeFirst) ? cxxRuntime() : QString(), checks & NewRun);
        QCOMPARE(result.exitStatus, endingSignal ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(result.exitCode, endingSignal);

        if (checks & NewRun)
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(run.RestartFile()), 10000);
        const QByteArray logFile =
            (checks & NewRun) ? VelaTest::ReadFile(run.CrashedLogCopy()) : run.Log();
        if (place == NoDump) {
            // One line, and no "Seh", no dump, no restart.
            QCOMPARE(logFile.count(handlerLine(message)), 1);
            QVERIFY2(!logFile.contains("Seh") && !logFile.contains("Minidum"), logFile.constData());
            QVERIFY(dumpsIn(run.DumpFolder()).isEmpty() && dumpsIn(run.TempFolder()).isEmpty());
            QVERIFY(!QFileInfo::exists(run.RestartFile()));
            return;
        }

        // One new dump named by the crash time, readable by its owner alone;
        // the earlier ones are deleted, except in the temporary folder that
        // other programs share.
        QStringList dumps = dumpsIn(folder);
        QVERIFY(!dumps.isEmpty());
        const QString dump = dumps.takeLast();
        QVERIFY2(run.IsNamedByCrashTime(dump), qPrintable(dump));
        QCOMPARE(dumps, place == InTemp ? QStringList(oldDump) : QStringList());
        QVERIFY(QFileInfo::exists(folder + "/notes.txt"));
        // The data folder path ends with a separator, and one more comes before
        // the file name.
        const QString dumpPath = folder + '/' + dump;
        struct stat status = {};
        QCOMPARE(stat(QFile::encodeName(dumpPath).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0600u);

        // Without the application data object the lines reach the standard
        // output; else the log file, whatever was failing at the time.
        const QByteArray log = place == InTemp ? result.standardOutput : logFile;
        const QByteArray created =
            handlerLine("Minidump was created in file \"" + dumpPath.toUtf8() + '"');
        QCOMPARE(log.count(handlerLine(message)), 1);
        QCOMPARE(log.count(created), 1);
        QVERIFY(log.indexOf(handlerLine(message)) < log.indexOf(created));
        if (checks & LogFileOnly)
            QVERIFY(!result.standardOutput.contains("Seh")
                    && !result.standardError.contains("Seh"));

        // The editor is started again with its warning.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(run.RestartFile()), 10000);
        QCOMPARE(VelaTest::ReadFile(run.RestartFile()), restartArguments);

        if (checks & NewRun)
            checkLogTail(logTailOf(dumpPath), logFile, created, run.Log());
        if (checks & SmallDump)
            QVERIFY2(QFileInfo(dumpPath).size() < 64 << 20,
                     qPrintable(QString::number(QFileInfo(dumpPath).size())));
        if (checks & Stackwalk)
            checkStackwalk(dumpPath, threads);
        if (checks & (LldbBacktrace | LldbThreads | LldbHeap))
            checkLldb(dumpPath, checks, threads, result.standardOutput);
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

private:
    // The dump's log stream is the crashed log up to the dump's own line, or
    // its newest lines from a line start; the new run's log replaced it.
    static void checkLogTail(const QByteArray &tail, const QByteArray &crashedLog,
                             const QByteArray &created, const QByteArray &newLog)
    {
        QVERIFY(!newLog.isEmpty() && !newLog.contains("Seh"));
        const QByteArray expected =
            crashedLog.left(crashedLog.lastIndexOf('\n', crashedLog.indexOf(created)) + 1);
        QVERIFY(expected.endsWith(handlerLine("Seh")));
        const qsizetype cap = VLCrashRuntime::LogTailBytes;
        if (expected.size() <= cap) {
            QCOMPARE(tail, expected);
            return;
        }
        QVERIFY2(tail.size() <= cap && tail.size() > cap - 200,
                 qPrintable(QString::number(tail.size())));
        QVERIFY(expected.endsWith(tail));
        QCOMPARE(expected.at(expected.size() - tail.size() - 1), '\n');
    }

    // Breakpad's own reader gives the crash reason and every thread.
    static void checkStackwalk(const QString &dumpPath, int threads)
    {
        const QString stackwalk = tool("minidump_stackwalk", VELA_MINIDUMP_STACKWALK);
        QVERIFY(!stackwalk.isEmpty());
        const QString output = runTool(stackwalk, {dumpPath});
        QVERIFY2(output.contains(QRegularExpression("Crash reason: +SIGSEGV")), qPrintable(output));
        QCOMPARE(output.count(QRegularExpression("\\nThread \\d+")), threads);
    }

    static void checkLldb(const QString &dumpPath, int checks, int threads,
                          const QByteArray &childOutput)
    {
        const QString lldb = tool("lldb");
        QVERIFY(!lldb.isEmpty());
        QStringList commands = {"thread list", "thread backtrace all -c 12", "image list"};
        const QRegularExpressionMatch marker = QRegularExpression("heap marker at (0x[0-9a-f]+)")
                                                   .match(QString::fromUtf8(childOutput));
        if (checks & LldbHeap) {
            QVERIFY(marker.hasMatch());
            commands = QStringList{"memory read -f s -c 1 " + marker.captured(1)};
        }
        QStringList arguments = {"--batch", "-c", dumpPath};
        for (const QString &command : commands)
            arguments << "-o" << command;
        const QString output = runTool(lldb, arguments);
        if (checks & LldbHeap)
            QVERIFY2(output.contains("\"velahost heap marker\""), qPrintable(output));
        if (checks & LldbThreads)
            QCOMPARE(output.count(QRegularExpression("\\n[ *] thread #\\d+: tid")), threads);
        if (!(checks & LldbBacktrace))
            return;
        // The crashing thread, stopped by its signal, in the code that failed;
        // the main thread that waits for it, with its own registers and
        // stack, unwinds down to main().
        const QRegularExpressionMatch match =
            QRegularExpression("\\* thread #\\d+: tid = (\\d+), 0x[0-9a-f]+ "
                               "velahost`.*CrashCommand\\.cpp:\\d+.*stop reason = signal SIGSEGV\n")
                .match(output);
        QVERIFY2(match.hasMatch(), qPrintable(output));
        QVERIFY2(output.contains("velahost`main") && output.contains("/libVelaGlobal.so"),
                 qPrintable(output));
    }
};

VELA_TEST_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
