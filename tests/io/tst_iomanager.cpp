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

namespace {

QString settingsFile()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/" + QDir::separator()
           + "settings.ini";
}

QVariant stored(const QString &key)
{
    return QSettings(settingsFile(), QSettings::IniFormat).value("Recent/" + key);
}

// The stored form: big-endian counts, UTF-16BE text.
using VelaTest::BigEndian;
using VelaTest::StreamString;

QByteArray record(const QString &first, const QString &second)
{
    return StreamString(first) + StreamString(second);
}

Record numbered(int i)
{
    return {QStringLiteral("/images/%1.png").arg(i), QStringLiteral("PNG")};
}

QByteArray numberedRecords(int from, int count)
{
    QByteArray bytes;
    for (int i = from; i < from + count; ++i)
        bytes += record(numbered(i).first, numbered(i).second);
    return bytes;
}

QString resolutionFile()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/ExportAndShareResolution.ini";
}

QString sizeFile()
{
    return VelaTest::Sandbox::Current()->LocalAppData() + "/Kelvane/ExportAndShareSize.ini";
}

// Restarts the application data on these user files; a null array: no file.
void restart(const QByteArray &resolutions = QByteArray(), const QByteArray &sizes = QByteArray())
{
    VLIOManager::ReleaseInstance();
    GlobalApplicationData::ReleaseInstance();
    QFile::remove(resolutionFile());
    QFile::remove(sizeFile());
    if (!resolutions.isNull())
        VelaTest::WriteFile(resolutionFile(), resolutions);
    if (!sizes.isNull())
        VelaTest::WriteFile(sizeFile(), sizes);
    GlobalApplicationData::InitInstance();
}

// A user file the way a user's text editor might leave it.
QByteArray userFile(const char *group, const QStringList &values)
{
    QByteArray text = QByteArray("[General]\nVersion = 0.9\n\n[") + group + "]\n";
    for (int i = 0; i < values.size(); ++i)
        text += QByteArray::number(i) + " = " + values.at(i).toUtf8() + '\n';
    return text;
}

// The bytes a save writes: the version, then the group's "key=value" lines.
QByteArray saved(const char *group, const QStringList &lines)
{
    return QByteArray("[General]\nVersion=2.3.0\n\n[") + group + "]\n" + lines.join('\n').toUtf8()
           + '\n';
}

QString exceptionText(const std::function<void()> &call)
{
    try {
        call();
    } catch (const std::out_of_range &error) {
        return QString::fromLatin1(error.what());
    }
    return QString();
}

} // namespace

class TestIOManager : public QObject
{
    Q_OBJECT

    QStringList m_loaded;

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

    // A manager of a start without plug-ins or a stored recent list.
    VLIOManager *freshRecentList()
    {
        QFile::remove(settingsFile());
        return startWith({});
    }

    VLIOManager *filled(int count)
    {
        for (int i = 0; i < count; ++i)
            VLIOManager::Instance()->AddToRecent(numbered(i));
        return VLIOManager::Instance();
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
        manager = startWith(
            {VELA_TEST_IO_TOOLS_1, VELA_PLUGIN_CONTAINER, VELA_BRUSH_TOOLS, VELA_TEST_IO_TOOLS_2});
        QVERIFY(manager);
        QCOMPARE(manager->GetInputs(), QStringList({"Alpha", "BothIn", "Same"}));
        QCOMPARE(manager->GetOutputs(), QStringList({"BothOut", "OnlyOut"}));
        QCOMPARE(manager->GetInput(QStringLiteral("BothIn")), tool<IInput>(0, 4));
        QCOMPARE(manager->GetOutput(QStringLiteral("BothOut")), tool<IOutput>(0, 4));
        QCOMPARE(manager->GetOutput(QStringLiteral("OnlyOut")), tool<IOutput>(0, 3));
        // Names are exact: a writer's name finds no reader, case counts.
        QVERIFY(!manager->GetInput("BothOut"));
        QVERIFY(!manager->GetInput("same"));

        // Plug-ins loaded later are not seen, not even by a second InitInstance.
        QCOMPARE(VLPluginLoader::Instance()->LoadPlugins({VELA_IMAGE_IO_PLUGIN}).size(), 1);
        VLIOManager::InitInstance();
        QCOMPARE(VLIOManager::Instance(), manager);
        QVERIFY(!manager->GetInput("PNG"));
    }

    // Plug-in order first, then the order of the tools.
    void sameNameLastMetWins()
    {
        QVERIFY(startWith({VELA_TEST_IO_TOOLS_1, VELA_TEST_IO_TOOLS_2}));
        QCOMPARE(VLIOManager::Instance()->GetInput(QStringLiteral("Same")), tool<IInput>(1, 1));
        QVERIFY(startWith({VELA_TEST_IO_TOOLS_2, VELA_TEST_IO_TOOLS_1}));
        QCOMPARE(VLIOManager::Instance()->GetInput(QStringLiteral("Same")), tool<IInput>(1, 0));
    }

    void sampleImagePlugin()
    {
        VLIOManager *manager = startWith({VELA_IMAGE_IO_PLUGIN});
        QVERIFY(manager);
        // The host's "io" run lists these readers and writers.
        const QStringList formats = {"BMP", "JPEG", "PNG"};

        QImage image(5, 3, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(40 * x, 80 * y, 200));
        for (const QString &format : formats) {
            QBuffer buffer;
            QVERIFY(buffer.open(QIODevice::ReadWrite));
            QVERIFY(manager->GetOutput(format)->Write(image, &buffer));
            buffer.seek(0);
            const QImage read = manager->GetInput(format)->Read(&buffer);
            QCOMPARE(read.size(), image.size());
            if (format != QLatin1String("JPEG"))
                QCOMPARE(read.convertToFormat(QImage::Format_RGB32), image);
            // Each reader keeps to its own format.
            buffer.seek(0);
            const QString other = format == QLatin1String("BMP") ? "PNG" : "BMP";
            QVERIFY(manager->GetInput(other)->Read(&buffer).isNull());
        }
    }

    // Each row is stored with limit 20 and read by a fresh start.
    void load_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("saved"); // what the next save writes
        const QByteArray empty15 = record("", "").repeated(14);

        QTest::newRow("20 records") << QVariant(BigEndian(20) + numberedRecords(0, 20))
                                    << BigEndian(15) + numberedRecords(0, 15);
        QTest::newRow("count cut short") << QVariant(QByteArray("\0\0", 2)) << BigEndian(0);
        QTest::newRow("negative count")
            << QVariant(BigEndian(0x80000000) + record("a", "b")) << BigEndian(0);
        // Records past the end of the data read as empty: 15 at most.
        QTest::newRow("count 2^31-1") << QVariant(BigEndian(0x7fffffff) + record("a", "b"))
                                      << BigEndian(15) + record("a", "b") + empty15;
        QTest::newRow("second record cut")
            << QVariant(BigEndian(2) + record("a", "b") + BigEndian(10) + "xy")
            << BigEndian(2) + record("a", "b") + record(QString(), "");
        QTest::newRow("string claims 4 GB")
            << QVariant(BigEndian(1) + BigEndian(0xfffffffe) + QByteArray(64, 'z'))
            << BigEndian(1) + record(QString(), "");
        // An odd length spoils only that string.
        QTest::newRow("odd length") << QVariant(BigEndian(1) + BigEndian(3) + StreamString("A"))
                                    << BigEndian(1) + record(QString(), "A");
        // Text put into the file by hand is read as bytes: "hell" is a count.
        QTest::newRow("text") << QVariant(QStringLiteral("hello world"))
                              << BigEndian(15) + record(QString(), "") + empty15;
    }

    void load()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, saved);

        VLIOManager::ReleaseInstance();
        {
            QSettings settings(settingsFile(), QSettings::IniFormat);
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
        VLIOManager *manager = freshRecentList();
        QSignalSpy changed(manager, &VLIOManager::RecentListChanged);
        filled(15);
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

        // A decrease cuts to the newest entries and is announced; the same
        // limit or a negative one changes nothing.
        manager->SetRecentListLimit(4);
        manager->SetRecentListLimit(4);
        manager->SetRecentListLimit(-1);
        QCOMPARE(changed.count(), 19);
        QCOMPARE(manager->GetRecentLimit(), 4);
        QCOMPARE(manager->GetRecent().mid(2), QList<Record>({numbered(3), numbered(14)}));

        // Raising is silent; a decrease that drops nothing is announced.
        manager->SetRecentListLimit(10);
        QCOMPARE(changed.count(), 19);
        manager->SetRecentListLimit(8);
        QCOMPARE(changed.count(), 20);
        QCOMPARE(manager->GetRecent().size(), 4);
        // The limit reaches the file only with the next save.
        QCOMPARE(stored("RecentLimit").toInt(), 15);
        manager->AddToRecent(numbered(16));
        QCOMPARE(stored("RecentLimit").toInt(), 8);

        // Limit 0: the list empties and takes nothing new.
        manager->SetRecentListLimit(0);
        manager->AddToRecent(numbered(17));
        QCOMPARE(changed.count(), 22);
        QVERIFY(manager->GetRecent().isEmpty());
    }

    void noChangeWritesNothing()
    {
        freshRecentList();
        VLIOManager *manager = filled(3);
        // A comment of the user's: any save by QSettings would drop it.
        const QByteArray text = "; kept by hand\n" + VelaTest::ReadFile(settingsFile());
        QVERIFY(VelaTest::WriteFile(settingsFile(), text));

        QSignalSpy changed(manager, &VLIOManager::RecentListChanged);
        manager->AddToRecent(numbered(2));
        manager->SetRecentListLimit(20);
        manager->SetRecentListLimit(0);
        manager->AddToRecent(numbered(3));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(VelaTest::ReadFile(settingsFile()), text);
    }

    // The export lists, restarted on the user files of each test.
    void firstStartSeedsThenNoLists()
    {
        // A first start: the valid defaults, saved as the user's own lists.
        restart();
        QCOMPARE(VLExportResolutions::GetList(),
                 Sizes({QSize(800, 600), QSize(1920, 1080), QSize(1024, 768)}));
        QCOMPARE(VelaTest::ReadFile(resolutionFile()),
                 saved("Resolutions", {"0=800x600", "1=1920x1080", "2=1024x768"}));
        QCOMPARE(VLExportSizes::GetList(), Bytes({1048576, 5242880}));
        VLExportSizes::Remove(0);
        QCOMPARE(VelaTest::ReadFile(sizeFile()), saved("Sizes", {"0=5242880"}));

        // The lists go with the application data object (every run of the
        // host makes and ends them); without them the static calls answer -1
        // and touch nothing (the sizes' calls are written the same way).
        GlobalApplicationData::ReleaseInstance();
        QVERIFY(!VLExportResolutions::GetInstance() && !VLExportSizes::GetInstance());
        QFile::remove(resolutionFile());
        QFile::remove(sizeFile());
        QCOMPARE(VLExportResolutions::GetSize(), -1);
        QCOMPARE(VLExportResolutions::Get(0), QSize(-1, -1));
        QCOMPARE(VLExportResolutions::Add(QSize(10, 10)), -1);
        VLExportResolutions::Set(0, QSize(10, 10));
        VLExportResolutions::Remove(0);
        QVERIFY(!QFile::exists(resolutionFile()) && !QFile::exists(sizeFile()));
        // The I/O manager made again by cleanup() finds its data folder.
        GlobalApplicationData::InitInstance();
    }

    void userFileWithVersionIsTakenAsIs()
    {
        // Entries 0, 1 and 3: the gap ends the list. A file without
        // entries is an empty list, not a reason to seed.
        const QByteArray noEntries = "[General]\nVersion=7\n";
        restart("[General]\nVersion=1\n[Resolutions]\n0=640x480\n1=800x400\n3=1024x768\n",
                noEntries);
        QCOMPARE(VLExportResolutions::GetList(), Sizes({QSize(640, 480), QSize(800, 400)}));
        QCOMPARE(VLExportSizes::GetSize(), 0);
        QCOMPARE(VelaTest::ReadFile(sizeFile()), noEntries);

        // The save counts three keys and removes key 2 only: key 3 stays.
        VLExportResolutions::Remove(0);
        QCOMPARE(VelaTest::ReadFile(resolutionFile()),
                 saved("Resolutions", {"0=800x400", "3=1024x768"}));
    }

    // Each stored value is followed by a valid one, which loads either way;
    // a refused value disappears at the next save.
    void parseResolution_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QSize>("parsed"); // invalid: refused
        QTest::newRow("spaces") << "1920 x 1080" << QSize(1920, 1080);
        QTest::newRow("smallest") << "1x1" << QSize(1, 1);
        QTest::newRow("largest") << "10000x10000" << QSize(10000, 10000);
        QTest::newRow("capital X") << "1920X1080" << QSize();
        QTest::newRow("zero width") << "0x100" << QSize();
        QTest::newRow("too wide") << "10001x5" << QSize();
        QTest::newRow("too high") << "5x10001" << QSize();
        QTest::newRow("three parts") << "1x2x3" << QSize();
        QTest::newRow("empty") << "" << QSize();
    }

    void parseResolution()
    {
        QFETCH(QString, value);
        QFETCH(QSize, parsed);
        restart(userFile("Resolutions", {value, "7x7"}));
        const Sizes loaded = parsed.isValid() ? Sizes({parsed, QSize(7, 7)}) : Sizes({QSize(7, 7)});
        QCOMPARE(VLExportResolutions::GetList(), loaded);

        VLExportResolutions::Set(loaded.size() - 1, QSize(8, 8));
        QCOMPARE(VelaTest::ReadFile(resolutionFile()).count('\n'), 4 + loaded.size());
    }

    void parseSize_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<qint64>("parsed"); // 0: refused
        QTest::newRow("spaces") << " 42 " << Q_INT64_C(42);
        QTest::newRow("largest") << "9223372036854775807" << Q_INT64_C(9223372036854775807);
        QTest::newRow("zero") << "0" << Q_INT64_C(0);
        QTest::newRow("too large") << "9223372036854775808" << Q_INT64_C(0);
    }

    void parseSize()
    {
        QFETCH(QString, value);
        QFETCH(qint64, parsed);
        restart(QByteArray(), userFile("Sizes", {value, "7"}));
        QCOMPARE(VLExportSizes::GetList(), parsed ? Bytes({parsed, 7}) : Bytes({7}));
    }

    void sortedInsert()
    {
        restart(userFile("Resolutions", {"640x480", "800x400", "1024x768"}),
                userFile("Sizes", {"100", "200", "300"}));
        QSignalSpy inserted(VLExportResolutions::GetInstance(), &VLExportResolutions::Inserted);

        // After the entry of equal width, and saved there.
        QCOMPARE(VLExportResolutions::Add(QSize(800, 600)), 2);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(0).toInt(), 2);
        QCOMPARE(VelaTest::ReadFile(resolutionFile()),
                 saved("Resolutions", {"0=640x480", "1=800x400", "2=800x600", "3=1024x768"}));
        QCOMPARE(VLExportResolutions::Add(QSize(4000, 1)), 4);
        QCOMPARE(VLExportSizes::Add(200), 2);
        // A 64-bit value compares as a whole.
        QCOMPARE(VLExportSizes::Add(Q_INT64_C(0x100000064)), 4);

        // An unsorted list: the search stops at the first greater entry.
        restart(userFile("Resolutions", {"1024x768", "640x480"}));
        QCOMPARE(VLExportResolutions::Add(QSize(800, 600)), 0);
    }

    void indexedInsertSetRemove()
    {
        // Both lists share this code; the resolutions show it.
        restart(userFile("Resolutions", {"640x480", "800x600"}));
        VLExportResolutions *list = VLExportResolutions::GetInstance();
        QSignalSpy inserted(list, &VLExportResolutions::Inserted);
        QSignalSpy changed(list, &VLExportResolutions::Changhed);
        QSignalSpy removed(list, &VLExportResolutions::Removed);

        // Indexes are clamped; values are kept unchecked (and refused by the
        // next start, as the parse rows show).
        VLExportResolutions::Add(-5, QSize(1, 1));
        VLExportResolutions::Add(1000, QSize(0, 20000));
        VLExportResolutions::Set(1, QSize(640, 481));
        VLExportResolutions::Remove(2);
        // Indexes outside the list are ignored.
        VLExportResolutions::Set(3, QSize(1, 1));
        VLExportResolutions::Remove(-1);
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(1).at(0).toInt(), 3);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 1);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(0).toInt(), 2);
        QCOMPARE(VelaTest::ReadFile(resolutionFile()),
                 saved("Resolutions", {"0=1x1", "1=640x481", "2=0x20000"}));
    }

    void equalSetWritesNothingGetThrows()
    {
        // Hand-written files: any save by QSettings would reformat them.
        const QByteArray resolutions = userFile("Resolutions", {"640 x 480"});
        const QByteArray sizes = userFile("Sizes", {"100"});
        restart(resolutions, sizes);
        QSignalSpy changed(VLExportResolutions::GetInstance(), &VLExportResolutions::Changhed);
        QSignalSpy sizeChanged(VLExportSizes::GetInstance(), &VLExportSizes::Changhed);
        VLExportResolutions::Set(0, QSize(640, 480));
        VLExportSizes::Set(0, 100);
        QCOMPARE(changed.count() + sizeChanged.count(), 0);
        QCOMPARE(VelaTest::ReadFile(resolutionFile()), resolutions);
        QCOMPARE(VelaTest::ReadFile(sizeFile()), sizes);

        // Both lists share the index check: each bound once.
        QCOMPARE(exceptionText([] { VLExportResolutions::Get(1); }),
                 QStringLiteral("resolution index is out of range"));
        QCOMPARE(exceptionText([] { VLExportSizes::Get(-1); }),
                 QStringLiteral("size index is out of range"));
    }
};

VELA_TEST_MAIN(TestIOManager)
#include "tst_iomanager.moc"
