// SPDX-License-Identifier: LGPL-2.1-or-later
//
// velahost inspect over per-user data folders: one filled by real runs of
// the host (a crash included), a broken one, an empty one and none. Whatever
// it reports, the folder stays exactly as it was. Then the host's I/O
// command.

#include "VelaTestSupport.h"

#include "VLCrashHandler.h"

#include "UnitConverter.h"

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// The folder and every entry below it: path, size, modification time and
// content. A file made and removed again still
// changes its folder's time.
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
                 + VelaTest::ReadFile(path);
    }
    return state;
}

} // namespace

class TestInspect : public QObject
{
    Q_OBJECT

    QString m_dataFolder;
    QString m_askedFolder;

private Q_SLOTS:
    void initTestCase()
    {
        m_dataFolder = VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/";
        const QList<QStringList> runs = {{"recent", "add", "/img/a.png", "PNG"},
                                         {"recent", "add", "/img/b.jpg", "JPEG"},
                                         {"export", "add", "1000x20"},
                                         {"export", "add", "300000"}};
        for (const QStringList &run : runs)
            QCOMPARE(VelaTest::RunHost(run).exitCode, 0);
        QVERIFY(SaveUnits({{"Chain", "ch", 1.0f / 792.0f}}, m_dataFolder + "units_user.ini"));
        // The last run leaves its log, longer than a dump carries, and a
        // dump, of a worker thread, whose stack lies in memory that the dump
        // also copies.
        QCOMPARE(
            VelaTest::RunHost({"crash", "worker-null-write", "--log-lines", "8000"}).exitStatus,
            QProcess::CrashExit);

        // A dump asked for before any handler was installed, without the
        // application data object, goes to the temporary folder; the process
        // that asked goes on, with no descriptor left open.
        const auto descriptors = QDir("/proc/self/fd").count();
        const QString asked = VLCrashHandler::WriteMinidump(nullptr);
        QVERIFY(QFileInfo(asked).path() == QDir::tempPath()
                && QDir("/proc/self/fd").count() == descriptors);
        m_askedFolder = VelaTest::Sandbox::Current()->MakeFolder("asked/dumps");
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
        const QString shared = VelaTest::Sandbox::Current()->MakeFolder("shared");
        VelaTest::WriteFile(shared + "/Kelvane/settings.ini", "[Recent]\n");
        chmod(QFile::encodeName(shared + "/Kelvane/settings.ini").constData(), 0644);
        chmod(QFile::encodeName(shared + "/Kelvane").constData(), 0755);
        VelaTest::RunHost({"recent", "add", "/img/c.png", "PNG"}, shared);
        QTest::newRow("readable by others")
            << QStringList{"inspect", shared + "/Kelvane/"} << 0
            << QString(
                   "Warning: readable by other users: . (0755)\n|Warning: readable by other "
                   "users: settings.ini (0644)\n|settings.ini: 1 recent files|!Warning: readable "
                   "by other users: logs|!Warning: readable by other users: kelvane.ini");

        const QString broken = VelaTest::Sandbox::Current()->MakeFolder("broken");
        VelaTest::WriteFile(broken + "/properties.xml",
                            "<prefs>\n  <file_version value=\"2\">\n</prefs>\n");
        VelaTest::WriteFile(broken + "/settings.ini", "[Recent]\nRecentFiles=x\n");
        QTest::newRow("broken") << QStringList{"inspect", broken} << 0
                                << QString("properties.xml: parse error at line 3, column 8: "
                                           "Opening and ending tag mismatch.|kelvane.ini: missing|"
                                           "settings.ini: 0 recent files");
        const QString empty = VelaTest::Sandbox::Current()->MakeFolder("empty");
        QTest::newRow("empty") << QStringList{"inspect", empty} << 0
                               << QString("units_user.ini: missing|ExportAndShareSize.ini: "
                                          "missing|Log file: none|Crash dumps: 0");
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
        const VelaTest::ChildResult result = VelaTest::RunHost(arguments);
        QCOMPARE(folderState(inspected), before);

        const QString output = QString::fromUtf8(result.standardOutput);
        QVERIFY2(result.exitStatus == QProcess::NormalExit && result.exitCode == exitCode,
                 result.standardError.constData());
        for (const QString &fact : facts.split('|'))
            QVERIFY2(output.contains(fact.mid(fact.startsWith('!'))) != fact.startsWith('!'),
                     qPrintable(fact + "\n" + output));
    }
};

VELA_TEST_MAIN(TestInspect)
#include "tst_inspect.moc"
