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

#include <vector>

using VelaTest::Sandbox;

namespace {

QString child()
{
    return VelaTest::AppFolder() + "/vela_core_child";
}

const QString languageKey = "Language/Index";

GlobalApplicationData *data()
{
    return GlobalApplicationData::Instance();
}

} // namespace

class tst_ApplicationData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { VelaTest::CaptureTestMessageHandler(); }
    void init()
    {
        VelaTest::RestoreTestMessageHandler();
        m_startDir = QDir::currentPath();
        qputenv("LOCALAPPDATA", QFile::encodeName(Sandbox::Current()->MakeFolder("local")));
    }
    void cleanup()
    {
        GlobalApplicationData::ReleaseInstance();
        QDir::setCurrent(m_startDir);
    }

    void dataFolder_data()
    {
        QTest::addColumn<bool>("useLocalAppData");
        QTest::addColumn<bool>("folderExists");
        QTest::newRow("LOCALAPPDATA, Kelvane present") << true << true;
        QTest::newRow("LOCALAPPDATA, first run") << true << false;
        QTest::newRow("home folder, Kelvane present") << false << true;
        QTest::newRow("home folder, first run") << false << false;
    }

    void dataFolder()
    {
        QFETCH(bool, useLocalAppData);
        QFETCH(bool, folderExists);
        const QString home = Sandbox::Current()->MakeFolder("home-dataFolder");
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home));
        const QString local = Sandbox::Current()->MakeFolder("local-dataFolder");
        qputenv("LOCALAPPDATA", useLocalAppData ? QFile::encodeName(local) : QByteArray());
        const QString base = useLocalAppData ? local : home;
        const QString below = useLocalAppData ? "Kelvane/" : "AppData/Local/Kelvane/";
        if (folderExists)
            QVERIFY(QDir(base).mkpath(below));

        GlobalApplicationData::InitInstance();
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        qputenv("HOME", oldHome);

        // Found: the suffix as written; created: the same suffix with native
        // separators.
        const QString suffix = '/' + below;
        const QString expected = base + (folderExists ? suffix : QDir::toNativeSeparators(suffix));
        QCOMPARE(data->GetAppDataFolderPath(), expected);
        QVERIFY(data->IsAppDataFolderExists());
        QCOMPARE(VLApplicationSettings::GetFileName(), expected + "kelvane.ini");
        QVERIFY(QFile::exists(expected + "kelvane.ini"));
    }

    void unusableDataFolderFallsBackToBareNames()
    {
        // LOCALAPPDATA below a plain file: the folder cannot be created.
        const QString root = Sandbox::Current()->MakeFolder("blocked");
        QVERIFY(VelaTest::WriteFile(root + "/file", "not a folder"));
        const QString base = root + "/file/local";
        qputenv("LOCALAPPDATA", QFile::encodeName(base));
        const QString work = Sandbox::Current()->MakeFolder("blocked-work");
        QDir::setCurrent(work);

        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression("^\"Build date=.*, file=\"src\\\\"
                                                "GlobalApplicationData\\.cpp\"\\. "
                                                "Failed to create dir: "
                                                + QRegularExpression::escape(base) + "\" $"));
        GlobalApplicationData::InitInstance();
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        QVERIFY(data->GetAppDataFolderPath().isEmpty());
        QVERIFY(!data->IsAppDataFolderExists());

        // Per-user files are named by their bare names, relative to the
        // working directory.
        QCOMPARE(VLApplicationSettings::GetFileName(), QStringLiteral("kelvane.ini"));
        QVERIFY(QFile::exists(work + "/kelvane.ini"));
        QCOMPARE(VLApplicationSettings::GetValue("Version").toString(), QStringLiteral("2.0"));

        // So is the log folder, and its clean-up stays inside it.
        QVERIFY(!QFileInfo::exists(QDir::rootPath() + "vela-logs-of-no-user"));
        data->RegisterLogOutput("vela-logs-of-no-user");
        const QString log = data->GetLogFileName();
        QVERIFY2(log.startsWith("vela-logs-of-no-user" + QString(QDir::separator())),
                 qPrintable(log));
        QVERIFY(QFileInfo::exists(work + '/' + log));
        QVERIFY(!QFileInfo::exists(QDir::rootPath() + "vela-logs-of-no-user"));

        // A folder given by path is made, each missing level in turn, and
        // kept as given.
        const QString given = QDir::toNativeSeparators(work + "/given/data/");
        QVERIFY(data->MakeAppDataFolder(given));
        QVERIFY(QFileInfo(given).isDir());
        QCOMPARE(data->GetAppDataFolderPath(), given);
    }

    void lifecycleAndVersion()
    {
        QVERIFY(!GlobalApplicationData::Instance());
        QVERIFY(GlobalApplicationData::GetFeaturesData().isEmpty());
        GlobalApplicationData::InitInstance();
        GlobalApplicationData *first = GlobalApplicationData::Instance();
        QVERIFY(first);
        GlobalApplicationData::InitInstance();
        QCOMPARE(GlobalApplicationData::Instance(), first);
        QCOMPARE(GlobalApplicationData::GetFeaturesData(),
                 VelaTest::ReadFile(VelaTest::AppFolder() + "/AppFeatures.dll"));

        // An old version is rewritten at every start. (The user's language
        // surviving it is storedChoiceLeavesTheRunAlone's.)
        VLApplicationSettings::SetValue("Version", "1.7");
        GlobalApplicationData::ReleaseInstance();
        GlobalApplicationData::ReleaseInstance();
        QVERIFY(!GlobalApplicationData::Instance());
        QVERIFY(GlobalApplicationData::GetFeaturesData().isEmpty());

        GlobalApplicationData::InitInstance();
        QCOMPARE(VLApplicationSettings::GetValue("Version").toString(), QStringLiteral("2.0"));
    }

    void applicationFolder_data()
    {
        QTest::addColumn<bool>("parentIsAppFolder");
        QTest::addColumn<QString>("installerLanguage");
        QTest::newRow("Release") << true << "de_DE";
        QTest::newRow("DEBUG") << true << QString();
        QTest::newRow("Releases") << false << "ru_RU";
    }

    void applicationFolder()
    {
        QFETCH(bool, parentIsAppFolder);
        QFETCH(QString, installerLanguage);
        // A copy of the child program inside <app>/<row name>, with its own
        // installer file (or none) and no features file.
        const QString folderName = QTest::currentDataTag();
        const QString appFolder = Sandbox::Current()->MakeFolder("app-" + folderName);
        const QString exeFolder = appFolder + '/' + folderName;
        QVERIFY(QDir().mkpath(exeFolder));
        const QString copy = exeFolder + "/vela_core_child";
        QVERIFY(QFile::copy(child(), copy));
        const QString expectedApp = parentIsAppFolder ? appFolder : exeFolder;
        if (!installerLanguage.isEmpty()) {
            QSettings(expectedApp + "/settings/installsettings.ini", QSettings::IniFormat)
                .setValue("Language/Index", installerLanguage);
        }

        const VelaTest::ChildResult result = VelaTest::RunChild(
            copy, {"folders"},
            VelaTest::WithLocalAppData(Sandbox::Current()->MakeFolder("local-" + folderName)));
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = QString::fromLocal8Bit(result.standardOutput).split('\n');
        QVERIFY(lines.contains("app=" + expectedApp));
        QVERIFY(lines.contains("features=0"));
        // Without an installer file the key is stored empty, read as "".
        QVERIFY(lines.contains("language=" + installerLanguage));
    }

    // The settings store on its own, without the application data object.
    void everyCallReachesTheFile()
    {
        const QString path = VelaTest::Sandbox::Current()->MakeFolder("store") + "/kelvane.ini";
        VLApplicationSettings::SetFileName(path);
        QVERIFY(!VLApplicationSettings::Contains("Version"));
        QCOMPARE(VLApplicationSettings::GetValue("Version", 7).toInt(), 7);

        // On disk, in the ini layout, before the call returns: another process
        // reads it at once, and what that process writes is read here at once.
        VLApplicationSettings::SetValue("Version", "2.0");
        VLApplicationSettings::SetValue("Grid/Visible", true);
        QVERIFY(
            VelaTest::ReadFile(path).contains("[General]\nVersion=2.0\n\n[Grid]\nVisible=true\n"));
        VelaTest::ChildResult result =
            VelaTest::RunChild(child(), {"settings-get", path, "Version"});
        QCOMPARE(result.standardOutput, QByteArray("2.0\n"));
        result = VelaTest::RunChild(child(), {"settings-set", path, "Save/PathOpen", "/pics"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(VLApplicationSettings::GetValue("Save/PathOpen").toString(),
                 QStringLiteral("/pics"));
        QVERIFY(VLApplicationSettings::Contains("Grid/Visible"));
    }

    void registrationAndRecordBytes()
    {
        GlobalApplicationData::InitInstance();
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        QVERIFY(data->GetLogFileName().isEmpty());

        // (Which files registration deletes is tst_filefaults'.)
        const QString folder = data->GetAppDataFolderPath() + QDir::separator() + "logs";
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        data->RegisterLogOutput("logs");
        const QString logFile = data->GetLogFileName();

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
        const QByteArray expected =
            QString("\"Build date=%1, time=%2. Line=%3, file=\"tests\\core\\tst_logoutput.cpp\". "
                    "Plugin: \"x%4.so\" loaded\" \n")
                .arg(VLLogLine::BuildDate(), VLLogLine::BuildTime())
                .arg(line)
                .arg("%1")
                .toUtf8()
            + "plain 7\n" + "quoted \"item\"\n" + "info\n";
        QCOMPARE(VelaTest::ReadFile(logFile), expected);
        // "Aug  3 2015" and "16:22:50", the forms of __DATE__ and __TIME__.
        QVERIFY(QLocale::c().toDate(VLLogLine::BuildDate(), "MMM d yyyy").isValid()
                || QLocale::c().toDate(VLLogLine::BuildDate(), "MMM  d yyyy").isValid());
        QVERIFY(QTime::fromString(VLLogLine::BuildTime(), "hh:mm:ss").isValid());

        // A second registration keeps the open file.
        data->RegisterLogOutput("other");
        QCOMPARE(data->GetLogFileName(), logFile);
        QVERIFY(!QFileInfo::exists(data->GetAppDataFolderPath() + QDir::separator() + "other"));
    }

    void destructorWritesItsLastLines()
    {
        GlobalApplicationData::InitInstance();
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        data->RegisterLogOutput("logs");
        data->InitUserPreferences();
        const QString logFile = data->GetLogFileName();
        const qint64 before = QFileInfo(logFile).size();
        GlobalApplicationData::ReleaseInstance();

        // The source line in each was checked above, with a line of the test's own.
        const QByteArray gad = "src\\GlobalApplicationData.cpp";
        const QList<QByteArray> expected = {
            VelaTest::LogLine(gad, "Destroy"),
            VelaTest::LogLine(gad, "Pre Destroy xml"),
            VelaTest::LogLine(gad, "Destroy xml"),
            VelaTest::LogLine(gad, "Destroyed xml"),
            VelaTest::LogLine("src\\VLCrashHandler.cpp", "Destroyed"),
            VelaTest::LogLine(gad, "Destroyed")};
        const QList<QByteArray> lines = VelaTest::ReadFile(logFile).mid(before).split('\n');
        QCOMPARE(lines.size(), expected.size() + 1);
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2((lines.at(i) + '\n').endsWith(expected.at(i)), lines.at(i).constData());
    }

    void threadsNeverTearARecord()
    {
        GlobalApplicationData::InitInstance();
        GlobalApplicationData::Instance()->RegisterLogOutput("logs");
        const QString logFile = GlobalApplicationData::Instance()->GetLogFileName();

        constexpr int threadCount = 4;
        constexpr int recordCount = 10000;
        QVERIFY(VelaTest::RunThreads(threadCount, [](int id) {
            for (int i = 0; i < recordCount; ++i)
                qDebug("thread %d record %d with some text to make the line longer", id, i);
        }));

        const QList<QByteArray> lines = VelaTest::ReadFile(logFile).split('\n');
        QCOMPARE(lines.size(), threadCount * recordCount + 1);
        QVERIFY(lines.last().isEmpty());
        // Every record whole, and each thread's records in its own order.
        const QRegularExpression pattern(
            "^thread ([0-3]) record ([0-9]+) with some text to make the line longer$");
        std::vector<int> next(threadCount, 0);
        for (int i = 0; i < lines.size() - 1; ++i) {
            const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(lines.at(i)));
            QVERIFY2(match.hasMatch(), lines.at(i).constData());
            const int id = match.captured(1).toInt();
            QCOMPARE(match.captured(2).toInt(), next[id]++);
        }
    }

    void aSlowWriteDelaysButNeverDropsARecord()
    {
        GlobalApplicationData::InitInstance();
        GlobalApplicationData::Instance()->RegisterLogOutput("logs");
        const QString logFile = GlobalApplicationData::Instance()->GetLogFileName();

        // The first write stalls for longer than any bounded wait would
        // last (a paused network drive); the second thread's record waits
        // for it and then reaches the file, as does a third after it.
        static std::atomic<bool> stall{true};
        VLLogFile::SetLockedWriteHook([] {
            if (stall.exchange(false))
                std::this_thread::sleep_for(std::chrono::milliseconds(2600));
        });
        QVERIFY(VelaTest::RunThreads(2, [](int id) {
            if (id == 1)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            qDebug("record of thread %d", id);
        }));
        qDebug("record after both");
        VLLogFile::SetLockedWriteHook(nullptr);
        QCOMPARE(VelaTest::ReadFile(logFile),
                 QByteArray("record of thread 0\nrecord of thread 1\nrecord after both\n"));
    }

    void standardStreamsBeforeAndAfterTheLog()
    {
        QProcessEnvironment environment =
            VelaTest::WithLocalAppData(Sandbox::Current()->MakeFolder("local-child"));
        environment.remove("QT_MESSAGE_PATTERN");
        const VelaTest::ChildResult result =
            VelaTest::RunChild(child(), {"lifecycle", "logs"}, environment);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);

        const QString out = QString::fromLocal8Bit(result.standardOutput);
        const QString err = QString::fromLocal8Bit(result.standardError);
        // Before the log is registered Qt's own handler prints; after the
        // application data object is gone, the library's prints with prefixes.
        QVERIFY2(err.contains("before-init"), qPrintable(err));
        QVERIFY2(err.contains("before-register"), qPrintable(err));
        QVERIFY2(out.contains("Debug: after-release\n"), qPrintable(out));
        QVERIFY2(out.contains("Warning: warning-after-release\n"), qPrintable(out));
        QVERIFY2(err.contains("Critical: critical-after-release\n"), qPrintable(err));
        QVERIFY(!out.contains("into-log") && !err.contains("into-log"));

        const QRegularExpressionMatch log =
            QRegularExpression("^log=(.*)$", QRegularExpression::MultilineOption).match(out);
        QVERIFY(log.hasMatch());
        const QByteArray text = VelaTest::ReadFile(log.captured(1));
        QVERIFY(text.startsWith("into-log\nwarning-into-log\n\"Build date="));
        QVERIFY(!text.contains("before-") && !text.contains("after-release"));
    }

    void fatalWithoutLogFileAborts()
    {
        // The log sub-folder is a plain file: no log file can be opened.
        const QString local = Sandbox::Current()->MakeFolder("local-fatal");
        QVERIFY(VelaTest::WriteFile(local + "/Kelvane/logs", "in the way"));
        const VelaTest::ChildResult result =
            VelaTest::RunChild(child(), {"fatal", "logs"}, VelaTest::WithLocalAppData(local));
        QCOMPARE(result.exitStatus, QProcess::CrashExit);
        QCOMPARE(result.standardOutput, QByteArray("log=\n"));
        QVERIFY2(result.standardError.contains("Fatal: fatal-without-log\n"),
                 result.standardError.constData());
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
        const QStringList names = {"Swedish", "English", "German", "Russian"};
        GlobalApplicationData::InitInstance();
        {
            QSettings file(VLApplicationSettings::GetFileName(), QSettings::IniFormat);
            stored.isNull() ? file.remove(languageKey) : file.setValue(languageKey, stored);
        }
        QCOMPARE(data()->GetLanguageIndex(), index);
        QCOMPARE(data()->GetLanguage(), data()->GetLanguage(index));
        // Names are known once the map is made; "Unknown" otherwise.
        QCOMPARE(data()->GetLanguageName(index), QStringLiteral("Unknown"));
        data()->CreateLanguageMap();
        QCOMPARE(data()->GetLanguageName(index), names[index]);
        QCOMPARE(data()->GetLanguageName(4), QStringLiteral("Unknown"));
        QCOMPARE(data()->GetLanguageName(QStringLiteral("en_uk")), QStringLiteral("Unknown"));
        QCOMPARE(data()->GetLanguageList(), QStringList({"sv_SE", "en_UK", "de_DE", "ru_RU"}));
    }
    void storedChoiceLeavesTheRunAlone()
    {
        GlobalApplicationData::InitInstance();
        data()->RegisterLogOutput("logs");
        // The installer file of the build folder names English.
        QCOMPARE(data()->GetCurrentLanguage(), QStringLiteral("en_UK"));
        data()->SetLanguageIndex(2);
        // The run's own language stays: hostStoresTheChoiceForTheNextRun.
        QCOMPARE(data()->GetLanguageBase(), QStringLiteral("de"));
        // Despite its name the key holds the code.
        QCOMPARE(VLApplicationSettings::GetValue(languageKey).toString(), QStringLiteral("de_DE"));

        for (int wrong : {4, -1}) {
            data()->SetLanguageIndex(wrong);
            QCOMPARE(data()->GetLanguageIndex(), 2);
            const QByteArray line =
                VelaTest::LogLine("src\\GlobalApplicationData.cpp",
                                  "Wrong language index:" + QByteArray::number(wrong));
            QCOMPARE(VelaTest::ReadFile(data()->GetLogFileName()).count(line), 1);
        }
        // The stored choice is the language of the next start.
        GlobalApplicationData::ReleaseInstance();
        GlobalApplicationData::InitInstance();
        QCOMPARE(data()->GetCurrentLanguage(), QStringLiteral("de_DE"));
    }
    void hostStoresTheChoiceForTheNextRun()
    {
        // A run of the host with a LOCALAPPDATA of its own.
        const VelaTest::ChildResult result =
            VelaTest::RunHost({"lang", "set", "3"}, Sandbox::Current()->Root() + "/host");
        QVERIFY(result.standardOutput.contains(
            "Stored language:       ru_RU\nCurrent language:      en_UK"));
    }

private:
    QString m_startDir;
};

VELA_TEST_MAIN(tst_ApplicationData)
#include "tst_logoutput.moc"
