// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLApplicationSettings.h"
#include "VelaTestSupport.h"

using VelaTest::Sandbox;

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wellKnownNames_data();
    void wellKnownNames();
    void everyCallReachesTheFile();
};

void tst_SettingsStore::wellKnownNames_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("key");

    QTest::newRow("0") << 0 << QString();
    QTest::newRow("working profile") << 1 << QStringLiteral("ColorManagement/WorkingProfileID");
    QTest::newRow("check for update") << 2 << QStringLiteral("Miscellaneous/CheckForUpdate");
    QTest::newRow("remind") << 3 << QStringLiteral("Update/Remind");
    QTest::newRow("remind date") << 4 << QStringLiteral("Update/RemindDate");
    QTest::newRow("5") << 5 << QString();
}

void tst_SettingsStore::wellKnownNames()
{
    QFETCH(int, role);
    QFETCH(QString, key);
    const QString name = VLApplicationSettings::GetName(VLApplicationSettings::UseDataRole(role));
    QCOMPARE(name, key);
    QCOMPARE(name.isNull(), key.isNull());
}

void tst_SettingsStore::everyCallReachesTheFile()
{
    const QString path =
        Sandbox::Current()->MakeFolder(QStringLiteral("store")) + QStringLiteral("/kelvane.ini");
    VLApplicationSettings::SetFileName(path);
    QVERIFY(!VLApplicationSettings::Contains(QStringLiteral("Version")));
    QCOMPARE(VLApplicationSettings::GetValue(QStringLiteral("Version"), 7).toInt(), 7);

    // On disk, in the ini layout, before the call returns: another process
    // reads it at once, and what that process writes is read here at once.
    VLApplicationSettings::SetValue(QStringLiteral("Version"), QStringLiteral("2.0"));
    VLApplicationSettings::SetValue(QStringLiteral("Grid/Visible"), true);
    QVERIFY(VelaTest::ReadFile(path).contains("[General]\nVersion=2.0\n\n[Grid]\nVisible=true\n"));
    const QString child = VelaTest::AppFolder() + QStringLiteral("/vela_core_child");
    VelaTest::ChildResult result = VelaTest::RunChild(
        child, {QStringLiteral("settings-get"), path, QStringLiteral("Version")});
    QCOMPARE(result.standardOutput, QByteArray("2.0\n"));
    result = VelaTest::RunChild(child, {QStringLiteral("settings-set"), path,
                                        QStringLiteral("Save/PathOpen"), QStringLiteral("/pics")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(VLApplicationSettings::GetValue(QStringLiteral("Save/PathOpen")).toString(),
             QStringLiteral("/pics"));
    QVERIFY(VLApplicationSettings::Contains(QStringLiteral("Grid/Visible")));
}

VELA_TEST_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
