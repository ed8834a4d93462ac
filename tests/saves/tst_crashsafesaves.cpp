// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Saves of files of the per-user data folder, killed with SIGKILL while they
// write: the next start reads either the old or the new content. Every file
// of the folder is saved one of two ways: an ini file through its settings
// (kelvane.ini here), an XML file written whole (properties.xml). The saving
// child is this program, started with "--save-loop FILE FIRSTROUND".
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"

#include <QThread>

#include <cstdio>
#include <fcntl.h>

namespace {

// What round N of the save loop leaves in a file, as the library reads it
// back: a long entry, so that a save takes a while and kills land inside it.
QString Content(int round)
{
    return QStringLiteral("/round/%1/").arg(round) + QString(1 << 19, QLatin1Char('v'));
}

// Saves round N the way the editor does.
void Save(const QString &file, int round)
{
    if (file == "kelvane.ini") {
        VLApplicationSettings::SetValue("Saves/Round", Content(round));
    } else {
        GlobalApplicationData::Instance()->SetLastVisitedFolder(Content(round));
        GlobalApplicationData::Instance()->SaveUserPreferences();
    }
}

// The file as the library reads it at the next start of the editor.
QString Stored(const QString &file)
{
    GlobalApplicationData::InitInstance();
    GlobalApplicationData::Instance()->InitUserPreferences();
    const QString stored = file == "kelvane.ini"
                               ? VLApplicationSettings::GetValue("Saves/Round").toString()
                               : GlobalApplicationData::Instance()->LastVisitedFolder();
    GlobalApplicationData::ReleaseInstance();
    return stored;
}

// True as soon as the child writes a file of the folder other than a
// QSettings lock: the file itself or a temporary file beside it.
bool WaitForWrite(qint64 pid, const QString &folder)
{
    const QString inFolder = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(1)) {
        for (const QString &name : descriptors.entryList(QDir::AllEntries | QDir::System)) {
            const QString target = QFile::symLinkTarget(descriptors.filePath(name));
            if (!target.startsWith(inFolder) || target.endsWith(".lock"))
                continue;
            const QByteArray info = VelaTest::ReadFile(descriptors.filePath("../fdinfo/" + name));
            const QByteArray flags = info.mid(info.indexOf("flags:") + 6).split('\n').at(0);
            if (flags.trimmed().toInt(nullptr, 8) & (O_WRONLY | O_RDWR))
                return true;
        }
    }
    return false;
}

} // namespace

class TestCrashSafeSaves : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The library's "Destroy" lines of every read-back stay out of the output.
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false")); }

    void killedSavesLeaveOldOrNewContent_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *file : {"kelvane.ini", "properties.xml"})
            QTest::newRow(file) << QString::fromLatin1(file);
    }

    void killedSavesLeaveOldOrNewContent()
    {
        QFETCH(QString, file);
        const QString folder = VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/";
        QDir().mkpath(folder);
        int round = 0, killsInWrites = 0;
        for (int attempt = 0; attempt < 24; ++attempt) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--save-loop", file, QString::number(round + 1)});
            QByteArray output;
            while (output.count('\n') < 1 + attempt % 3 && child.waitForReadyRead())
                output += child.readAllStandardOutput();
            QVERIFY2(output.count('\n') > attempt % 3, "the save loop did not run");
            // Each kill comes 0 to 0.6 ms after a save was seen writing.
            killsInWrites += WaitForWrite(child.processId(), folder);
            QThread::usleep(attempt * 41 % 600);
            child.kill();
            QVERIFY(child.waitForFinished());
            output += child.readAllStandardOutput();
            // QSettings's lock, empty if the kill met its creation, would
            // hold the next writer for 30 s.
            QFile::remove(folder + file + ".lock");

            // The last round reported was saved whole; the next one may have been.
            const int reported = output.left(output.lastIndexOf('\n')).split('\n').last().toInt();
            const QString stored = Stored(file);
            round = stored == Content(reported + 1) ? reported + 1 : reported;
            QCOMPARE(stored, Content(round));
        }
        QVERIFY(killsInWrites > 0);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--save-loop") == 0) {
        // Saves the file round after round until it is killed, printing each
        // round's number once its save has returned.
        QCoreApplication app(argc, argv);
        GlobalApplicationData::InitInstance();
        GlobalApplicationData::Instance()->InitUserPreferences();
        for (int round = QByteArray(argv[3]).toInt();; ++round) {
            Save(QString::fromLocal8Bit(argv[2]), round);
            std::printf("%d\n", round);
            std::fflush(stdout);
        }
    }
    VelaTest::Sandbox sandbox;
    QCoreApplication app(argc, argv);
    TestCrashSafeSaves test;
    return QTest::qExec(&test, VelaTest::TestArguments());
}

#include "tst_crashsafesaves.moc"
