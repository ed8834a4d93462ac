// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PreferencesTestSupport.h"

#include "private/VLPreferenceMap_p.h"

#include <QColor>

using namespace PreferencesTest;

namespace {

using P = VelaUserParams;
const QString lastDirKey = P::Directories::Settings::LastVisitedFolder();
const QString typeKey = P::Directories::Settings::DefImageType();
const QString textKey = P::Editing::Text::Antialiasing();
const QString rememberKey = P::Directories::Settings::RememberLastVisitedFolder();
const QString portKey = P::ProxySettings::Proxy::PROXYPORT();
const QString proxyTypeKey = P::ProxySettings::Proxy::PROXYTYPE();

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { GlobalApplicationData::ReleaseInstance(); }

    void userDocumentKeptOrReplaced_data()
    {
        QTest::addColumn<QByteArray>("userDocument");
        QTest::addColumn<bool>("kept");

        const Values values = {{lastDirKey, "/kept"}};
        const QByteArray equal = Document(DefaultVersion(), values);
        QTest::newRow("first run") << QByteArray() << false;
        QTest::newRow("equal versions") << equal << true;
        QTest::newRow("older version") << Document(DefaultVersion() + "-old", values) << false;
        QTest::newRow("no version") << Document(QString(), values) << false;
        QTest::newRow("malformed") << equal.chopped(3) << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("binary") << QByteArray("\x00\x01\xff<properties>\x00\xfe", 13) << false;
        QTest::newRow("deeply nested")
            << QByteArray("<properties>" + QByteArray("<page>").repeated(50000)
                          + QByteArray("</page>").repeated(50000) + "</properties>")
            << false;
        QTest::newRow("enormous") << QByteArray(equal).insert(equal.indexOf("<page"),
                                                              QByteArray(17 << 20, ' '))
                                  << false;
    }

    void userDocumentKeptOrReplaced()
    {
        QFETCH(QByteArray, userDocument);
        QFETCH(bool, kept);

        ResetUserFolder(userDocument);
        const GlobalApplicationData *data = Restart();
        if (kept) {
            QCOMPARE(VelaTest::ReadFile(UserDocumentPath()), userDocument);
            QCOMPARE(data->LastVisitedFolder(), QStringLiteral("/kept"));
            // Only what the user's document holds is known.
            QCOMPARE(VLPreferenceMap::Parameters(*data).size(), 1);
        } else {
            QCOMPARE(VelaTest::ReadFile(UserDocumentPath()), DefaultDocument());
            QVERIFY(!StoredValue(typeKey).isEmpty());
            QCOMPARE(data->DefImageType(), StoredValue(typeKey));
            QVERIFY(data->GetUserBackgroundColor().isValid());
        }
    }

    void unreadableDefaultKeepsTheUserDocument_data()
    {
        QTest::addColumn<QByteArray>("userDocument");
        QTest::addColumn<QByteArray>("output");

        QTest::newRow("versioned")
            << Document("7", {{lastDirKey, "/kept"}}) << QByteArray("/kept\n");
        QTest::newRow("malformed") << QByteArray("<properties><page") << QByteArray();
    }

    void unreadableDefaultKeepsTheUserDocument()
    {
        QFETCH(QByteArray, userDocument);
        QFETCH(QByteArray, output);

        ResetUserFolder(userDocument);
        // velahost alone in a folder: an application folder without the
        // shipped default document.
        QTemporaryDir appFolder;
        QVERIFY(QFile::copy(VelaTest::AppFolder() + "/velahost", appFolder.path() + "/velahost"));
        const VelaTest::ChildResult result =
            VelaTest::RunChild(appFolder.path() + "/velahost", {"prefs", "get", lastDirKey});
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.standardOutput, output);
        QCOMPARE(VelaTest::ReadFile(UserDocumentPath()), userDocument);
    }

    void settersChangeTheMapAndSaveOnlyWhatTheDocumentHas()
    {
        ResetUserFolder(Document(DefaultVersion(), {{typeKey, "png"}, {textKey, "1"}})
                            .replace("/>", " hint=\"kept\"/>"));
        GlobalApplicationData *data = Restart();
        data->SetDefImageType("jpg");
        data->SetLastVisitedFolder("/this/run");
        data->SetTextAntialiasing(3);
        QCOMPARE(data->DefImageType(), QStringLiteral("jpg"));
        QCOMPARE(data->LastVisitedFolder(), QStringLiteral("/this/run"));
        QCOMPARE(data->GetTextAntialiasing(), 3);
        QCOMPARE(StoredValue(typeKey), QStringLiteral("png"));

        // The save writes the values, the text offset by one, into the
        // elements the document has, and adds none.
        data->SaveUserPreferences();
        QCOMPARE(StoredValue(typeKey), QStringLiteral("jpg"));
        QCOMPARE(StoredValue(textKey), QStringLiteral("2"));
        QVERIFY(StoredValue(lastDirKey).isNull());
        QCOMPARE(VelaTest::ReadFile(UserDocumentPath()).count("hint=\"kept\""), 3);
        data = Restart();
        QCOMPARE(data->GetTextAntialiasing(), 3);
        QVERIFY(data->LastVisitedFolder().isEmpty());
    }

    void typedAnswers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("answer");

        const QString background = P::Editing::Colors::Background();
        QTest::newRow("remember true") << "true" << rememberKey << "1";
        QTest::newRow("remember True") << "True" << rememberKey << "0";
        QTest::newRow("antialiasing 0") << "0" << textKey << "1";
        QTest::newRow("proxy port") << "8080" << portKey << "8080";
        QTest::newRow("proxy port not a number") << "80a" << portKey << "0";
        QTest::newRow("proxy type") << "3" << proxyTypeKey << "3";
        QTest::newRow("proxy type not a number") << "two" << proxyTypeKey << "0";
        QTest::newRow("proxy type above the list") << "4" << proxyTypeKey << "0";
        QTest::newRow("proxy type below the list") << "-1" << proxyTypeKey << "0";
        QTest::newRow("antialiasing -4") << "-4" << textKey << "-3";
        QTest::newRow("colour upper case") << "FF102030" << background << "#ff102030";
        QTest::newRow("colour lower case") << "80abcdef" << background << "#80abcdef";
        QTest::newRow("colour rest ignored") << "FF102030 and more" << background << "#ff102030";
        QTest::newRow("colour seven characters") << "FF10203" << background << "invalid";
        QTest::newRow("colour not hex") << "GG102030" << background << "invalid";
        QTest::newRow("colour half hex") << "FF1020ZZ" << background << "invalid";
        QTest::newRow("colour 1") << "01020304" << P::Editing::Colors::Color1() << "#01020304";
        QTest::newRow("colour 2") << "05060708" << P::Editing::Colors::Color2() << "#05060708";
    }

    void typedAnswers()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, answer);

        GlobalApplicationData::InitInstance();
        GlobalApplicationData &data = *GlobalApplicationData::Instance();
        VLPreferenceMap::SetParameter(data, key, text);
        data.LoadProxySettings();
        const auto name = [](const QColor &color) {
            return color.isValid() ? color.name(QColor::HexArgb) : QStringLiteral("invalid");
        };
        const QMap<QString, QString> answers = {
            {rememberKey, QString::number(data.RememberLastVisitedFolder())},
            {textKey, QString::number(data.GetTextAntialiasing())},
            {portKey, QString::number(data.GetProxyPortNumber())},
            {proxyTypeKey, QString::number(data.GetProxyTypeIndex())},
            {P::Editing::Colors::Background(), name(data.GetUserBackgroundColor())},
            {P::Editing::Colors::Color1(), name(data.GetUserColor1Color())},
            {P::Editing::Colors::Color2(), name(data.GetUserColor2Color())}};
        QCOMPARE(answers.value(key), answer);
    }
};

VELA_TEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
