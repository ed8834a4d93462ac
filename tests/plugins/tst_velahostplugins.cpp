// SPDX-License-Identifier: LGPL-2.1-or-later
// velahost's plug-in commands, run as child processes on real plug-in files.
#include "VelaTestSupport.h"

#include "PluginTestSupport.h"

using VelaTest::RunHost;

class TestVelahostPlugins : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkPlugin_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sample") << QString() << "State:       loaded (3)";
        // The loader's refusal text, whichever it is (the loader's own test
        // has each one).
        QTest::newRow("refused") << VELA_PLUGIN(Stranger)
                                 << "Error:       Is not an kelvane plugin.";
        QTest::newRow("broken round trip")
            << VELA_PLUGIN(CatchAllBrushes)
            << "Test.CatchAll: round trip FAILED: deserialize() left 4 of 8 bytes unread";
    }

    void checkPlugin()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        // The shipped plug-in listed after a failing file is still checked.
        QStringList arguments{"check-plugin", VELA_PLUGIN(SampleBrushes)};
        if (!path.isEmpty())
            arguments.insert(1, path);
        const VelaTest::ChildResult result = RunHost(arguments);
        const QString out = QString::fromUtf8(result.standardOutput);
        for (const QString &text :
             {expected, QString("Brush types: Vela.Airbrush, Vela.RoundBrush\n"),
              QString("Vela.Airbrush: round trip ok"), QString("Vela.RoundBrush: round trip ok")})
            QVERIFY2(out.contains(text), qPrintable(out));
        QCOMPARE(result.exitCode, path.isEmpty() ? 0 : 1);
        QCOMPARE(result.standardError.contains("1 of 2 plug-in files failed"), !path.isEmpty());
    }

    void presets()
    {
        const QString file = VelaTest::Sandbox::Current()->Root() + "/sample.kvp";
        QCOMPARE(RunHost({"presets", "--create", file}).exitCode, 0);
        // The header, then the first record's type: 13 UTF-16 code units.
        QVERIFY(VelaTest::ReadFile(file).startsWith(
            QByteArray("KVBrushPresetManager 1.00000\0\0\0\x1a\0V", 34)));
        // The session's log holds each step's line in the order the editor
        // starts up and shuts down; the registries write Destroy and Destroyed.
        const QString log = QString::fromUtf8(
            VelaTest::RunLog(VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/"));
        const QString sample = VELA_PLUGIN(SampleBrushes);
        int at = 0;
        for (const QString &text : QStringList{
                 sample + "\" loaded successfully", "BrushPresetManager.cpp\". Destroyed",
                 "VLIOManager.cpp\". Destroy\"", "VLIOManager.cpp\". Destroyed",
                 "BrushFactoryManager.cpp\". Destroy\"", "BrushFactoryManager.cpp\". Destroyed",
                 sample + "\" is unloaded successfully",
                 "GlobalApplicationData.cpp\". Destroy\""}) {
            at = log.indexOf(text, at);
            QVERIFY2(at >= 0, qPrintable(text + '\n' + log));
        }

        VelaTest::ChildResult result = RunHost({"presets", file});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.standardOutput.contains(
                     "{00000000-0000-0000-0000-000000000000}  Vela.Airbrush\n"
                     "  {00000000-0000-0000-0000-000000000001}  Vela.RoundBrush\n"),
                 result.standardOutput.constData());
        QVERIFY(VelaTest::WriteFile(file, "KVBrushPresetManager 2.00000"));
        result = RunHost({"presets", file});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.standardError.contains("is not a brush preset stream"));
    }
};

VELA_TEST_MAIN(TestVelahostPlugins)
#include "tst_velahostplugins.moc"
