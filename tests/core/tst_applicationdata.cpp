// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"
#include "VelaTestSupport.h"

using VelaTest::Sandbox;

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
    }

    void makeAppDataFolderWithExplicitPath()
    {
        GlobalApplicationData::InitInstance();
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        const QString root = Sandbox::Current()->MakeFolder("explicit");
        const QString path = QDir::toNativeSeparators(root + "/one/two/three/");
        QVERIFY(data->MakeAppDataFolder(path));
        QCOMPARE(data->GetAppDataFolderPath(), path);
        // The folder is made step by step from the working directory, which
        // ends up inside it.
        QCOMPARE(QDir::current().canonicalPath(), QDir(path).canonicalPath());

        // An existing folder is taken as it is; one below a plain file cannot
        // be made.
        QVERIFY(data->MakeAppDataFolder(path));
        QCOMPARE(data->GetAppDataFolderPath(), path);
        QVERIFY(VelaTest::WriteFile(root + "/plain", "x"));
        QVERIFY(!data->MakeAppDataFolder(QDir::toNativeSeparators(root + "/plain/a/")));
    }

    void lifecycleLanguageAndVersion()
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

        // The installer's language is the first run's; the user's own choice
        // survives the next start, and an old version is rewritten at every one.
        QCOMPARE(VLApplicationSettings::GetValue("Language/Index").toString(),
                 QStringLiteral("en_UK"));
        VLApplicationSettings::SetValue("Language/Index", "ru_RU");
        VLApplicationSettings::SetValue("Version", "1.7");
        GlobalApplicationData::ReleaseInstance();
        GlobalApplicationData::ReleaseInstance();
        QVERIFY(!GlobalApplicationData::Instance());
        QVERIFY(GlobalApplicationData::GetFeaturesData().isEmpty());

        GlobalApplicationData::InitInstance();
        QCOMPARE(VLApplicationSettings::GetValue("Language/Index").toString(),
                 QStringLiteral("ru_RU"));
        QCOMPARE(VLApplicationSettings::GetValue("Version").toString(), QStringLiteral("2.0"));
    }

    void applicationFolder_data()
    {
        QTest::addColumn<bool>("parentIsAppFolder");
        QTest::addColumn<QString>("installerLanguage");
        QTest::newRow("Release") << true << "de_DE";
        QTest::newRow("release") << true << "sv_SE";
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
        const QString child = exeFolder + "/vela_core_child";
        QVERIFY(QFile::copy(VelaTest::AppFolder() + "/vela_core_child", child));
        const QString expectedApp = parentIsAppFolder ? appFolder : exeFolder;
        if (!installerLanguage.isEmpty()) {
            QSettings(expectedApp + "/settings/installsettings.ini", QSettings::IniFormat)
                .setValue("Language/Index", installerLanguage);
        }

        const VelaTest::ChildResult result = VelaTest::RunChild(
            child, {"folders"},
            VelaTest::WithLocalAppData(Sandbox::Current()->MakeFolder("local-" + folderName)));
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = QString::fromLocal8Bit(result.standardOutput).split('\n');
        QVERIFY(lines.contains("app=" + expectedApp));
        QVERIFY(lines.contains("features=0"));
        // Without an installer file the key is stored empty, read as "".
        QVERIFY(lines.contains("language=" + installerLanguage));
    }

private:
    QString m_startDir;
};

VELA_TEST_MAIN(tst_ApplicationData)
#include "tst_applicationdata.moc"
