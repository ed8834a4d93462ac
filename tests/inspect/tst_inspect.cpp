// SPDX-License-Identifier: LGPL-2.1-or-later
//
// velahost inspect over per-user data folders: one filled by real runs of
// the host (a crash included), a broken one, an empty one and none. Whatever
// it reports, the folder stays exactly as it was. Then the host's other I/O
// commands.

#include "VelaTestSupport.h"

#include "VLCrashHandler.h"

#include "UnitConverter.h"

namespace {

// Every entry below the folder, the folder itself included: path, size,
// modification time and content. A file made and removed again still
// changes its folder's time.
QByteArray folderState(const QString &folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    entries.prepend(folder);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &path : entries) {
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        hash.addData(QStringLiteral("%1|%2|%3|")
                         .arg(path)
                         .arg(info.size())
                         .arg(info.lastModified().toMSecsSinceEpoch())
                         .toUtf8());
        if (info.isFile())
            hash.addData(VelaTest::ReadFile(path));
    }
    return hash.result().toHex();
}

} // namespace

class TestInspect : public QObject
{
    Q_OBJECT

    QString m_dataFolder;

private Q_SLOTS:
    void initTestCase()
    {
        m_dataFolder = VelaTest::Sandbox::Current()->LocalAppData() + QStringLiteral("/Kelvane/");
        const QList<QStringList> runs = {{"recent", "add", "/img/a.png", "PNG"},
                                         {"recent", "add", "/img/b.jpg", "JPEG"},
                                         {"export", "add", "1000x20"},
                                         {"export", "add", "300000"}};
        for (const QStringList &run : runs)
            QCOMPARE(VelaTest::RunHost(run).exitCode, 0);
        QVERIFY(SaveUnits({{"Chain", "ch", 1.0f / 792.0f}}, m_dataFolder + "units_user.ini"));
        // The last run leaves its log and a dump.
        QCOMPARE(VelaTest::RunHost({"crash", "null-write"}).exitStatus, QProcess::CrashExit);
    }

    void report_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("facts");
        // The dump's frames are named from symbol files of scripts/symbolize-dump.
        QTest::addColumn<bool>("symbols");

        const QStringList dumps = QDir(m_dataFolder + QStringLiteral("dumps"))
                                      .entryList(QStringList(QStringLiteral("*.dmp")), QDir::Files);
        QCOMPARE(dumps.size(), 1);
        // Without FOLDER: the folder the library would use.
        QTest::newRow("filled")
            << QString() << 0
            << QStringList{m_dataFolder, "    Version = 2.0", "properties.xml: version \"1\"",
                           "    Chain (ch), 0.00126263 per inch", "    1\t/img/a.png\tPNG",
                           "    2\t1000x20", "    1\t300000", "Minidump was created in file",
                           "    dumps/" + dumps.first() + ", ",
                           // Read with Breakpad's processor.
                           "        Crash reason: SIGSEGV /SEGV_MAPERR at 0x0\n",
                           "          0  velahost + 0x",
                           // The crashed run's log, carried by the dump.
                           "        Log of the crashed run, last ", "\n            \"Build date=",
                           // What the library created is its user's alone.
                           "!Warning:"}
            << false;
        QTest::newRow("filled, with symbols")
            << m_dataFolder << 0
            << QStringList{"          0  velahost + 0x", "(anonymous namespace)::kinds()"} << true;

        // Modes that someone chose are kept when the library writes there,
        // and reported; what the library adds is private.
        const QString shared = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("shared"));
        const QString sharedData = shared + QStringLiteral("/Kelvane/");
        VelaTest::WriteFile(sharedData + QStringLiteral("settings.ini"), "[Recent]\n");
        const auto world =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        QFile::setPermissions(sharedData + QStringLiteral("settings.ini"), world);
        QFile::setPermissions(sharedData,
                              world | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
        VelaTest::RunHost({"recent", "add", "/img/c.png", "PNG"}, shared);
        QTest::newRow("readable by others")
            << sharedData << 0
            << QStringList{"Warning: readable by other users: . (0755)\n",
                           "Warning: readable by other users: settings.ini (0644)\n",
                           "settings.ini: 1 recent files",
                           "!Warning: readable by other users: logs",
                           "!Warning: readable by other users: kelvane.ini"}
            << false;

        const QString broken = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("broken"));
        VelaTest::WriteFile(broken + QStringLiteral("/properties.xml"),
                            "<prefs>\n  <file_version value=\"2\">\n</prefs>\n");
        VelaTest::WriteFile(broken + QStringLiteral("/settings.ini"), "[Recent]\nRecentFiles=x\n");
        QTest::newRow("broken") << broken << 0
                                << QStringList{"properties.xml: parse error at line 3, column 8: "
                                               "Opening and ending tag mismatch.",
                                               "kelvane.ini: missing",
                                               "settings.ini: 0 recent files"}
                                << false;

        const QString empty = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("empty"));
        QTest::newRow("empty") << empty << 0
                               << QStringList{"units_user.ini: missing",
                                              "ExportAndShareSize.ini: missing", "Log file: none",
                                              "Crash dumps: 0"}
                               << false;
        QTest::newRow("missing") << empty + QStringLiteral("/gone") << 1
                                 << QStringList{"/gone/ (missing)"} << false;
    }

    void report()
    {
        QFETCH(QString, folder);
        QFETCH(int, exitCode);
        QFETCH(QStringList, facts);
        QFETCH(bool, symbols);

        QStringList arguments = {"inspect"};
        if (!folder.isEmpty())
            arguments << folder;
        if (symbols) {
            // The script's own stack names the function too.
            const QString symbolFolder = VelaTest::Sandbox::Current()->MakeFolder("symbols");
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("SYMBOLS_DIR", symbolFolder);
            environment.insert("BREAKPAD_BIN", VELA_BREAKPAD_BIN);
            const QFileInfoList dumps = VLCrashHandler::DumpsIn(folder);
            QCOMPARE(dumps.size(), 1);
            const VelaTest::ChildResult stackwalk =
                VelaTest::RunChild(VELA_SYMBOLIZE_DUMP,
                                   {dumps.first().filePath(), VelaTest::AppFolder() + "/velahost"},
                                   environment, QString(), 300000);
            // The crashed run's log follows the stack, up to its "Seh".
            QVERIFY2(stackwalk.exitCode == 0
                         && stackwalk.standardOutput.contains("velahost!std::_Function_handler")
                         && stackwalk.standardOutput.contains("\nLog of the crashed run:\n")
                         && stackwalk.standardOutput.endsWith("Seh\" \n"),
                     (stackwalk.standardOutput + stackwalk.standardError).constData());
            arguments << "--symbols" << symbolFolder;
        }
        const QString inspected = folder.isEmpty() ? m_dataFolder : folder;
        const QByteArray before = folderState(inspected);
        const VelaTest::ChildResult result = VelaTest::RunHost(arguments);
        QCOMPARE(folderState(inspected), before);

        const QString report = QString::fromUtf8(result.standardOutput);
        QVERIFY2(result.exitStatus == QProcess::NormalExit && result.exitCode == exitCode,
                 result.standardError.constData());
        // A fact after "!" is one the report must not state.
        for (const QString &fact : facts)
            QVERIFY2(report.contains(fact.mid(fact.startsWith('!'))) != fact.startsWith('!'),
                     qPrintable(fact + QStringLiteral("\n") + report));
    }

    // The host's other I/O commands, run after the reports; the lists that
    // its runs leave are read back by the report of the filled folder.
    void readersAndWriters()
    {
        // The shipped image plug-in, found in the application folder's plugins/.
        const VelaTest::ChildResult result = VelaTest::RunHost({"io"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.standardOutput,
                 QByteArray("Readers: BMP JPEG PNG\nWriters: BMP JPEG PNG\n"));
    }

    void badArguments()
    {
        const QList<QStringList> calls = {{"export", "add", "wide"},
                                          {"export", "remove", "first"},
                                          {"recent", "limit", "many"},
                                          {"recent", "add", "only-one"}};
        for (const QStringList &arguments : calls) {
            const VelaTest::ChildResult result = VelaTest::RunHost(arguments);
            QVERIFY2(result.exitStatus == QProcess::NormalExit && result.exitCode == 2,
                     qPrintable(arguments.join(' ')));
        }
    }
};

VELA_TEST_MAIN(TestInspect)
#include "tst_inspect.moc"
