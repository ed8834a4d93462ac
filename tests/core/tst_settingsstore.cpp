// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLApplicationSettings.h"
#include "VelaTestSupport.h"

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wellKnownNames_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("key");
        QTest::newRow("0") << 0 << QString();
        QTest::newRow("working profile") << 1 << "ColorManagement/WorkingProfileID";
        QTest::newRow("check for update") << 2 << "Miscellaneous/CheckForUpdate";
        QTest::newRow("remind") << 3 << "Update/Remind";
        QTest::newRow("remind date") << 4 << "Update/RemindDate";
        QTest::newRow("5") << 5 << QString();
    }

    void wellKnownNames()
    {
        QFETCH(int, role);
        QFETCH(QString, key);
        const QString name =
            VLApplicationSettings::GetName(VLApplicationSettings::UseDataRole(role));
        QCOMPARE(name, key);
        QCOMPARE(name.isNull(), key.isNull());
    }

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
        const QString child = VelaTest::AppFolder() + "/vela_core_child";
        VelaTest::ChildResult result = VelaTest::RunChild(child, {"settings-get", path, "Version"});
        QCOMPARE(result.standardOutput, QByteArray("2.0\n"));
        result = VelaTest::RunChild(child, {"settings-set", path, "Save/PathOpen", "/pics"});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(VLApplicationSettings::GetValue("Save/PathOpen").toString(),
                 QStringLiteral("/pics"));
        QVERIFY(VLApplicationSettings::Contains("Grid/Visible"));
    }
};

VELA_TEST_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
