// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"

namespace {

const QString languageKey = "Language/Index";

GlobalApplicationData *data()
{
    return GlobalApplicationData::Instance();
}

// A run of the host with a LOCALAPPDATA that outlives it.
VelaTest::ChildResult runHost(const QStringList &arguments)
{
    return VelaTest::RunHost(arguments, VelaTest::Sandbox::Current()->Root() + "/restart");
}

} // namespace

class TestLanguages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { GlobalApplicationData::InitInstance(); }
    void cleanupTestCase() { GlobalApplicationData::ReleaseInstance(); }
    void codesAndNames()
    {
        const QStringList codes = {"sv_SE", "en_UK", "de_DE", "ru_RU"};
        QCOMPARE(data()->GetLanguageList(), codes);
        for (int index = 0; index < codes.size(); ++index) {
            QCOMPARE(data()->GetLanguage(index), codes.at(index));
            QCOMPARE(data()->GetLanguageBase(index), codes.at(index).left(2));
            QCOMPARE(data()->FindLanguageIndex(codes.at(index)), index);
        }
        QVERIFY(data()->GetLanguage(-1).isNull());
        QVERIFY(data()->GetLanguage(4).isNull());
        // The match is exact: letter case counts.
        QCOMPARE(data()->FindLanguageIndex("EN_UK"), -1);

        // Names exist once the map is made.
        QCOMPARE(data()->GetLanguageName(1), QStringLiteral("Unknown"));
        data()->CreateLanguageMap();
        QCOMPARE(data()->GetLanguageName("en_UK"), QStringLiteral("English"));
        QCOMPARE(data()->GetLanguageName(3), QStringLiteral("Russian"));
        QCOMPARE(data()->GetLanguageName("fr_FR"), QStringLiteral("Unknown"));
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
        {
            QSettings file(VLApplicationSettings::GetFileName(), QSettings::IniFormat);
            stored.isNull() ? file.remove(languageKey) : file.setValue(languageKey, stored);
        }
        QCOMPARE(data()->GetLanguageIndex(), index);
        QCOMPARE(data()->GetLanguage(), data()->GetLanguage(index));
    }
    void storedChoiceLeavesTheRunAlone()
    {
        data()->RegisterLogOutput("logs");
        // The installer file of the build folder names English.
        QCOMPARE(data()->GetCurrentLanguage(), QStringLiteral("en_UK"));
        data()->SetLanguageIndex(2);
        QCOMPARE(data()->GetLanguageBase(), QStringLiteral("de"));
        QCOMPARE(data()->GetCurrentLanguage(), QStringLiteral("en_UK"));
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
    }
    void choiceTakesEffectAtTheNextStart()
    {
        // The stored choice is the language of the next run, not of this one.
        QVERIFY(runHost({"report"})
                    .standardOutput.contains("Current language:      en_UK (index 1, English)\n"));
        QVERIFY(runHost({"lang", "set", "3"})
                    .standardOutput.contains(
                        "Stored language:       ru_RU\nCurrent language:      en_UK"));
        QCOMPARE(runHost({"lang", "set", "9"}).exitCode, 1);
        QVERIFY(runHost({"report"})
                    .standardOutput.contains("Stored language:       ru_RU (index 3, Russian)\n"
                                             "Current language:      ru_RU (index 3, Russian)\n"));
    }
};

VELA_TEST_MAIN(TestLanguages)
#include "tst_languages.moc"
