// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Saves of every file of the per-user data folder, killed with SIGKILL while
// they write: the next start reads either the old or the new content. The
// saving child is this program, started with "--save-loop FILE FIRSTROUND".
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "UnitConverter.h"
#include "VLApplicationSettings.h"
#include "VLExportResolutions.h"
#include "VLIOManager.h"

#include <QSettings>
#include <QThread>

#include <cstdio>
#include <fcntl.h>

namespace {

// What round N of the save loop leaves in a file, as the library reads it
// back. Each round's content differs from every other round's; long entries
// make a save take a while, so that kills land inside it.
QStringList Content(const QString &file, int round)
{
    const auto tagged = [](int taggedRound, int length) {
        return QStringLiteral("/round/%1/").arg(taggedRound) + QString(length, QLatin1Char('v'));
    };
    QStringList content;
    if (file == "kelvane.ini" || file == "properties.xml") {
        content << tagged(round, 1 << 19);
    } else if (file == "units_user.ini") {
        for (int unit = 0; unit < 3000; ++unit)
            content << tagged(round, 0) + QString::number(unit);
    } else if (file == "settings.ini") {
        // One record a round, newest first; the recent list keeps 15.
        for (int added = round; added > 0 && added > round - 15; --added)
            content << tagged(added, 1 << 14);
    } else {
        // The export resolutions: the first follows the round, 3000 more stay.
        content << QStringLiteral("%1x1").arg(1 + round % 10000);
        for (int entry = 1; entry <= 3000; ++entry)
            content << QStringLiteral("%1x2").arg(entry);
    }
    return content;
}

// Saves round N the way the editor does.
void Save(const QString &file, int round)
{
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    const QStringList content = Content(file, round);
    if (file == "kelvane.ini") {
        VLApplicationSettings::SetValue("Saves/Round", content.first());
    } else if (file == "properties.xml") {
        data->SetLastVisitedFolder(content.first());
        data->SaveUserPreferences();
    } else if (file == "units_user.ini") {
        QList<UnitItem> units;
        for (const QString &name : content)
            units.append({name, QStringLiteral("u"), 2.54f, false});
        data->SetCustomUnitList(units);
    } else if (file == "settings.ini") {
        VLIOManager::Instance()->AddToRecent({content.first(), "PNG"});
    } else {
        const QStringList size = content.first().split(QLatin1Char('x'));
        VLExportResolutions::Set(0, QSize(size.at(0).toInt(), size.at(1).toInt()));
    }
}

// The file as the library reads it at the next start of the editor.
QStringList Stored(const QString &file)
{
    GlobalApplicationData::InitInstance();
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    data->InitUserPreferences();
    QStringList stored;
    QList<UnitItem> units;
    if (file == "kelvane.ini") {
        stored << VLApplicationSettings::GetValue("Saves/Round", QVariant()).toString();
    } else if (file == "properties.xml") {
        stored << data->LastVisitedFolder();
    } else if (file == "units_user.ini") {
        data->GetCustomUnitList(units);
        for (const UnitItem &unit : units)
            stored << unit.name;
    } else if (file == "settings.ini") {
        VLIOManager::InitInstance();
        for (const VLIOManager::RecentRecord &record : VLIOManager::Instance()->GetRecent())
            stored << record.first;
        VLIOManager::ReleaseInstance();
    } else {
        for (const QSize &size : VLExportResolutions::GetList())
            stored << QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    }
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
        for (const char *file : {"kelvane.ini", "properties.xml", "units_user.ini", "settings.ini",
                                 "ExportAndShareResolution.ini"})
            QTest::newRow(file) << QString::fromLatin1(file);
    }

    void killedSavesLeaveOldOrNewContent()
    {
        QFETCH(QString, file);
        const QString folder = VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/";
        QDir().mkpath(folder);
        if (file == "ExportAndShareResolution.ini") {
            // Round 0: 3001 entries as the user's own list.
            QSettings seed(folder + file, QSettings::IniFormat);
            seed.setValue("Version", "2.3.0");
            const QStringList entries = Content(file, 0);
            for (int i = 0; i < entries.size(); ++i)
                seed.setValue("Resolutions/" + QString::number(i), entries.at(i));
        }
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
            const QStringList stored = Stored(file);
            round = stored == Content(file, reported + 1) ? reported + 1 : reported;
            QVERIFY2(stored == Content(file, round),
                     qPrintable(QStringLiteral("after round %1: \"%2...\"")
                                    .arg(reported)
                                    .arg(stored.join(' ').left(20))));
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
        VLIOManager::InitInstance();
        for (int round = QByteArray(argv[3]).toInt();; ++round) {
            Save(QString::fromLocal8Bit(argv[2]), round);
            std::printf("%d\n", round);
            std::fflush(stdout);
        }
    }
    VelaTest::Sandbox sandbox;
    QCoreApplication app(argc, argv);
    TestCrashSafeSaves test;
    return QTest::qExec(&test, VelaTest::TestArguments(argc, argv));
}

#include "tst_crashsafesaves.moc"
