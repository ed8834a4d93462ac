// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"

#include <QFile>
#include <QSettings>

#include <functional>

namespace {

// What the settings file holds under a key, read past the library.
QVariant storedValue(const QString &key)
{
    const QSettings file(VLApplicationSettings::GetFileName(), QSettings::IniFormat);
    return file.value(key);
}

void storeValue(const QString &key, const QVariant &value)
{
    QSettings file(VLApplicationSettings::GetFileName(), QSettings::IniFormat);
    file.setValue(key, value);
}

} // namespace

class TestIniPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void emptyFileGivesTheDefaults();
    void pathsFallBackAlongTheChain();
    void pathsAreStoredAsGiven();
    void flags();
    void policies();
    void policyKeepsAnyStoredNumber();
    void themeTakesEffectAtTheNextStart();

private:
    GlobalApplicationData *m_data = nullptr;
};

void TestIniPreferences::initTestCase()
{
    GlobalApplicationData::InitInstance();
    m_data = GlobalApplicationData::Instance();
    QVERIFY(m_data);
}

void TestIniPreferences::init()
{
    QFile::remove(VLApplicationSettings::GetFileName());
}

void TestIniPreferences::cleanupTestCase()
{
    GlobalApplicationData::ReleaseInstance();
}

void TestIniPreferences::emptyFileGivesTheDefaults()
{
    QCOMPARE(m_data->GetPathOpen(), QString());
    QCOMPARE(m_data->GetExportPath(), QString());
    QCOMPARE(m_data->GetBatchOpenPath(), QString());
    QCOMPARE(m_data->GetBatchInputPath(), QString());
    QCOMPARE(m_data->GetBatchOutputPath(), QString());
    QCOMPARE(m_data->IsGridVisible(), false);
    QCOMPARE(m_data->IsSnapToGrid(), false);
    QCOMPARE(m_data->IsGuidesVisible(), false);
    QCOMPARE(m_data->IsSnapToGuides(), false);
    QCOMPARE(GlobalApplicationData::IsJPGCompressionVisible(), true);
    QCOMPARE(GlobalApplicationData::IsPNGCompressionVisible(), true);
    QCOMPARE(GlobalApplicationData::IsTIFFCompressionVisible(), true);
    QCOMPARE(int(m_data->GetColorManagementMissingPolicy()), 0);
    QCOMPARE(int(m_data->GetColorManagementEqualPolicy()), 1);
    QCOMPARE(int(m_data->GetColorManagementNotEqualPolicy()), 0);
    QCOMPARE(int(m_data->GetColorManagementColorSpaceMismatchPolicy()), 0);
    QCOMPARE(m_data->GetThemeSearchPath(), QStringLiteral(":/Dark"));
    // Reading stores nothing.
    QVERIFY(!QFile::exists(VLApplicationSettings::GetFileName()));
}

void TestIniPreferences::pathsFallBackAlongTheChain()
{
    const QString open = QStringLiteral("/pictures/open");
    m_data->SetPathOpen(open);
    QCOMPARE(storedValue(QStringLiteral("Save/PathOpen")).toString(), open);
    QCOMPARE(m_data->GetPathOpen(), open);
    QCOMPARE(m_data->GetExportPath(), open);
    QCOMPARE(m_data->GetBatchOpenPath(), open);
    QCOMPARE(m_data->GetBatchInputPath(), open);
    QCOMPARE(m_data->GetBatchOutputPath(), open);

    const QString input = QStringLiteral("/pictures/input");
    m_data->SetBatchInputPath(input);
    QCOMPARE(storedValue(QStringLiteral("Batch/Path/Input")).toString(), input);
    QCOMPARE(m_data->GetBatchOutputPath(), input);
    QCOMPARE(m_data->GetBatchOpenPath(), open);
    QCOMPARE(m_data->GetExportPath(), open);

    // The fallback is looked up at every call.
    const QString moved = QStringLiteral("/pictures/moved");
    m_data->SetPathOpen(moved);
    QCOMPARE(m_data->GetExportPath(), moved);
    QCOMPARE(m_data->GetBatchOpenPath(), moved);
    QCOMPARE(m_data->GetBatchOutputPath(), input);

    const QString exported = QStringLiteral("/pictures/export");
    const QString batchOpen = QStringLiteral("/pictures/batch");
    const QString output = QStringLiteral("/pictures/output");
    m_data->SetExportPath(exported);
    m_data->SetBatchOpenPath(batchOpen);
    m_data->SetBatchOutputPath(output);
    QCOMPARE(storedValue(QStringLiteral("Save/PathExport")).toString(), exported);
    QCOMPARE(storedValue(QStringLiteral("Batch/Path/Open")).toString(), batchOpen);
    QCOMPARE(storedValue(QStringLiteral("Batch/Path/Output")).toString(), output);
    QCOMPARE(m_data->GetExportPath(), exported);
    QCOMPARE(m_data->GetBatchOpenPath(), batchOpen);
    QCOMPARE(m_data->GetBatchOutputPath(), output);
}

void TestIniPreferences::pathsAreStoredAsGiven()
{
    m_data->SetPathOpen(QStringLiteral("/pictures/open"));
    // An empty path is a value, not an absence: no fallback.
    m_data->SetExportPath(QString());
    m_data->SetBatchInputPath(QString());
    QCOMPARE(m_data->GetExportPath(), QString());
    QCOMPARE(m_data->GetBatchInputPath(), QString());
    QCOMPARE(m_data->GetBatchOutputPath(), QString());
    QCOMPARE(m_data->GetBatchOpenPath(), QStringLiteral("/pictures/open"));

    // Neither normalised nor checked.
    const QString odd = QStringLiteral("relative/../no such folder//");
    m_data->SetBatchOutputPath(odd);
    QCOMPARE(m_data->GetBatchOutputPath(), odd);
}

void TestIniPreferences::flags()
{
    struct Flag
    {
        const char *key;
        bool byDefault;
        std::function<bool()> get;
        std::function<void(bool)> set;
    };
    GlobalApplicationData *data = m_data;
    const Flag flags[] = {
        {"GridSettings/Visible", false, [data] { return data->IsGridVisible(); },
         [data](bool on) { data->SetGridVisible(on); }},
        {"GridSettings/SnapToGrid", false, [data] { return data->IsSnapToGrid(); },
         [data](bool on) { data->SetSnapToGrid(on); }},
        {"GuidesSettings/Visible", false, [data] { return data->IsGuidesVisible(); },
         [data](bool on) { data->SetGuidesVisible(on); }},
        {"GuidesSettings/SnapToGuides", false, [data] { return data->IsSnapToGuides(); },
         [data](bool on) { data->SetSnapToGuides(on); }},
        {"MessagesAndConfirmationsSettings/ShowJPGCompressionSettings", true,
         &GlobalApplicationData::IsJPGCompressionVisible,
         &GlobalApplicationData::SetJPGCompressionVisible},
        {"MessagesAndConfirmationsSettings/ShowPNGCompressionSettings", true,
         &GlobalApplicationData::IsPNGCompressionVisible,
         &GlobalApplicationData::SetPNGCompressionVisible},
        {"MessagesAndConfirmationsSettings/ShowTIFFCompressionSettings", true,
         &GlobalApplicationData::IsTIFFCompressionVisible,
         &GlobalApplicationData::SetTIFFCompressionVisible},
    };

    for (const Flag &flag : flags) {
        const QString key = QString::fromLatin1(flag.key);
        QVERIFY2(flag.get() == flag.byDefault, flag.key);
        flag.set(!flag.byDefault);
        QVERIFY2(flag.get() == !flag.byDefault, flag.key);
        QVERIFY2(storedValue(key).toBool() == !flag.byDefault, flag.key);
        flag.set(flag.byDefault);
        QVERIFY2(flag.get() == flag.byDefault, flag.key);
        QVERIFY2(storedValue(key).isValid(), flag.key);
    }
    // The stored words as the ini file has them.
    QCOMPARE(storedValue(QStringLiteral("GridSettings/Visible")).toString(),
             QStringLiteral("false"));
    m_data->SetGridVisible(true);
    QCOMPARE(m_data->IsSnapToGrid(), false);
    QCOMPARE(m_data->IsGuidesVisible(), false);
    QCOMPARE(storedValue(QStringLiteral("GridSettings/Visible")).toString(),
             QStringLiteral("true"));
}

void TestIniPreferences::policies()
{
    m_data->SetColorManagementMissingPolicy(GlobalApplicationData::MissingPolicyAsk);
    m_data->SetColorManagementEqualPolicy(GlobalApplicationData::EqualPolicyIgnoreEmbedded);
    m_data->SetColorManagementNotEqualPolicy(GlobalApplicationData::NotEqualPolicyAsk);
    m_data->SetColorManagementColorSpaceMismatchPolicy(
        GlobalApplicationData::ColorSpaceMismatchPolicyKeep);

    QCOMPARE(m_data->GetColorManagementMissingPolicy(), GlobalApplicationData::MissingPolicyAsk);
    QCOMPARE(m_data->GetColorManagementEqualPolicy(),
             GlobalApplicationData::EqualPolicyIgnoreEmbedded);
    QCOMPARE(m_data->GetColorManagementNotEqualPolicy(), GlobalApplicationData::NotEqualPolicyAsk);
    QCOMPARE(m_data->GetColorManagementColorSpaceMismatchPolicy(),
             GlobalApplicationData::ColorSpaceMismatchPolicyKeep);

    // Stored as plain integers.
    QCOMPARE(storedValue(QStringLiteral("ColorManagement/MissingPolicy")).toString(),
             QStringLiteral("2"));
    QCOMPARE(storedValue(QStringLiteral("ColorManagement/EqualPolicy")).toString(),
             QStringLiteral("0"));
    QCOMPARE(storedValue(QStringLiteral("ColorManagement/NotEqualPolicy")).toString(),
             QStringLiteral("3"));
    QCOMPARE(storedValue(QStringLiteral("ColorManagement/ColorSpaceMismatchPolicy")).toString(),
             QStringLiteral("1"));
}

void TestIniPreferences::policyKeepsAnyStoredNumber()
{
    storeValue(QStringLiteral("ColorManagement/EqualPolicy"), 42);
    QCOMPARE(int(m_data->GetColorManagementEqualPolicy()), 42);
    storeValue(QStringLiteral("ColorManagement/MissingPolicy"), -3);
    QCOMPARE(int(m_data->GetColorManagementMissingPolicy()), -3);
    // Text that is not a number reads as 0, not as the default.
    storeValue(QStringLiteral("ColorManagement/EqualPolicy"), QStringLiteral("ask"));
    QCOMPARE(int(m_data->GetColorManagementEqualPolicy()), 0);
}

void TestIniPreferences::themeTakesEffectAtTheNextStart()
{
    QCOMPARE(m_data->GetCurrentThemeSearchPath(), QStringLiteral(":/Dark"));

    const QString light = QStringLiteral("/themes/Light");
    m_data->SetThemeSearchPath(light);
    QCOMPARE(storedValue(QStringLiteral("Theme/Path")).toString(), light);
    QCOMPARE(m_data->GetThemeSearchPath(), light);
    QCOMPARE(m_data->GetCurrentThemeSearchPath(), QStringLiteral(":/Dark"));

    GlobalApplicationData::ReleaseInstance();
    GlobalApplicationData::InitInstance();
    m_data = GlobalApplicationData::Instance();
    QCOMPARE(m_data->GetCurrentThemeSearchPath(), light);
    QCOMPARE(m_data->GetThemeSearchPath(), light);
}

VELA_TEST_MAIN(TestIniPreferences)
#include "tst_inipreferences.moc"
