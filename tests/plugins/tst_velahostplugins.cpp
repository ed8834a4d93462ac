// SPDX-License-Identifier: LGPL-2.1-or-later
// velahost's plug-in commands, run as child processes on real plug-in files.
#include "VelaTestSupport.h"

#include "PluginTestSupport.h"

using VelaTest::RunHost;

class TestVelahostPlugins : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkPlugin()
    {
        // A refused file and a broken round trip fail; the shipped plug-in
        // listed after them is still checked. The refusal text is the
        // loader's, whichever it is (the loader's own test has each one).
        const VelaTest::ChildResult result =
            RunHost({"check-plugin", VELA_PLUGIN(Stranger), VELA_PLUGIN(CatchAllBrushes),
                     VELA_PLUGIN(SampleBrushes)});
        const QString out = QString::fromUtf8(result.standardOutput);
        for (const char *text :
             {"Error:       Is not an kelvane plugin.",
              "Test.CatchAll: round trip FAILED: deserialize() left 4 of 8 bytes unread",
              "State:       loaded (3)", "Brush types: Vela.Airbrush, Vela.RoundBrush\n",
              "Vela.Airbrush: round trip ok", "Vela.RoundBrush: round trip ok"})
            QVERIFY2(out.contains(text), qPrintable(out));
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.standardError.contains("2 of 3 plug-in files failed"));
    }

    void presets()
    {
        const QString file = VelaTest::Sandbox::Current()->Root() + "/sample.kvp";
        QCOMPARE(RunHost({"presets", "--create", file}).exitCode, 0);
        // The stream's bytes are the preset table's own test; the run below
        // reads them back.
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

        const VelaTest::ChildResult result = RunHost({"presets", file});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.standardOutput.contains(
                     "{00000000-0000-0000-0000-000000000000}  Vela.Airbrush\n"
                     "  {00000000-0000-0000-0000-000000000001}  Vela.RoundBrush\n"),
                 result.standardOutput.constData());
    }
};

VELA_TEST_MAIN(TestVelahostPlugins)
#include "tst_velahostplugins.moc"
