// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLApplicationSettings.h"
#include "VelaTestSupport.h"

#include <QFile>

using VelaTest::Sandbox;

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wellKnownNames_data();
    void wellKnownNames();
    void everyCallReachesTheFile();
    void valuesCrossProcesses();

private:
    static QString child() { return VelaTest::AppFolder() + QStringLiteral("/vela_core_child"); }
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
    QTest::newRow("-1") << -1 << QString();
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
    QCOMPARE(VLApplicationSettings::GetFileName(), path);

    // A missing file reads as empty.
    QVERIFY(!VLApplicationSettings::Contains(QStringLiteral("Version")));
    QCOMPARE(VLApplicationSettings::GetValue(QStringLiteral("Version"), 7).toInt(), 7);

    VLApplicationSettings::SetValue(QStringLiteral("Version"), QStringLiteral("2.0"));
    VLApplicationSettings::SetValue(QStringLiteral("Grid/Visible"), true);
    // On disk before the call returned, in the ini layout.
    const QByteArray text = VelaTest::ReadFile(path);
    QVERIFY2(text.contains("[General]\nVersion=2.0\n"), text.constData());
    QVERIFY2(text.contains("[Grid]\nVisible=true\n"), text.constData());

    QVERIFY(VLApplicationSettings::Contains(QStringLiteral("Grid/Visible")));
    QCOMPARE(VLApplicationSettings::GetValue(QStringLiteral("Grid/Visible")).toBool(), true);

    // A change made behind the store's back is seen by the next call.
    QVERIFY(VelaTest::WriteFile(path, "[General]\nVersion=3.1\n"));
    QCOMPARE(VLApplicationSettings::GetValue(QStringLiteral("Version")).toString(),
             QStringLiteral("3.1"));
    QVERIFY(!VLApplicationSettings::Contains(QStringLiteral("Grid/Visible")));
}

void tst_SettingsStore::valuesCrossProcesses()
{
    const QString path =
        Sandbox::Current()->MakeFolder(QStringLiteral("shared")) + QStringLiteral("/kelvane.ini");
    VLApplicationSettings::SetFileName(path);

    VLApplicationSettings::SetValue(QStringLiteral("Version"), QStringLiteral("2.0"));
    VelaTest::ChildResult result = VelaTest::RunChild(
        child(), {QStringLiteral("settings-get"), path, QStringLiteral("Version")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.standardOutput, QByteArray("2.0\n"));

    result = VelaTest::RunChild(child(), {QStringLiteral("settings-set"), path,
                                          QStringLiteral("Save/PathOpen"),
                                          QStringLiteral("/pictures/holiday")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(VLApplicationSettings::GetValue(QStringLiteral("Save/PathOpen")).toString(),
             QStringLiteral("/pictures/holiday"));
    QCOMPARE(VLApplicationSettings::GetValue(QStringLiteral("Version")).toString(),
             QStringLiteral("2.0"));
}

VELA_TEST_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
