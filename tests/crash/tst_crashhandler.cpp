// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Real failures of the stand-in editor in child processes: the lines, the
// dump and the restart each leaves. Then velahost inspect over per-user data
// folders: one filled by real runs of the host (a crash included), a broken
// one, an empty one and none. Whatever it reports, the folder stays exactly
// as it was. Then the host's I/O command.
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "UnitConverter.h"
#include "VLCrashHandler.h"
#include "private/VLCrashRuntime_p.h"

#include <atomic>
#include <chrono>
#include <csignal>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace VelaTest;

namespace {

const auto dumpsIn = [](const QString &folder) {
    return QDir(folder).entryList(QStringList{"*.dmp"}, QDir::Files, QDir::Name);
};

// What a row checks beyond the lines, the dump and the restart. Where the
// dump goes instead of the "dumps" folder: the temporary folder (InTemp: no
// application data object), the data folder (InData: "dumps" is a file),
// nowhere (Unwritable: "dumps" leads to a folder that takes no file; NoDump:
// the event writes no dump at all). LogFileOnly: the crash lines are in the
// log file itself, not on the standard streams. Lldb: lldb shows the failing
// thread in the code that failed, and main(); LldbHeap: it also reads the
// heap's marker back from the dump. SmallDump: untouched stacks are not
// written. BesideEditor: "Application.exe" lies beside the editor, not on
// PATH; NoEditor: nowhere. RuntimeFirst: the C++ runtime comes first in
// symbol lookup. Watchdog: the process is ended by the fault's signal ten
// seconds after the fault. RuntimeSays: the C++ runtime's own course, with
// the first message on its standard error. WaitsForLog: the lines come after
// the line of a log write that was under way. FilterOnce: the fault filter
// runs once. FaultInReport: writing the line of the kind's own report faults.
// SlowEnd: the process ends a tenth of a second after its report. NamedByTag:
// the dump's name is the row's.
constexpr int InTemp = 0x1, InData = 0x2, Unwritable = 0x4, NoDump = 0x8, LogFileOnly = 0x10,
              Lldb = 0x20, LldbHeap = 0x40, SmallDump = 0x80, BesideEditor = 0x100,
              RuntimeFirst = 0x200, NoEditor = 0x400, Watchdog = 0x800, RuntimeSays = 0x1000,
              WaitsForLog = 0x2000, FilterOnce = 0x4000, FaultInReport = 0x8000, SlowEnd = 0x10000,
              NamedByTag = 0x20000;

// The folder and every entry below it: path, size, modification time and
// content. A file made and removed again still changes its folder's time.
QByteArray folderState(const QString &folder)
{
    QByteArray state;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    for (QString path = folder; !path.isEmpty(); path = it.hasNext() ? it.next() : QString()) {
        const QFileInfo info(path);
        state += (path + '|' + QString::number(info.size()) + '|'
                  + info.lastModified().toString(Qt::ISODateWithMs) + '\n')
                     .toUtf8()
                 + ReadFile(path);
    }
    return state;
}

} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

    QString m_dataFolder;
    QString m_askedFolder;

private Q_SLOTS:
    void initTestCase()
    {
        m_dataFolder = Sandbox::Current()->LocalAppData() + "/Kelvane/";
        const QList<QStringList> runs = {{"recent", "add", "/img/a.png", "PNG"},
                                         {"recent", "add", "/img/b.jpg", "JPEG"},
                                         {"export", "add", "1000x20"},
                                         {"export", "add", "300000"}};
        for (const QStringList &run : runs)
            QCOMPARE(RunHost(run).exitCode, 0);
        QVERIFY(SaveUnits({{"Chain", "ch", 1.0f / 792.0f}}, m_dataFolder + "units_user.ini"));
        // The last run leaves its log, longer than a dump carries, and a
        // dump, of a worker thread, whose stack lies in memory that the dump
        // also copies.
        QCOMPARE(RunHost({"crash", "worker-null-write", "--log-lines", "8000"}).exitStatus,
                 QProcess::CrashExit);

        // A dump asked for before any handler was installed, without the
        // application data object, goes to the temporary folder; the process
        // that asked goes on, with no descriptor left open.
        const auto descriptors = QDir("/proc/self/fd").count();
        const QString asked = VLCrashHandler::WriteMinidump(nullptr);
        QVERIFY(QFileInfo(asked).path() == QDir::tempPath()
                && QDir("/proc/self/fd").count() == descriptors);
        m_askedFolder = Sandbox::Current()->MakeFolder("asked/dumps");
        QVERIFY(QFile::rename(asked, m_askedFolder + '/' + QFileInfo(asked).fileName()));
        // One that cannot be written whole names no file.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small = {4096, limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        const QString failed = VLCrashHandler::WriteMinidump(nullptr);
        setrlimit(RLIMIT_FSIZE, &limit);
        QVERIFY(failed.isNull() && QDir("/proc/self/fd").count() == descriptors);
    }

    // A run of the host, its exit code and facts of its output; a fact after
    // "!" is one the output must not state.
    void report_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        // Facts of its output, split at "|".
        QTest::addColumn<QString>("facts");

        const QFileInfoList dumps = VLCrashHandler::DumpsIn(m_dataFolder);
        QCOMPARE(dumps.size(), 1);
        // Without FOLDER: the folder the library would use. The dump is read
        // with Breakpad's processor, whose reader takes its memory ranges (it
        // refuses ranges that overlap), each within one of the process's
        // mappings; it carries the crashed run's log from the first whole
        // line of its last 256 KiB. What the library created is its user's
        // alone.
        QTest::newRow("filled")
            << QStringList{"inspect", "--lines=100000"} << 0
            << m_dataFolder
                   + "|    Version = 2.0|properties.xml: version \"1\"|"
                     "    Chain (ch), 0.00126263 per inch|    1\t/img/a.png\tPNG|"
                     "    2\t1000x20|    1\t300000|Minidump was created in file|"
                     "    dumps/"
                   + dumps.first().fileName()
                   + ", |"
                     "        Crash reason: SIGSEGV /SEGV_MAPERR at 0x0\n|"
                     "          0  velahost + 0x| ranges, 0 outside the process's mappings\n|"
                     "        Log of the crashed run, last |"
                     " lines:\n            velahost log line |line 8000 of 8000|!Warning:";
        QTest::newRow("asked") << QStringList{"inspect", m_askedFolder + "/.."} << 0
                               << QString("Crash dumps: 1|No crash: the dump was asked for|"
                                          "!Log of the crashed run");
        // Modes that someone chose are kept when the library writes there,
        // and reported; what the library adds is private.
        const QString shared = Sandbox::Current()->MakeFolder("shared");
        WriteFile(shared + "/Kelvane/settings.ini", "[Recent]\n");
        chmod(QFile::encodeName(shared + "/Kelvane/settings.ini").constData(), 0644);
        chmod(QFile::encodeName(shared + "/Kelvane").constData(), 0755);
        RunHost({"recent", "add", "/img/c.png", "PNG"}, shared);
        QTest::newRow("readable by others")
            << QStringList{"inspect", shared + "/Kelvane/"} << 0
            << QString(
                   "Warning: readable by other users: . (0755)\n|Warning: readable by other "
                   "users: settings.ini (0644)\n|settings.ini: 1 recent files|!Warning: readable "
                   "by other users: logs|!Warning: readable by other users: kelvane.ini");

        const QString broken = Sandbox::Current()->MakeFolder("broken");
        WriteFile(broken + "/properties.xml", "<prefs>\n  <file_version value=\"2\">\n</prefs>\n");
        WriteFile(broken + "/settings.ini", "[Recent]\nRecentFiles=x\n");
        QTest::newRow("broken") << QStringList{"inspect", broken} << 0
                                << QString("properties.xml: parse error at line 3, column 8: "
                                           "Opening and ending tag mismatch.|kelvane.ini: missing|"
                                           "settings.ini: 0 recent files");
        const QString empty = Sandbox::Current()->MakeFolder("empty");
        QTest::newRow("empty") << QStringList{"inspect", empty} << 0
                               << QString("units_user.ini: missing|ExportAndShareSize.ini: "
                                          "missing|Log file: none|Crash dumps: 0");
        // A document that cannot be opened has no place to name.
        QDir().mkpath(empty + "/folder/properties.xml");
        QTest::newRow("document a folder") << QStringList{"inspect", empty + "/folder"} << 0
                                           << QString("properties.xml: not read: ");
        QTest::newRow("missing") << QStringList{"inspect", empty + "/gone"} << 1
                                 << QString("/gone/ (missing)");

        // The shipped image plug-in, found in the application folder's
        // plugins/; the lists of the runs above are read back by "filled".
        QTest::newRow("io") << QStringList{"io"} << 0
                            << QString("Readers: BMP JPEG PNG\nWriters: BMP JPEG PNG\n");
    }

    void report()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, facts);

        const QString folder = arguments.value(1, m_dataFolder);
        const QString inspected = arguments.first() != "inspect" ? QString()
                                  : folder.startsWith('-')       ? m_dataFolder
                                                                 : folder;
        const QByteArray before = folderState(inspected);
        const ChildResult result = RunHost(arguments);
        QCOMPARE(folderState(inspected), before);

        const QString output = QString::fromUtf8(result.standardOutput);
        QVERIFY2(result.exitStatus == QProcess::NormalExit && result.exitCode == exitCode,
                 result.standardError.constData());
        for (const QString &fact : facts.split('|'))
            QVERIFY2(output.contains(fact.mid(fact.startsWith('!'))) != fact.startsWith('!'),
                     qPrintable(fact + "\n" + output));
    }

    // The signal stack the library gives a thread goes with the thread; a
    // thread that has a big enough one of its own keeps it.
    void signalStacksGoWithTheirThreads()
    {
        qputenv("LOCALAPPDATA", QFile::encodeName(Sandbox::Current()->MakeFolder("stacks")));
        GlobalApplicationData::InitInstance();
        static std::atomic<quintptr> stacks[16];
        alignas(4096) static char own[512 * 1024];
        QVERIFY(RunThreads(16, [](int thread) {
            stack_t current = {own, 0, sizeof(own)};
            if (thread == 0)
                sigaltstack(&current, nullptr);
            GlobalApplicationData::Instance()->InstallThreadExceptionHandler();
            sigaltstack(nullptr, &current);
            stacks[thread] = quintptr(current.ss_sp);
        }));
        GlobalApplicationData::ReleaseInstance();
        QCOMPARE(stacks[0].load(), quintptr(own));
        for (int thread = 1; thread < 16; ++thread)
            QVERIFY(stacks[thread]
                    && msync(reinterpret_cast<void *>(stacks[thread].load()), 1, MS_ASYNC) != 0);
    }

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
        QTest::addColumn<int>("checks");
        // The threads that minidump_stackwalk lists, with the crash reason;
        // 0: the row does not run it.
        QTest::addColumn<int>("threads");

        const auto fault = [](const char *name, const char *kind, const QStringList &options = {},
                              int checks = 0, int threads = 0, int endingSignal = SIGSEGV) {
            QTest::newRow(name) << QString(kind) << options << QByteArrayList{"Seh"} << endingSignal
                                << checks << threads;
        };
        fault("null write", "null-write", {}, SmallDump, 1);
        fault("worker", "worker-null-write", {}, Lldb);
        fault("stack overflow", "stack-overflow");
        fault("stack overflow, thread that installed nothing", "thread-stack-overflow", {}, 0, 2);
        fault("division by zero", "divide-by-zero", {}, 0, 0, SIGFPE);
        fault("bus error", "bus-error", {}, 0, 0, SIGBUS);
        fault("without data", "null-write", {"--after-release"}, InTemp);
        fault("dumps blocked", "null-write", {}, InData);
        fault("dumps folder takes no file", "null-write", {}, Unwritable);
        // A fault while the log mutex or the crash lock is taken still ends the
        // process by its own signal, long before the test's time limit, and
        // its lines reach the log file.
        fault("fault inside a log write", "null-write-in-log", {}, LogFileOnly);
        fault("fault in the message handler", "null-write-in-message-handler", {}, LogFileOnly);
        fault("another thread's log write never ends", "null-write-log-stalled", {}, LogFileOnly);
        fault("another thread's log write takes a second", "null-write-log-slow", {},
              LogFileOnly | WaitsForLog);
        fault("fault inside a handler", "raise-int", {}, LogFileOnly | FaultInReport);
        // Reports wait for each other: the first one ends the process.
        fault("eight threads at once", "null-write-together", {}, SlowEnd);
        fault("60 threads blocking signals", "null-write", {"--threads", "60", "--block-signals"},
              0, 61);
        fault("300 idle threads", "null-write", {"--threads", "300"}, SmallDump, 301);
        fault("200 MB of untouched heap", "null-write", {"--untouched", "200"}, SmallDump);
        // More private memory than a dump takes (256 MB): the main heap first.
        fault("300 MB of private memory", "null-write", {"--heap", "300"}, Lldb | LldbHeap);
        fault("editor beside the executable, not on PATH", "null-write", {}, BesideEditor);
        fault("no editor to start", "null-write", {}, NoEditor);
        // The dump is named by the local time of the failure, in any zone and
        // any century: the probe's time() sets the clock. Each row is named
        // by the name its dump must have: before 1970 west of UTC, a leap day
        // of a leap century east of it, a century year without one, midnight.
        const auto at = [&fault](const char *name, const QString &zone, const QString &seconds) {
            fault(name, "null-write", {"TZ=" + zone, "VELA_FIXED_TIME=" + seconds}, NamedByTag);
        };
        at("31-12-1969_20-30-00", "<-0330>3:30", "0");
        at("29-02-2000_23-00-07", "<+1345>-13:45", "951815707");
        at("28-02-2100_23-59-59", "UTC0", "4107542399");
        at("01-01-2000_00-00-00", "UTC0", "946684800");

        // Software events: their lines, no dump, no restart.
        const auto event = [](const QByteArray &name, const QByteArrayList &messages,
                              int endingSignal, int checks = 0) {
            QTest::newRow(name.constData()) << QString(name).section(' ', 0, 0) << QStringList()
                                            << messages << endingSignal << (NoDump | checks) << 0;
        };
        event("raise-abrt", {"Unexpected abort"}, 0);
        // A fault filter that never returns does not keep the process alive;
        // a later fault on another thread does not put off its end.
        event("divide-by-zero-filter-hangs", {}, SIGFPE, Watchdog);
        // A fault inside the filter ends the process by its own signal.
        event("divide-by-zero-filter-faults", {}, SIGSEGV, FilterOnce);
        for (const QByteArray name : {"int", "term", "fpe", "ill", "segv"})
            event("raise-" + name, {"Unexpected " + name}, 0);
        // The handler goes back to the default once it has run, as on Windows.
        event("raise-int-twice", {"Unexpected int"}, SIGINT);
        event("abort", {"Unexpected abort"}, SIGABRT);
        // glibc aborts while it holds its heap lock: nothing may wait for it.
        event("double-free", {"Unexpected abort"}, SIGABRT);
        // The runtime's own course after the handler is abort(), a second
        // report of the same process.
        event("terminate", {"Terminate", "Unexpected abort"}, SIGABRT);
        event("thread-terminate", {"terminate called after throwing", "Unexpected abort"}, SIGABRT,
              RuntimeSays);
        event("unexpected", {"Unexpected error", "Unexpected abort"}, SIGABRT);
        // A real pure virtual call reaches the pure-call handler whichever of
        // the library and the C++ runtime comes first.
        event("pure-virtual-call", {"Pure virtual method call", "Unexpected abort"}, SIGABRT);
        event("pure-virtual-call with the runtime first",
              {"Pure virtual method call", "Unexpected abort"}, SIGABRT, RuntimeFirst);
        QTest::newRow("pure-virtual-call, library not started")
            << QString("pure-virtual-call") << QStringList("--unstarted")
            << QByteArrayList{"pure virtual method"} << SIGABRT << (NoDump | RuntimeSays) << 0;
        // Without the library's handler the runtime ends the process at once.
        QTest::newRow("invalid-parameter, library not started")
            << QString("invalid-parameter") << QStringList("--unstarted") << QByteArrayList()
            << SIGABRT << NoDump << 0;
        event("invalid-parameter",
              {"Invalid parameter expr \"destination != nullptr\" function "
               "\"strcpy_s\" file \"tools\\velahost\\CrashCommand.cpp\" line "
               "\"42\""},
              0);
        // A worker's report, then the main thread's. The expression is cut
        // before the character that would not fit whole: 511 two-byte
        // characters and the end fill 1,024 bytes. The first characters of
        // two, three and four bytes.
        event("invalid-parameter-long",
              {"Invalid parameter expr \"" + QByteArray("\xc3\xa9").repeated(511)
                   + "\" function \"f\xc2\x80\xe0\xa0\x80\" file \"g\xf0\x90\x80\x80\" line \"1\"",
               "Unexpected int"},
              0);
    }

    // The crash time's date, worked out without the system's local time
    // functions, for every day of eight centuries.
    void crashDate()
    {
        const qint64 epoch = QDate(1970, 1, 1).toJulianDay();
        for (qint64 day = QDate(1600, 1, 1).toJulianDay(); day < QDate(2400, 1, 1).toJulianDay();
             ++day) {
            const VLCrashRuntime::CivilDate date = VLCrashRuntime::CivilDateFromDays(day - epoch);
            if (QDate(date.year, date.month, date.day) != QDate::fromJulianDay(day))
                QFAIL(qPrintable(QDate::fromJulianDay(day).toString(Qt::ISODate)));
        }
    }

    void crash()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, options);
        QFETCH(QByteArrayList, messages);
        QFETCH(int, endingSignal);
        QFETCH(int, checks);
        QFETCH(int, threads);
        // A world of its own: LOCALAPPDATA, TMPDIR and a PATH that finds the
        // run's "Application.exe" after a missing folder, or a copy of the
        // editor with "Application.exe" beside it and not on PATH. That
        // script writes the arguments it was started with.
        const QString root = Sandbox::Current()->MakeFolder(
            "runs/" + QString(QTest::currentDataTag()).replace(' ', '-'));
        const QString dataFolder = root + "/local/Kelvane/", restart = root + "/restart.txt";
        const QString app = root + ((checks & (BesideEditor | NoEditor)) ? "/app" : "/on-path");
        QVERIFY(WriteFile(app + "/Application.exe",
                          "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$RESTART_FILE\"\n"));
        QVERIFY(
            QFile::setPermissions(app + "/Application.exe", QFile::ReadOwner | QFile::ExeOwner));
        QString editor = AppFolder() + "/velahost";
        if ((checks & BesideEditor) && QFile::copy(editor, app + "/velahost"))
            editor = app + "/velahost";
        QVERIFY(QDir(root).mkpath("tmp"));
        const QString folder = (checks & InTemp)   ? root + "/tmp"
                               : (checks & InData) ? dataFolder
                                                   : dataFolder + "dumps";
        const QString oldDump = "01-01-2020_10-00-00.dmp";
        if (checks & InData)
            QVERIFY(WriteFile(dataFolder + "dumps", "a file where the folder should be"));
        // No file can be made there, not even by root.
        if (checks & Unwritable)
            QVERIFY(QDir().mkpath(dataFolder) && QFile::link("/proc", dataFolder + "dumps"));
        if (!(checks & (Unwritable | NoDump)))
            QVERIFY(WriteFile(folder + '/' + oldDump, "old") && WriteFile(folder + "/.DMP", "old")
                    && WriteFile(folder + "/notes.txt", "kept"));

        QProcessEnvironment environment = WithLocalAppData(root + "/local");
        // The probe reports allocations on the crash path.
        environment.insert("LD_PRELOAD", QString((checks & RuntimeFirst) ? "libstdc++.so.6 " : "")
                                             + VELA_CRASH_PROBE_LIBRARY);
        environment.insert("TMPDIR", root + "/tmp");
        environment.insert("PATH",
                           root + "/none:" + root + "/on-path:" + environment.value("PATH"));
        environment.insert("RESTART_FILE", restart);
        if (checks & SlowEnd)
            environment.insert("VELA_SLOW_END", "1");
        if (checks & FaultInReport)
            environment.insert("VELA_FAULT_IN_WRITE", "Unexpected int");
        // Options of the form NAME=VALUE set the child's environment.
        QStringList arguments = {"crash", kind};
        for (const QString &option : options) {
            if (option.contains('='))
                environment.insert(option.section('=', 0, 0), option.section('=', 1));
            else
                arguments << option;
        }
        const ChildResult result = RunChild(editor, arguments, environment, root);
        const qint64 endedNs =
            std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
        QCOMPARE(result.exitStatus, endingSignal ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(result.exitCode, endingSignal);
        // Nothing on the crash path allocates: the heap may be what failed.
        QVERIFY2(!result.standardError.contains("vela crash probe"),
                 result.standardError.constData());
        QCOMPARE(result.standardOutput.count("velahost: the filter runs"),
                 (checks & FilterOnce) ? 1 : 0);

        // Without the application data object the lines reach the standard
        // output; else the log file, whatever was failing at the time. After
        // the "Seh" one line names the dump, or the file that could not be
        // made (by the crash time); the data folder path ends
        // with a separator, and one more comes before the file name.
        const QByteArray log = (checks & InTemp) ? result.standardOutput : RunLog(dataFolder);
        const QRegularExpressionMatch named =
            QRegularExpression(QRegularExpression::escape(folder + '/') + "([0-9_-]+\\.dmp)\"")
                .match(QString::fromUtf8(log));
        const QString dumpPath = folder + '/' + named.captured(1);
        QVERIFY(!(checks & NamedByTag)
                || named.captured(1) == QTest::currentDataTag() + QString(".dmp"));
        QVERIFY(!(checks & RuntimeSays) || result.standardError.contains(messages.takeFirst()));
        if (!(checks & NoDump))
            messages << ((checks & Unwritable) ? "Minidum didn't create. file \""
                                               : "Minidump was created in file \"")
                            + dumpPath.toUtf8() + '"';
        qsizetype at = -1;
        for (const QByteArray &message : messages) {
            const QByteArray line = LogLine("src\\VLCrashHandler.cpp", message);
            at = log.indexOf(line, at + 1);
            QVERIFY2(at >= 0 && log.count(line) == 1, (message + '\n' + log).constData());
        }
        QCOMPARE(log.count("Seh") + log.count("Minidum"), (checks & NoDump) ? 0 : 2);
        QVERIFY(!log.contains("\n\n")); // no empty line after a record
        const qsizetype underWay = log.indexOf("velahost writes a line");
        QVERIFY(!(checks & WaitsForLog) || (underWay >= 0 && underWay < log.indexOf("Seh")));
        // Without a log file the lines reach the standard output as debug messages.
        QCOMPARE(log.count("Debug: \"Build date="), (checks & InTemp) ? 2 : 0);
        // Each report takes the crash lock that the one before let go, and a
        // fault inside a report does not wait for the lock its thread holds:
        // none waits out the lock's five seconds. A fault path that hangs is
        // ended by the watchdog ten seconds in.
        const QString failing = QString::fromUtf8(result.standardOutput).section("failing at ", 1);
        const qint64 ms = (endedNs - failing.section(' ', 0, 0).toLongLong()) / 1000000;
        QVERIFY2(ms < ((checks & Watchdog) ? 10900 : 4500), qPrintable(QString::number(ms)));
        if (checks & NoDump) {
            QVERIFY(dumpsIn(dataFolder + "dumps").isEmpty() && dumpsIn(root + "/tmp").isEmpty());
            QVERIFY(!QFileInfo::exists(restart));
            return;
        }
        QVERIFY(!(checks & LogFileOnly)
                || !(result.standardOutput + result.standardError).contains("Seh"));

        // The editor is started again with its warning, dump or none.
        if (checks & NoEditor) {
            QVERIFY(!QFileInfo::exists(restart));
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(restart),
                                  QByteArray("-w\nUnexpected unknown exception.\n"), 10000);
        if (checks & Unwritable)
            return;

        // The one new dump, readable by its owner alone; the earlier ones are
        // deleted, except in the temporary folder that other programs share.
        QCOMPARE(dumpsIn(folder), (checks & InTemp ? QStringList(oldDump) : QStringList())
                                      << named.captured(1));
        QVERIFY(QFileInfo::exists(folder + "/notes.txt")
                && QFileInfo::exists(folder + "/.DMP") == bool(checks & InTemp));
        QCOMPARE(QFile::permissions(dumpPath),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QVERIFY(!(checks & SmallDump) || QFileInfo(dumpPath).size() < 64 << 20);
        if (threads) {
            // Breakpad's own reader gives the crash reason and every thread.
            // A tool that is missing cannot be started: the output is empty
            // and the row fails (scripts/install-deps installs both tools).
            const QString output =
                QString::fromUtf8(RunChild(VELA_MINIDUMP_STACKWALK, {dumpPath}).standardOutput);
            QVERIFY2(output.contains(QRegularExpression("Crash reason: +SIGSEGV")),
                     qPrintable(output));
            QCOMPARE(output.count(QRegularExpression("\\nThread \\d+")), threads);
        }
        if (checks & Lldb) {
            QStringList arguments = {"--batch", "-c", dumpPath};
            for (const char *command : {"thread list", "thread backtrace all -c 12", "image list"})
                arguments << "-o" << command;
            // The markers of the large block, in its middle and at its
            // start, and of the main heap.
            const QString markers =
                QString::fromUtf8(result.standardOutput).section("heap markers at ", 1);
            for (const QString &marker : markers.section('\n', 0, 0).split(' ', Qt::SkipEmptyParts))
                arguments += {"-o", "memory read -f s -c 1 " + marker};
            const QString output = QString::fromUtf8(RunChild("lldb", arguments).standardOutput);
            QVERIFY2(!(checks & LldbHeap)
                         || output.count(QRegularExpression("\"velahost (main )?heap marker\""))
                                == 3,
                     qPrintable(output));
            // The crashing thread, stopped by its signal, in the code that
            // failed; the main thread, with its own registers and stack,
            // unwinds down to main().
            QVERIFY2(output.contains(QRegularExpression(
                         "\\* thread #\\d+: tid = \\d+, 0x[0-9a-f]+ "
                         "velahost`.*CrashCommand\\.cpp:\\d+.*stop reason = signal SIGSEGV\n")),
                     qPrintable(output));
            QVERIFY2(output.contains("velahost`main") && output.contains("/libVelaGlobal.so"),
                     qPrintable(output));
        }
    }
};

VELA_TEST_MAIN(TestCrashHandler)
#include "tst_crashhandler.moc"
