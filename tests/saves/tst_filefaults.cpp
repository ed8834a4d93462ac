// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Every file the library reads or writes, put through the bad worlds a user's
// machine has, with the host tool as the editor: the run ends by itself, gives
// the documented result, and the user's own file is left as it was unless the
// library is meant to replace it. Then saves killed with SIGKILL while they
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

using namespace VelaTest;

namespace {

enum World { Missing, Empty, Truncated, Garbage, Folder, NoCreate, FullDisk, SymLink, NoTemp };
const char *const worldNames[] = {"missing",       "empty",         "truncated",
                                  "garbage bytes", "folder",        "no new files",
                                  "full disk",     "symbolic link", "no temporary folder"};

// Where a file lives: the per-user data folder (where the library saves), the
// application folder, the working directory (a file the editor names), or
// the per-user data folder as a folder of the library's own.
enum Place { User, App, Work, Folders };

struct Target
{
    QString path; // below its place
    Place place;
    QString probe;    // host arguments; "{file}" is the file's absolute path
    QString expected; // what a save leaves in the user's file, or else a
                      // pattern of the output when the file is readable
    QString seeding;  // makes the healthy file, as the library writes it
};

const QList<Target> targets = {
    {"kelvane.ini", User, "lang set 2", "Index=de_DE", "lang set 1"},
    {"properties.xml", User, "prefs set directories.dirs.last_dir /probe", "\"/probe\"",
     "prefs set directories.dirs.last_dir /seed"},
    {"units_user.ini", User, "units add span sp 0.11", "\"span\"", "units add hand h 0.25"},
    {"settings.ini", User, "recent add probe.png PNG", "\\0p\\0r\\0o\\0\\x62",
     "recent add seed.png PNG"},
    {"ExportAndShareResolution.ini", User, "export add 641x481", "641", "export add 333x222"},
    {"ExportAndShareSize.ini", User, "export add 4321", "4321", "export add 8765"},
    {"settings/properties.xml", App, "prefs get directories.dirs.last_dir", "", ""},
    {"settings/units.ini", App, "units list", "standard", ""},
    {"settings/installsettings.ini", App, "report", "Stored language: +ru_RU", ""},
    {"AppFeatures.dll", App, "report", "", ""},
    {"presets.bin", Work, "presets {file}", "Presets in .*: [1-9]", "presets --create {file}"},
    {"logs", Folders, "report", "", ""},
    {"dumps", Folders, "crash null-write", "", ""},
};

// A file only read is never written: a folder that refuses new files and a
// full disk matter only where the library writes.
QList<World> worldsOf(const Target &t)
{
    if (t.place == Folders)
        return {Missing, Garbage, Folder, NoCreate, FullDisk, SymLink};
    QList<World> worlds = {Missing, Empty, Truncated, Garbage, Folder, SymLink};
    if (t.place != Work)
        worlds << NoCreate;
    if (t.place == User)
        worlds << FullDisk << NoTemp;
    return worlds;
}

// The user's document of a newer version than the shipped one: an unreadable
// default must leave it alone, a readable one replaces it.
const QByteArray versionedUserDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<properties>\n"
    "    <file_version value=\"7\"/>\n    <page name=\"directories\"><group name=\"dirs\">"
    "<parameter name=\"last_dir\" value=\"/kept\"/></group></page>\n</properties>\n";

// A full disk is a small tmpfs, filled up to its last block and its last
// inode, over the per-user data folder, in a mount namespace of the run's
// own; what the run leaves there is copied back into the folder itself once
// the tmpfs is gone.
const char fullDiskScript[] = R"(set -e; data=$1; shift; keep=$(mktemp -d)
cp -a "$data/." "$keep/"; mount -t tmpfs -o size=512k,nr_inodes=64 vela-full "$data" || exit 97
cp -a "$keep/." "$data/"; dd if=/dev/zero of="$data/.filler" bs=4096 2>/dev/null || true
i=0; while touch "$data/.inode$i" 2>/dev/null; do i=$((i+1)); done
set +e; "$@"; status=$?; set -e; rm -f "$data/.filler" "$data"/.inode*
rm -rf "$keep"; mkdir "$keep"; cp -a "$data/." "$keep/"; umount "$data"
find "$data" -mindepth 1 -delete; cp -a "$keep/." "$data/"; rm -rf "$keep"; exit $status)";

// An application folder of the row's own: the files copied, the plug-ins linked.
const char appFolderScript[] =
    R"(mkdir "$2" && cp -a "$1/settings" "$1/velahost" "$1/AppFeatures.dll" "$2" &&
ln -s "$1/plugins" "$1/brushpatterns" "$2")";

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
            const QByteArray info = ReadFile(descriptors.filePath("../fdinfo/" + name));
            const QByteArray flags = info.mid(info.indexOf("flags:") + 6).split('\n').at(0);
            if (flags.trimmed().toInt(nullptr, 8) & (O_WRONLY | O_RDWR))
                return true;
        }
    }
    return false;
}

} // namespace

class TestFileFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The library's "Destroy" lines of every read-back stay out of the output.
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        for (const Target &t : targets) {
            if (t.place == App)
                m_seeds[t.path] = ReadFile(AppFolder() + '/' + t.path);
            if (t.seeding.isEmpty())
                continue;
            const QString root = Sandbox::Current()->MakeFolder("seed-" + t.path);
            const QString file = root + (t.place == Work ? "/work/" : "/local/Kelvane/") + t.path;
            QVERIFY(QDir().mkpath(root + "/work"));
            const ChildResult result = RunChild(
                AppFolder() + "/velahost", QString(t.seeding).replace("{file}", file).split(' '),
                WithLocalAppData(root + "/local"), root + "/work");
            QCOMPARE(result.exitCode, 0);
            m_seeds[t.path] = ReadFile(file);
            QVERIFY2(!m_seeds[t.path].isEmpty(), qPrintable(t.path));
        }
        m_seeds["settings/installsettings.ini"] = "[Language]\nIndex=ru_RU\n";
    }

    void badWorlds_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("world");
        for (int i = 0; i < targets.size(); ++i) {
#if defined(__SANITIZE_ADDRESS__)
            // The sanitizer's runtime owns the fault signals of the child,
            // which then writes no dump; the plain builds run these rows.
            if (targets.at(i).path == "dumps")
                continue;
#endif
            for (World world : worldsOf(targets.at(i)))
                QTest::addRow("%s, %s", qPrintable(targets.at(i).path), worldNames[world])
                    << i << int(world);
        }
    }

    void badWorlds()
    {
        QFETCH(int, target);
        QFETCH(int, world);
        const Target &t = targets.at(target);
        const World w = World(world);
        const bool folder = t.place == Folders, saved = t.place == User;

        // The row's own world, with an application folder of its own for a
        // file of the application folder.
        const QString root = Sandbox::Current()->MakeFolder(
            QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("\\W+"), "-"));
        const QString local = root + "/local", user = local + "/Kelvane", work = root + "/work";
        const QString elsewhere = root + "/elsewhere/target";
        const QString appFolder = t.place == App ? root + "/app" : AppFolder();
        QVERIFY(t.place != App
                || !QProcess::execute("sh", {"-c", appFolderScript, "sh", AppFolder(), appFolder}));
        const QString file = QStringList{user, appFolder, work, user}.at(t.place) + '/' + t.path;
        QFile::remove(file);
        for (const QString &path : {user, work, QFileInfo(file).path(), root + "/elsewhere"})
            QVERIFY(QDir().mkpath(path));
        // The user's own document sits beside a shipped default that is read.
        const QString userDocument = user + "/properties.xml";
        if (t.path == "settings/properties.xml")
            QVERIFY(WriteFile(userDocument, versionedUserDocument));

        // The bytes of the file as the world leaves it.
        const QByteArray seed = m_seeds.value(t.path);
        QByteArray placed = w == Truncated ? seed.left(seed.size() / 2) : w == Empty ? "" : seed;
        if (w == Garbage)
            placed = QByteArray("\x00\xff\xfe<\x01[General]\x00\x7f=\xc3(", 15).repeated(7);
        if (folder || w == Missing || w == Folder)
            placed = w == Folder && folder ? "not a folder" : "";
        if (!placed.isEmpty() || w == Empty)
            QVERIFY(WriteFile(w == SymLink ? elsewhere : file, placed));
        if (w == Folder && !folder)
            QVERIFY(QDir().mkpath(file));
        if (w == Garbage && folder) {
            // Old files of the folder, the library's kind and others.
            for (const char *name :
                 {"01-01-2020_10-00-00.txt", ".hidden.txt", "old.dmp", "notes.txt", "keep.log"})
                QVERIFY(WriteFile(file + '/' + name, "old"));
            QVERIFY(QDir().mkpath(file + "/folder.txt"));
        }
        if (w == SymLink && folder)
            QVERIFY(WriteFile(elsewhere + "/03-03-2021_10-00-00.txt", "old"));
        if (w == SymLink)
            QVERIFY(QFile::link(elsewhere, file));
        // As root, modes do not keep files out; the immutable flag does.
        const QString parent = QFileInfo(file).path();
        const auto thaw = qScopeGuard([&] { QProcess::execute("chattr", {"-i", parent}); });
        if (w == NoCreate)
            QVERIFY2(QProcess::execute("chattr", {"+i", parent}) == 0,
                     "chattr +i failed: the row needs root and the immutable flag");

        QStringList arguments = QString(t.probe).replace("{file}", file).split(' ');
        QString program = appFolder + "/velahost";
        if (w == FullDisk) {
            arguments =
                QStringList{"-m", "sh", "-c", fullDiskScript, "sh", user, program} + arguments;
            program = "unshare";
        }
        QProcessEnvironment environment = WithLocalAppData(local);
        if (w == NoTemp) // the temporary folder is a file
            environment.insert("TMPDIR", program);
        // A run that does not end by itself in time is killed, as a crash.
        const ChildResult run = RunChild(program, arguments, environment, work, 20000);
        const bool crashed = run.exitStatus != QProcess::NormalExit;
        const int code = crashed ? -1 : run.exitCode;
        const QString out = QString::fromLocal8Bit(run.standardOutput + run.standardError);
        QVERIFY2(w != FullDisk || code != 97, "mounting a tmpfs failed: the row needs root");
        QVERIFY2(t.path == "dumps" || !crashed, qPrintable(out));
        // Only an unreadable preset stream, and a preferences document that
        // is a folder (no parameter to set), fail the run.
        if (t.path != "dumps")
            QCOMPARE(code, int(t.place == Work ? w != SymLink && w != Truncated
                                               : w == Folder && t.path == "properties.xml"));

        // A saved file takes the change wherever it can be written; a file
        // only read, or one that cannot be written, is left exactly as it was.
        const QByteArray now = ReadFile(file);
        const QFileInfo info(file);
        QCOMPARE(info.isSymLink(), w == SymLink);
        if (w == Folder && !folder) {
            QVERIFY(info.isDir() && QDir(file).isEmpty());
        } else if (saved && w != FullDisk) {
            QVERIFY2(now.contains(t.expected.toUtf8()), now.constData());
        } else if (!folder || w == Folder || w == NoCreate) {
            QCOMPARE(now, placed);
            QCOMPARE(info.exists(), w != Missing && (!folder || w == Folder));
        }
        // Nothing left beside a saved file: no temporary or lock files.
        if (saved)
            QCOMPARE(QDir(info.path())
                         .entryList({info.fileName() + ".*", "*.tmp", "*.lock"},
                                    QDir::Files | QDir::Hidden),
                     QStringList());
        if (folder) {
            // The folder's own old files go, others stay.
            QCOMPARE(QFileInfo::exists(file + "/keep.log"), w == Garbage);
            QCOMPARE(QFileInfo(file + "/folder.txt").isDir(), w == Garbage);
        }

        const bool readable = w == NoCreate || w == SymLink;
        if (t.path == "settings/properties.xml") {
            // A readable default of another version replaces the user's
            // document; an unreadable one leaves it as it is, and loaded.
            QCOMPARE(ReadFile(userDocument), readable ? seed : versionedUserDocument);
            QCOMPARE(out == "/kept\n", !readable);
        } else if (t.path == "AppFeatures.dll") {
            // An opaque blob: whatever bytes are there.
            const QString size = QString::number(readable ? seed.size() : placed.size());
            QVERIFY2(out.contains(QRegularExpression("Features blob: +" + size + " bytes\n")),
                     qPrintable(out));
        } else if (!saved && !folder && !(t.place == Work && w == Truncated)) {
            // A stream cut off gives the presets before the cut.
            QCOMPARE(out.contains(QRegularExpression(t.expected)), readable);
        } else if (t.path == "logs") {
            // Each run starts its log in a folder emptied of every earlier
            // .txt file, hidden or not, whoever made it. Where no log file
            // can be made, messages go to the standard streams, level in front.
            const QString log = out.section("Log file:", 1).section('\n', 0, 0).trimmed();
            QVERIFY(out.contains("Log file:"));
            if (w == Folder || w == NoCreate || w == FullDisk) {
                QVERIFY(log.isEmpty());
                QVERIFY2(out.contains("Debug: \"Build date="), qPrintable(out));
            } else {
                QCOMPARE(QDir(w == SymLink ? elsewhere : file)
                             .entryList({"*.txt"}, QDir::Files | QDir::Hidden),
                         QStringList{QFileInfo(log).fileName()});
                QVERIFY(w == FullDisk || ReadFile(log).contains("Plugin: "));
            }
        } else if (t.path == "dumps") {
            // A crash leaves one dump, in the dumps folder where there can
            // be one, else in the per-user folder itself; older dumps go.
            QVERIFY2(crashed || code != 0, qPrintable(out));
            QVERIFY(!QFileInfo::exists(file + "/old.dmp"));
            const QString in = w == SymLink                   ? elsewhere
                               : w == Folder || w == NoCreate ? user
                                                              : file;
            if (w != FullDisk)
                QCOMPARE(QDir(in).entryList({"*.dmp"}, QDir::Files).size(), int(w != NoCreate));
        }
    }

    void killedSavesLeaveOldOrNewContent_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *file : {"kelvane.ini", "properties.xml"})
            QTest::newRow(file) << QString::fromLatin1(file);
    }

    void killedSavesLeaveOldOrNewContent()
    {
        QFETCH(QString, file);
        const QString folder = Sandbox::Current()->LocalAppData() + "/Kelvane/";
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

private:
    QHash<QString, QByteArray> m_seeds;
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
    Sandbox sandbox;
    QCoreApplication app(argc, argv);
    TestFileFaults test;
    return QTest::qExec(&test, TestArguments());
}

#include "tst_filefaults.moc"
