// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The plug-in loader, the brush registry and the preset table, through real
// plug-in files; the thread-sanitizer run checks their locks by this
// program's name.
#include "BrushFactoryManager.h"
#include "BrushPresetManager.h"
#include "IToolContainer.h"
#include "KVImageFileManager.h"
#include "KVImageFilePlugin.h"
#include "TestPlugin.h"
#include "VLPluginLoader.h"
#include "VelaAllocationProbe.h"
#include "VelaTestSupport.h"
#include "private/BrushPresetManager_p.h"

#include <atomic>

using namespace VelaTest;

// The path of a plug-in built by the tree, in the form that QPluginLoader
// reports it, so that load and unload records share their key.
#define VELA_PLUGIN(name) QFileInfo(QStringLiteral(VELA_PLUGIN_##name)).canonicalFilePath()

// Collects the library's log lines while it lives, as messages by source
// file, and keeps them from the test's output.
class LogCapture
{
public:
    LogCapture() { s_current = this; }
    ~LogCapture() { qInstallMessageHandler(m_previous); }

    QMap<QString, QStringList> lines; // by source file

private:
    // "Build date=..., time=.... Line=<n>, file="<source>". <message>" and a space.
    static void Handle(QtMsgType, const QMessageLogContext &, const QString &record)
    {
        static const QRegularExpression pattern(QStringLiteral(
            "^\"Build date=[^,]+, time=[0-9:]+\\. Line=[0-9]+, file=\"([^\"]+)\"\\. (.*)\" $"));
        const QRegularExpressionMatch match = pattern.match(record);
        if (match.hasMatch())
            s_current->lines[match.captured(1)] << match.captured(2);
    }

    static inline LogCapture *s_current = nullptr;
    // Installed before the constructor's body runs, where nothing logs.
    QtMessageHandler m_previous = qInstallMessageHandler(Handle);
};

using StrangerBrush = TestBrush<StrangerType>; // of no plug-in
using Numbers = QList<quint32>;

const QString loaderSource = "src\\private\\VLPluginLoader_p.cpp";
const QString tableSource = "src\\factorymanagers\\BrushPresetManager.cpp";
const QByteArray header = QByteArrayLiteral("KVBrushPresetManager 1.00000");
const QByteArray numberType = StreamString("Test.Number");

// Gives a stream's header, then nothing more, short of its end.
class StallingBuffer : public QBuffer
{
public:
    using QBuffer::QBuffer;

protected:
    qint64 readData(char *data, qint64 size) override
    {
        return QBuffer::readData(data, qMin<qint64>(size, header.size() - pos()));
    }
};
const auto numberRecord = [](quint32 value) { return numberType + BigEndian(value); };
const auto presetId = [](quint32 n) { return QUuid(0, 0, 0, 0, 0, 0, 0, 0, n >> 16, n >> 8, n); };

// A stream of number brushes.
const auto records = [](const Numbers &numbers) {
    QByteArray stream = header;
    for (const quint32 number : numbers)
        stream += numberRecord(number);
    return stream;
};
const auto serialized = [](BrushPresetManager &table) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return table.Serialize(&buffer) ? buffer.data() : QByteArray("refused");
};
const auto deserialize = [](BrushPresetManager &table, QByteArray stream) {
    QBuffer buffer(&stream);
    return buffer.open(QIODevice::ReadOnly) && table.Deserialize(&buffer);
};

class TestPlugins : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        VLPluginLoader::InitInstance();
        loader = VLPluginLoader::Instance();
    }

    void cleanup()
    {
        BrushFactoryManager::ReleaseInstance();
        VLPluginLoader::ReleaseInstance();
        KVImageFileManager::ReleaseInstance();
        // Refused plug-ins' loaders go with deleteLater(); no event loop runs
        // here to delete them.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // With the image-file manager there: of the image container, only its
    // kind 2 object "png" is registered, and a root that is both kinds of
    // container is taken as a tool container.
    void loadOne_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("error");
        QVERIFY(WriteFile(root + "/libText.so", "not a library\n"));
        QPluginLoader probe(root + "/libText.so");
        probe.load();
        QTest::newRow("tool container") << brushes << accepted << QString();
        QTest::newRow("image container") << imageContainer << accepted << QString();
        QTest::newRow("no library") << root + "/libText.so" << refused << probe.errorString();
        QTest::newRow("no container") << stranger << refused << "Is not an kelvane plugin.";
        QTest::newRow("empty container")
            << VELA_PLUGIN(EmptyContainer) << refused << "Empty container.";
        QTest::newRow("missing file") << root + "/none.so" << missing << "Missing file";
    }

    void loadOne()
    {
        QFETCH(QString, path);
        QFETCH(int, state);
        QFETCH(QString, error);
        KVImageFileManager::CreateInstance();
        const bool loaded = state == accepted;
        // The signals, each with the state that its slot sees; the loader lets
        // events through after each file, so a queued slot runs in time too.
        QStringList seen;
        const auto see = [&](const QString &name, const QString &text) {
            seen << QStringLiteral("%1 %2 %3").arg(name).arg(loader->GetState(name)).arg(text);
        };
        connect(loader, &VLPluginLoader::LoadBegin, this, [&](const QString &n) { see(n, ""); });
        connect(loader, &VLPluginLoader::LoadComplete, this, [&](const QString &n) { see(n, ""); });
        connect(loader, &VLPluginLoader::LoadError, this, see, Qt::QueuedConnection);
        LogCapture log;

        QCOMPARE(loader->LoadPlugin(path), loaded ? path : QString());
        QCOMPARE(seen, (QStringList{path + " 1 ",
                                    QStringLiteral("%1 %2 %3").arg(path).arg(state).arg(error)}));
        QCOMPARE(loader->GetStateInfo(path), state == refused ? error : QString());
        QCOMPARE(loader->GetPlugins().size(), loaded ? 1 : 0);
        // A refused library is unloaded at once: none of its code stays mapped.
        QCOMPARE(ReadFile("/proc/self/maps").contains(QFile::encodeName(path)), loaded);
        QVERIFY(!loaded || loader->GetPlugin(path)->property("loadedCalls").toInt() == 1);
        // A missing file is not logged. The time is in seconds to the
        // millisecond, as short as it goes: the test brushes take some.
        QStringList lines = log.lines.value(loaderSource);
        lines.replaceInStrings(
            QRegularExpression(QStringLiteral(" is (0|[1-9][0-9]*)(\\.[0-9]{0,2}[1-9])%1 sec\\.")
                                   .arg(path == brushes ? "" : "?")),
            " is T sec.");
        const QString line = QStringLiteral("Plugin: \"%1\" %2. Loading time is T sec.%3")
                                 .arg(path, loaded ? "loaded successfully" : "loading error",
                                      loaded ? QString() : " Error message is \"" + error + "\".");
        QCOMPARE(lines, state == missing ? QStringList() : QStringList{line});
        QStringList names;
        for (const KVImageFilePlugin *plugin : KVImageFileManager::GetInstance()->GetPlugins())
            names << plugin->objectName();
        QCOMPARE(names, path == imageContainer ? QStringList{"png"} : QStringList());
    }

    void loadsAList()
    {
        QStringList begun;
        connect(loader, &VLPluginLoader::LoadBegin, this, [&](const QString &n) { begun << n; });
        QVERIFY(loader->LoadPlugins({}).isEmpty() && begun.isEmpty());

        // Failures do not stop the list; a name given twice is tried twice.
        const QStringList input{brushes, root + "/b.so", stranger,
                                sample,  stranger,       root + "/B.so"};
        QCOMPARE(loader->LoadPlugins(input), (QStringList{brushes, sample}));
        // Keys in UTF-16 code-unit order: upper case before lower case.
        QStringList keys = input.mid(0, 4) + input.mid(5);
        std::sort(keys.begin(), keys.end());
        QCOMPARE(loader->GetLoadList(), keys);

        // Names already loaded are dropped silently; another text for the
        // same file is a name of its own and is tried.
        LogCapture log;
        QVERIFY(loader->LoadPlugins({sample, sample}).isEmpty() && log.lines.isEmpty());
        QCOMPARE(begun, input);
        QCOMPARE(loader->LoadPlugin(alias), sample);
        QCOMPARE(loader->GetState(alias), VLPluginLoader::PluginLoaded);

        // A refusal text goes with a later successful load of the path.
        const QString later = root + "/libLater.so";
        QVERIFY(WriteFile(later, "not yet a library\n"));
        QVERIFY(loader->LoadPlugin(later).isEmpty() && !loader->GetStateInfo(later).isEmpty());
        QVERIFY(QFile::remove(later) && QFile::copy(brushes, later));
        QCOMPARE(loader->LoadPlugin(later), later);
        QCOMPARE(loader->GetStateInfo(later), QString());
    }

    // Unloads go in load order; slots may call back into the loader, also
    // while it unloads on its way out.
    void unloads()
    {
        loader->LoadPlugins({sample, brushes, catchAll});
        QStringList seen;
        const auto record = [&](const QString &name) {
            VLPluginLoader *self = VLPluginLoader::Instance();
            seen << name + ' ' + QString::number(self->GetState(name)) + ' '
                        + QString::number(self->GetPlugins().size());
        };
        connect(loader, &VLPluginLoader::UnloadComplete, this, record);
        connect(loader, &VLPluginLoader::UnloadError, this, record);
        LogCapture log;
        loader->UnloadPlugins({catchAll, "not loaded", sample});
        QCOMPARE(loader->GetState(QStringLiteral("not loaded")), VLPluginLoader::PluginUnknown);
        QCOMPARE(loader->GetPlugins(), QList<QObject *>{loader->GetPlugin(brushes)});

        // Held by another loader, a plug-in stays, usable, and goes to the end.
        QCOMPARE(loader->LoadPlugins({sample, alias}).size(), 2);
        QObject *brushesRoot = loader->GetPlugin(brushes), *sampleRoot = loader->GetPlugin(sample);
        QPluginLoader holder(brushes);
        QVERIFY(holder.load());
        loader->UnloadPlugin(brushes);
        QCOMPARE(loader->GetPlugins(), (QList<QObject *>{sampleRoot, sampleRoot, brushesRoot}));
        QCOMPARE(brushesRoot->property("loadedCalls").toInt(), 1);
        holder.unload();
        // The file loaded under two names goes with the last of its loaders.
        VLPluginLoader::ReleaseInstance();
        QCOMPARE(seen, (QStringList{sample + " 6 1", catchAll + " 6 1", brushes + " 5 3",
                                    sample + " 6 0", sample + " 6 0", brushes + " 6 0"}));
        const QString unloaded = "Plugin: \"%1\" is unloaded successfully.";
        QCOMPARE(log.lines.value(loaderSource).filter("unload"),
                 (QStringList{unloaded.arg(sample), unloaded.arg(catchAll),
                              QStringLiteral("Plugin: \"%1\" unloading error.").arg(brushes),
                              unloaded.arg(sample), unloaded.arg(sample), unloaded.arg(brushes)}));
    }

    void presets()
    {
        loadBrushes();
        BrushPresetManager source, table;
        QCOMPARE(serialized(table), header);
        QVERIFY(deserialize(source, records({9, FailingValue})));
        const IBrush *nine = source.GetBrush(QUuid());
        LogCapture log;
        StrangerBrush stranger;
        QVERIFY(table.CreatePreset(nullptr).isNull() && table.CreatePreset(&stranger).isNull());

        // A failure takes no identifier. The first one is the null QUuid; its
        // brush tells it apart from a failure.
        QCOMPARE(table.CreatePreset(nine), QUuid());
        QCOMPARE(table.CreatePreset(nine), presetId(1));
        QCOMPARE(table.CreatePreset(nine).toString(), "{00000000-0000-0000-0000-000000000002}");
        QVERIFY(table.GetBrush(QUuid()) && table.GetBrush(QUuid()) != nine
                && !table.GetBrush(presetId(3)));
        for (const quint32 id : {1, 1, 7})
            table.RemovePreset(presetId(id));
        QCOMPARE(table.Enumarate(), (std::vector<QUuid>{presetId(0), presetId(2)}));

        // A brush that fails to write leaves what it wrote; the rest goes on.
        QCOMPARE(table.CreatePreset(nine), presetId(3));
        table.CreatePreset(source.GetBrush(presetId(1)));
        table.CreatePreset(nine);
        QCOMPARE(serialized(table), records({9, 9, 9}) + numberType + "\xFA\x17" + numberRecord(9));
        // Identifiers are not given again until the 24 bits wrap; then those
        // still held are passed over.
        BrushPresetCounterAccess::SetCounter(table, 0xff);
        table.CreatePreset(nine);
        table.CreatePreset(nine);
        BrushPresetCounterAccess::SetCounter(table, BrushPresetIdentifierCount - 1);
        QCOMPARE(table.CreatePreset(nine), presetId(0xffffff));
        QCOMPARE(table.CreatePreset(nine), presetId(1));
        QCOMPARE(
            table.Enumarate(),
            (std::vector<QUuid>{presetId(0), presetId(1), presetId(2), presetId(3), presetId(4),
                                presetId(5), presetId(0xff), presetId(0x100), presetId(0xffffff)}));
        QBuffer readOnly, writeOnly;
        QVERIFY(readOnly.open(QIODevice::ReadOnly) && writeOnly.open(QIODevice::WriteOnly));
        QVERIFY(!table.Serialize(nullptr) && !table.Deserialize(nullptr));
        QVERIFY(!table.Serialize(&readOnly) && !table.Deserialize(&writeOnly));
        // A device that takes none of the header: refused, and nothing logged.
        QFile full("/dev/full");
        QVERIFY(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && !table.Serialize(&full));
        // A device that stops giving bytes before its end ends the read.
        QByteArray stream = records({5});
        StallingBuffer stalled(&stream);
        QVERIFY(stalled.open(QIODevice::ReadOnly | QIODevice::Unbuffered)
                && table.Deserialize(&stalled));
        const QString null = "Can't serialize to null device.";
        QCOMPARE(log.lines[tableSource],
                 (QStringList{"Error to create brush preset.",
                              "Error serialize brush. Type ID: Test.Number", null, null,
                              "IO Device not provide write functionality.",
                              "IO Device not provide read functionality."}));
    }

    void readStreams_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<Numbers>("numbersRead");
        QTest::newRow("header only") << header << Numbers{};
        QTest::newRow("two records") << records({0x01020304, 9}) << Numbers{0x01020304, 9};
        QTest::newRow("short header") << header.left(27) << Numbers{};
        QTest::newRow("other version") << header.left(27) + '1' + numberRecord(5) << Numbers{};
        QTest::newRow("string length 0xFFFFFFF0")
            << header + BigEndian(0xfffffff0) + QByteArray(16, 'x') << Numbers{};
        // The settings of an unknown type are read as the next record: here
        // an empty type identifier, skipped as well.
        QTest::newRow("unknown type")
            << header + StreamString("No.Such") + BigEndian(0) + numberRecord(5) << Numbers{5};
        QTest::newRow("settings refused") << records({RefusedValue, 7, 5}) << Numbers{7, 5};
    }

    // Into a table that holds a preset already.
    void readStreams()
    {
        loadBrushes();
        QFETCH(QByteArray, stream);
        QFETCH(Numbers, numbersRead);
        BrushPresetManager table;
        QVERIFY(deserialize(table, records({1})));
        LogCapture log;

        VelaAllocationProbe::Start();
        const bool read = deserialize(table, stream);
        const std::size_t largest = VelaAllocationProbe::Stop();

        QCOMPARE(read, stream.startsWith(header));
        QCOMPARE(serialized(table), records(Numbers{1} + numbersRead));
        QCOMPARE(table.Enumarate().back(), presetId(quint32(numbersRead.size())));
        // No brush made from the stream outlives its record unreleased.
        QCOMPARE(QPluginLoader(brushes).instance()->property("liveBrushes"),
                 QVariant(1 + numbersRead.size()));
        QVERIFY(log.lines.isEmpty());
        // Nothing in proportion to a promised length; room for the device's
        // own read buffer.
        QVERIFY2(largest <= std::size_t(stream.size()) + 64 * 1024,
                 qPrintable(QStringLiteral("%1 bytes asked for at once").arg(largest)));
    }

    void factoryRegistry()
    {
        loadBrushes();
        // One factory a container: of the test brushes' two, only the first.
        BrushFactoryManager *registry = BrushFactoryManager::instance();
        QCOMPARE(registry->enumerate(),
                 (QSet<QString>{"Vela.RoundBrush", "Vela.Airbrush", "Test.Number"}));
        // The plug-in loaded first makes the type: only its factory releases it.
        IBrush *round = registry->create("Vela.RoundBrush");
        auto *sampleTools = qobject_cast<IToolContainer *>(loader->GetPlugin(sample));
        QVERIFY(qobject_cast<IBrushFactory *>(sampleTools->GetTools()[0])->release(round));
        for (const char *unknown : {"No.Such", "vela.roundbrush", "", "Test.Second"})
            QVERIFY2(!registry->create(unknown), unknown);
        // Plug-ins loaded later, the catch-all brushes here, are not seen.
        loader->LoadPlugin(catchAll);
        StrangerBrush stranger;
        QVERIFY(!registry->copy(&stranger) && !registry->release(&stranger));
        QVERIFY(!registry->copy(nullptr) && !registry->release(nullptr));

        // Now with the catch-all plug-in last, which takes any brush. Each
        // class keeps the route it learned while others are routed between
        // (the number brush, the stranger, the catch-all's own): the test
        // brushes' factory then refuses a brush and is not passed over.
        BrushFactoryManager::ReleaseInstance();
        BrushFactoryManager::InitInstance();
        auto source = std::make_unique<BrushPresetManager>();
        BrushPresetManager table;
        QVERIFY(deserialize(*source, records({1, KeptValue, KeptValue})));
        LogCapture log;
        QCOMPARE(table.CreatePreset(source->GetBrush(presetId(0))), presetId(0));
        QCOMPARE(table.CreatePreset(&stranger), presetId(1));
        QCOMPARE(table.GetBrush(presetId(1))->typeId(), QStringLiteral("Test.Number"));
        QVERIFY(table.CreatePreset(source->GetBrush(presetId(1))).isNull());
        table.RemovePreset(presetId(0));
        table.RemovePreset(presetId(1));
        // A brush the registry does not take back leaves the table even so.
        source->RemovePreset(presetId(1));
        QCOMPARE(source->Enumarate(), (std::vector<QUuid>{presetId(0), presetId(2)}));
        source.reset();
        const QString released = "Error when release brush preset table.";
        QCOMPARE(log.lines[tableSource], (QStringList{"Error to create brush preset.", released,
                                                      "Destroy", released, "Destroyed"}));
        BrushFactoryManager::ReleaseInstance();
        QCOMPARE(log.lines["src\\factorymanagers\\BrushFactoryManager.cpp"],
                 (QStringList{"Destroy", "Destroyed"}));
    }
    // Every thread keeps tables of its own, as an editor window does; the
    // registry, its route caches and the plug-in factories are shared. Each
    // pass starts a new registry and sets the threads off together, so that
    // they learn the routes at once.
    void tablesOnManyThreadsShareTheRegistry()
    {
        loadBrushes();
        const QStringList types{"Vela.RoundBrush", "Vela.Airbrush", "Test.Number"};
        const int threadCount = 6;
        std::atomic<int> wrong{0}, started{0};
        for (int pass = 0; pass < 40 && !wrong; ++pass) {
            BrushFactoryManager::ReleaseInstance();
            BrushFactoryManager::InitInstance();
            BrushFactoryManager *registry = BrushFactoryManager::instance();
            started = 0;
            const bool ended = RunThreads(threadCount, [&](int) {
                for (++started; started < threadCount;)
                    QThread::yieldCurrentThread();
                BrushPresetManager presets;
                for (int round = 0; round < 20; ++round) {
                    const QString type = types.at(round % types.size());
                    IBrush *brush = registry->create(type);
                    const QUuid id = presets.CreatePreset(brush);
                    const IBrush *preset = presets.GetBrush(id);
                    wrong += !brush || !preset || preset == brush || preset->typeId() != type;
                    wrong += !registry->release(brush) || registry->enumerate().size() != 3;
                    if (round % 3 == 0)
                        presets.RemovePreset(id);
                }
            });
            QVERIFY2(ended, "a thread is stuck: deadlock");
        }
        QCOMPARE(wrong.load(), 0);
    }

private:
    // The brushes come from the sample and the test brushes; the plug-in
    // container ahead of them offers no factory, and is taken without an
    // image-file manager.
    void loadBrushes()
    {
        const QStringList plugins{imageContainer, sample, brushes};
        QCOMPARE(loader->LoadPlugins(plugins), plugins);
        BrushFactoryManager::InitInstance();
    }

    VLPluginLoader *loader = nullptr;
    static constexpr int accepted = VLPluginLoader::PluginLoaded;
    static constexpr int refused = VLPluginLoader::PluginLoadError;
    static constexpr int missing = VLPluginLoader::PluginMissingFile;
    const QString root = Sandbox::Current()->Root();
    const QString sample = VELA_PLUGIN(SampleBrushes), brushes = VELA_PLUGIN(TestBrushes);
    const QString stranger = VELA_PLUGIN(Stranger), catchAll = VELA_PLUGIN(CatchAllBrushes);
    const QString imageContainer = VELA_PLUGIN(ImageFileContainer);
    // The sample plug-in under another text for the same file.
    const QString alias = sample.section('/', 0, -2) + "/./" + sample.section('/', -1);
};

VELA_TEST_MAIN(TestPlugins)
#include "tst_plugins.moc"
