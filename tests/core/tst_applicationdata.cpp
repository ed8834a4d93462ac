// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"
#include "VelaTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>

using VelaTest::Sandbox;

class tst_ApplicationData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { VelaTest::CaptureTestMessageHandler(); }
    void init();
    void cleanup();

    void dataFolder_data();
    void dataFolder();
    void unusableDataFolderFallsBackToBareNames();
    void makeAppDataFolderWithExplicitPath();
    void lifecycleLanguageAndVersion();
    void applicationFolder_data();
    void applicationFolder();

private:
    QString m_startDir;
};

void tst_ApplicationData::init()
{
    VelaTest::RestoreTestMessageHandler();
    m_startDir = QDir::currentPath();
    qputenv("LOCALAPPDATA",
            QFile::encodeName(Sandbox::Current()->MakeFolder(QStringLiteral("local"))));
}

void tst_ApplicationData::cleanup()
{
    GlobalApplicationData::ReleaseInstance();
    QDir::setCurrent(m_startDir);
}

void tst_ApplicationData::dataFolder_data()
{
    QTest::addColumn<bool>("useLocalAppData");
    QTest::addColumn<bool>("folderExists");

    QTest::newRow("LOCALAPPDATA, Kelvane present") << true << true;
    QTest::newRow("LOCALAPPDATA, first run") << true << false;
    QTest::newRow("home folder, Kelvane present") << false << true;
    QTest::newRow("home folder, first run") << false << false;
}

void tst_ApplicationData::dataFolder()
{
    QFETCH(bool, useLocalAppData);
    QFETCH(bool, folderExists);

    const QString home = Sandbox::Current()->MakeFolder(QStringLiteral("home-dataFolder"));
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    const QString local = Sandbox::Current()->MakeFolder(QStringLiteral("local-dataFolder"));
    qputenv("LOCALAPPDATA", useLocalAppData ? QFile::encodeName(local) : QByteArray());

    const QString base = useLocalAppData ? local : home;
    const QString below =
        useLocalAppData ? QStringLiteral("Kelvane/") : QStringLiteral("AppData/Local/Kelvane/");
    if (folderExists)
        QVERIFY(QDir(base).mkpath(below));

    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    QVERIFY(data);
    qputenv("HOME", oldHome);

    // Found: the suffix as written; created: the same suffix with native
    // separators.
    const QString suffix = QLatin1Char('/') + below;
    const QString expected = base + (folderExists ? suffix : QDir::toNativeSeparators(suffix));
    QCOMPARE(data->GetAppDataFolderPath(), expected);
    QVERIFY(QDir(expected).exists());
    QVERIFY(data->IsAppDataFolderExists());
    QCOMPARE(VLApplicationSettings::GetFileName(), expected + QStringLiteral("kelvane.ini"));
    QVERIFY(QFile::exists(expected + QStringLiteral("kelvane.ini")));
}

void tst_ApplicationData::unusableDataFolderFallsBackToBareNames()
{
    // LOCALAPPDATA below a plain file: the folder cannot be created.
    const QString root = Sandbox::Current()->MakeFolder(QStringLiteral("blocked"));
    QVERIFY(VelaTest::WriteFile(root + QStringLiteral("/file"), "not a folder"));
    const QString base = root + QStringLiteral("/file/local");
    qputenv("LOCALAPPDATA", QFile::encodeName(base));
    const QString work = Sandbox::Current()->MakeFolder(QStringLiteral("blocked-work"));
    QDir::setCurrent(work);

    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression(QStringLiteral("^\"Build date=.*, file=\"src\\\\"
                                                           "GlobalApplicationData\\.cpp\"\\. "
                                                           "Failed to create dir: ")
                                            + QRegularExpression::escape(base)
                                            + QStringLiteral("\" $")));
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    QVERIFY(data);
    QVERIFY(data->GetAppDataFolderPath().isEmpty());
    QVERIFY(!data->IsAppDataFolderExists());

    // Per-user files are named by their bare names, relative to the
    // working directory.
    QCOMPARE(VLApplicationSettings::GetFileName(), QStringLiteral("kelvane.ini"));
    QVERIFY(QFile::exists(work + QStringLiteral("/kelvane.ini")));
    QCOMPARE(VLApplicationSettings::GetValue(QStringLiteral("Version")).toString(),
             QStringLiteral("2.0"));
}

void tst_ApplicationData::makeAppDataFolderWithExplicitPath()
{
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();

    const QString root = Sandbox::Current()->MakeFolder(QStringLiteral("explicit"));
    const QString path = QDir::toNativeSeparators(root + QStringLiteral("/one/two/three/"));
    QVERIFY(data->MakeAppDataFolder(path));
    QCOMPARE(data->GetAppDataFolderPath(), path);
    QVERIFY(QDir(path).exists());
    // The folder is made step by step from the working directory, which ends
    // up inside it.
    QCOMPARE(QDir::current().canonicalPath(), QDir(path).canonicalPath());

    // An existing folder is taken as it is.
    QVERIFY(data->MakeAppDataFolder(path));
    QCOMPARE(data->GetAppDataFolderPath(), path);

    // A path below a plain file cannot be made.
    QVERIFY(VelaTest::WriteFile(root + QStringLiteral("/plain"), "x"));
    QVERIFY(!data->MakeAppDataFolder(QDir::toNativeSeparators(root + QStringLiteral("/plain/a/"))));
}

void tst_ApplicationData::lifecycleLanguageAndVersion()
{
    QVERIFY(!GlobalApplicationData::Instance());
    QVERIFY(GlobalApplicationData::GetFeaturesData().isEmpty());

    GlobalApplicationData::InitInstance();
    GlobalApplicationData *first = GlobalApplicationData::Instance();
    QVERIFY(first);
    GlobalApplicationData::InitInstance();
    QCOMPARE(GlobalApplicationData::Instance(), first);
    QCOMPARE(GlobalApplicationData::GetFeaturesData(),
             VelaTest::ReadFile(VelaTest::AppFolder() + QStringLiteral("/AppFeatures.dll")));

    // The installer's language is the first run's; the user's own choice
    // survives the next start, and an old version is rewritten at every one.
    const QString language = QStringLiteral("Language/Index");
    const QString version = QStringLiteral("Version");
    QCOMPARE(VLApplicationSettings::GetValue(language).toString(), QStringLiteral("en_UK"));
    VLApplicationSettings::SetValue(language, QStringLiteral("ru_RU"));
    VLApplicationSettings::SetValue(version, QStringLiteral("1.7"));
    GlobalApplicationData::ReleaseInstance();
    GlobalApplicationData::ReleaseInstance();
    QVERIFY(!GlobalApplicationData::Instance());
    QVERIFY(GlobalApplicationData::GetFeaturesData().isEmpty());

    GlobalApplicationData::InitInstance();
    QCOMPARE(VLApplicationSettings::GetValue(language).toString(), QStringLiteral("ru_RU"));
    QCOMPARE(VLApplicationSettings::GetValue(version).toString(), QStringLiteral("2.0"));
}

void tst_ApplicationData::applicationFolder_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<bool>("parentIsAppFolder");
    QTest::addColumn<QString>("installerLanguage");

    QTest::newRow("Release") << QStringLiteral("Release") << true << QStringLiteral("de_DE");
    QTest::newRow("release") << QStringLiteral("release") << true << QStringLiteral("sv_SE");
    QTest::newRow("DEBUG") << QStringLiteral("DEBUG") << true << QString();
    QTest::newRow("Releases") << QStringLiteral("Releases") << false << QStringLiteral("ru_RU");
}

void tst_ApplicationData::applicationFolder()
{
    QFETCH(QString, folderName);
    QFETCH(bool, parentIsAppFolder);
    QFETCH(QString, installerLanguage);

    // A copy of the child program inside <app>/<folderName>, with its own
    // installer file (or none) and no features file.
    const QString appFolder = Sandbox::Current()->MakeFolder(QStringLiteral("app-") + folderName);
    const QString exeFolder = appFolder + QLatin1Char('/') + folderName;
    QVERIFY(QDir().mkpath(exeFolder));
    const QString child = exeFolder + QStringLiteral("/vela_core_child");
    QVERIFY(QFile::copy(VelaTest::AppFolder() + QStringLiteral("/vela_core_child"), child));
    const QString expectedApp = parentIsAppFolder ? appFolder : exeFolder;
    if (!installerLanguage.isEmpty()) {
        QVERIFY(QDir().mkpath(expectedApp + QStringLiteral("/settings")));
        QSettings installer(expectedApp + QStringLiteral("/settings/installsettings.ini"),
                            QSettings::IniFormat);
        installer.setValue(QStringLiteral("Language/Index"), installerLanguage);
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LOCALAPPDATA"),
                       Sandbox::Current()->MakeFolder(QStringLiteral("local-") + folderName));
    const VelaTest::ChildResult result =
        VelaTest::RunChild(child, {QStringLiteral("folders")}, environment);
    QCOMPARE(result.exitCode, 0);

    const QStringList lines =
        QString::fromLocal8Bit(result.standardOutput).split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("app=") + expectedApp));
    QVERIFY(lines.contains(QStringLiteral("features=0")));
    // Without an installer file the key is stored empty, read as "".
    QVERIFY(lines.contains(QStringLiteral("language=") + installerLanguage));
}

VELA_TEST_MAIN(tst_ApplicationData)
#include "tst_applicationdata.moc"
