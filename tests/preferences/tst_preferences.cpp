// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PreferencesTestSupport.h"

#include "VelaUserParams.h"
#include "private/VLPreferenceMap_p.h"

#include <QColor>
#include <QTemporaryDir>

using namespace PreferencesTest;

namespace {

using Values = QList<QPair<QString, QString>>;

const QString lastDirKey = VelaUserParams::Directories::Settings::LastVisitedFolder();

QStringList catalogue()
{
    using P = VelaUserParams;
    return {P::ColorManagement::EnableColorManagement(),
            P::ColorManagement::Devices::Printer(),
            P::ColorManagement::ManagementPolicies::RGB1(),
            P::ColorManagement::WorkingSpaces::RGB2(),
            P::Directories::Settings::DefImageType(),
            P::Directories::Settings::ImageFolder(),
            P::Directories::Settings::LastVisitedFolder(),
            P::Directories::Settings::RememberLastVisitedFolder(),
            P::Editing::Colors::Background(),
            P::Editing::Colors::Color1(),
            P::Editing::Colors::Color2(),
            P::Editing::Text::Antialiasing(),
            P::Performance::OpenCL::OPENCL(),
            P::PlatformSpecificSetting::DoNotUseSystemDlg(),
            P::PlatformSpecificSetting::JpegOpt::DctMethod(),
            P::PlatformSpecificSetting::JpegOpt::IsHuffman(),
            P::PlatformSpecificSetting::JpegOpt::ProgressiveMode(),
            P::PlatformSpecificSetting::JpegOpt::Quality(),
            P::PlatformSpecificSetting::JpegOpt::SmoothingFactor(),
            P::PlatformSpecificSetting::PngOpt::Alfa(),
            P::PlatformSpecificSetting::PngOpt::InterlaceMethod(),
            P::PlatformSpecificSetting::PngOpt::IsEmbeddedProfile(),
            P::PlatformSpecificSetting::PngOpt::Quality(),
            P::PlatformSpecificSetting::TiffOpt::CompressionTech(),
            P::PlatformSpecificSetting::TiffOpt::Is256Color(),
            P::PlatformSpecificSetting::TiffOpt::IsEmbeddedProfile(),
            P::ProxySettings::Proxy::PROXYHOSTNAME(),
            P::ProxySettings::Proxy::PROXYPORT(),
            P::ProxySettings::Proxy::PROXYTYPE()};
}

// velahost copied into a folder of its own: an application folder without
// the shipped default document.
QString hostWithoutDefaults(const QTemporaryDir &folder)
{
    const QString host = folder.path() + QStringLiteral("/velahost");
    QFile::copy(VelaTest::AppFolder() + QStringLiteral("/velahost"), host);
    return host;
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { GlobalApplicationData::ReleaseInstance(); }

    void firstRunInstallsTheDefault()
    {
        ResetUserFolder();
        GlobalApplicationData *data = StartLibrary();

        const QByteArray shipped = VelaTest::ReadFile(DefaultDocumentPath());
        QVERIFY(!shipped.isEmpty());
        QCOMPARE(VelaTest::ReadFile(UserDocumentPath()), shipped);
        QVERIFY(!DefaultVersion().isEmpty());

        // The shipped document carries every key of the catalogue.
        const QMap<QString, QString> parameters = VLPreferenceMap::Parameters(*data);
        for (const QString &key : catalogue())
            QVERIFY2(parameters.contains(key), qPrintable(key));
        QCOMPARE(data->GetUserBackgroundColor().isValid(), true);
        QCOMPARE(data->GetProxyPortNumber(),
                 parameters.value(VelaUserParams::ProxySettings::Proxy::PROXYPORT()).toInt());
    }

    void versionRule_data()
    {
        QTest::addColumn<QByteArray>("userDocument");
        QTest::addColumn<bool>("kept");

        const Values userValues = {{lastDirKey, QStringLiteral("/kept")}};
        QTest::newRow("equal versions") << Document(DefaultVersion(), userValues) << true;
        QTest::newRow("older version")
            << Document(DefaultVersion() + QStringLiteral("-old"), userValues) << false;
        QTest::newRow("no version") << Document(QString(), userValues) << false;
        QTest::newRow("malformed") << Document(DefaultVersion(), userValues).chopped(3) << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("binary") << QByteArray("\x00\x01\xff<properties>\x00\xfe", 13) << false;
        QTest::newRow("deeply nested")
            << (QByteArray("<properties>") + QByteArray("<page>").repeated(50000)
                + QByteArray("</page>").repeated(50000) + QByteArray("</properties>"))
            << false;
    }

    void versionRule()
    {
        QFETCH(QByteArray, userDocument);
        QFETCH(bool, kept);

        ResetUserFolder(userDocument);
        GlobalApplicationData *data = StartLibrary();
        if (kept) {
            QCOMPARE(VelaTest::ReadFile(UserDocumentPath()), userDocument);
            QCOMPARE(data->LastVisitedFolder(), QStringLiteral("/kept"));
            // Only what the user's document holds is known.
            QCOMPARE(VLPreferenceMap::Parameters(*data).size(), 1);
        } else {
            QCOMPARE(VelaTest::ReadFile(UserDocumentPath()),
                     VelaTest::ReadFile(DefaultDocumentPath()));
            QCOMPARE(VLPreferenceMap::Parameters(*data).size(), catalogue().size());
        }
    }

    void enormousDocumentIsReplaced()
    {
        ResetUserFolder(Document(DefaultVersion(), {{lastDirKey, QStringLiteral("/kept")}}));
        QFile enormous(UserDocumentPath());
        QVERIFY(enormous.resize(64 * 1024 * 1024));
        GlobalApplicationData *data = StartLibrary();
        QCOMPARE(VelaTest::ReadFile(UserDocumentPath()), VelaTest::ReadFile(DefaultDocumentPath()));
        QCOMPARE(data->LastVisitedFolder(), StoredValue(lastDirKey));
    }

    void unreadableDefaultKeepsTheUserDocument_data()
    {
        QTest::addColumn<QByteArray>("userDocument");
        QTest::addColumn<QByteArray>("output");

        QTest::newRow("versioned")
            << Document(QStringLiteral("7"), {{lastDirKey, QStringLiteral("/kept")}})
            << QByteArray("/kept\n");
        QTest::newRow("malformed") << QByteArray("<properties><page") << QByteArray();
    }

    void unreadableDefaultKeepsTheUserDocument()
    {
        QFETCH(QByteArray, userDocument);
        QFETCH(QByteArray, output);

        ResetUserFolder(userDocument);
        QTemporaryDir appFolder;
        const VelaTest::ChildResult result =
            VelaTest::RunChild(hostWithoutDefaults(appFolder),
                               {QStringLiteral("prefs"), QStringLiteral("get"), lastDirKey});
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.standardOutput, output);
        QCOMPARE(VelaTest::ReadFile(UserDocumentPath()), userDocument);
    }

    void settersChangeTheMapAndSaveOnlyWhatTheDocumentHas()
    {
        const QString typeKey = VelaUserParams::Directories::Settings::DefImageType();
        const QString textKey = VelaUserParams::Editing::Text::Antialiasing();
        ResetUserFolder(QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                   "<properties editor=\"kept\">\n"
                                   "    <file_version value=\"")
                        + DefaultVersion().toUtf8()
                        + QByteArray("\"/>\n"
                                     "    <notes>kept <b>as it is</b></notes>\n"
                                     "    <page name=\"directories\">\n"
                                     "        <group name=\"dirs\">\n"
                                     "            <parameter name=\"def_image_type\" "
                                     "value=\"png\" hint=\"kept\"/>\n"
                                     "        </group>\n"
                                     "    </page>\n"
                                     "    <page name=\"GUI_options_and_effects\">\n"
                                     "        <group name=\"group1\">\n"
                                     "            <parameter name=\"TextAl\"/>\n"
                                     "        </group>\n"
                                     "    </page>\n"
                                     "</properties>\n"));
        GlobalApplicationData *data = StartLibrary();

        // A parameter without a value reads as empty text.
        QCOMPARE(data->GetTextAntialiasing(), 1);
        QCOMPARE(data->GetWorkingSpaceRGB(), 0);

        data->SetDefImageType(QStringLiteral("jpg"));
        data->SetLastVisitedFolder(QStringLiteral("/this/run"));
        data->SetTextAntialiasing(3);
        QCOMPARE(data->DefImageType(), QStringLiteral("jpg"));
        QCOMPARE(data->LastVisitedFolder(), QStringLiteral("/this/run"));
        QCOMPARE(data->GetTextAntialiasing(), 3);
        // Nothing reaches the file before the save.
        QCOMPARE(StoredValue(typeKey), QStringLiteral("png"));

        data->SaveUserPreferences();
        QCOMPARE(StoredValue(typeKey), QStringLiteral("jpg"));
        QCOMPARE(StoredValue(textKey), QStringLiteral("2"));
        QVERIFY(StoredValue(lastDirKey).isNull());
        const QByteArray saved = VelaTest::ReadFile(UserDocumentPath());
        QDomDocument reread;
        QVERIFY(reread.setContent(saved));
        QCOMPARE(reread.documentElement().firstChildElement(QStringLiteral("notes")).text(),
                 QStringLiteral("kept as it is"));
        QVERIFY(saved.contains("hint=\"kept\""));
        QVERIFY(saved.contains("editor=\"kept\""));
        QVERIFY(saved.contains("\n        <group name=\"dirs\">\n"));

        GlobalApplicationData::ReleaseInstance();
        data = StartLibrary();
        QCOMPARE(data->DefImageType(), QStringLiteral("jpg"));
        QCOMPARE(data->GetTextAntialiasing(), 3);
        QVERIFY(data->LastVisitedFolder().isEmpty());
    }

    void typedAnswers_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QVariant>("answer");

        const QString remember = VelaUserParams::Directories::Settings::RememberLastVisitedFolder();
        const QString workingSpace = VelaUserParams::ColorManagement::WorkingSpaces::RGB2();
        const QString policy = VelaUserParams::ColorManagement::ManagementPolicies::RGB1();
        const QString text = VelaUserParams::Editing::Text::Antialiasing();
        QTest::newRow("remember true") << remember << "true" << QVariant(true);
        QTest::newRow("remember True") << remember << "True" << QVariant(false);
        QTest::newRow("remember 1") << remember << "1" << QVariant(false);
        QTest::newRow("working space 5") << workingSpace << "5" << QVariant(5);
        QTest::newRow("working space hex") << workingSpace << "0x5" << QVariant(0);
        QTest::newRow("policy 12") << policy << "12" << QVariant(12);
        QTest::newRow("policy text") << policy << "twelve" << QVariant(0);
        QTest::newRow("text antialiasing 0") << text << "0" << QVariant(1);
        QTest::newRow("text antialiasing text") << text << "x" << QVariant(1);
        QTest::newRow("text antialiasing -4") << text << "-4" << QVariant(-3);
    }

    void typedAnswers()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QVariant, answer);

        GlobalApplicationData::InitInstance();
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        // Before the preferences are loaded: empty, zero or fixed answers.
        QVERIFY(!data->RememberLastVisitedFolder());
        QCOMPARE(data->GetWorkingSpaceRGB(), 0);
        QCOMPARE(data->GetRGBManagementPolicy(), 0);
        QCOMPARE(data->GetTextAntialiasing(), 1);
        QVERIFY(!data->IsOpenCLEnabled());
        QVERIFY(data->IsColorManagementEnabled());
        QVERIFY(!data->DoNotUseSystemDlg());

        VLPreferenceMap::SetParameter(*data, key, value);
        if (key == VelaUserParams::Directories::Settings::RememberLastVisitedFolder())
            QCOMPARE(QVariant(data->RememberLastVisitedFolder()), answer);
        else if (key == VelaUserParams::ColorManagement::WorkingSpaces::RGB2())
            QCOMPARE(QVariant(data->GetWorkingSpaceRGB()), answer);
        else if (key == VelaUserParams::ColorManagement::ManagementPolicies::RGB1())
            QCOMPARE(QVariant(data->GetRGBManagementPolicy()), answer);
        else
            QCOMPARE(QVariant(data->GetTextAntialiasing()), answer);
    }

    void userColors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("color");

        QTest::newRow("upper case") << "FF102030" << QColor(16, 32, 48, 255);
        QTest::newRow("lower case") << "80abcdef" << QColor(0xab, 0xcd, 0xef, 0x80);
        QTest::newRow("transparent") << "00000000" << QColor(0, 0, 0, 0);
        QTest::newRow("rest ignored") << "FF102030 and more" << QColor(16, 32, 48, 255);
        QTest::newRow("seven characters") << "FF10203" << QColor();
        QTest::newRow("six characters") << "102030" << QColor();
        QTest::newRow("empty") << "" << QColor();
        QTest::newRow("not hex") << "GG102030" << QColor();
        QTest::newRow("three numbers") << "FF1020ZZ" << QColor();
    }

    void userColors()
    {
        QFETCH(QString, text);
        QFETCH(QColor, color);

        GlobalApplicationData::InitInstance();
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        const QList<QPair<QString, QColor (GlobalApplicationData::*)() const>> getters = {
            {VelaUserParams::Editing::Colors::Background(),
             &GlobalApplicationData::GetUserBackgroundColor},
            {VelaUserParams::Editing::Colors::Color1(), &GlobalApplicationData::GetUserColor1Color},
            {VelaUserParams::Editing::Colors::Color2(), &GlobalApplicationData::GetUserColor2Color},
        };
        for (const auto &getter : getters) {
            QVERIFY(!(data->*getter.second)().isValid());
            VLPreferenceMap::SetParameter(*data, getter.first, text);
            const QColor answer = (data->*getter.second)();
            QCOMPARE(answer.isValid(), color.isValid());
            if (color.isValid())
                QCOMPARE(answer.rgba(), color.rgba());
        }
    }

    void interruptedSaveLeavesAParsableFile()
    {
        // Large enough that each save takes a while, so that the kill lands
        // in the middle of writing.
        const QByteArray padding =
            QByteArray("<padding>") + QByteArray(4 * 1024 * 1024, 'x') + QByteArray("</padding>\n");
        QByteArray document =
            Document(DefaultVersion(), {{lastDirKey, QStringLiteral("/round/0")}});
        document.insert(document.indexOf("</properties>"), padding);
        ResetUserFolder(document);

        for (int attempt = 0; attempt < 5; ++attempt) {
            QProcess child;
            child.start(VelaTest::AppFolder() + QStringLiteral("/prefs_save_loop"), QStringList());
            QVERIFY(child.waitForStarted());
            int saves = 0;
            while (saves < 2 + attempt) {
                QVERIFY(child.waitForReadyRead(60000));
                saves += child.readAll().count('\n');
            }
            child.kill();
            QVERIFY(child.waitForFinished());

            const QByteArray saved = VelaTest::ReadFile(UserDocumentPath());
            QDomDocument parsed;
            QVERIFY(parsed.setContent(saved));
            QVERIFY(StoredValue(lastDirKey).startsWith(QStringLiteral("/round/")));
            QVERIFY(saved.contains(QByteArray(4 * 1024 * 1024, 'x')));
        }
    }
};

VELA_TEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
