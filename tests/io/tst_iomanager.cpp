// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GlobalApplicationData.h"
#include "IInput.h"
#include "IOutput.h"
#include "IToolContainer.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "VLIOManager.h"
#include "VLPluginLoader.h"
#include "VelaAllocationProbe.h"
#include "VelaTestSupport.h"

#include <stdexcept>

using namespace VelaTest;
using Record = VLIOManager::RecentRecord;

class TestIOManager : public QObject
{
    Q_OBJECT

    // The files of the per-user data folder.
    const QString m_folder = Sandbox::Current()->LocalAppData() + "/Kelvane/";
    const QString m_recent = m_folder + "settings.ini";
    const QString m_resolutions = m_folder + "ExportAndShareResolution.ini";
    const QString m_sizes = m_folder + "ExportAndShareSize.ini";

    QSettings recentFile() const { return QSettings(m_recent, QSettings::IniFormat); }
    // A stored record: big-endian byte counts, UTF-16BE text.
    static QByteArray record(QString a, QString b) { return StreamString(a) + StreamString(b); }
    static Record numbered(int i) { return {QStringLiteral("/images/%1.png").arg(i), "PNG"}; }

    // The manager of a start with exactly these plug-ins loaded, in order.
    VLIOManager *startWith(const QStringList &files)
    {
        VLIOManager::ReleaseInstance();
        VLPluginLoader::Instance()->UnloadPlugins(VLPluginLoader::Instance()->GetLoadList());
        const bool loaded = VLPluginLoader::Instance()->LoadPlugins(files).size() == files.size();
        VLIOManager::InitInstance();
        return loaded ? VLIOManager::Instance() : nullptr;
    }

    template<typename Interface>
    static Interface *tool(int plugin, int index)
    {
        auto *container =
            qobject_cast<IToolContainer *>(VLPluginLoader::Instance()->GetPlugins().at(plugin));
        return qobject_cast<Interface *>(container->GetTools().at(index));
    }

    // Ends the application data and starts it again, unless told not to, on
    // these export-list files; a null array: no file.
    void restart(const QByteArray &resolutions = {}, const QByteArray &sizes = {},
                 bool start = true)
    {
        VLIOManager::ReleaseInstance();
        GlobalApplicationData::ReleaseInstance();
        for (const auto &[path, bytes] : {std::pair(m_resolutions, resolutions), {m_sizes, sizes}})
            bytes.isNull() ? void(QFile::remove(path)) : void(WriteFile(path, bytes));
        if (start)
            GlobalApplicationData::InitInstance();
    }

    // An export-list file as a save writes it: the version, then the group's
    // "key=value" lines.
    static QByteArray ini(const char *group, const QStringList &keys, QByteArray v = "2.3.0")
    {
        return "[General]\nVersion=" + v + "\n\n[" + group + "]\n" + keys.join('\n').toUtf8()
               + '\n';
    }

private Q_SLOTS:
    void initTestCase()
    {
        GlobalApplicationData::InitInstance();
        VLPluginLoader::InitInstance();
    }

    // The registry points into the plug-ins: it goes before they do.
    void cleanup() { startWith({}); }

    void cleanupTestCase()
    {
        VLIOManager::ReleaseInstance();
        VLPluginLoader::ReleaseInstance();
        GlobalApplicationData::ReleaseInstance();
    }

    void scan()
    {
        VLIOManager *manager = startWith({});
        QVERIFY(manager->GetInputs().isEmpty() && manager->GetOutputs().isEmpty());
        // A plug-in container and a container of brush factories are passed over.
        manager = startWith({VELA_TEST_IO_TOOLS, VELA_PLUGIN_CONTAINER, VELA_BRUSH_TOOLS});
        QVERIFY(manager);
        QCOMPARE(manager->GetInputs(), QStringList({"BothIn", "PNG", "Same"}));
        QCOMPARE(manager->GetOutputs(), QStringList({"BothOut", "OnlyOut"}));
        QCOMPARE(manager->GetOutput("BothOut"), tool<IOutput>(0, 4));
        // Of two tools of one name the last one met wins.
        QCOMPARE(manager->GetInput("Same"), tool<IInput>(0, 5));
        // Names are exact: a writer's name finds no reader, case counts.
        QVERIFY(!manager->GetInput("BothOut") && !manager->GetInput("same"));
        // Plug-ins loaded later are not seen, not even by a second InitInstance.
        QCOMPARE(VLPluginLoader::Instance()->LoadPlugins({VELA_IMAGE_IO_PLUGIN}).size(), 1);
        VLIOManager::InitInstance();
        QCOMPARE(VLIOManager::Instance(), manager);
        QCOMPARE(manager->GetInput("PNG"), tool<IInput>(0, 6));

        // Plug-in order comes before tool order: the sample plug-in's "PNG".
        manager = startWith({VELA_TEST_IO_TOOLS, VELA_IMAGE_IO_PLUGIN});
        QVERIFY(manager);
        QCOMPARE(manager->GetInput("PNG"), tool<IInput>(1, 0));
        // The sample plug-in's lossless readers and writers.
        QImage image(5, 3, QImage::Format_RGB32);
        image.fill(qRgb(40, 80, 200));
        for (const QString format : {"BMP", "PNG"}) {
            QBuffer buffer;
            QVERIFY(buffer.open(QIODevice::ReadWrite));
            QVERIFY(manager->GetOutput(format)->Write(image, &buffer) && buffer.seek(0));
            QCOMPARE(manager->GetInput(format)->Read(&buffer).convertToFormat(image.format()),
                     image);
        }
    }

    // Each row is stored with limit 20 and read by a fresh start.
    void load_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("saved"); // what the next save writes
        QByteArray first15, last5;
        for (int i = 0; i < 20; ++i)
            (i < 15 ? first15 : last5) += record(numbered(i).first, numbered(i).second);
        QTest::newRow("20 records") << BigEndian(20) + first15 + last5 << BigEndian(15) + first15;
        QTest::newRow("negative count") << BigEndian(0x80000000) + record("a", "b") << BigEndian(0);
        // Records past the end of the data read as empty: 15 at most.
        QTest::newRow("count 2^31-1")
            << BigEndian(0x7fffffff) + record("a", "b")
            << BigEndian(15) + record("a", "b") + record("", "").repeated(14);
        // A string of odd length reads as null and the reads go on after
        // its length.
        QTest::newRow("odd length")
            << BigEndian(2) + BigEndian(1) + record("b", "B") + record("c", "C")
            << BigEndian(2) + record(QString(), "b") + record("B", "c");
        QTest::newRow("string claims 4 GB")
            << BigEndian(1) + BigEndian(0xfffffffe) + QByteArray(64, 'z')
            << BigEndian(1) + record(QString(), "");
    }

    void load()
    {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, saved);

        VLIOManager::ReleaseInstance();
        recentFile().setValue("Recent/RecentFiles", value);
        recentFile().setValue("Recent/RecentLimit", 20);
        // A claimed length is never allocated ahead of the data.
        VelaAllocationProbe::Start();
        VLIOManager::InitInstance();
        QVERIFY(VelaAllocationProbe::Stop() < 64 * 1024);
        QCOMPARE(VLIOManager::Instance()->GetRecentLimit(), 15);
        // Whatever was read is what the next save writes.
        VLIOManager::ReleaseInstance();
        QCOMPARE(recentFile().value("Recent/RecentFiles").toByteArray(), saved);
    }

    void addAndLimitRules()
    {
        QFile::remove(m_recent);
        VLIOManager *manager = startWith({});
        QSignalSpy changed(manager, &VLIOManager::RecentListChanged);
        for (int i = 0; i < 15; ++i)
            manager->AddToRecent(numbered(i));
        // A comment of the user's, which any save by QSettings would drop.
        QByteArray text = "; kept by hand\n" + ReadFile(m_recent);
        QVERIFY(WriteFile(m_recent, text));
        // The newest again, the same limit and a negative one: no change.
        manager->AddToRecent(numbered(14));
        manager->SetRecentListLimit(15);
        manager->SetRecentListLimit(-1);
        QCOMPARE(changed.count(), 15);
        QCOMPARE(ReadFile(m_recent), text);

        // An equal older entry moves to the front; same first with other
        // second, or other case, is a new entry and the oldest goes.
        manager->AddToRecent(numbered(3));
        manager->AddToRecent({numbered(3).first, "JPEG"});
        manager->AddToRecent({numbered(3).first.toUpper(), "JPEG"});
        QCOMPARE(changed.count(), 18);
        QCOMPARE(manager->GetRecent().mid(14), QList<Record>({numbered(2)}));

        // A decrease cuts to the newest entries and is announced, even one
        // that drops nothing; raising is silent.
        manager->SetRecentListLimit(4);
        QCOMPARE(manager->GetRecent().mid(2), QList<Record>({numbered(3), numbered(14)}));
        manager->SetRecentListLimit(10);
        manager->SetRecentListLimit(8);
        QCOMPARE(changed.count(), 20);
        // The limit reaches the file only with the next save.
        QCOMPARE(recentFile().value("Recent/RecentLimit").toInt(), 15);
        manager->AddToRecent(numbered(16));
        QCOMPARE(recentFile().value("Recent/RecentLimit").toInt(), 8);

        // Limit 0: the list empties and takes nothing new.
        manager->SetRecentListLimit(0);
        text = "; kept by hand\n" + ReadFile(m_recent);
        QVERIFY(WriteFile(m_recent, text));
        manager->AddToRecent(numbered(17));
        QCOMPARE(changed.count(), 22);
        QVERIFY(manager->GetRecent().isEmpty());
        QCOMPARE(ReadFile(m_recent), text);
    }

    // A first start seeds both lists with the valid defaults and saves them as
    // the user's own; every change after that is announced and saved.
    void firstStartThenChanges()
    {
        restart();
        QCOMPARE(ReadFile(m_resolutions),
                 ini("Resolutions", {"0=800x600", "1=1920x1080", "2=1024x768"}));
        QCOMPARE(ReadFile(m_sizes), ini("Sizes", {"0=1048576", "1=5242880"}));

        QStringList seen; // the signals of both lists, in order
        const auto note = [&seen](auto *list, auto signal, const QString &what) {
            QObject::connect(list, signal, [=, &seen](int i) { seen << what.arg(i); });
        };
        note(VLExportResolutions::GetInstance(), &VLExportResolutions::Inserted, "inserted %1");
        note(VLExportResolutions::GetInstance(), &VLExportResolutions::Changhed, "changed %1");
        note(VLExportResolutions::GetInstance(), &VLExportResolutions::Removed, "removed %1");
        note(VLExportSizes::GetInstance(), &VLExportSizes::Inserted, "size inserted %1");
        note(VLExportSizes::GetInstance(), &VLExportSizes::Changhed, "size changed %1");
        note(VLExportSizes::GetInstance(), &VLExportSizes::Removed, "size removed %1");

        // A sorted insert goes after the entries of equal width or value, at
        // the end when none is greater; a size compares as a whole 64-bit value.
        QCOMPARE(VLExportResolutions::Add(QSize(800, 1)), 1);
        QCOMPARE(VLExportSizes::Add(Q_INT64_C(0x100000064)), 2);
        QCOMPARE(VLExportSizes::Add(5242880), 2);
        // Indexes are clamped by an insert and ignored elsewhere; values are
        // kept unchecked; an equal value is no change.
        VLExportResolutions::Add(-5, QSize(1, 1));
        VLExportResolutions::Add(1000, QSize(0, 20000));
        VLExportResolutions::Remove(2);
        VLExportResolutions::Set(1, QSize(640, 481));
        VLExportResolutions::Set(1, QSize(640, 481));
        VLExportResolutions::Set(5, QSize(1, 1));
        VLExportResolutions::Remove(-1);
        VLExportSizes::Add(99, -7);
        VLExportSizes::Set(1, 150);
        VLExportSizes::Remove(0);

        QCOMPARE(seen, QStringList({"inserted 1", "size inserted 2", "size inserted 2",
                                    "inserted 0", "inserted 5", "removed 2", "changed 1",
                                    "size inserted 4", "size changed 1", "size removed 0"}));
        QCOMPARE(ReadFile(m_resolutions), ini("Resolutions", {"0=1x1", "1=640x481", "2=1920x1080",
                                                              "3=1024x768", "4=0x20000"}));
        QCOMPARE(ReadFile(m_sizes), ini("Sizes", {"0=150", "1=5242880", "2=4294967396", "3=-7"}));

        // Both bounds are checked; each list names itself.
        QCOMPARE(VLExportResolutions::Get(4), QSize(0, 20000));
        QStringList thrown;
        for (const bool sizeList : {false, true}) {
            try {
                sizeList ? void(VLExportSizes::Get(-1)) : void(VLExportResolutions::Get(5));
            } catch (const std::out_of_range &error) {
                thrown << error.what();
            }
        }
        QCOMPARE(thrown,
                 QStringList({"resolution index is out of range", "size index is out of range"}));
    }

    // Files with a version are taken as they are: no defaults, no save on
    // loading or on setting an equal value. Refused entries are skipped, a
    // gap ends the list.
    void userFilesThenNoLists()
    {
        const QByteArray resolutions = ini("Resolutions",
                                           {"0=1920 x 1080", "1=1x1", "2=10000x10000", "3=10001x5",
                                            "4=5x10001", "5=1x2x3", "6=800x400", "8=1024x768"},
                                           "0.9");
        const QByteArray noEntries = "[General]\nVersion=7\n";
        restart(resolutions, noEntries);
        QCOMPARE(VLExportResolutions::GetList(),
                 QList<QSize>({{1920, 1080}, {1, 1}, {10000, 10000}, {800, 400}}));
        QCOMPARE(VLExportSizes::GetSize(), 0);
        VLExportResolutions::Set(1, QSize(1, 1));
        QCOMPARE(ReadFile(m_resolutions), resolutions);
        QCOMPARE(ReadFile(m_sizes), noEntries);
        // The list need not be sorted: the search stops at the first greater
        // width. The save removes the keys from the list's length up to the
        // number of keys (8): key 8 stays.
        QCOMPARE(VLExportResolutions::Add(QSize(1000, 1)), 0);
        QCOMPARE(ReadFile(m_resolutions),
                 ini("Resolutions", {"0=1000x1", "1=1920x1080", "2=1x1", "3=10000x10000",
                                     "4=800x400", "8=1024x768"}));
        // Sizes are read as 64-bit numbers from 1 up; one that does not fit is
        // skipped.
        restart({}, ini("Sizes", {"0=9223372036854775807", "1=1", "2=9223372036854775808"}));
        QCOMPARE(VLExportSizes::GetList(), QList<qint64>({Q_INT64_C(9223372036854775807), 1}));

        // The lists go with the application data object; without them the
        // calls answer -1 and touch nothing.
        restart({}, {}, false);
        QVERIFY(!VLExportResolutions::GetInstance() && !VLExportSizes::GetInstance());
        QCOMPARE(VLExportResolutions::Get(0), QSize(-1, -1));
        QCOMPARE(
            QList<qint64>({VLExportResolutions::GetSize(), VLExportResolutions::Add({1, 1}),
                           VLExportSizes::GetSize(), VLExportSizes::Add(1), VLExportSizes::Get(0)}),
            QList<qint64>({-1, -1, -1, -1, -1}));
        VLExportResolutions::Add(0, QSize(1, 1));
        VLExportResolutions::Set(0, QSize(1, 1));
        VLExportResolutions::Remove(0);
        VLExportSizes::Add(0, 1);
        VLExportSizes::Set(0, 1);
        VLExportSizes::Remove(0);
        QVERIFY(VLExportResolutions::GetList().isEmpty() && VLExportSizes::GetList().isEmpty());
        QVERIFY(!QFile::exists(m_resolutions) && !QFile::exists(m_sizes));
        // The I/O manager made again by cleanup() finds its data folder.
        GlobalApplicationData::InitInstance();
    }
};

VELA_TEST_MAIN(TestIOManager)
#include "tst_iomanager.moc"
