// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "VelaTestSupport.h"
#include "private/VLLogLine_p.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <vector>

using VelaTest::Sandbox;

class tst_LogOutput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { VelaTest::CaptureTestMessageHandler(); }
    void init();
    void cleanup();

    void buildStampIsTheCompilersDateAndTime();
    void registrationAndRecordBytes();
    void destructorWritesItsLastLines_data();
    void destructorWritesItsLastLines();
    void threadsNeverTearARecord();
    void standardStreamsBeforeAndAfterTheLog();
    void fatalWithoutLogFileAborts();

private:
    static QString child() { return VelaTest::AppFolder() + QStringLiteral("/vela_core_child"); }
    static QString dataFolder()
    {
        return GlobalApplicationData::Instance()->GetAppDataFolderPath();
    }
    // The line of the source file of the library that holds the text.
    static int sourceLineOf(const QString &sourceFile, const QString &text);
};

void tst_LogOutput::init()
{
    VelaTest::RestoreTestMessageHandler();
    qputenv("LOCALAPPDATA",
            QFile::encodeName(Sandbox::Current()->MakeFolder(QStringLiteral("local"))));
    GlobalApplicationData::InitInstance();
}

void tst_LogOutput::cleanup()
{
    GlobalApplicationData::ReleaseInstance();
}

int tst_LogOutput::sourceLineOf(const QString &sourceFile, const QString &text)
{
    const QStringList lines =
        QString::fromUtf8(VelaTest::ReadFile(QStringLiteral(VELA_SOURCE_DIR "/") + sourceFile))
            .split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(text))
            return i + 1;
    }
    return -1;
}

void tst_LogOutput::buildStampIsTheCompilersDateAndTime()
{
    // "Aug  3 2015" and "16:22:50", the forms of __DATE__ and __TIME__; a
    // placeholder inside the message stays as it is.
    const QString date = VLLogLine::BuildDate();
    const QString time = VLLogLine::BuildTime();
    QVERIFY(QLocale::c().toDate(date, QStringLiteral("MMM d yyyy")).isValid()
            || QLocale::c().toDate(date, QStringLiteral("MMM  d yyyy")).isValid());
    QVERIFY(QTime::fromString(time, QStringLiteral("hh:mm:ss")).isValid());
    QCOMPARE(VLLogLine::Format(12, QStringLiteral("src\\A.cpp"), QStringLiteral("50% %1 done")),
             QStringLiteral("Build date=") + date + QStringLiteral(", time=") + time
                 + QStringLiteral(". Line=12, file=\"src\\A.cpp\". 50% %1 done"));
}

void tst_LogOutput::registrationAndRecordBytes()
{
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    QVERIFY(data->GetLogFileName().isEmpty());

    // Registration deletes every earlier .txt file of the folder, and only
    // those.
    const QString folder = dataFolder() + QDir::separator() + QStringLiteral("logs");
    QVERIFY(VelaTest::WriteFile(folder + QStringLiteral("/01-01-2020_10-00-00.txt"), "old run"));
    QVERIFY(VelaTest::WriteFile(folder + QStringLiteral("/notes.txt"), "not ours"));
    QVERIFY(VelaTest::WriteFile(folder + QStringLiteral("/keep.log"), "other kind"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/folder.txt")));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    data->RegisterLogOutput(QStringLiteral("logs"));
    const QString logFile = data->GetLogFileName();
    QCOMPARE(QDir(folder).entryList(QStringList(QStringLiteral("*.txt")), QDir::Files).size(), 1);
    QVERIFY(QFileInfo(folder + QStringLiteral("/folder.txt")).isDir());
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/keep.log")));

    // <data folder><separator>logs<separator>dd-MM-yyyy_hh-mm-ss.txt
    QVERIFY(logFile.startsWith(folder + QDir::separator()));
    const QDateTime opened = QDateTime::fromString(QFileInfo(logFile).fileName(),
                                                   QStringLiteral("dd-MM-yyyy_hh-mm-ss'.txt'"));
    QVERIFY(opened >= before && opened <= QDateTime::currentDateTime());

    VL_LOG(QStringLiteral("Plugin: \"%1\" loaded").arg(QStringLiteral("x.so")));
    const int line = __LINE__ - 1;
    qDebug("plain %d", 7);
    qWarning() << "quoted" << QStringLiteral("item");
    qInfo("info");
    const QByteArray expected =
        QStringLiteral(
            "\"Build date=%1, time=%2. Line=%3, file=\"tests\\core\\tst_logoutput.cpp\". "
            "Plugin: \"x.so\" loaded\" \n")
            .arg(VLLogLine::BuildDate(), VLLogLine::BuildTime())
            .arg(line)
            .toUtf8()
        + "plain 7\n" + "quoted \"item\"\n" + "info\n";
    QCOMPARE(VelaTest::ReadFile(logFile), expected);

    // A second registration keeps the open file.
    data->RegisterLogOutput(QStringLiteral("other"));
    QCOMPARE(data->GetLogFileName(), logFile);
    QVERIFY(!QFileInfo::exists(dataFolder() + QDir::separator() + QStringLiteral("other")));
}

void tst_LogOutput::destructorWritesItsLastLines_data()
{
    QTest::addColumn<bool>("withPreferences");
    QTest::newRow("no preferences document") << false;
    QTest::newRow("preferences document loaded") << true;
}

void tst_LogOutput::destructorWritesItsLastLines()
{
    QFETCH(bool, withPreferences);
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    data->RegisterLogOutput(QStringLiteral("logs"));
    if (withPreferences)
        data->InitUserPreferences();
    const QString logFile = data->GetLogFileName();
    const qint64 before = QFileInfo(logFile).size();
    GlobalApplicationData::ReleaseInstance();

    // Each line names the source line that writes it.
    auto record = [](const QString &file, const QString &message) {
        const int line =
            sourceLineOf(QString(file).replace(QLatin1Char('\\'), QLatin1Char('/')),
                         QStringLiteral("VL_LOG(QStringLiteral(\"%1\"))").arg(message));
        return QStringLiteral("\"%1\" ").arg(VLLogLine::Format(line, file, message));
    };
    const QString gad = QStringLiteral("src\\GlobalApplicationData.cpp");
    QStringList expected = {record(gad, QStringLiteral("Destroy"))};
    if (withPreferences)
        expected << record(gad, QStringLiteral("Pre Destroy xml"))
                 << record(gad, QStringLiteral("Destroy xml"));
    expected << record(gad, QStringLiteral("Destroyed xml"))
             << record(QStringLiteral("src\\VLCrashHandler.cpp"), QStringLiteral("Destroyed"))
             << record(gad, QStringLiteral("Destroyed")) << QString();

    QFile file(logFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.seek(before));
    QCOMPARE(QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')), expected);
}

void tst_LogOutput::threadsNeverTearARecord()
{
    GlobalApplicationData::Instance()->RegisterLogOutput(QStringLiteral("logs"));
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
        QStringLiteral("^thread ([0-3]) record ([0-9]+) with some text to make the line longer$"));
    std::vector<int> next(threadCount, 0);
    for (int i = 0; i < lines.size() - 1; ++i) {
        const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(lines.at(i)));
        QVERIFY2(match.hasMatch(), lines.at(i).constData());
        const int id = match.captured(1).toInt();
        QCOMPARE(match.captured(2).toInt(), next[id]++);
    }
}

void tst_LogOutput::standardStreamsBeforeAndAfterTheLog()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LOCALAPPDATA"),
                       Sandbox::Current()->MakeFolder(QStringLiteral("local-child")));
    environment.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    const VelaTest::ChildResult result = VelaTest::RunChild(
        child(), {QStringLiteral("lifecycle"), QStringLiteral("logs")}, environment);
    QCOMPARE(result.exitStatus, QProcess::NormalExit);
    QCOMPARE(result.exitCode, 0);

    const QString out = QString::fromLocal8Bit(result.standardOutput);
    const QString err = QString::fromLocal8Bit(result.standardError);
    // Before the log is registered Qt's own handler prints; after the
    // application data object is gone, the library's prints with prefixes.
    QVERIFY2(err.contains(QStringLiteral("before-init")), qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("before-register")), qPrintable(err));
    QVERIFY2(out.contains(QStringLiteral("Debug: after-release\n")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("Warning: warning-after-release\n")), qPrintable(out));
    QVERIFY2(err.contains(QStringLiteral("Critical: critical-after-release\n")), qPrintable(err));
    QVERIFY(!out.contains(QStringLiteral("into-log")) && !err.contains(QStringLiteral("into-log")));

    const QRegularExpressionMatch log =
        QRegularExpression(QStringLiteral("^log=(.*)$"), QRegularExpression::MultilineOption)
            .match(out);
    QVERIFY(log.hasMatch());
    const QByteArray text = VelaTest::ReadFile(log.captured(1));
    QVERIFY(text.startsWith("into-log\nwarning-into-log\n\"Build date="));
    QVERIFY(!text.contains("before-") && !text.contains("after-release"));
}

void tst_LogOutput::fatalWithoutLogFileAborts()
{
    // The log sub-folder is a plain file: no log file can be opened.
    const QString local = Sandbox::Current()->MakeFolder(QStringLiteral("local-fatal"));
    QVERIFY(VelaTest::WriteFile(local + QStringLiteral("/Kelvane/logs"), "in the way"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LOCALAPPDATA"), local);

    const VelaTest::ChildResult result =
        VelaTest::RunChild(child(), {QStringLiteral("fatal"), QStringLiteral("logs")}, environment);
    QCOMPARE(result.exitStatus, QProcess::CrashExit);
    QCOMPARE(result.standardOutput, QByteArray("log=\n"));
    QVERIFY2(result.standardError.contains("Fatal: fatal-without-log\n"),
             result.standardError.constData());
}

VELA_TEST_MAIN(tst_LogOutput)
#include "tst_logoutput.moc"
