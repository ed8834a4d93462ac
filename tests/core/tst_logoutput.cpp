// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "VelaTestSupport.h"
#include "private/VLLogLine_p.h"

#include <vector>

using VelaTest::Sandbox;

namespace {

QString child()
{
    return VelaTest::AppFolder() + "/vela_core_child";
}

// The line of the source file of the library that holds the text.
int sourceLineOf(const QString &sourceFile, const QString &text)
{
    const QStringList lines =
        QString::fromUtf8(VelaTest::ReadFile(VELA_SOURCE_DIR "/" + sourceFile)).split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(text))
            return i + 1;
    }
    return -1;
}

} // namespace

class tst_LogOutput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { VelaTest::CaptureTestMessageHandler(); }
    void init()
    {
        VelaTest::RestoreTestMessageHandler();
        qputenv("LOCALAPPDATA", QFile::encodeName(Sandbox::Current()->MakeFolder("local")));
        GlobalApplicationData::InitInstance();
    }
    void cleanup() { GlobalApplicationData::ReleaseInstance(); }

    void buildStampIsTheCompilersDateAndTime()
    {
        // "Aug  3 2015" and "16:22:50", the forms of __DATE__ and __TIME__; a
        // placeholder inside the message stays as it is.
        const QString date = VLLogLine::BuildDate();
        const QString time = VLLogLine::BuildTime();
        QVERIFY(QLocale::c().toDate(date, "MMM d yyyy").isValid()
                || QLocale::c().toDate(date, "MMM  d yyyy").isValid());
        QVERIFY(QTime::fromString(time, "hh:mm:ss").isValid());
        QCOMPARE(VLLogLine::Format(12, "src\\A.cpp", "50% %1 done"),
                 "Build date=" + date + ", time=" + time
                     + ". Line=12, file=\"src\\A.cpp\". 50% %1 done");
    }

    void registrationAndRecordBytes()
    {
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        QVERIFY(data->GetLogFileName().isEmpty());

        // Registration deletes every earlier .txt file of the folder, and
        // only those.
        const QString folder = data->GetAppDataFolderPath() + QDir::separator() + "logs";
        QVERIFY(VelaTest::WriteFile(folder + "/01-01-2020_10-00-00.txt", "old run"));
        QVERIFY(VelaTest::WriteFile(folder + "/notes.txt", "not ours"));
        QVERIFY(VelaTest::WriteFile(folder + "/keep.log", "other kind"));
        QVERIFY(QDir().mkpath(folder + "/folder.txt"));
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        data->RegisterLogOutput("logs");
        const QString logFile = data->GetLogFileName();
        QCOMPARE(QDir(folder).entryList({"*.txt"}, QDir::Files).size(), 1);
        QVERIFY(QFileInfo(folder + "/folder.txt").isDir());
        QVERIFY(QFileInfo::exists(folder + "/keep.log"));

        // <data folder><separator>logs<separator>dd-MM-yyyy_hh-mm-ss.txt
        QVERIFY(logFile.startsWith(folder + QDir::separator()));
        const QDateTime opened =
            QDateTime::fromString(QFileInfo(logFile).fileName(), "dd-MM-yyyy_hh-mm-ss'.txt'");
        QVERIFY(opened >= before && opened <= QDateTime::currentDateTime());

        VL_LOG(QStringLiteral("Plugin: \"%1\" loaded").arg(QStringLiteral("x.so")));
        const int line = __LINE__ - 1;
        qDebug("plain %d", 7);
        qWarning() << "quoted" << QStringLiteral("item");
        qInfo("info");
        const QByteArray expected =
            QString("\"Build date=%1, time=%2. Line=%3, file=\"tests\\core\\tst_logoutput.cpp\". "
                    "Plugin: \"x.so\" loaded\" \n")
                .arg(VLLogLine::BuildDate(), VLLogLine::BuildTime())
                .arg(line)
                .toUtf8()
            + "plain 7\n" + "quoted \"item\"\n" + "info\n";
        QCOMPARE(VelaTest::ReadFile(logFile), expected);

        // A second registration keeps the open file.
        data->RegisterLogOutput("other");
        QCOMPARE(data->GetLogFileName(), logFile);
        QVERIFY(!QFileInfo::exists(data->GetAppDataFolderPath() + QDir::separator() + "other"));
    }

    void destructorWritesItsLastLines_data()
    {
        QTest::addColumn<bool>("withPreferences");
        QTest::newRow("no preferences document") << false;
        QTest::newRow("preferences document loaded") << true;
    }

    void destructorWritesItsLastLines()
    {
        QFETCH(bool, withPreferences);
        GlobalApplicationData *data = GlobalApplicationData::Instance();
        data->RegisterLogOutput("logs");
        if (withPreferences)
            data->InitUserPreferences();
        const QString logFile = data->GetLogFileName();
        const qint64 before = QFileInfo(logFile).size();
        GlobalApplicationData::ReleaseInstance();

        // Each line names the source line that writes it.
        auto record = [](const QString &file, const QString &message) {
            const int line = sourceLineOf(QString(file).replace('\\', '/'),
                                          QString("VL_LOG(QStringLiteral(\"%1\"))").arg(message));
            return QString("\"%1\" ").arg(VLLogLine::Format(line, file, message));
        };
        const QString gad = "src\\GlobalApplicationData.cpp";
        QStringList expected = {record(gad, "Destroy")};
        if (withPreferences)
            expected << record(gad, "Pre Destroy xml") << record(gad, "Destroy xml");
        expected << record(gad, "Destroyed xml") << record("src\\VLCrashHandler.cpp", "Destroyed")
                 << record(gad, "Destroyed") << QString();

        QFile file(logFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.seek(before));
        QCOMPARE(QString::fromUtf8(file.readAll()).split('\n'), expected);
    }

    void threadsNeverTearARecord()
    {
        GlobalApplicationData::Instance()->RegisterLogOutput("logs");
        const QString logFile = GlobalApplicationData::Instance()->GetLogFileName();

        constexpr int threadCount = 4;
        constexpr int recordCount = 10000;
        QVERIFY(VelaTest::RunThreads(threadCount, [](int id) {
            for (int i = 0; i < recordCount; ++i)
                qDebug("thread %d record %d with some text to make the line longer", id, i);
        }));

        const QList<QByteArray> lines = VelaTest::ReadFile(logFile).split('\n');
        QCOMPARE(lines.size(), threadCount * recordCount + 1);
        QVERIFY(lines.last().isEmpty());
        // Every record whole, and each thread's records in its own order.
        const QRegularExpression pattern(
            "^thread ([0-3]) record ([0-9]+) with some text to make the line longer$");
        std::vector<int> next(threadCount, 0);
        for (int i = 0; i < lines.size() - 1; ++i) {
            const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(lines.at(i)));
            QVERIFY2(match.hasMatch(), lines.at(i).constData());
            const int id = match.captured(1).toInt();
            QCOMPARE(match.captured(2).toInt(), next[id]++);
        }
    }

    void standardStreamsBeforeAndAfterTheLog()
    {
        QProcessEnvironment environment =
            VelaTest::WithLocalAppData(Sandbox::Current()->MakeFolder("local-child"));
        environment.remove("QT_MESSAGE_PATTERN");
        const VelaTest::ChildResult result =
            VelaTest::RunChild(child(), {"lifecycle", "logs"}, environment);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);

        const QString out = QString::fromLocal8Bit(result.standardOutput);
        const QString err = QString::fromLocal8Bit(result.standardError);
        // Before the log is registered Qt's own handler prints; after the
        // application data object is gone, the library's prints with prefixes.
        QVERIFY2(err.contains("before-init"), qPrintable(err));
        QVERIFY2(err.contains("before-register"), qPrintable(err));
        QVERIFY2(out.contains("Debug: after-release\n"), qPrintable(out));
        QVERIFY2(out.contains("Warning: warning-after-release\n"), qPrintable(out));
        QVERIFY2(err.contains("Critical: critical-after-release\n"), qPrintable(err));
        QVERIFY(!out.contains("into-log") && !err.contains("into-log"));

        const QRegularExpressionMatch log =
            QRegularExpression("^log=(.*)$", QRegularExpression::MultilineOption).match(out);
        QVERIFY(log.hasMatch());
        const QByteArray text = VelaTest::ReadFile(log.captured(1));
        QVERIFY(text.startsWith("into-log\nwarning-into-log\n\"Build date="));
        QVERIFY(!text.contains("before-") && !text.contains("after-release"));
    }

    void fatalWithoutLogFileAborts()
    {
        // The log sub-folder is a plain file: no log file can be opened.
        const QString local = Sandbox::Current()->MakeFolder("local-fatal");
        QVERIFY(VelaTest::WriteFile(local + "/Kelvane/logs", "in the way"));
        const VelaTest::ChildResult result =
            VelaTest::RunChild(child(), {"fatal", "logs"}, VelaTest::WithLocalAppData(local));
        QCOMPARE(result.exitStatus, QProcess::CrashExit);
        QCOMPARE(result.standardOutput, QByteArray("log=\n"));
        QVERIFY2(result.standardError.contains("Fatal: fatal-without-log\n"),
                 result.standardError.constData());
    }
};

VELA_TEST_MAIN(tst_LogOutput)
#include "tst_logoutput.moc"
