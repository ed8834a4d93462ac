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

#include <QImage>

#include <functional>
#include <stdexcept>

using Record = VLIOManager::RecentRecord;
using Sizes = QList<QSize>;
using Bytes = QList<qint64>;
// The recent list's stored form: big-endian counts, UTF-16BE text.
using VelaTest::BigEndian;
using VelaTest::ReadFile;
using VelaTest::StreamString;

class TestIOManager : public QObject
{
    Q_OBJECT

    QStringList m_loaded;

    // The files of the per-user data folder.
    const QString m_folder = VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/";
    const QString m_recent = m_folder + "settings.ini";
    const QString m_resolutions = m_folder + "ExportAndShareResolution.ini";
    const QString m_sizes = m_folder + "ExportAndShareSize.ini";

    QVariant stored(const QString &key) const
    {
        return QSettings(m_recent, QSettings::IniFormat).value("Recent/" + key);
    }
    static QByteArray record(QString first, QString second)
    {
        return StreamString(first) + StreamString(second);
    }
    static Record numbered(int i) { return {QStringLiteral("/images/%1.png").arg(i), "PNG"}; }

    // The manager of a start with exactly these plug-ins loaded, in order.
    VLIOManager *startWith(const QStringList &files)
    {
        VLIOManager::ReleaseInstance();
        VLPluginLoader *loader = VLPluginLoader::Instance();
        loader->UnloadPlugins(loader->GetLoadList());
        m_loaded = loader->LoadPlugins(files);
        VLIOManager::InitInstance();
        return m_loaded.size() == files.size() ? VLIOManager::Instance() : nullptr;
    }

    template<typename Interface>
    Interface *tool(int plugin, int index) const
    {
        auto *container = qobject_cast<IToolContainer *>(
            VLPluginLoader::Instance()->GetPlugin(m_loaded.at(plugin)));
        return qobject_cast<Interface *>(container->GetTools().at(index));
    }

    // Starts the application data again on these export-list files; a null
    // array: no file.
    void restart(const QByteArray &resolutions = {}, const QByteArray &sizes = {})
    {
        VLIOManager::ReleaseInstance();
        GlobalApplicationData::ReleaseInstance();
        QFile::remove(m_resolutions);
        QFile::remove(m_sizes);
        if (!resolutions.isNull())
            VelaTest::WriteFile(m_resolutions, resolutions);
        if (!sizes.isNull())
            VelaTest::WriteFile(m_sizes, sizes);
        GlobalApplicationData::InitInstance();
    }

    // A user file the way a user's text editor might leave it; a null value
    // leaves a gap.
    static QByteArray userFile(const char *group, const QStringList &values)
    {
        QByteArray text = QByteArray("[General]\nVersion = 0.9\n\n[") + group + "]\n";
        for (int i = 0; i < values.size(); ++i)
            if (!values.at(i).isNull())
                text += QByteArray::number(i) + " = " + values.at(i).toUtf8() + '\n';
        return text;
    }

    // The bytes a save writes: the version, then the group's "key=value" lines.
    static QByteArray saved(const char *group, const QStringList &lines)
    {
        return QByteArray("[General]\nVersion=2.3.0\n\n[") + group + "]\n"
               + lines.join('\n').toUtf8() + '\n';
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
        QCOMPARE(manager->GetInput("BothIn"), tool<IInput>(0, 4));
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
        // The sample plug-in's readers and writers, as the host's "io" run lists them.
        QImage image(5, 3, QImage::Format_RGB32);
        image.fill(qRgb(40, 80, 200));
        image.setPixel(4, 2, qRgb(250, 0, 0));
        for (const QString format : {"BMP", "JPEG", "PNG"}) {
            QBuffer buffer;
            QVERIFY(buffer.open(QIODevice::ReadWrite));
            QVERIFY(manager->GetOutput(format)->Write(image, &buffer));
            buffer.seek(0);
            const QImage read = manager->GetInput(format)->Read(&buffer);
            QCOMPARE(read.size(), image.size());
            if (format != "JPEG")
                QCOMPARE(read.convertToFormat(QImage::Format_RGB32), image);
        }
    }

    // Each row is stored with limit 20 and read by a fresh start.
    void load_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("saved"); // what the next save writes
        const QByteArray empty14 = record("", "").repeated(14);

        QByteArray first15, last5;
        for (int i = 0; i < 20; ++i)
            (i < 15 ? first15 : last5) += record(numbered(i).first, numbered(i).second);
        QTest::newRow("20 records")
            << QVariant(BigEndian(20) + first15 + last5) << BigEndian(15) + first15;
        QTest::newRow("negative count")
            << QVariant(BigEndian(0x80000000) + record("a", "b")) << BigEndian(0);
        // Records past the end of the data read as empty: 15 at most.
        QTest::newRow("count 2^31-1") << QVariant(BigEndian(0x7fffffff) + record("a", "b"))
                                      << BigEndian(15) + record("a", "b") + empty14;
        QTest::newRow("string claims 4 GB")
            << QVariant(BigEndian(1) + BigEndian(0xfffffffe) + QByteArray(64, 'z'))
            << BigEndian(1) + record(QString(), "");
    }

    void load()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, saved);

        VLIOManager::ReleaseInstance();
        {
            QSettings settings(m_recent, QSettings::IniFormat);
            settings.setValue("Recent/RecentFiles", value);
            settings.setValue("Recent/RecentLimit", 20);
        }
        // A claimed length is never allocated ahead of the data.
        VelaAllocationProbe::Start();
        VLIOManager::InitInstance();
        const std::size_t largest = VelaAllocationProbe::Stop();
        QVERIFY2(largest < 64 * 1024, qPrintable(QString::number(largest)));
        QCOMPARE(VLIOManager::Instance()->GetRecentLimit(), 15);
        // Whatever was read is what the next save writes.
        VLIOManager::ReleaseInstance();
        QCOMPARE(stored("RecentFiles").toByteArray(), saved);
    }

    void addAndLimitRules()
    {
        QFile::remove(m_recent);
        VLIOManager *manager = startWith({});
        QSignalSpy changed(manager, &VLIOManager::RecentListChanged);
        for (int i = 0; i < 15; ++i)
            manager->AddToRecent(numbered(i));
        // A comment of the user's, which any save by QSettings would drop.
        QByteArray text;
        const auto editByHand = [&] {
            text = "; kept by hand\n" + ReadFile(m_recent);
            QVERIFY(VelaTest::WriteFile(m_recent, text));
        };
        // The newest again, the same limit and a negative one: no change.
        editByHand();
        manager->AddToRecent(numbered(14));
        manager->SetRecentListLimit(15);
        manager->SetRecentListLimit(-1);
        QCOMPARE(changed.count(), 15);
        QCOMPARE(ReadFile(m_recent), text);

        // An equal older entry moves to the front; same first with other
        // second, or other case, is a new entry and the oldest goes.
        manager->AddToRecent(numbered(3));
        QCOMPARE(manager->GetRecent().mid(0, 2), QList<Record>({numbered(3), numbered(14)}));
        QCOMPARE(manager->GetRecent().count(numbered(3)), 1);
        manager->AddToRecent({numbered(3).first, "JPEG"});
        manager->AddToRecent({numbered(3).first.toUpper(), "JPEG"});
        QCOMPARE(changed.count(), 18);
        QCOMPARE(manager->GetRecent().size(), 15);
        QCOMPARE(manager->GetRecent().last(), numbered(2));

        // A decrease cuts to the newest entries and is announced, even one
        // that drops nothing; raising is silent.
        manager->SetRecentListLimit(4);
        QCOMPARE(manager->GetRecent().mid(2), QList<Record>({numbered(3), numbered(14)}));
        manager->SetRecentListLimit(10);
        manager->SetRecentListLimit(8);
        QCOMPARE(changed.count(), 20);
        QCOMPARE(manager->GetRecent().size(), 4);
        // The limit reaches the file only with the next save.
        QCOMPARE(stored("RecentLimit").toInt(), 15);
        manager->AddToRecent(numbered(16));
        QCOMPARE(stored("RecentLimit").toInt(), 8);

        // Limit 0: the list empties and takes nothing new.
        manager->SetRecentListLimit(0);
        editByHand();
        manager->AddToRecent(numbered(17));
        QCOMPARE(changed.count(), 22);
        QVERIFY(manager->GetRecent().isEmpty());
        QCOMPARE(ReadFile(m_recent), text);
    }

    void firstStartSeedsThenNoLists()
    {
        // A first start: the valid defaults, saved as the user's own lists.
        restart();
        QCOMPARE(VLExportResolutions::GetList(),
                 Sizes({QSize(800, 600), QSize(1920, 1080), QSize(1024, 768)}));
        QCOMPARE(ReadFile(m_resolutions),
                 saved("Resolutions", {"0=800x600", "1=1920x1080", "2=1024x768"}));
        QCOMPARE(VLExportSizes::GetList(), Bytes({1048576, 5242880}));
        VLExportSizes::Remove(0);
        QCOMPARE(ReadFile(m_sizes), saved("Sizes", {"0=5242880"}));

        // The lists go with the application data object; without them the
        // calls answer -1 and touch nothing.
        GlobalApplicationData::ReleaseInstance();
        QVERIFY(!VLExportResolutions::GetInstance() && !VLExportSizes::GetInstance());
        QFile::remove(m_resolutions);
        QFile::remove(m_sizes);
        QCOMPARE(QList<int>({VLExportResolutions::GetSize(), VLExportResolutions::Add({1, 1})}),
                 QList<int>({-1, -1}));
        QCOMPARE(VLExportResolutions::Get(0), QSize(-1, -1));
        QCOMPARE(Bytes({VLExportSizes::GetSize(), VLExportSizes::Add(1), VLExportSizes::Get(0)}),
                 Bytes({-1, -1, -1}));
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

    // Files with a version are taken as they are: no defaults, no save on
    // loading or on setting an equal value. Refused entries are skipped, a
    // gap ends the list.
    void userFilesTakenAsTheyAre()
    {
        const QByteArray resolutions =
            userFile("Resolutions", {"1920 x 1080", "1x1", "10000x10000", "10001x5", "5x10001",
                                     "1x2x3", "800x400", QString(), "1024x768"});
        const QByteArray noEntries = "[General]\nVersion=7\n";
        restart(resolutions, noEntries);
        QCOMPARE(VLExportResolutions::GetList(),
                 Sizes({QSize(1920, 1080), QSize(1, 1), QSize(10000, 10000), QSize(800, 400)}));
        QCOMPARE(VLExportSizes::GetSize(), 0);
        VLExportResolutions::Set(1, QSize(1, 1));
        QCOMPARE(ReadFile(m_resolutions), resolutions);
        QCOMPARE(ReadFile(m_sizes), noEntries);
        // The list need not be sorted: the search stops at the first greater
        // width. The save removes the keys from the list's length up to the
        // number of keys (8): key 8 stays.
        QCOMPARE(VLExportResolutions::Add(QSize(1000, 1)), 0);
        QCOMPARE(ReadFile(m_resolutions),
                 saved("Resolutions", {"0=1000x1", "1=1920x1080", "2=1x1", "3=10000x10000",
                                       "4=800x400", "8=1024x768"}));

        const QByteArray sizes = userFile(
            "Sizes", {" 42 ", "9223372036854775807", "0", "-5", "9223372036854775808", "x", "7"});
        restart(QByteArray(), sizes);
        QCOMPARE(VLExportSizes::GetList(), Bytes({42, Q_INT64_C(9223372036854775807), 7}));
        VLExportSizes::Set(2, 7);
        QCOMPARE(ReadFile(m_sizes), sizes);
    }

    void changesAreAnnouncedAndSaved()
    {
        restart(userFile("Resolutions", {"640x480", "800x400", "1024x768"}),
                userFile("Sizes", {"100", "200", "300"}));
        auto *resolutions = VLExportResolutions::GetInstance();
        auto *sizes = VLExportSizes::GetInstance();
        QStringList seen; // the signals of both lists, in order
        const auto note = [&seen](const QString &what) {
            return [&seen, what](int index) { seen << what + QString::number(index); };
        };
        QObject::connect(resolutions, &VLExportResolutions::Inserted, note("inserted "));
        QObject::connect(resolutions, &VLExportResolutions::Changhed, note("changed "));
        QObject::connect(resolutions, &VLExportResolutions::Removed, note("removed "));
        QObject::connect(sizes, &VLExportSizes::Inserted, note("size inserted "));
        QObject::connect(sizes, &VLExportSizes::Changhed, note("size changed "));
        QObject::connect(sizes, &VLExportSizes::Removed, note("size removed "));

        // A sorted insert goes after the entries of equal width or value; a
        // size compares as a whole 64-bit value.
        QCOMPARE(VLExportResolutions::Add(QSize(800, 600)), 2);
        QCOMPARE(VLExportResolutions::Add(QSize(4000, 1)), 4);
        QCOMPARE(VLExportSizes::Add(200), 2);
        QCOMPARE(VLExportSizes::Add(Q_INT64_C(0x100000064)), 4);
        // Indexes are clamped by an insert and ignored elsewhere; values are
        // kept unchecked; an equal value is no change.
        VLExportResolutions::Add(-5, QSize(1, 1));
        VLExportResolutions::Add(1000, QSize(0, 20000));
        VLExportResolutions::Set(1, QSize(640, 481));
        VLExportResolutions::Set(1, QSize(640, 481));
        VLExportResolutions::Remove(2);
        VLExportResolutions::Set(6, QSize(1, 1));
        VLExportResolutions::Remove(-1);
        VLExportSizes::Add(-1, 5);
        VLExportSizes::Add(99, -7);
        VLExportSizes::Set(1, 150);
        VLExportSizes::Remove(2);

        QCOMPARE(seen, QStringList({"inserted 2", "inserted 4", "size inserted 2",
                                    "size inserted 4", "inserted 0", "inserted 6", "changed 1",
                                    "removed 2", "size inserted 0", "size inserted 6",
                                    "size changed 1", "size removed 2"}));
        QCOMPARE(ReadFile(m_resolutions),
                 saved("Resolutions",
                       {"0=1x1", "1=640x481", "2=800x600", "3=1024x768", "4=4000x1", "5=0x20000"}));
        QCOMPARE(ReadFile(m_sizes),
                 saved("Sizes", {"0=5", "1=150", "2=200", "3=300", "4=4294967396", "5=-7"}));

        // Both bounds are checked; each list names itself.
        QCOMPARE(VLExportResolutions::Get(5), QSize(0, 20000));
        QCOMPARE(VLExportSizes::Get(0), Q_INT64_C(5));
        QStringList thrown;
        for (const auto &get : {std::function<void()>([] { VLExportResolutions::Get(6); }),
                                std::function<void()>([] { VLExportSizes::Get(-1); })}) {
            try {
                get();
            } catch (const std::out_of_range &error) {
                thrown << error.what();
            }
        }
        QCOMPARE(thrown,
                 QStringList({"resolution index is out of range", "size index is out of range"}));
    }
};

VELA_TEST_MAIN(TestIOManager)
#include "tst_iomanager.moc"
