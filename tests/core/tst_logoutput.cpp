// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The application data object: its folders, its settings store and its log
// output, whose threads the thread-sanitizer run checks by this program's
// name, and its languages.
#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"
#include "VelaTestSupport.h"
#include "private/VLLogFile_p.h"
#include "private/VLLogLine_p.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace VelaTest;

using S = VLApplicationSettings;

namespace {

const QString languageKey = "Language/Index";

const auto data = &GlobalApplicationData::Instance;
const auto dataLine = [](const QByteArray &message) {
    return LogLine("src\\GlobalApplicationData.cpp", message);
};

constexpr char recordFormat[] = "thread %d record %d with some text to make the line longer";

} // namespace

class tst_ApplicationData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { CaptureTestMessageHandler(); }
    void init()
    {
        RestoreTestMessageHandler();
        qputenv("LOCALAPPDATA", QFile::encodeName(Sandbox::Current()->MakeFolder("local")));
    }
    void cleanup() { GlobalApplicationData::ReleaseInstance(); }

    // A run of the editor, a copy of the child program in a folder of its
    // own: the folders and files it chooses, and where its messages go
    // before the log is registered, into the log and after the application
    // data object is gone.
    void run_data()
    {
        // The child's folder below the application folder, if any.
        QTest::addColumn<QString>("exeFolder");
        // The language of the installer file of the application folder; no
        // file where empty.
        QTest::addColumn<QString>("installerLanguage");
        // The base folder: LOCALAPPDATA ("local"), the home folder with
        // LOCALAPPDATA empty ("home"), LOCALAPPDATA below a plain file
        // ("blocked"), or LOCALAPPDATA with a plain file where the log folder
        // should be, and a fatal message ("no log").
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("kelvanePresent");
        const auto row = [](const char *name, const char *exe, const char *language,
                            const char *base, bool present) {
            QTest::newRow(name) << QString(exe) << QString(language) << QString(base) << present;
        };
        row("LOCALAPPDATA, Kelvane present", "", "", "local", true);
        row("LOCALAPPDATA, first run", "", "", "local", false);
        row("home folder, Kelvane present", "", "", "home", true);
        row("home folder, first run", "", "", "home", false);
        row("Release", "Release", "de_DE", "local", false);
        row("DEBUG", "DEBUG", "", "local", false);
        row("Releases", "Releases", "ru_RU", "local", false);
        row("data folder cannot be made", "", "", "blocked", false);
        row("no log file, fatal message", "", "", "no log", true);
    }

    void run()
    {
        QFETCH(QString, exeFolder);
        QFETCH(QString, installerLanguage);
        QFETCH(QString, base);
        QFETCH(bool, kelvanePresent);
        const QString root =
            Sandbox::Current()->MakeFolder("run-" + QString(QTest::currentDataTag()));
        const QString work = root + "/work";
        // No features file beside the copy. "Release" and "DEBUG" are build
        // folders: the application folder is their parent.
        const QString exeDir = QDir::cleanPath(root + "/app/" + exeFolder);
        const QString expectedApp = exeFolder == "Releases" ? exeDir : root + "/app";
        QVERIFY(QDir().mkpath(exeDir) && QDir().mkpath(work));
        QVERIFY(QFile::copy(AppFolder() + "/vela_core_child", exeDir + "/child"));
        if (!installerLanguage.isEmpty())
            QSettings(expectedApp + "/settings/installsettings.ini", QSettings::IniFormat)
                .setValue(languageKey, installerLanguage);
        const QString local = root + (base == "blocked" ? "/file/local" : "/local");
        const QString baseFolder = base == "home" ? root + "/home" : local;
        const QString below = base == "home" ? "AppData/Local/Kelvane/" : "Kelvane/";
        QVERIFY(base != "blocked" || WriteFile(root + "/file", "not a folder"));
        QVERIFY(!kelvanePresent || QDir(baseFolder).mkpath(below));
        QVERIFY(base != "no log" || WriteFile(local + "/Kelvane/vela-logs", "in the way"));
        QProcessEnvironment environment = WithLocalAppData(base == "home" ? "" : local);
        environment.insert("HOME", root + "/home");
        environment.remove("QT_MESSAGE_PATTERN");
        const ChildResult result = RunChild(
            exeDir + "/child", {"vela-logs", base == "no log" ? "fatal" : ""}, environment, work);
        const QString out = QString::fromLocal8Bit(result.standardOutput);
        const QString err = QString::fromLocal8Bit(result.standardError);
        QCOMPARE(result.exitStatus, base == "no log" ? QProcess::CrashExit : QProcess::NormalExit);

        // Found or created: the base folder and the suffix; not made: empty,
        // and the per-user files are named by their bare names, relative to
        // the working directory.
        const QString dataFolder = base == "blocked" ? QString() : baseFolder + '/' + below;
        for (const QString &line : {"app=" + expectedApp, "data=" + dataFolder,
                                    "made=" + QString::number(!dataFolder.isEmpty()),
                                    "settings=" + dataFolder + "kelvane.ini", QString("features=0"),
                                    "language=" + installerLanguage})
            QVERIFY2(out.split('\n').contains(line), qPrintable(line + "\n" + out));
        QCOMPARE(QSettings(QDir(work).filePath(dataFolder + "kelvane.ini"), QSettings::IniFormat)
                     .value("Version"),
                 QVariant("2.0"));
        QCOMPARE(err.count(QString::fromUtf8(dataLine("Failed to create dir: " + local.toUtf8()))),
                 base == "blocked" ? 2 : 0);

        // Qt's own handler prints until the log is registered; the library
        // prints, with prefixes, when the log folder is not made and after
        // the application data object is gone.
        QVERIFY2(err.contains("before-init\n") && err.contains("before-register\n"),
                 qPrintable(err));
        const QString log = out.section("log=", 1).section('\n', 0, 0);
        if (base == "no log") {
            QVERIFY2(log.isEmpty() && out.contains("Debug: into-log\nWarning: warning-into-log\n"),
                     qPrintable(out));
            QVERIFY2(err.endsWith("Fatal: fatal-into-log\n"), qPrintable(err));
            return;
        }
        // <data folder><separator>vela-logs<separator>; with no data folder,
        // inside the working directory, not the root.
        const QString logFolder =
            (dataFolder.isEmpty() ? "" : dataFolder + QDir::separator()) + "vela-logs";
        QVERIFY2(log.startsWith(logFolder + QDir::separator()), qPrintable(log));
        QVERIFY(!QFileInfo::exists(QDir::rootPath() + "vela-logs"));
        const QByteArray text = ReadFile(QDir(work).filePath(log));
        QVERIFY(text.startsWith("into-log\nwarning-into-log\n\"Build date="));
        QVERIFY(!text.contains("before-") && !text.contains("after-release"));
        QVERIFY2(out.contains("Debug: after-release\nWarning: warning-after-release\n")
                     && err.contains("Critical: critical-after-release\n"),
                 qPrintable(out + err));
        QVERIFY(!out.contains("into-log") && !err.contains("into-log"));
    }

    void lifecycle()
    {
        QVERIFY(!data() && GlobalApplicationData::GetFeaturesData().isEmpty());
        GlobalApplicationData::InitInstance();
        GlobalApplicationData *first = data();
        GlobalApplicationData::InitInstance();
        QVERIFY(first && data() == first);
        QCOMPARE(GlobalApplicationData::GetFeaturesData(),
                 ReadFile(AppFolder() + "/AppFeatures.dll"));
        QVERIFY(data()->GetBuildString().isEmpty());
        data()->SetBuildString("2.0.1 (x86)");
        QCOMPARE(data()->GetBuildString(), QStringLiteral("2.0.1 (x86)"));

        // The stored language choice: the run keeps the language it started
        // with; a wrong index is logged and changes nothing.
        data()->RegisterLogOutput("logs");
        // The installer file of the build folder names English.
        QCOMPARE(data()->GetCurrentLanguage(), QStringLiteral("en_UK"));
        data()->SetLanguageIndex(2);
        QCOMPARE(data()->GetCurrentLanguage(), QStringLiteral("en_UK"));
        // Despite its name the key holds the code.
        QCOMPARE(S::GetValue(languageKey), QVariant("de_DE"));
        for (int wrong : {4, -1}) {
            data()->SetLanguageIndex(wrong);
            QCOMPARE(data()->GetLanguageIndex(), 2);
            const QByteArray line = dataLine("Wrong language index:" + QByteArray::number(wrong));
            QCOMPARE(ReadFile(data()->GetLogFileName()).count(line), 1);
        }

        // At the next start: the stored language, and an old version
        // rewritten.
        S::SetValue("Version", "1.7");
        GlobalApplicationData::ReleaseInstance();
        GlobalApplicationData::ReleaseInstance();
        QVERIFY(!data() && GlobalApplicationData::GetFeaturesData().isEmpty());
        GlobalApplicationData::InitInstance();
        QCOMPARE(S::GetValue("Version"), QVariant("2.0"));
        QCOMPARE(data()->GetCurrentLanguage(), QStringLiteral("de_DE"));

        // A folder given by path is made, each missing level in turn, and
        // kept as given.
        const QString given =
            QDir::toNativeSeparators(Sandbox::Current()->MakeFolder("given") + "/data/folder/");
        for (int call = 0; call < 2; ++call)
            QVERIFY(data()->MakeAppDataFolder(given));
        QVERIFY(QFileInfo(given).isDir());
        QCOMPARE(QFile::permissions(given) & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
        QCOMPARE(data()->GetAppDataFolderPath(), given);
        // Without a path, the user's own folder, gone meanwhile, is made again.
        const QString own = qEnvironmentVariable("LOCALAPPDATA") + "/Kelvane/";
        QVERIFY(QDir(own).removeRecursively() && data()->MakeAppDataFolder(QString()));
        QVERIFY(QFileInfo(own).isDir() && data()->GetAppDataFolderPath() == own);
    }

    // The settings store on its own, without the application data object:
    // on disk, in the ini layout, before a call returns; what another writer
    // puts there is read at once.
    void everyCallReachesTheFile()
    {
        const QString path = Sandbox::Current()->MakeFolder("store") + "/kelvane.ini";
        S::SetFileName(path);
        QVERIFY(!S::Contains("Version"));
        QCOMPARE(S::GetValue("Version", 7), QVariant(7));
        S::SetValue("Version", "2.0");
        S::SetValue("Grid/Visible", true);
        QVERIFY(ReadFile(path).contains("[General]\nVersion=2.0\n\n[Grid]\nVisible=true\n"));
        QSettings(path, QSettings::IniFormat).setValue("Save/PathOpen", "/pics");
        QCOMPARE(S::GetValue("Save/PathOpen"), QVariant("/pics"));
        QVERIFY(S::Contains("Grid/Visible"));
        QCOMPARE(S::GetName(S::UpdateRemindDate), QStringLiteral("Update/RemindDate"));
        QVERIFY(S::GetName(S::UseDataRole(0)).isNull() && S::GetName(S::UseDataRole(5)).isNull());
    }

    void registrationRecordsAndLastLines()
    {
        GlobalApplicationData::InitInstance();
        QVERIFY(data()->GetLogFileName().isEmpty());
        // (Which files registration deletes is tst_filefaults'.)
        const QString folder = data()->GetAppDataFolderPath() + QDir::separator() + "logs";
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        data()->RegisterLogOutput("logs");
        const QString logFile = data()->GetLogFileName();
        // <data folder><separator>logs<separator>dd-MM-yyyy_hh-mm-ss.txt
        QVERIFY(logFile.startsWith(folder + QDir::separator()));
        const QDateTime opened =
            QDateTime::fromString(QFileInfo(logFile).fileName(), "dd-MM-yyyy_hh-mm-ss'.txt'");
        QVERIFY(opened >= before && opened <= QDateTime::currentDateTime());

        // A placeholder left in the message stays as it is.
        VL_LOG(QStringLiteral("Plugin: \"%1\" loaded").arg(QStringLiteral("x%1.so")));
        const int line = __LINE__ - 1;
        qDebug("plain %d", 7);
        qWarning() << "quoted" << QStringLiteral("item");
        qInfo("info");
        const QString expected = "\"Build date=%1, time=%2. Line=%3, file=\"tests\\core\\"
                                 "tst_logoutput.cpp\". Plugin: \"x%4.so\" loaded\" \nplain 7\n"
                                 "quoted \"item\"\ninfo\n";
        QCOMPARE(ReadFile(logFile), expected
                                        .arg(VLLogLine::BuildDate(), VLLogLine::BuildTime(),
                                             QString::number(line), "%1")
                                        .toUtf8());
        // "Aug  3 2015" and "16:22:50", the forms of __DATE__ and __TIME__.
        QVERIFY(QLocale::c().toDate(VLLogLine::BuildDate(), "MMM d yyyy").isValid()
                || QLocale::c().toDate(VLLogLine::BuildDate(), "MMM  d yyyy").isValid());
        QVERIFY(QTime::fromString(VLLogLine::BuildTime(), "hh:mm:ss").isValid());
        // A compiler cache hands the compiler paths relative to the build folder.
        QCOMPARE(VLLogLine::SourceFileName("../.././src/a/B.cpp"), QStringLiteral("src\\a\\B.cpp"));

        // A second registration keeps the open file.
        data()->RegisterLogOutput("other");
        QCOMPARE(data()->GetLogFileName(), logFile);
        QVERIFY(!QFileInfo::exists(data()->GetAppDataFolderPath() + QDir::separator() + "other"));

        // The destructor's last lines, with a preferences document.
        data()->InitUserPreferences();
        const qint64 size = QFileInfo(logFile).size();
        GlobalApplicationData::ReleaseInstance();
        // Each line named by its source file, without the build stamp.
        QString tail = QString::fromUtf8(ReadFile(logFile).mid(size));
        tail.remove(
            QRegularExpression("^\"Build date=.*Line=\\d+, ", QRegularExpression::MultilineOption));
        QCOMPARE(tail.toUtf8(), dataLine("Destroy") + dataLine("Pre Destroy xml")
                                    + dataLine("Destroy xml") + dataLine("Destroyed xml")
                                    + LogLine("src\\VLCrashHandler.cpp", "Destroyed")
                                    + dataLine("Destroyed"));
    }

    // Records of threads that log at once, behind a first write that stalls
    // for longer than any bounded wait would last (a paused network drive):
    // every record whole, none lost, each thread's in its own order.
    void records()
    {
        GlobalApplicationData::InitInstance();
        data()->RegisterLogOutput("logs");
        // A record written outside a failure (an asked-for dump's) leaves
        // the log as it was: messages still wait their turn.
        VLLogFile::WriteCrashRecord("asked\n", 6);
        static std::atomic<int> stallMs;
        stallMs = 2600;
        VLLogFile::SetLockedWriteHook(
            [] { std::this_thread::sleep_for(std::chrono::milliseconds(stallMs.exchange(0))); });
        QVERIFY(RunThreads(4, [](int id) {
            for (int i = 0; i < 10000; ++i)
                qDebug(recordFormat, id, i);
        }));
        VLLogFile::SetLockedWriteHook(nullptr);

        const QList<QByteArray> lines = ReadFile(data()->GetLogFileName()).split('\n');
        QCOMPARE(lines.size(), 1 + 4 * 10000 + 1);
        QVERIFY(lines.first() == "asked" && lines.last().isEmpty());
        int next[10] = {};
        for (const QByteArray &line : lines.mid(1, lines.size() - 2)) {
            const int id = line.mid(7, 1).toInt();
            QCOMPARE(line, QString::asprintf(recordFormat, id, next[id]++).toLatin1());
        }
    }

    void storedCodeToIndex_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("index");
        QTest::newRow("absent: English") << QString() << 1;
        QTest::newRow("ru_RU") << "ru_RU" << 3;
        QTest::newRow("unknown code") << "fr_FR" << 0;
        QTest::newRow("other case") << "en_uk" << 0;
    }

    void storedCodeToIndex()
    {
        QFETCH(QString, stored);
        QFETCH(int, index);
        const QStringList codes = {"sv_SE", "en_UK", "de_DE", "ru_RU"};
        const QStringList names = {"Swedish", "English", "German", "Russian"};
        GlobalApplicationData::InitInstance();
        QSettings file(S::GetFileName(), QSettings::IniFormat);
        stored.isNull() ? file.remove(languageKey) : file.setValue(languageKey, stored);
        file.sync();
        QCOMPARE(data()->GetLanguageIndex(), index);
        QCOMPARE(data()->GetLanguage(), codes[index]);
        QCOMPARE(data()->GetLanguageBase(), codes[index].left(2));
        QCOMPARE(data()->FindLanguageIndex(stored), codes.indexOf(stored));
        QVERIFY(data()->GetLanguage(4).isNull() && data()->GetLanguage(-1).isNull());
        // Names are known once the map is made; "Unknown" otherwise.
        QCOMPARE(data()->GetLanguageName(index), QStringLiteral("Unknown"));
        data()->CreateLanguageMap();
        QCOMPARE(data()->GetLanguageName(index), names[index]);
        QCOMPARE(data()->GetLanguageName(4), QStringLiteral("Unknown"));
        QCOMPARE(data()->GetLanguageName(QStringLiteral("en_uk")), QStringLiteral("Unknown"));
        QCOMPARE(data()->GetLanguageList(), codes);
    }
};

VELA_TEST_MAIN(tst_ApplicationData)
#include "tst_logoutput.moc"
