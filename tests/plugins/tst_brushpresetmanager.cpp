// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "BrushFactoryManager.h"
#include "BrushPresetManager.h"
#include "PluginTestSupport.h"
#include "TestPlugin.h"
#include "VLPluginLoader.h"
#include "VelaAllocationProbe.h"
#include "private/BrushFactoryManager_p.h"
#include "private/BrushPresetManager_p.h"

#include <memory>

// A brush class that no plug-in knows.
VELA_TEST_BRUSH(StrangerBrush, "Test.Stranger")

namespace {

const QString tableSource = "src\\factorymanagers\\BrushPresetManager.cpp";
const QByteArray header = QByteArrayLiteral("KVBrushPresetManager 1.00000");

using VelaTest::BigEndian;
using VelaTest::StreamString;

QByteArray numberRecord(quint32 value)
{
    return StreamString("Test.Number") + BigEndian(value);
}

QUuid presetId(quint32 counter)
{
    return QUuid(
        QStringLiteral("{00000000-0000-0000-0000-%1}").arg(counter, 12, 16, QLatin1Char('0')));
}

std::vector<QUuid> presetIds(quint32 count)
{
    std::vector<QUuid> ids;
    for (quint32 i = 0; i < count; ++i)
        ids.push_back(presetId(i));
    return ids;
}

QByteArray serialized(BrushPresetManager &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return table.Serialize(&buffer) ? buffer.data() : QByteArray("refused");
}

bool deserialize(BrushPresetManager &table, const QByteArray &stream)
{
    QBuffer buffer;
    buffer.setData(stream);
    return buffer.open(QIODevice::ReadOnly) && table.Deserialize(&buffer);
}

// A number brush made by the registry, released when it goes.
struct NumberBrush
{
    explicit NumberBrush(quint32 number)
        : brush(BrushFactoryManager::instance()->create("Test.Number"))
    {
        QBuffer settings;
        settings.setData(BigEndian(number));
        settings.open(QIODevice::ReadOnly);
        brush->deserialize(&settings);
    }
    ~NumberBrush() { BrushFactoryManager::instance()->release(brush); }
    IBrush *brush;
};

} // namespace

class TestBrushPresetManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { VLPluginLoader::InitInstance(); }

    void cleanup()
    {
        BrushFactoryManager::ReleaseInstance();
        VLPluginLoader::ReleaseInstance();
    }

    void presets()
    {
        presetRegistry();
        BrushPresetManager table;
        LogCapture log;
        StrangerBrush stranger;
        QVERIFY(table.CreatePreset(nullptr).isNull() && log.lines.isEmpty());
        QVERIFY(table.CreatePreset(&stranger).isNull());
        QCOMPARE(log.Messages(tableSource), QStringList{"Error to create brush preset."});

        // A failure takes no identifier. The first one is the null QUuid; its
        // brush tells it apart from a failure.
        NumberBrush number(9);
        QCOMPARE(table.CreatePreset(number.brush), QUuid());
        QCOMPARE(table.CreatePreset(number.brush), presetId(1));
        QCOMPARE(table.CreatePreset(number.brush).toString(),
                 QStringLiteral("{00000000-0000-0000-0000-000000000002}"));
        QVERIFY(table.GetBrush(QUuid()) && table.GetBrush(QUuid()) != number.brush);
        QVERIFY(!table.GetBrush(presetId(3)));

        log.lines.clear();
        for (const quint32 id : {1, 1, 7})
            table.RemovePreset(presetId(id));
        QCOMPARE(table.Enumarate(), (std::vector<QUuid>{presetId(0), presetId(2)}));
        QVERIFY(log.lines.isEmpty());
        // Identifiers are not given again, until the 24 bits wrap: then
        // those still held are passed over.
        QCOMPARE(table.CreatePreset(number.brush), presetId(3));
        BrushPresetCounterAccess::SetCounter(table, BrushPresetIdentifierCount - 1);
        QCOMPARE(table.CreatePreset(number.brush), presetId(0xffffff));
        QCOMPARE(table.CreatePreset(number.brush), presetId(1));
        QVERIFY(deserialize(table, header + numberRecord(8)));
        QCOMPARE(table.Enumarate(),
                 (std::vector<QUuid>{presetId(0), presetId(1), presetId(2), presetId(3),
                                     presetId(4), presetId(0xffffff)}));
        QCOMPARE(BrushPresetCounterAccess::Counter(table), BrushPresetIdentifierCount + 5);
    }

    // The table orders its keys as QUuid::operator< does, by a shorter way
    // for its own identifiers: the two must agree on every pair of keys.
    void identifierOrder()
    {
        QList<QUuid> ids{QUuid(), presetId(1), presetId(0xff), presetId(0x100), presetId(0xffffff)};
        for (const char *text :
             {"{00000000-0000-0000-0001-000000000000}", "{00000000-0000-0000-8000-000000000001}",
              "{00000000-0000-0000-c000-000000000000}", "{00000000-0000-0000-e000-000000000000}",
              "{00000001-0000-0000-0000-000000000000}", "{00000000-0000-0001-0000-000000000002}"})
            ids << QUuid(QString::fromLatin1(text));
        for (int i = 0; i < 8; ++i)
            ids << QUuid::createUuid();
        const BrushPresetOrder order;
        for (const QUuid &a : std::as_const(ids)) {
            for (const QUuid &b : std::as_const(ids))
                QVERIFY2(order(a, b) == (a < b), qPrintable(a.toString() + b.toString()));
        }
    }

    void streamLayout()
    {
        presetRegistry();
        BrushPresetManager table;
        QCOMPARE(serialized(table), header);
        QVERIFY(deserialize(table, header) && table.Enumarate().empty());

        NumberBrush number(0x01020304), nine(9), failing(FailingValue);
        table.CreatePreset(number.brush);
        table.CreatePreset(nine.brush);
        const QByteArray stream =
            header + QByteArray("\0\0\0\x16\0T\0e\0s\0t\0.\0N\0u\0m\0b\0e\0r\x01\x02\x03\x04", 30)
            + QByteArray("\0\0\0\x16\0T\0e\0s\0t\0.\0N\0u\0m\0b\0e\0r\0\0\0\x09", 30);
        QCOMPARE(serialized(table), stream);

        BrushPresetManager fresh;
        QVERIFY(deserialize(fresh, stream));
        QCOMPARE(fresh.Enumarate(), presetIds(2));
        QCOMPARE(serialized(fresh), stream);

        // A brush that fails to write leaves what it wrote; the rest goes on.
        fresh.CreatePreset(failing.brush);
        fresh.CreatePreset(nine.brush);
        LogCapture log;
        QCOMPARE(serialized(fresh), stream + StreamString("Test.Number")
                                        + QByteArray::fromHex("fa17") + numberRecord(9));
        QCOMPARE(log.Messages(tableSource),
                 QStringList{"Error serialize brush. Type ID: Test.Number"});
    }

    void readStreams_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<quint32>>("numbersRead");
        const QByteArray five = numberRecord(5);
        QTest::newRow("short header") << header.left(27) << QList<quint32>{};
        QTest::newRow("other version")
            << QByteArray("KVBrushPresetManager 1.00001") + five << QList<quint32>{};
        QTest::newRow("string length 0xFFFFFFF0")
            << header + BigEndian(0xfffffff0) + QByteArray(16, 'x') << QList<quint32>{};
        QTest::newRow("short length") << header + QByteArray(2, 0) << QList<quint32>{};
        // Qt reads no further than the length when it is odd.
        QTest::newRow("odd length") << header + BigEndian(3) + five << QList<quint32>{5};
        QTest::newRow("null string") << header + BigEndian(0xffffffff) + five << QList<quint32>{5};
        // The settings of an unknown type are read as the next record: here
        // an empty type identifier, skipped as well.
        QTest::newRow("unknown type")
            << header + StreamString("No.Such") + BigEndian(0) + five << QList<quint32>{5};
        QTest::newRow("settings refused")
            << header + numberRecord(RefusedValue) + numberRecord(7) + five << QList<quint32>{7, 5};
        QByteArray noise(4096, Qt::Uninitialized);
        QRandomGenerator random(20261207);
        for (char &byte : noise)
            byte = char(random.bounded(256));
        QTest::newRow("random bytes after a record")
            << header + numberRecord(3) + noise << QList<quint32>{3};
    }

    void readStreams()
    {
        presetRegistry();
        QFETCH(QByteArray, stream);
        QFETCH(QList<quint32>, numbersRead);
        NumberBrush one(1);
        BrushPresetManager table;
        table.CreatePreset(one.brush);
        LogCapture log;

        VelaAllocationProbe::Start();
        const bool read = deserialize(table, stream);
        const std::size_t largest = VelaAllocationProbe::Stop();

        QCOMPARE(read, stream.startsWith(header));
        QByteArray expected = header + numberRecord(1);
        for (const quint32 number : numbersRead)
            expected += numberRecord(number);
        QCOMPARE(serialized(table), expected);
        QCOMPARE(table.Enumarate(), presetIds(1 + quint32(numbersRead.size())));
        QVERIFY(log.lines.isEmpty());
        // Nothing in proportion to a promised length; room for the device's
        // own read buffer.
        QVERIFY2(largest <= std::size_t(stream.size()) + 64 * 1024,
                 qPrintable(QStringLiteral("%1 bytes asked for at once").arg(largest)));
    }

    void failures()
    {
        presetRegistry();
        // The flaky factory copies and releases once, then refuses.
        BrushFactoryManager *registry = BrushFactoryManager::instance();
        IBrush *flaky = registry->create("Test.Flaky");
        auto table = std::make_unique<BrushPresetManager>();
        const QUuid id = table->CreatePreset(flaky);
        QVERIFY(table->GetBrush(id) && registry->release(flaky));
        LogCapture log;
        table->RemovePreset(id);
        QVERIFY(table->Enumarate().empty());
        QVERIFY(deserialize(*table, header + StreamString("Test.Flaky") + BigEndian(2)));
        table.reset(new BrushPresetManager);

        QBuffer readOnly, writeOnly;
        readOnly.open(QIODevice::ReadOnly);
        writeOnly.open(QIODevice::WriteOnly);
        QVERIFY(!table->Serialize(nullptr) && !table->Deserialize(nullptr));
        QVERIFY(!table->Serialize(&readOnly) && !table->Deserialize(&writeOnly));
        const QString released = "Error when release brush preset table.";
        const QString null = "Can't serialize to null device.";
        QCOMPARE(log.Messages(tableSource),
                 (QStringList{released, "Destroy", released, "Destroyed", null, null,
                              "IO Device not provide write functionality.",
                              "IO Device not provide read functionality."}));
    }

    void scan()
    {
        // A plug-in container gives no factory; of two factories in one
        // container (behind a null entry and a plain object) only the first.
        const QString sample = VELA_PLUGIN(SampleBrushes);
        BrushFactoryManager *registry =
            scanned({VELA_PLUGIN(ImageFileContainer), sample, VELA_PLUGIN(TestBrushes),
                     VELA_PLUGIN(TwoFactories)});
        const QSet<QString> types{"Vela.RoundBrush", "Vela.Airbrush", "Test.Number", "Test.First"};
        QCOMPARE(registry->enumerate(), types);
        // The plug-in loaded first makes the type, and only the factory that
        // made a brush can release it.
        IBrush *brush = registry->create("Vela.RoundBrush");
        QVERIFY(brush);
        QVERIFY(FirstBrushFactory(VLPluginLoader::Instance()->GetPlugin(sample))->release(brush));
        for (const char *unknown : {"No.Such", "vela.roundbrush", "", "Test.Second"})
            QVERIFY2(!registry->create(unknown), unknown);
        // Plug-ins loaded later are not seen.
        VLPluginLoader::Instance()->LoadPlugin(VELA_PLUGIN(FlakyBrushes));
        QVERIFY(!registry->create("Test.Flaky"));
        StrangerBrush stranger;
        QVERIFY(!registry->copy(&stranger));
        QVERIFY(!registry->release(&stranger));
    }

    void learnedRoutesAreFinal()
    {
        // The flaky factory copies and releases once each; the catch-all
        // factory, behind it, would accept anything it is asked.
        BrushFactoryManager *registry =
            scanned({VELA_PLUGIN(FlakyBrushes), VELA_PLUGIN(CatchAllBrushes)});
        QVERIFY(!registry->copy(nullptr));
        QVERIFY(!registry->release(nullptr));
        IBrush *flaky = registry->create("Test.Flaky");
        IBrush *copied = registry->copy(flaky);
        QVERIFY(copied && copied != flaky);
        QCOMPARE(copied->typeId(), QStringLiteral("Test.Flaky"));
        // A class without a route still reaches the catch-all factory.
        StrangerBrush stranger;
        IBrush *caught = registry->copy(&stranger);
        QVERIFY(caught);
        QCOMPARE(caught->typeId(), QStringLiteral("Test.CatchAll"));
        // Each class keeps its route while the others are routed between
        // (three classes: the flaky, the stranger and the catch-all's own).
        QVERIFY(!registry->copy(flaky));
        QVERIFY(registry->release(copied));
        QVERIFY(registry->release(caught));
        QVERIFY(!registry->release(flaky));

        BrushFactoryManager::ReleaseInstance();
        QVERIFY(!BrushFactoryManager::instance());
    }

private:
    static BrushFactoryManager *scanned(const QStringList &plugins)
    {
        VLPluginLoader::Instance()->LoadPlugins(plugins);
        BrushFactoryManager::InitInstance();
        return BrushFactoryManager::instance();
    }

    // The registry the preset tables' brushes come from.
    static void presetRegistry()
    {
        scanned({VELA_PLUGIN(SampleBrushes), VELA_PLUGIN(TestBrushes), VELA_PLUGIN(FlakyBrushes)});
    }
};

VELA_TEST_MAIN(TestBrushPresetManager)
#include "tst_brushpresetmanager.moc"
