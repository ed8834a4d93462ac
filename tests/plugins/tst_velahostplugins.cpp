// SPDX-License-Identifier: LGPL-2.1-or-later
// velahost's plug-in commands, run as child processes on real plug-in files.
#include "VelaTestSupport.h"

#include "PluginTestSupport.h"

#include <QDir>
#include <QPluginLoader>

#include <algorithm>

namespace {

VelaTest::ChildResult velahost(const QStringList &arguments)
{
    return VelaTest::RunChild(VelaTest::AppFolder() + QStringLiteral("/velahost"), arguments);
}

// The lines of this run's log file.
QStringList logLines()
{
    const QDir logs(VelaTest::Sandbox::Current()->LocalAppData() + QStringLiteral("/Kelvane/logs"));
    const QStringList files = logs.entryList({QStringLiteral("*.txt")}, QDir::Files);
    if (files.size() != 1)
        return QStringList();
    return QString::fromUtf8(VelaTest::ReadFile(logs.filePath(files.first())))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Where the first line holding all the texts stands in the log; -1 if none.
int logIndex(const QStringList &lines, const QStringList &texts)
{
    for (int i = 0; i < lines.size(); ++i) {
        if (std::all_of(texts.begin(), texts.end(),
                        [&](const QString &text) { return lines.at(i).contains(text); }))
            return i;
    }
    return -1;
}

} // namespace

class TestVelahostPlugins : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkPluginPassesTheSamplePlugin()
    {
        const QString sample = VELA_PLUGIN(SampleBrushes);
        const VelaTest::ChildResult result = velahost({QStringLiteral("check-plugin"), sample});
        const QString out = QString::fromUtf8(result.standardOutput);
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(out.contains(QStringLiteral("State:       loaded (3)")), qPrintable(out));
        QVERIFY(out.contains(QStringLiteral("Brush types: Vela.Airbrush, Vela.RoundBrush\n")));
        QVERIFY(out.contains(QStringLiteral("Vela.Airbrush: round trip ok")));
        QVERIFY(out.contains(QStringLiteral("Vela.RoundBrush: round trip ok")));
    }

    void checkPluginFails_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("neither interface")
            << VELA_PLUGIN(Stranger) << QStringLiteral("Error:       Is not an kelvane plugin.");
        QTest::newRow("empty container")
            << VELA_PLUGIN(EmptyContainer) << QStringLiteral("Error:       Empty container.");
        const QString notAPlugin = VELA_PLUGIN(NotAPlugin);
        QPluginLoader probe(notAPlugin);
        probe.load();
        QTest::newRow("no plug-in")
            << notAPlugin << QStringLiteral("Error:       ") + probe.errorString();
        QTest::newRow("missing")
            << VelaTest::Sandbox::Current()->Root() + QStringLiteral("/missing.so")
            << QStringLiteral("State:       missing file (7)\n  Error:       Missing file");
        QTest::newRow("broken round trip")
            << VELA_PLUGIN(BrokenBrushes)
            << QStringLiteral("Test.Leaky: round trip FAILED: deserialize() left 4 of 8 bytes "
                              "unread");
    }

    void checkPluginFails()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        // The shipped plug-in listed after the failing file is still checked.
        const VelaTest::ChildResult result =
            velahost({QStringLiteral("check-plugin"), path, VELA_PLUGIN(SampleBrushes)});
        const QString out = QString::fromUtf8(result.standardOutput);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(out.contains(expected), qPrintable(out));
        QVERIFY(out.contains(QStringLiteral("Vela.RoundBrush: round trip ok")));
        QVERIFY(result.standardError.contains("1 of 2 plug-in files failed"));
    }

    void presetsWriteAndRead()
    {
        const QString file = VelaTest::Sandbox::Current()->Root() + QStringLiteral("/sample.kvp");
        VelaTest::ChildResult result =
            velahost({QStringLiteral("presets"), QStringLiteral("--create"), file});
        QCOMPARE(result.exitCode, 0);
        // The header, then the first record's type: 13 UTF-16 code units.
        QVERIFY(VelaTest::ReadFile(file).startsWith(
            QByteArray("KVBrushPresetManager 1.00000\0\0\0\x1a\0V", 34)));

        result = velahost({QStringLiteral("presets"), file});
        QCOMPARE(result.exitCode, 0);
        const QString out = QString::fromUtf8(result.standardOutput);
        QVERIFY2(out.contains(QStringLiteral("{00000000-0000-0000-0000-000000000000}  "
                                             "Vela.Airbrush\n"
                                             "  {00000000-0000-0000-0000-000000000001}  "
                                             "Vela.RoundBrush\n")),
                 qPrintable(out));
    }

    void presetsRefusesOtherFiles()
    {
        const QString file = VelaTest::Sandbox::Current()->Root() + QStringLiteral("/other.kvp");
        QVERIFY(VelaTest::WriteFile(file, "KVBrushPresetManager 2.00000"));
        VelaTest::ChildResult result = velahost({QStringLiteral("presets"), file});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.standardError.contains("is not a brush preset stream"));

        result = velahost({QStringLiteral("presets"), file + QStringLiteral(".none")});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.standardError.contains("cannot open"));
    }

    void startUpAndShutDownOrder()
    {
        const QString file = VelaTest::Sandbox::Current()->Root() + QStringLiteral("/order.kvp");
        QCOMPARE(velahost({QStringLiteral("presets"), QStringLiteral("--create"), file}).exitCode,
                 0);
        const QStringList lines = logLines();
        const QString sample = VELA_PLUGIN(SampleBrushes);

        const int loaded = logIndex(lines, {sample, QStringLiteral("loaded successfully")});
        const int tableGone = logIndex(
            lines, {QStringLiteral("BrushPresetManager.cpp"), QStringLiteral(". Destroyed")});
        const int registryGoes = logIndex(
            lines, {QStringLiteral("BrushFactoryManager.cpp"), QStringLiteral(". Destroy\"")});
        const int registryGone = logIndex(
            lines, {QStringLiteral("BrushFactoryManager.cpp"), QStringLiteral(". Destroyed")});
        const int unloaded = logIndex(lines, {sample, QStringLiteral("is unloaded successfully")});
        const int dataGoes = logIndex(
            lines, {QStringLiteral("GlobalApplicationData.cpp"), QStringLiteral(". Destroy\"")});
        QVERIFY2(loaded >= 0, qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY(loaded < tableGone);
        QVERIFY(tableGone < registryGoes);
        QVERIFY(registryGoes < registryGone);
        QVERIFY(registryGone < unloaded);
        QVERIFY(unloaded < dataGoes);
    }
};

VELA_TEST_MAIN(TestVelahostPlugins)
#include "tst_velahostplugins.moc"
