// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "SaveLoop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSettings>
#include <QThread>

#include <fcntl.h>

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
                                 "ExportAndShareResolution.ini", "ExportAndShareSize.ini"})
            QTest::newRow(file) << QString::fromLatin1(file);
    }

    void killedSavesLeaveOldOrNewContent()
    {
        QFETCH(QString, file);
        const QString folder = VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/";
        QDir().mkpath(folder);
        if (file.startsWith(QLatin1String("ExportAndShare"))) {
            // Round 0: 3001 entries as the user's own list.
            QSettings seed(folder + file, QSettings::IniFormat);
            seed.setValue(QStringLiteral("Version"), QStringLiteral("2.3.0"));
            const QStringList entries = SaveLoop::Content(file, 0);
            for (int i = 0; i < entries.size(); ++i)
                seed.setValue(QStringLiteral("%1/%2")
                                  .arg(file.contains("Size") ? "Sizes" : "Resolutions")
                                  .arg(i),
                              entries.at(i));
        }
        int round = 0, killsInWrites = 0;
        for (int attempt = 0; attempt < 24; ++attempt) {
            QProcess child;
            child.start(VelaTest::AppFolder() + "/vela_save_loop",
                        {file, QString::number(round + 1)});
            QByteArray output;
            while (output.count('\n') < 1 + attempt % 3 && child.waitForReadyRead())
                output += child.readAllStandardOutput();
            QVERIFY2(output.count('\n') > attempt % 3, "the save loop did not run");
            // Each kill comes 0 to 0.6 ms after a save began to write.
            killsInWrites += waitForWrite(child.processId(), folder);
            QThread::usleep(attempt * 41 % 600);
            child.kill();
            QVERIFY(child.waitForFinished());
            output += child.readAllStandardOutput();
            // QSettings's lock, empty if the kill met its creation, would
            // hold the next writer for 30 s.
            QFile::remove(folder + file + ".lock");

            // The last round reported was saved whole; the next one may have been.
            const int reported = output.left(output.lastIndexOf('\n')).split('\n').last().toInt();
            const QStringList stored = SaveLoop::Stored(file);
            round = stored == SaveLoop::Content(file, reported + 1) ? reported + 1 : reported;
            QVERIFY2(stored == SaveLoop::Content(file, round),
                     qPrintable(QStringLiteral("after round %1: %2 entries, the first \"%3...\"")
                                    .arg(reported)
                                    .arg(stored.size())
                                    .arg(stored.value(0).left(20))));
        }
        QVERIFY(killsInWrites > 0);
    }

private:
    // True as soon as the child writes a file of the folder other than a
    // QSettings lock: the file itself or a temporary file beside it.
    static bool waitForWrite(qint64 pid, const QString &folder)
    {
        const QString inFolder = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');
        const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            for (const QString &name : descriptors.entryList(QDir::AllEntries | QDir::System)) {
                const QString target = QFile::symLinkTarget(descriptors.filePath(name));
                if (!target.startsWith(inFolder) || target.endsWith(QLatin1String(".lock")))
                    continue;
                const QByteArray info =
                    VelaTest::ReadFile(descriptors.filePath("../fdinfo/" + name));
                const QByteArray flags = info.mid(info.indexOf("flags:") + 6).split('\n').at(0);
                if (flags.trimmed().toInt(nullptr, 8) & (O_WRONLY | O_RDWR))
                    return true;
            }
        }
        return false;
    }
};

VELA_TEST_MAIN(TestCrashSafeSaves)
#include "tst_crashsafesaves.moc"
