// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "private/VLCrashRuntime_p.h"

#include <chrono>
#include <csignal>

#include <sys/stat.h>

namespace {

const QByteArray restartArguments = "-w\nUnexpected unknown exception.\n";

QStringList dumpsIn(const QString &folder)
{
    return QDir(folder).entryList(QStringList{"*.dmp"}, QDir::Files, QDir::Name);
}

QByteArray handlerLine(const QByteArray &message)
{
    return VelaTest::LogLine("src\\VLCrashHandler.cpp", message);
}

// The output of a tool that a row's check needs; a missing tool fails the row.
QString runTool(const QString &name, const QStringList &arguments, const QString &path = {})
{
    const QString found = path.isEmpty() ? QStandardPaths::findExecutable(name) : path;
    if (found.isEmpty() || !QFileInfo(found).isExecutable()) {
        qWarning("%s is not installed (scripts/install-deps installs it)", qPrintable(name));
        return QString();
    }
    return QString::fromUtf8(
        VelaTest::RunChild(found, arguments, QProcessEnvironment::systemEnvironment(), {}, 120000)
            .standardOutput);
}

// The C++ runtime the tests run with: preloaded, it comes before the library
// in the order in which symbols are looked up.
QString cxxRuntime()
{
    for (const QByteArray &line : VelaTest::ReadFile("/proc/self/maps").split('\n')) {
        if (line.contains("/libstdc++.so"))
            return QString::fromUtf8(line.mid(line.indexOf('/')));
    }
    return QString();
}

// Where a row expects the dump: its "dumps" folder, the temporary folder
// (no application data object), the data folder ("dumps" is a file), or
// nowhere: "dumps" leads to a folder that takes no file, or the event writes
// no dump at all.
enum DumpPlace { InDumps, InTemp, InData, Unwritable, NoDump };

// What a row checks beyond the lines, the dump and the restart.
enum Check {
    // The crash lines are in the log file itself, not on the standard streams.
    LogFileOnly = 0x1,
    // lldb shows the failing thread in the code that failed, and main().
    LldbBacktrace = 0x2,
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
};

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
        // The handlers' messages, each logged once, in this order.
        QTest::addColumn<QByteArrayList>("messages");
        // The signal that ends the process, or 0 when it goes on.
        QTest::addColumn<int>("endingSignal");
        QTest::addColumn<int>("place");
        QTest::addColumn<int>("checks");
        // Threads the dump lists, when the row counts them.
        QTest::addColumn<int>("threads");

        const auto fault = [](const char *name, const char *kind, const QStringList &options = {},
                              int checks = 0, int threads = 0, int place = InDumps,
                              int endingSignal = SIGSEGV) {
            QTest::newRow(name) << QString(kind) << options << QByteArrayList{"Seh"} << endingSignal
                                << place << checks << threads;
        };
        fault("null write", "null-write", {}, Stackwalk | SmallDump, 1);
        fault("worker", "worker-null-write", {}, LldbBacktrace, 2);
        fault("stack overflow", "stack-overflow");
        fault("stack overflow on a thread that installed nothing", "thread-stack-overflow", {},
              Stackwalk, 2);
        fault("division by zero", "divide-by-zero", {}, 0, 0, InDumps, SIGFPE);
        fault("without data", "null-write", {"--after-release"}, 0, 0, InTemp);
        fault("dumps blocked", "null-write", {}, 0, 0, InData);
        fault("dumps folder takes no file", "null-write", {}, 0, 0, Unwritable);
        // A fault while the log mutex or the crash lock is taken still ends the
        // process by its own signal, long before the test's time limit, and
        // its lines reach the log file.
        fault("fault inside a log write", "null-write-in-log", {}, LogFileOnly);
        fault("fault inside the editor's message handler", "null-write-in-message-handler", {},
              LogFileOnly);
        fault("log write of another thread never ends", "null-write-log-stalled", {}, LogFileOnly);
        fault("fault inside a handler", "null-write-in-handler", {}, LogFileOnly);
        fault("handler of another thread never ends", "null-write-handler-stalled", {},
              LogFileOnly);
        fault("60 threads blocking every signal", "null-write",
              {"--threads", "60", "--block-signals"}, Stackwalk, 61);
        fault("300 idle threads", "null-write", {"--threads", "300"}, Stackwalk | SmallDump, 301);
        fault("200 MB heap", "null-write", {"--heap", "200"}, LldbHeap);
        fault("editor beside the executable, not on PATH", "null-write", {}, BesideEditor);

        // Software events: their lines, no dump, no restart.
        const auto event = [](const char *name, const QByteArrayList &messages, int endingSignal,
                              int checks = 0) {
            QTest::newRow(name) << QString(name).section(' ', 0, 0) << QStringList() << messages
                                << endingSignal << int(NoDump) << checks << 0;
        };
        event("raise-abrt", {"Unexpected abort"}, 0);
        event("raise-int", {"Unexpected int"}, 0);
        event("raise-term", {"Unexpected term"}, 0);
        event("raise-fpe", {"Unexpected fpe"}, 0);
        event("raise-ill", {"Unexpected ill"}, 0);
        event("raise-segv", {"Unexpected segv"}, 0);
        event("abort", {"Unexpected abort"}, SIGABRT);
        // glibc aborts while it holds its heap lock: nothing may wait for it.
        event("double-free", {"Unexpected abort"}, SIGABRT);
        // The runtime's own course after the handler is abort(), a second
        // report of the same process.
        event("terminate", {"Terminate", "Unexpected abort"}, SIGABRT);
        event("unexpected", {"Unexpected error", "Unexpected abort"}, SIGABRT);
        // A real pure virtual call reaches the pure-call handler whichever of
        // the library and the C++ runtime comes first.
        event("pure-virtual-call", {"Pure virtual method call", "Unexpected abort"}, SIGABRT);
        event("pure-virtual-call with the C++ runtime first",
              {"Pure virtual method call", "Unexpected abort"}, SIGABRT, RuntimeFirst);
        event("invalid-parameter",
              {"Invalid parameter expr \"destination != nullptr\" function \"strcpy_s\" "
               "file \"tools\\velahost\\CrashCommand.cpp\" line \"42\""},
              0);
    }

    void crash()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, options);
        QFETCH(QByteArrayList, messages);
        QFETCH(int, endingSignal);
        QFETCH(int, place);
        QFETCH(int, checks);
        QFETCH(int, threads);
        // A world of its own: LOCALAPPDATA, TMPDIR and a PATH that finds the
        // run's "Application.exe" first, or a copy of the editor with
        // "Application.exe" beside it and not on PATH. That script writes the
        // arguments it was started with.
        const QString root = VelaTest::Sandbox::Current()->MakeFolder(
            "runs/" + QString(QTest::currentDataTag()).replace(' ', '-'));
        const QString dataFolder = root + "/local/Kelvane/", restart = root + "/restart.txt";
        const QString script =
            root + ((checks & BesideEditor) ? "/app" : "/bin") + "/Application.exe";
        QVERIFY(VelaTest::WriteFile(script, "#!/bin/sh\n"
                                            "printf '%s\\n' \"$@\" > \"$RESTART_FILE.part\"\n"
                                            "mv \"$RESTART_FILE.part\" \"$RESTART_FILE\"\n"));
        QVERIFY(
            QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QString editor = VelaTest::AppFolder() + "/velahost";
        if ((checks & BesideEditor) && QFile::copy(editor, root + "/app/velahost"))
            editor = root + "/app/velahost";
        QVERIFY(QDir(root).mkpath("tmp"));
        const QString folder = place == InTemp   ? root + "/tmp"
                               : place == InData ? dataFolder
                                                 : dataFolder + "dumps";
        const QString oldDump = "01-01-2020_10-00-00.dmp";
        if (place == InData)
            QVERIFY(VelaTest::WriteFile(dataFolder + "dumps", "a file where the folder should be"));
        // No file can be made there, not even by root.
        if (place == Unwritable)
            QVERIFY(QDir().mkpath(dataFolder) && QFile::link("/proc", dataFolder + "dumps"));
        if (place < Unwritable) {
            QVERIFY(VelaTest::WriteFile(folder + '/' + oldDump, "old"));
            QVERIFY(VelaTest::WriteFile(folder + "/notes.txt", "kept"));
        }

        QProcessEnvironment environment = VelaTest::WithLocalAppData(root + "/local");
        if (checks & RuntimeFirst)
            environment.insert("LD_PRELOAD", cxxRuntime());
        environment.insert("TMPDIR", root + "/tmp");
        environment.insert("PATH", root + "/bin:" + environment.value("PATH"));
        environment.insert("RESTART_FILE", restart);
        const QDateTime started = QDateTime::currentDateTime();
        const VelaTest::ChildResult result = VelaTest::RunChild(
            editor, QStringList{"crash", kind} + options, environment, root, 60000);
        const qint64 endedNs =
            std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
        const QDateTime finished = QDateTime::currentDateTime();
        QCOMPARE(result.exitStatus, endingSignal ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(result.exitCode, endingSignal);

        const QByteArray logFile = VelaTest::RunLog(dataFolder);
        // Without the application data object the lines reach the standard
        // output; else the log file, whatever was failing at the time.
        const QByteArray log = place == InTemp ? result.standardOutput : logFile;
        qsizetype at = -1;
        for (const QByteArray &message : messages) {
            QCOMPARE(log.count(handlerLine(message)), 1);
            QVERIFY2(log.indexOf(handlerLine(message)) > at, log.constData());
            at = log.indexOf(handlerLine(message));
        }
        if (place == NoDump) {
            QVERIFY2(!logFile.contains("Seh") && !logFile.contains("Minidum"), logFile.constData());
            QVERIFY(dumpsIn(dataFolder + "dumps").isEmpty() && dumpsIn(root + "/tmp").isEmpty());
            QVERIFY(!QFileInfo::exists(restart));
            // Each report takes the crash lock that the one before let go:
            // none waits for it.
            const QRegularExpressionMatch failing =
                QRegularExpression("failing at (\\d+) ns")
                    .match(QString::fromUtf8(result.standardOutput));
            const qint64 ms = (endedNs - failing.captured(1).toLongLong()) / 1000000;
            QVERIFY2(failing.hasMatch() && ms < 2500, qPrintable(QString::number(ms)));
            return;
        }
        if (checks & LogFileOnly)
            QVERIFY(!result.standardOutput.contains("Seh")
                    && !result.standardError.contains("Seh"));

        // One line after the "Seh" names the dump, or the file that could not
        // be made, by the crash time; the data folder path ends with a
        // separator, and one more comes before the file name.
        const QRegularExpressionMatch named =
            QRegularExpression(QRegularExpression::escape(folder + '/') + "([0-9_-]+\\.dmp)\"")
                .match(QString::fromUtf8(log));
        const QDateTime crashTime =
            QDateTime::fromString(named.captured(1), "dd-MM-yyyy_hh-mm-ss'.dmp'");
        QVERIFY2(crashTime > started.addSecs(-1) && crashTime <= finished, log.constData());
        const QString dumpPath = folder + '/' + named.captured(1);
        const QByteArray written =
            handlerLine((place == Unwritable ? "Minidum didn't create. file \""
                                             : "Minidump was created in file \"")
                        + dumpPath.toUtf8() + '"');
        QCOMPARE(log.count("Minidum"), 1);
        QCOMPARE(log.count(written), 1);
        QVERIFY(log.indexOf(written) > at);

        // The editor is started again with its warning, dump or none.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(restart), 10000);
        QCOMPARE(VelaTest::ReadFile(restart), restartArguments);
        if (place == Unwritable)
            return;

        // The one new dump, readable by its owner alone; the earlier ones are
        // deleted, except in the temporary folder that other programs share.
        QCOMPARE(dumpsIn(folder), (place == InTemp ? QStringList(oldDump) : QStringList())
                                      << named.captured(1));
        QVERIFY(QFileInfo::exists(folder + "/notes.txt"));
        struct stat status = {};
        QCOMPARE(stat(QFile::encodeName(dumpPath).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0600u);

        if (checks & SmallDump)
            QVERIFY2(QFileInfo(dumpPath).size() < 64 << 20,
                     qPrintable(QString::number(QFileInfo(dumpPath).size())));
        if (checks & Stackwalk) {
            // Breakpad's own reader gives the crash reason and every thread.
            const QString output =
                runTool("minidump_stackwalk", {dumpPath}, VELA_MINIDUMP_STACKWALK);
            QVERIFY2(output.contains(QRegularExpression("Crash reason: +SIGSEGV")),
                     qPrintable(output));
            QCOMPARE(output.count(QRegularExpression("\\nThread \\d+")), threads);
        }
        if (checks & (LldbBacktrace | LldbHeap))
            checkLldb(dumpPath, checks, result.standardOutput);
    }

private:
    static void checkLldb(const QString &dumpPath, int checks, const QByteArray &childOutput)
    {
        QStringList commands = {"thread list", "thread backtrace all -c 12", "image list"};
        if (checks & LldbHeap) {
            const QRegularExpressionMatch marker =
                QRegularExpression("heap marker at (0x[0-9a-f]+)")
                    .match(QString::fromUtf8(childOutput));
            QVERIFY(marker.hasMatch());
            commands = QStringList{"memory read -f s -c 1 " + marker.captured(1)};
        }
        QStringList arguments = {"--batch", "-c", dumpPath};
        for (const QString &command : commands)
            arguments << "-o" << command;
        const QString output = runTool("lldb", arguments);
        QVERIFY2(!output.isEmpty(), "no output from lldb");
        if (checks & LldbHeap)
            QVERIFY2(output.contains("\"velahost heap marker\""), qPrintable(output));
        if (!(checks & LldbBacktrace))
            return;
        // The crashing thread, stopped by its signal, in the code that failed;
        // the main thread that waits for it, with its own registers and
        // stack, unwinds down to main().
        QVERIFY2(output.contains(QRegularExpression(
                     "\\* thread #\\d+: tid = \\d+, 0x[0-9a-f]+ "
                     "velahost`.*CrashCommand\\.cpp:\\d+.*stop reason = signal SIGSEGV\n")),
                 qPrintable(output));
        QVERIFY2(output.contains("velahost`main") && output.contains("/libVelaGlobal.so"),
                 qPrintable(output));
    }
};

VELA_TEST_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
