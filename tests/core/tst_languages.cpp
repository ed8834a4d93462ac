// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTranslator>

namespace {

const QString languageKey = QStringLiteral("Language/Index");

// Translates the language names as a Swedish catalogue would.
class SwedishNames : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "GlobalApplicationData") != 0)
            return QString();
        if (qstrcmp(sourceText, "English") == 0)
            return QStringLiteral("Engelska");
        if (qstrcmp(sourceText, "Russian") == 0)
            return QStringLiteral("Ryska");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

QString velahost()
{
    return VelaTest::AppFolder() + QStringLiteral("/velahost");
}

// A line of the velahost report, without its label.
QString reportLine(const QByteArray &report, const QString &label)
{
    const QStringList lines = QString::fromUtf8(report).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(label + QLatin1Char(':')))
            return line.mid(label.size() + 1).trimmed();
    }
    return QString();
}

} // namespace

class TestLanguages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void codesAndLookups_data();
    void codesAndLookups();
    void namesAreTranslatedWhenTheMapIsMade();
    void storedChoiceLeavesTheRunAlone();
    void storedCodeToIndex_data();
    void storedCodeToIndex();
    void wrongIndexIsLoggedAndNotStored_data();
    void wrongIndexIsLoggedAndNotStored();
    void choiceTakesEffectAtTheNextStart();
    void installerLanguageOnFirstStartOnly();

private:
    GlobalApplicationData *m_data = nullptr;
};

void TestLanguages::initTestCase()
{
    GlobalApplicationData::InitInstance();
    m_data = GlobalApplicationData::Instance();
    QVERIFY(m_data);
}

void TestLanguages::cleanupTestCase()
{
    GlobalApplicationData::ReleaseInstance();
}

void TestLanguages::codesAndLookups_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("base");

    QTest::newRow("sv_SE") << 0 << "sv_SE"
                           << "sv";
    QTest::newRow("en_UK") << 1 << "en_UK"
                           << "en";
    QTest::newRow("de_DE") << 2 << "de_DE"
                           << "de";
    QTest::newRow("ru_RU") << 3 << "ru_RU"
                           << "ru";
    QTest::newRow("below") << -1 << QString() << QString();
    QTest::newRow("above") << 4 << QString() << QString();
}

void TestLanguages::codesAndLookups()
{
    QFETCH(int, index);
    QFETCH(QString, code);
    QFETCH(QString, base);

    QCOMPARE(m_data->GetLanguageList(),
             QStringList({QStringLiteral("sv_SE"), QStringLiteral("en_UK"), QStringLiteral("de_DE"),
                          QStringLiteral("ru_RU")}));
    QCOMPARE(m_data->GetLanguage(index), code);
    QCOMPARE(m_data->GetLanguage(index).isNull(), code.isNull());
    QVERIFY(m_data->GetLanguageBase(index).isEmpty() == base.isEmpty());
    if (!base.isEmpty())
        QCOMPARE(m_data->GetLanguageBase(index), base);
    if (!code.isNull()) {
        QCOMPARE(m_data->FindLanguageIndex(code), index);
        // The match is exact: letter case counts.
        QCOMPARE(m_data->FindLanguageIndex(code.toUpper()), -1);
    }
}

void TestLanguages::namesAreTranslatedWhenTheMapIsMade()
{
    // Nothing has a name before the map is made.
    QCOMPARE(m_data->GetLanguageName(QStringLiteral("en_UK")), QStringLiteral("Unknown"));
    QCOMPARE(m_data->GetLanguageName(1), QStringLiteral("Unknown"));

    m_data->CreateLanguageMap();
    QCOMPARE(m_data->GetLanguageName(QStringLiteral("en_UK")), QStringLiteral("English"));
    QCOMPARE(m_data->GetLanguageName(0), QStringLiteral("Swedish"));
    QCOMPARE(m_data->GetLanguageName(2), QStringLiteral("German"));
    QCOMPARE(m_data->GetLanguageName(3), QStringLiteral("Russian"));
    QCOMPARE(m_data->GetLanguageName(4), QStringLiteral("Unknown"));
    QCOMPARE(m_data->GetLanguageName(QStringLiteral("fr_FR")), QStringLiteral("Unknown"));

    // The names are translated at the time of the call and kept.
    SwedishNames translator;
    QCoreApplication::installTranslator(&translator);
    QCOMPARE(m_data->GetLanguageName(1), QStringLiteral("English"));
    m_data->CreateLanguageMap();
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(m_data->GetLanguageName(1), QStringLiteral("Engelska"));
    QCOMPARE(m_data->GetLanguageName(3), QStringLiteral("Ryska"));
    QCOMPARE(m_data->GetLanguageName(2), QStringLiteral("German"));

    m_data->CreateLanguageMap();
    QCOMPARE(m_data->GetLanguageName(1), QStringLiteral("English"));
}

void TestLanguages::storedChoiceLeavesTheRunAlone()
{
    // The installer file of the build folder names English.
    QCOMPARE(m_data->GetCurrentLanguage(), QStringLiteral("en_UK"));

    m_data->SetLanguageIndex(2);
    QCOMPARE(m_data->GetLanguageIndex(), 2);
    QCOMPARE(m_data->GetLanguage(), QStringLiteral("de_DE"));
    QCOMPARE(m_data->GetLanguageBase(), QStringLiteral("de"));
    QCOMPARE(m_data->GetCurrentLanguage(), QStringLiteral("en_UK"));

    // Despite its name the key holds the code.
    const QSettings file(VLApplicationSettings::GetFileName(), QSettings::IniFormat);
    QCOMPARE(file.value(languageKey).toString(), QStringLiteral("de_DE"));
}

void TestLanguages::storedCodeToIndex_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("index");

    QTest::newRow("absent: English") << QVariant() << 1;
    QTest::newRow("ru_RU") << QVariant(QStringLiteral("ru_RU")) << 3;
    QTest::newRow("unknown code") << QVariant(QStringLiteral("fr_FR")) << 0;
    QTest::newRow("other case") << QVariant(QStringLiteral("en_uk")) << 0;
    QTest::newRow("empty") << QVariant(QString()) << 0;
    QTest::newRow("a number") << QVariant(2) << 0;
}

void TestLanguages::storedCodeToIndex()
{
    QFETCH(QVariant, stored);
    QFETCH(int, index);

    {
        QSettings file(VLApplicationSettings::GetFileName(), QSettings::IniFormat);
        if (stored.isValid())
            file.setValue(languageKey, stored);
        else
            file.remove(languageKey);
    }
    QCOMPARE(m_data->GetLanguageIndex(), index);
    QCOMPARE(m_data->GetLanguage(), m_data->GetLanguage(index));
}

void TestLanguages::wrongIndexIsLoggedAndNotStored_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("4") << 4;
    QTest::newRow("-1") << -1;
}

void TestLanguages::wrongIndexIsLoggedAndNotStored()
{
    QFETCH(int, index);

    m_data->RegisterLogOutput(QStringLiteral("logs"));
    m_data->SetLanguageIndex(3);
    m_data->SetLanguageIndex(index);
    QCOMPARE(m_data->GetLanguage(), QStringLiteral("ru_RU"));

    const QByteArray log = VelaTest::ReadFile(m_data->GetLogFileName());
    const QByteArray line = "file=\"src\\GlobalApplicationData.cpp\". Wrong language index:"
                            + QByteArray::number(index) + "\" \n";
    QCOMPARE(log.count(line), 1);
    QVERIFY(log.contains("\"Build date="));
}

void TestLanguages::choiceTakesEffectAtTheNextStart()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LOCALAPPDATA"),
                       VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("restart")));

    VelaTest::ChildResult run =
        VelaTest::RunChild(velahost(), {QStringLiteral("report")}, environment);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(reportLine(run.standardOutput, QStringLiteral("Current language")),
             QStringLiteral("en_UK (index 1, English)"));

    run = VelaTest::RunChild(velahost(),
                             {QStringLiteral("lang"), QStringLiteral("set"), QStringLiteral("3")},
                             environment);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(reportLine(run.standardOutput, QStringLiteral("Stored language")),
             QStringLiteral("ru_RU"));
    QVERIFY(reportLine(run.standardOutput, QStringLiteral("Current language"))
                .startsWith(QStringLiteral("en_UK")));

    run = VelaTest::RunChild(velahost(),
                             {QStringLiteral("lang"), QStringLiteral("set"), QStringLiteral("9")},
                             environment);
    QCOMPARE(run.exitCode, 1);

    run = VelaTest::RunChild(velahost(), {QStringLiteral("report")}, environment);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(reportLine(run.standardOutput, QStringLiteral("Stored language")),
             QStringLiteral("ru_RU (index 3, Russian)"));
    QCOMPARE(reportLine(run.standardOutput, QStringLiteral("Current language")),
             QStringLiteral("ru_RU (index 3, Russian)"));
}

void TestLanguages::installerLanguageOnFirstStartOnly()
{
    // A copy of the host in an application folder of its own, first without
    // an installer file.
    const QString appFolder = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("app"));
    const QString host = appFolder + QStringLiteral("/velahost");
    QVERIFY(QFile::copy(velahost(), host));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString localAppData = VelaTest::Sandbox::Current()->MakeFolder(QStringLiteral("first"));
    environment.insert(QStringLiteral("LOCALAPPDATA"), localAppData);

    // No installer value: what is stored reads as an empty code, index 0.
    VelaTest::ChildResult run = VelaTest::RunChild(host, {QStringLiteral("report")}, environment);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(reportLine(run.standardOutput, QStringLiteral("Current language")),
             QStringLiteral("sv_SE (index 0, Swedish)"));

    // With an installer value, on a first start it becomes the choice...
    QDir(localAppData).removeRecursively();
    const QString installer = appFolder + QStringLiteral("/settings/installsettings.ini");
    QVERIFY(VelaTest::WriteFile(installer, "[Language]\nIndex=de_DE\n"));
    run = VelaTest::RunChild(host, {QStringLiteral("report")}, environment);
    QCOMPARE(reportLine(run.standardOutput, QStringLiteral("Current language")),
             QStringLiteral("de_DE (index 2, German)"));

    // ...and later installer values are not read again.
    QVERIFY(VelaTest::WriteFile(installer, "[Language]\nIndex=ru_RU\n"));
    run = VelaTest::RunChild(host, {QStringLiteral("report")}, environment);
    QCOMPARE(reportLine(run.standardOutput, QStringLiteral("Current language")),
             QStringLiteral("de_DE (index 2, German)"));
}

VELA_TEST_MAIN(TestLanguages)
#include "tst_languages.moc"
