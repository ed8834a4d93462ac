// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The recent list and the export lists across real runs of the host: each
// velahost call is one start and shut-down of the library.

#include "VelaTestSupport.h"

namespace {

QString dataFile(const QString &name)
{
    return VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/" + QDir::separator() + name;
}

QByteArray velahost(const QStringList &arguments, int expectedExitCode = 0)
{
    const VelaTest::ChildResult result = VelaTest::RunHost(arguments);
    if (result.exitStatus != QProcess::NormalExit || result.exitCode != expectedExitCode) {
        qWarning("velahost %s: exit %d\n%s%s", qPrintable(arguments.join(QLatin1Char(' '))),
                 result.exitCode, result.standardOutput.constData(),
                 result.standardError.constData());
        return QByteArray("<failed>");
    }
    return result.standardOutput;
}

} // namespace

class TestVelahostIO : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recentSurvivesRestart()
    {
        QCOMPARE(velahost({"recent", "add", "/img/a.png", "PNG"}),
                 QByteArray("Limit: 15\n0\t/img/a.png\tPNG\n"));
        QCOMPARE(velahost({"recent", "add", "/img/b.jpg", "JPEG"}),
                 QByteArray("Limit: 15\n0\t/img/b.jpg\tJPEG\n1\t/img/a.png\tPNG\n"));
        QCOMPARE(velahost({"recent", "limit", "1"}), QByteArray("Limit: 1\n0\t/img/b.jpg\tJPEG\n"));
        // The run saved limit 1; the next one starts with 15, keeping the entry.
        const QSettings settings(dataFile("settings.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("Recent/RecentLimit")).toInt(), 1);
        QCOMPARE(velahost({"recent", "list"}), QByteArray("Limit: 15\n0\t/img/b.jpg\tJPEG\n"));
    }

    void exportListsAcrossRuns()
    {
        // The host's defaults seed the user's lists on the first run.
        const QByteArray first = velahost({"export", "list"});
        QVERIFY2(first.startsWith("Resolutions:\n  0\t640x480\n  1\t800x600\n  2\t1024x768\n"),
                 first.constData());
        QVERIFY2(first.contains("Sizes:\n  0\t262144\n  1\t524288\n"), first.constData());

        QVERIFY(velahost({"export", "add", "1000x20"}).startsWith("Resolution inserted at 2\n"));
        QVERIFY(velahost({"export", "add", "300000"}).startsWith("Size inserted at 1\n"));
        velahost({"export", "remove", "0"});
        velahost({"export", "remove", "--sizes", "0"});
        const QByteArray last = velahost({"export", "list"});
        QVERIFY2(last.startsWith("Resolutions:\n  0\t800x600\n  1\t1000x20\n  2\t1024x768\n"),
                 last.constData());
        QVERIFY2(last.contains("Sizes:\n  0\t300000\n  1\t524288\n"), last.constData());
    }

    void readersAndWriters()
    {
        // The shipped image plug-in, found in the application folder's plugins/.
        QCOMPARE(velahost({"io"}), QByteArray("Readers: BMP JPEG PNG\nWriters: BMP JPEG PNG\n"));
    }

    void badArguments()
    {
        const QList<QStringList> calls = {{"export", "add", "wide"},
                                          {"export", "remove", "first"},
                                          {"recent", "limit", "many"},
                                          {"recent", "add", "only-one"}};
        for (const QStringList &arguments : calls)
            QVERIFY(velahost(arguments, 2) != "<failed>");
    }
};

VELA_TEST_MAIN(TestVelahostIO)
#include "tst_velahostio.moc"
