// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Every file the library reads or writes, put through the bad worlds a user's
// machine has, with the host tool as the editor: the run ends by itself, gives
// the documented result, and the user's own file is left as it was unless the
// library is meant to replace it.
#include "VelaTestSupport.h"

namespace {

enum World { Missing, Empty, Truncated, Garbage, Folder, NoCreate, FullDisk, SymLink, NoTemp };
const char *const worldNames[] = {"missing",       "empty",         "truncated",
                                  "garbage bytes", "folder",        "no new files",
                                  "full disk",     "symbolic link", "no temporary folder"};

// Where a file lives: the per-user data folder, the application folder, or
// the working directory (a file the editor names itself).
enum Place { User, App, Work };

enum Kind {
    Saved,      // read at start and rewritten by the probe
    Read,       // only read
    LogFolder,  // the run's log folder
    DumpFolder, // the crash dumps' folder
};

struct Target
{
    QString name;
    Kind kind;
    Place place;
    QString path;          // below its place
    QStringList probe;     // host arguments; "{file}" is the file's absolute path
    QByteArray written;    // what the probe's save leaves in a saved file
    QStringList seedProbe; // makes the healthy file of a saved file or a stream
};

// The user's document of a newer version than the shipped one: an unreadable
// default must leave it alone, a readable one replaces it.
const QByteArray versionedUserDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<properties>\n"
    "    <file_version value=\"7\"/>\n    <page name=\"directories\"><group name=\"dirs\">"
    "<parameter name=\"last_dir\" value=\"/kept\"/></group></page>\n</properties>\n";

const QList<Target> &targets()
{
    static const QList<Target> list = {
        {"kelvane.ini",
         Saved,
         User,
         "kelvane.ini",
         {"lang", "set", "2"},
         "Index=de_DE",
         {"lang", "set", "1"}},
        {"properties.xml",
         Saved,
         User,
         "properties.xml",
         {"prefs", "set", "directories.dirs.last_dir", "/probe"},
         "\"/probe\"",
         {"prefs", "set", "directories.dirs.last_dir", "/seed"}},
        {"units_user.ini",
         Saved,
         User,
         "units_user.ini",
         {"units", "add", "span", "sp", "0.11"},
         "\"span\"",
         {"units", "add", "hand", "h", "0.25"}},
        {"settings.ini",
         Saved,
         User,
         "settings.ini",
         {"recent", "add", "probe.png", "PNG"},
         "\\0p\\0r\\0o\\0\\x62",
         {"recent", "add", "seed.png", "PNG"}},
        {"ExportAndShareResolution.ini",
         Saved,
         User,
         "ExportAndShareResolution.ini",
         {"export", "add", "641x481"},
         "641",
         {"export", "add", "333x222"}},
        {"ExportAndShareSize.ini",
         Saved,
         User,
         "ExportAndShareSize.ini",
         {"export", "add", "4321"},
         "4321",
         {"export", "add", "8765"}},
        {"default properties.xml",
         Read,
         App,
         "settings/properties.xml",
         {"prefs", "get", "directories.dirs.last_dir"},
         {},
         {}},
        {"units.ini", Read, App, "settings/units.ini", {"units", "list"}, {}, {}},
        {"installsettings.ini", Read, App, "settings/installsettings.ini", {"report"}, {}, {}},
        {"features", Read, App, "AppFeatures.dll", {"report"}, {}, {}},
        {"preset stream",
         Read,
         Work,
         "presets.bin",
         {"presets", "{file}"},
         {},
         {"presets", "--create", "{file}"}},
        {"log folder", LogFolder, User, "logs", {"report"}, {}, {}},
        {"dump folder", DumpFolder, User, "dumps", {"crash", "null-write"}, {}, {}},
    };
    return list;
}

// The worlds a target meets: a file only read is never written, so a folder
// that refuses new files and a full disk matter only for the user's folder.
QList<World> worldsOf(const Target &target)
{
    switch (target.kind) {
    case Saved:
        return {Missing, Empty, Truncated, Garbage, Folder, NoCreate, FullDisk, SymLink, NoTemp};
    case Read:
        return target.place == App
                   ? QList<World>{Missing, Empty, Truncated, Garbage, Folder, NoCreate, SymLink}
                   : QList<World>{Missing, Empty, Truncated, Garbage, Folder, SymLink};
    case LogFolder:
    case DumpFolder:
        return {Missing, Garbage, Folder, NoCreate, FullDisk, SymLink};
    }
    return {};
}

QByteArray garbage()
{
    return QByteArray("\x00\xff\xfe<\x01[General]\x00\x7f=\xc3(", 15).repeated(7);
}

int run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

//! Lifts the flag that keeps new files out of a folder when it goes.
class NoCreateGuard
{
public:
    ~NoCreateGuard()
    {
        for (const QString &folder : m_folders)
            run("chattr", {"-i", folder});
    }
    bool Set(const QString &folder)
    {
        m_folders << folder;
        return run("chattr", {"+i", folder}) == 0;
    }

private:
    QStringList m_folders;
};

struct HostRun
{
    bool ended = false;
    bool crashed = false;
    int exitCode = -1;
    QString output;
};

// A full disk is a small tmpfs, filled up, over the per-user data folder, in
// a mount namespace of the run's own; what the run leaves there is copied
// back into the folder itself once the tmpfs is gone.
const char fullDiskScript[] =
    "set -e\n"
    "data=$1; shift\n"
    "keep=$(mktemp -d)\n"
    "cp -a \"$data/.\" \"$keep/\"\n"
    "mount -t tmpfs -o size=512k vela-full \"$data\" || exit 97\n"
    "cp -a \"$keep/.\" \"$data/\"\n"
    "dd if=/dev/zero of=\"$data/.filler\" bs=4096 2>/dev/null || true\n"
    "set +e\n"
    "\"$@\"\n"
    "status=$?\n"
    "set -e\n"
    "rm -f \"$data/.filler\"\n"
    "rm -rf \"$keep\" && mkdir \"$keep\" && cp -a \"$data/.\" \"$keep/\"\n"
    "umount \"$data\"\n"
    "find \"$data\" -mindepth 1 -delete\n"
    "cp -a \"$keep/.\" \"$data/\" && rm -rf \"$keep\"\n"
    "exit $status\n";

} // namespace

class TestFileFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The healthy files, as the library itself writes them.
        for (const Target &target : targets()) {
            if (target.seedProbe.isEmpty())
                continue;
            const QString root = VelaTest::Sandbox::Current()->MakeFolder("seed-" + target.path);
            const QString file = root + "/work/" + target.path;
            QDir().mkpath(root + "/work");
            QStringList arguments = target.seedProbe;
            arguments.replaceInStrings("{file}", file);
            const VelaTest::ChildResult result =
                VelaTest::RunChild(VelaTest::AppFolder() + "/velahost", arguments,
                                   VelaTest::WithLocalAppData(root + "/local"), root + "/work");
            QCOMPARE(result.exitCode, 0);
            m_seeds[target.name] = VelaTest::ReadFile(
                target.place == Work ? file : root + "/local/Kelvane/" + target.path);
            QVERIFY2(!m_seeds[target.name].isEmpty(), qPrintable(target.name));
        }
        for (const Target &target : targets()) {
            if (target.kind == Read && target.place == App)
                m_seeds[target.name] =
                    VelaTest::ReadFile(VelaTest::AppFolder() + '/' + target.path);
        }
        m_seeds["installsettings.ini"] = "[Language]\nIndex=ru_RU\n";
        QVERIFY(m_seeds["default properties.xml"].contains("last_dir"));
    }

    void badWorlds_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("world");
        for (int i = 0; i < targets().size(); ++i) {
#if defined(__SANITIZE_ADDRESS__)
            // The sanitizer's runtime owns the fault signals of the child,
            // which then writes no dump; the plain builds run these rows.
            if (targets().at(i).kind == DumpFolder)
                continue;
#endif
            for (World world : worldsOf(targets().at(i)))
                QTest::addRow("%s, %s", qPrintable(targets().at(i).name), worldNames[world])
                    << i << int(world);
        }
    }

    void badWorlds()
    {
        QFETCH(int, target);
        QFETCH(int, world);
        const Target &t = targets().at(target);
        const World w = World(world);

        // The row's own world.
        const QString root = VelaTest::Sandbox::Current()->MakeFolder(
            QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("\\W+"), "-"));
        const QString local = root + "/local";
        const QString user = local + "/Kelvane";
        const QString work = root + "/work";
        const QString elsewhere = root + "/elsewhere";
        for (const QString &folder : {user, work, elsewhere})
            QVERIFY(QDir().mkpath(folder));
        QString appFolder = VelaTest::AppFolder();
        if (t.place == App)
            appFolder = MakeAppFolder(root + "/app");
        const QString base = t.place == User ? user : t.place == App ? appFolder : work;
        const QString file = base + '/' + t.path;
        QDir().remove(file);
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));

        // The user's own document sits beside a shipped file that is read.
        const QString userDocument = user + "/properties.xml";
        if (t.place == App && t.path == QLatin1String("settings/properties.xml"))
            QVERIFY(VelaTest::WriteFile(userDocument, versionedUserDocument));

        const QByteArray seed = m_seeds.value(t.name);
        const bool isFolder = t.kind == LogFolder || t.kind == DumpFolder;
        QByteArray placed; // the bytes of the file as the world leaves it
        NoCreateGuard guard;
        switch (w) {
        case Missing:
            break;
        case Empty:
            QVERIFY(VelaTest::WriteFile(file, placed = ""));
            break;
        case Truncated:
            QVERIFY(VelaTest::WriteFile(file, placed = seed.left(seed.size() / 2)));
            break;
        case Garbage:
            if (isFolder) {
                // Old files of the folder, the library's kind and others.
                QVERIFY(VelaTest::WriteFile(file + "/01-01-2020_10-00-00.txt", "old"));
                QVERIFY(VelaTest::WriteFile(file + "/.hidden.txt", "old"));
                QVERIFY(VelaTest::WriteFile(file + "/old.dmp", "old"));
                QVERIFY(VelaTest::WriteFile(file + "/notes.txt", "not ours"));
                QVERIFY(VelaTest::WriteFile(file + "/keep.log", "not ours"));
                QVERIFY(QDir().mkpath(file + "/folder.txt"));
            } else {
                QVERIFY(VelaTest::WriteFile(file, placed = garbage()));
            }
            break;
        case Folder:
            // A folder in place of the file; a file in place of a folder.
            if (isFolder)
                QVERIFY(VelaTest::WriteFile(file, placed = "not a folder"));
            else
                QVERIFY(QDir().mkpath(file));
            break;
        case NoCreate:
            if (!isFolder)
                QVERIFY(VelaTest::WriteFile(file, placed = seed));
            // As root, modes do not keep files out; the immutable flag does.
            QVERIFY2(guard.Set(QFileInfo(file).path()),
                     "chattr +i failed: this row needs root and a file system with "
                     "the immutable flag");
            break;
        case FullDisk:
        case NoTemp:
            if (!isFolder)
                QVERIFY(VelaTest::WriteFile(file, placed = seed));
            break;
        case SymLink:
            if (isFolder) {
                QVERIFY(VelaTest::WriteFile(elsewhere + "/target/03-03-2021_10-00-00.txt", "old"));
                QVERIFY(QFile::link(elsewhere + "/target", file));
            } else {
                QVERIFY(VelaTest::WriteFile(elsewhere + "/target", placed = seed));
                QVERIFY(QFile::link(elsewhere + "/target", file));
            }
            break;
        }
        const QByteArray userDocumentBefore = VelaTest::ReadFile(userDocument);

        const HostRun result = RunHost(t, w, appFolder, local, work, file);
        // No hang: a run ends by itself, well within the time given.
        QVERIFY2(result.ended, "the run did not end");
        QVERIFY2(t.kind == DumpFolder || !result.crashed, qPrintable(result.output));

        const QByteArray now = VelaTest::ReadFile(file);
        const QFileInfo info(file);
        switch (t.kind) {
        case Saved:
            CheckSaved(t, w, placed, file, result);
            break;
        case Read:
            if (w == SymLink)
                QVERIFY(info.isSymLink() && now == seed);
            else if (w == Folder)
                QVERIFY(info.isDir() && QDir(file).isEmpty());
            else if (w == Missing)
                QVERIFY(!info.exists());
            else
                QCOMPARE(now, placed);
            CheckReadResult(t, w, placed, result, userDocumentBefore,
                            VelaTest::ReadFile(userDocument));
            break;
        case LogFolder:
            CheckLogFolder(w, file, placed, elsewhere, result);
            break;
        case DumpFolder:
            CheckDumpFolder(w, file, user, placed, elsewhere, result);
            break;
        }
    }

private:
    static QString MakeAppFolder(const QString &folder)
    {
        const QString from = VelaTest::AppFolder();
        QDir().mkpath(folder + "/settings");
        QFile::copy(from + "/velahost", folder + "/velahost");
        QFile::setPermissions(folder + "/velahost", QFile::permissions(from + "/velahost"));
        for (const QString &name : QDir(from + "/settings").entryList(QDir::Files))
            QFile::copy(from + "/settings/" + name, folder + "/settings/" + name);
        QFile::copy(from + "/AppFeatures.dll", folder + "/AppFeatures.dll");
        QFile::link(from + "/plugins", folder + "/plugins");
        QFile::link(from + "/brushpatterns", folder + "/brushpatterns");
        return folder;
    }

    static HostRun RunHost(const Target &t, World w, const QString &appFolder, const QString &local,
                           const QString &work, const QString &file)
    {
        QStringList arguments = t.probe;
        arguments.replaceInStrings("{file}", file);
        QString program = appFolder + "/velahost";
        if (w == FullDisk) {
            arguments.prepend(program);
            arguments =
                QStringList{"-m", "sh", "-c", fullDiskScript, "sh", local + "/Kelvane"} + arguments;
            program = "unshare";
        }
        QProcessEnvironment environment = VelaTest::WithLocalAppData(local);
        if (w == NoTemp) // the temporary folder is a file
            environment.insert("TMPDIR", program);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(work);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        HostRun run;
        run.ended = process.waitForFinished(20000);
        if (!run.ended) {
            process.kill();
            process.waitForFinished();
        }
        run.crashed = process.exitStatus() != QProcess::NormalExit;
        run.exitCode = process.exitCode();
        run.output = QString::fromLocal8Bit(process.readAll());
        if (w == FullDisk && run.exitCode == 97)
            qFatal("mounting a tmpfs in a mount namespace failed: the full-disk rows need root");
        return run;
    }

    // The probe's change reaches the file wherever the file can be written;
    // where it cannot, the file is left exactly as it was.
    static void CheckSaved(const Target &t, World w, const QByteArray &placed, const QString &file,
                           const HostRun &result)
    {
        // A preferences document that is a folder has no parameter to set.
        QCOMPARE(result.exitCode, w == Folder && t.path == QLatin1String("properties.xml"));
        const QFileInfo info(file);
        const QByteArray now = VelaTest::ReadFile(file);
        switch (w) {
        case Folder:
            QVERIFY(info.isDir() && QDir(file).isEmpty());
            break;
        case FullDisk:
            QCOMPARE(now, placed);
            break;
        case SymLink:
            QVERIFY(info.isSymLink());
            QVERIFY2(now.contains(t.written), now.constData());
            break;
        default:
            QVERIFY2(now.contains(t.written), now.constData());
            break;
        }
        // Nothing left behind beside it: no temporary or lock files.
        const QStringList others =
            QDir(info.path())
                .entryList({info.fileName() + ".*", "*.tmp", "*.lock"}, QDir::Files | QDir::Hidden);
        QVERIFY2(others.isEmpty(), qPrintable(others.join(' ')));
    }

    void CheckReadResult(const Target &t, World w, const QByteArray &placed, const HostRun &result,
                         const QByteArray &userDocumentBefore, const QByteArray &userDocumentAfter)
    {
        const bool readable = w == NoCreate || w == SymLink;
        const QString &out = result.output;
        if (t.path == QLatin1String("settings/properties.xml")) {
            // An unreadable default leaves the user's document as it is, and
            // loaded; a readable one of another version replaces it.
            QCOMPARE(result.exitCode, 0);
            if (readable) {
                QCOMPARE(userDocumentAfter, m_seeds.value(t.name));
                QVERIFY(!out.startsWith("/kept"));
            } else {
                QCOMPARE(userDocumentAfter, userDocumentBefore);
                QCOMPARE(out, QStringLiteral("/kept\n"));
            }
        } else if (t.path == QLatin1String("settings/units.ini")) {
            QCOMPARE(result.exitCode, 0);
            QCOMPARE(out.contains("standard"), readable);
        } else if (t.path == QLatin1String("settings/installsettings.ini")) {
            // The installer's language is taken on the first run.
            QCOMPARE(result.exitCode, 0);
            QVERIFY(out.contains("Stored language:"));
            QCOMPARE(out.contains(QRegularExpression("Stored language: +ru_RU")), readable);
        } else if (t.path == QLatin1String("AppFeatures.dll")) {
            // An opaque blob: whatever bytes are there.
            QCOMPARE(result.exitCode, 0);
            const int size = readable ? m_seeds.value(t.name).size() : placed.size();
            QVERIFY2(out.contains(QRegularExpression(
                         QStringLiteral("Features blob: +%1 bytes\n").arg(size))),
                     qPrintable(out));
        } else {
            // A stream without its header is refused as a whole; one cut off
            // gives the presets before the cut.
            QCOMPARE(result.exitCode, w == SymLink || w == Truncated ? 0 : 1);
            if (w != Truncated)
                QCOMPARE(out.contains(QRegularExpression("Presets in .*: [1-9]")), w == SymLink);
        }
    }

    // Each run starts its log in an emptied folder: every earlier .txt goes,
    // nothing else. Without a folder for it, messages go to the standard
    // streams.
    static void CheckLogFolder(World w, const QString &folder, const QByteArray &placed,
                               const QString &elsewhere, const HostRun &result)
    {
        QCOMPARE(result.exitCode, 0);
        const QRegularExpressionMatch log =
            QRegularExpression("^Log file: +(.*)$", QRegularExpression::MultilineOption)
                .match(result.output);
        QVERIFY(log.hasMatch());
        const QString logFile = log.captured(1);
        const QStringList logs = QDir(folder).entryList({"*.txt"}, QDir::Files | QDir::Hidden);
        switch (w) {
        case Missing:
        case Garbage:
        case FullDisk:
            QVERIFY2(QDir::cleanPath(logFile).startsWith(folder + '/'), qPrintable(logFile));
            QCOMPARE(logs, QStringList{QFileInfo(logFile).fileName()});
            // Every earlier .txt file goes, hidden or not, whoever made it;
            // nothing else does.
            QCOMPARE(QFileInfo::exists(folder + "/keep.log"), w == Garbage);
            QCOMPARE(QFileInfo(folder + "/folder.txt").isDir(), w == Garbage);
            if (w != FullDisk)
                QVERIFY(VelaTest::ReadFile(logFile).contains("Plugin: "));
            break;
        case Folder:
        case NoCreate:
            // Without a log file every message goes to the standard streams,
            // with its level in front.
            QVERIFY(logFile.isEmpty());
            QVERIFY2(result.output.contains("Debug: \"Build date="), qPrintable(result.output));
            if (w == Folder)
                QCOMPARE(VelaTest::ReadFile(folder), placed);
            else
                QVERIFY(!QFileInfo::exists(folder));
            break;
        case SymLink:
            QVERIFY(QFileInfo(folder).isSymLink());
            QCOMPARE(QDir(elsewhere + "/target").entryList({"*.txt"}, QDir::Files),
                     QStringList{QFileInfo(logFile).fileName()});
            break;
        default:
            QFAIL("no such world for a folder");
        }
    }

    // A crash leaves one dump, in the dumps folder where there can be one,
    // else in the per-user folder itself; older dumps go.
    static void CheckDumpFolder(World w, const QString &folder, const QString &user,
                                const QByteArray &placed, const QString &elsewhere,
                                const HostRun &result)
    {
        QVERIFY2(result.crashed || result.exitCode != 0, qPrintable(result.output));
        const QStringList dumps = QDir(folder).entryList({"*.dmp"}, QDir::Files);
        const QStringList inUser = QDir(user).entryList({"*.dmp"}, QDir::Files);
        switch (w) {
        case Missing:
            QCOMPARE(dumps.size(), 1);
            break;
        case Garbage:
            QCOMPARE(dumps.size(), 1);
            QVERIFY(!dumps.contains("old.dmp"));
            QVERIFY(QFileInfo::exists(folder + "/keep.log"));
            break;
        case Folder:
            QCOMPARE(VelaTest::ReadFile(folder), placed);
            QCOMPARE(inUser.size(), 1);
            break;
        case NoCreate:
            QVERIFY(!QFileInfo::exists(folder));
            QVERIFY(inUser.isEmpty());
            break;
        case FullDisk:
            break;
        case SymLink:
            QVERIFY(QFileInfo(folder).isSymLink());
            QCOMPARE(QDir(elsewhere + "/target").entryList({"*.dmp"}, QDir::Files).size(), 1);
            break;
        default:
            QFAIL("no such world for a folder");
        }
    }

    QHash<QString, QByteArray> m_seeds;
};

VELA_TEST_MAIN(TestFileFaults)
#include "tst_filefaults.moc"
