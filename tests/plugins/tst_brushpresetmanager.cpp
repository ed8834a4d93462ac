// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "AllocationProbe.h"
#include "BrushFactoryManager.h"
#include "BrushPresetManager.h"
#include "IBrush.h"
#include "PluginTestSupport.h"
#include "TestBrush.h"
#include "VLPluginLoader.h"
#include "private/BrushPresetManager_p.h"

#include <QBuffer>
#include <QDataStream>
#include <QRandomGenerator>

#include <memory>
#include <set>

using PluginTest::LogCapture;

// A brush class that no plug-in knows.
VELA_TEST_BRUSH(StrangerBrush, "Test.Stranger")

namespace {

const QString tableSource = QStringLiteral("src\\factorymanagers\\BrushPresetManager.cpp");
const QByteArray header = QByteArrayLiteral("KVBrushPresetManager 1.00000");

// A stream string, byte by byte: big-endian byte count, then UTF-16BE.
QByteArray streamString(const QString &text)
{
    const quint32 bytes = quint32(text.size()) * 2;
    QByteArray data;
    for (int shift = 24; shift >= 0; shift -= 8)
        data.append(char((bytes >> shift) & 0xff));
    for (const QChar c : text) {
        data.append(char(c.unicode() >> 8));
        data.append(char(c.unicode() & 0xff));
    }
    return data;
}

QByteArray bigEndian(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

QByteArray numberRecord(quint32 value)
{
    return streamString(QStringLiteral("Test.Number")) + bigEndian(value);
}

// The sample round brush's settings as its version 1 writes them.
QByteArray roundSettings()
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << quint8(1) << 35.5 << 0.1 << 0.75 << quint32(0x80ff8000) << 0.5 << 45.0 << 0.6;
    return data;
}

// The sample airbrush's settings as its version 1 writes them.
QByteArray airbrushSettings()
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << quint8(1) << 12.0 << 0.5 << 0.3 << quint32(0xff0000ff) << 0.2 << 1.5;
    return data;
}

QUuid presetId(quint32 counter)
{
    return QUuid(
        QStringLiteral("{00000000-0000-0000-0000-%1}").arg(counter, 12, 16, QLatin1Char('0')));
}

QByteArray serialized(BrushPresetManager &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!table.Serialize(&buffer))
        return QByteArray("refused");
    return buffer.data();
}

bool deserialize(BrushPresetManager &table, const QByteArray &stream)
{
    QBuffer buffer;
    buffer.setData(stream);
    buffer.open(QIODevice::ReadOnly);
    return table.Deserialize(&buffer);
}

QStringList typeIds(const BrushPresetManager &table)
{
    QStringList ids;
    for (const QUuid &id : table.Enumarate())
        ids << table.GetBrush(id)->typeId();
    return ids;
}

// A brush made by the registry, given its settings, released when it goes.
struct RegistryBrush
{
    RegistryBrush(const QString &typeId, const QByteArray &settings)
        : brush(BrushFactoryManager::instance()->create(typeId))
    {
        QBuffer buffer;
        buffer.setData(settings);
        buffer.open(QIODevice::ReadOnly);
        if (!brush || !brush->deserialize(&buffer))
            qFatal("cannot make a %s brush", qPrintable(typeId));
    }
    ~RegistryBrush() { BrushFactoryManager::instance()->release(brush); }
    RegistryBrush(const RegistryBrush &) = delete;
    RegistryBrush &operator=(const RegistryBrush &) = delete;

    IBrush *brush;
};

} // namespace

class TestBrushPresetManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        VLPluginLoader::InitInstance();
        VLPluginLoader::Instance()->LoadPlugins(
            {VELA_PLUGIN(SampleBrushes), VELA_PLUGIN(TestBrushes), VELA_PLUGIN(FlakyBrushes)});
        BrushFactoryManager::InitInstance();
    }

    void cleanup()
    {
        BrushFactoryManager::ReleaseInstance();
        VLPluginLoader::ReleaseInstance();
    }

    void identifiersCountUp()
    {
        RegistryBrush number(QStringLiteral("Test.Number"), bigEndian(9));
        BrushPresetManager table;

        const QUuid first = table.CreatePreset(number.brush);
        QVERIFY(first.isNull());
        QCOMPARE(table.CreatePreset(number.brush), presetId(1));
        QCOMPARE(table.CreatePreset(number.brush), presetId(2));
        QCOMPARE(presetId(2).toString(), QStringLiteral("{00000000-0000-0000-0000-000000000002}"));

        QCOMPARE(table.Enumarate(), (std::vector<QUuid>{presetId(0), presetId(1), presetId(2)}));
        // The first preset's identifier is the null QUuid; its brush tells it
        // apart from a failure.
        QVERIFY(table.GetBrush(first));
        QVERIFY(table.GetBrush(first) != number.brush);
        QVERIFY(table.GetBrush(presetId(1)) != table.GetBrush(first));
        QVERIFY(!table.GetBrush(presetId(3)));
    }

    void failedPresets()
    {
        BrushPresetManager table;
        LogCapture log;
        QVERIFY(table.CreatePreset(nullptr).isNull());
        QVERIFY(log.Lines().isEmpty());

        StrangerBrush stranger;
        QVERIFY(table.CreatePreset(&stranger).isNull());
        QCOMPARE(log.Messages(tableSource),
                 QStringList{QStringLiteral("Error to create brush preset.")});
        QVERIFY(table.Enumarate().empty());
        QVERIFY(!table.GetBrush(QUuid()));

        // A failure takes no identifier.
        RegistryBrush number(QStringLiteral("Test.Number"), bigEndian(1));
        QCOMPARE(table.CreatePreset(number.brush), presetId(0));
    }

    void removePresets()
    {
        RegistryBrush number(QStringLiteral("Test.Number"), bigEndian(1));
        BrushPresetManager table;
        for (int i = 0; i < 3; ++i)
            table.CreatePreset(number.brush);
        LogCapture log;

        table.RemovePreset(presetId(1));
        table.RemovePreset(presetId(1));
        table.RemovePreset(presetId(7));

        QCOMPARE(table.Enumarate(), (std::vector<QUuid>{presetId(0), presetId(2)}));
        QVERIFY(log.Lines().isEmpty());
        // Identifiers are not given again.
        QCOMPARE(table.CreatePreset(number.brush), presetId(3));
    }

    void emptyTableStream()
    {
        BrushPresetManager table;
        QCOMPARE(serialized(table), header);
        QVERIFY(deserialize(table, header));
        QVERIFY(table.Enumarate().empty());
    }

    void streamLayout()
    {
        RegistryBrush round(QStringLiteral("Vela.RoundBrush"), roundSettings());
        RegistryBrush number(QStringLiteral("Test.Number"), bigEndian(0x01020304));
        BrushPresetManager table;
        table.CreatePreset(round.brush);
        table.CreatePreset(number.brush);

        const QByteArray expected = header + QByteArray::fromHex("0000001e")
                                    + QByteArray("\0V\0e\0l\0a\0.\0R\0o\0u\0n\0d"
                                                 "\0B\0r\0u\0s\0h",
                                                 30)
                                    + roundSettings() + QByteArray::fromHex("00000016")
                                    + QByteArray("\0T\0e\0s\0t\0.\0N\0u\0m\0b\0e\0r", 22)
                                    + QByteArray::fromHex("01020304");
        QCOMPARE(serialized(table), expected);
    }

    void readBack()
    {
        RegistryBrush round(QStringLiteral("Vela.RoundBrush"), roundSettings());
        RegistryBrush air(QStringLiteral("Vela.Airbrush"), airbrushSettings());
        BrushPresetManager written;
        written.CreatePreset(round.brush);
        written.CreatePreset(air.brush);
        written.CreatePreset(round.brush);
        const QByteArray stream = serialized(written);

        BrushPresetManager fresh;
        QVERIFY(deserialize(fresh, stream));
        QCOMPARE(fresh.Enumarate(), (std::vector<QUuid>{presetId(0), presetId(1), presetId(2)}));
        QCOMPARE(typeIds(fresh),
                 (QStringList{QStringLiteral("Vela.RoundBrush"), QStringLiteral("Vela.Airbrush"),
                              QStringLiteral("Vela.RoundBrush")}));
        QCOMPARE(serialized(fresh), stream);

        // Read into a table that has presets, they follow the ones there.
        QVERIFY(deserialize(written, stream));
        QCOMPARE(written.Enumarate().size(), std::size_t(6));
        QCOMPARE(written.Enumarate().back(), presetId(5));
        QCOMPARE(serialized(written), stream + stream.mid(header.size()));
    }

    void refusedHeaders_data()
    {
        QTest::addColumn<QByteArray>("stream");
        const QByteArray record = numberRecord(5);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("short") << header.left(27);
        QTest::newRow("other version") << QByteArray("KVBrushPresetManager 1.00001") + record;
        QTest::newRow("other case") << QByteArray("kVBrushPresetManager 1.00000") + record;
        QTest::newRow("length prefixed") << streamString(QString::fromLatin1(header)) + record;
        QTest::newRow("records only") << record + record + record;
    }

    void refusedHeaders()
    {
        QFETCH(QByteArray, stream);
        RegistryBrush number(QStringLiteral("Test.Number"), bigEndian(1));
        BrushPresetManager table;
        table.CreatePreset(number.brush);
        LogCapture log;

        QVERIFY(!deserialize(table, stream));

        QCOMPARE(table.Enumarate(), std::vector<QUuid>{presetId(0)});
        QVERIFY(log.Lines().isEmpty());
    }

    void refusedDevices()
    {
        BrushPresetManager table;
        LogCapture log;
        QVERIFY(!table.Serialize(nullptr));
        QVERIFY(!table.Deserialize(nullptr));

        QBuffer closed;
        QVERIFY(!table.Serialize(&closed));
        QVERIFY(!table.Deserialize(&closed));

        QBuffer readOnly;
        readOnly.setData(header);
        readOnly.open(QIODevice::ReadOnly);
        QVERIFY(!table.Serialize(&readOnly));
        QBuffer writeOnly;
        writeOnly.open(QIODevice::WriteOnly);
        QVERIFY(!table.Deserialize(&writeOnly));
        QVERIFY(writeOnly.data().isEmpty());

        QCOMPARE(log.Messages(tableSource),
                 (QStringList{QStringLiteral("Can't serialize to null device."),
                              QStringLiteral("Can't serialize to null device."),
                              QStringLiteral("IO Device not provide write functionality."),
                              QStringLiteral("IO Device not provide read functionality."),
                              QStringLiteral("IO Device not provide write functionality."),
                              QStringLiteral("IO Device not provide read functionality.")}));
    }

    void damagedRecords_data()
    {
        QTest::addColumn<QByteArray>("records");
        QTest::addColumn<QList<quint32>>("numbersRead");

        const QByteArray five = numberRecord(5);
        QTest::newRow("string length 0xFFFFFFF0")
            << QByteArray::fromHex("fffffff0") + QByteArray(16, 'x') << QList<quint32>{};
        QTest::newRow("length past the end")
            << QByteArray::fromHex("00100000") + QByteArray(10, 'x') << QList<quint32>{};
        QTest::newRow("short length") << QByteArray::fromHex("0000") << QList<quint32>{};
        QTest::newRow("settings cut short")
            << five + streamString(QStringLiteral("Test.Number")) + QByteArray::fromHex("0102")
            << QList<quint32>{5};
        // Qt reads no further than the length when it is odd.
        QTest::newRow("odd length") << QByteArray::fromHex("00000003") + five << QList<quint32>{5};
        QTest::newRow("null string") << QByteArray::fromHex("ffffffff") + five << QList<quint32>{5};
        // The settings of an unknown type are read as the next record: here
        // an empty type identifier, skipped as well.
        QTest::newRow("unknown type")
            << streamString(QStringLiteral("No.Such")) + QByteArray::fromHex("00000000") + five
            << QList<quint32>{5};
        QTest::newRow("settings refused")
            << numberRecord(TestBrushValues::RefusedValue) + numberRecord(7) + five
            << QList<quint32>{7, 5};
    }

    void damagedRecords()
    {
        QFETCH(QByteArray, records);
        QFETCH(QList<quint32>, numbersRead);
        BrushPresetManager table;
        LogCapture log;

        QVERIFY(deserialize(table, header + records));

        QByteArray expected = header;
        for (const quint32 number : numbersRead)
            expected += numberRecord(number);
        QCOMPARE(serialized(table), expected);
        std::vector<QUuid> ids;
        for (int i = 0; i < numbersRead.size(); ++i)
            ids.push_back(presetId(quint32(i)));
        QCOMPARE(table.Enumarate(), ids);
        QVERIFY(log.Lines().isEmpty());
    }

    void hostileStreamsStayWithinTheirSize_data()
    {
        QTest::addColumn<QByteArray>("records");
        QTest::newRow("string length 0xFFFFFFF0")
            << QByteArray::fromHex("fffffff0") + QByteArray(16, 'x');
        QTest::newRow("string length 0xFFFFFFFE") << QByteArray::fromHex("fffffffe");
        QTest::newRow("one megabyte promised")
            << QByteArray::fromHex("00100000") + QByteArray(10, 'x');
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20261207);
        for (char &byte : noise)
            byte = char(random.bounded(256));
        QTest::newRow("random bytes") << noise;
        QTest::newRow("random bytes after a record") << numberRecord(3) + noise;
    }

    void hostileStreamsStayWithinTheirSize()
    {
        QFETCH(QByteArray, records);
        if (!AllocationProbe::IsAvailable())
            QSKIP("allocations cannot be watched with this C library");
        const QByteArray stream = header + records;
        BrushPresetManager table;
        QBuffer buffer;
        buffer.setData(stream);
        buffer.open(QIODevice::ReadOnly);

        AllocationProbe::Start();
        const bool read = table.Deserialize(&buffer);
        const std::size_t largest = AllocationProbe::Stop();

        QVERIFY(read);
        QVERIFY(buffer.atEnd());
        // Room for the device's own read buffer, nothing in proportion to a
        // promised length.
        QVERIFY2(largest <= std::size_t(stream.size()) + 64 * 1024,
                 qPrintable(QStringLiteral("%1 bytes asked for at once").arg(largest)));
    }

    void failedRecordsAreLoggedAndSkipped()
    {
        RegistryBrush one(QStringLiteral("Test.Number"), bigEndian(1));
        RegistryBrush failing(QStringLiteral("Test.Number"),
                              bigEndian(TestBrushValues::FailingValue));
        RegistryBrush three(QStringLiteral("Test.Number"), bigEndian(3));
        BrushPresetManager table;
        table.CreatePreset(one.brush);
        table.CreatePreset(failing.brush);
        table.CreatePreset(three.brush);
        LogCapture log;

        // The failing brush has written two bytes before it gave up.
        QCOMPARE(serialized(table), header + numberRecord(1)
                                        + streamString(QStringLiteral("Test.Number"))
                                        + QByteArray::fromHex("fa17") + numberRecord(3));
        QCOMPARE(log.Messages(tableSource),
                 QStringList{QStringLiteral("Error serialize brush. Type ID: Test.Number")});
    }

    void identifiersRepeatAfterTwentyFourBits()
    {
        RegistryBrush number(QStringLiteral("Test.Number"), bigEndian(4));
        BrushPresetManager table;
        table.CreatePreset(number.brush);
        table.CreatePreset(number.brush);
        table.RemovePreset(presetId(1));
        table.CreatePreset(number.brush);
        BrushPresetCounterAccess::SetCounter(table, BrushPresetIdentifierCount - 1);

        QCOMPARE(table.CreatePreset(number.brush), presetId(0xffffff));
        // 0 is still held, 1 is free again; then 2 is held, 3 free.
        QCOMPARE(table.CreatePreset(number.brush), presetId(1));
        QVERIFY(deserialize(table, header + numberRecord(8)));
        QCOMPARE(table.Enumarate(), (std::vector<QUuid>{presetId(0), presetId(1), presetId(2),
                                                        presetId(3), presetId(0xffffff)}));
        QCOMPARE(BrushPresetCounterAccess::Counter(table), BrushPresetIdentifierCount + 4);
        // Every preset kept its own brush.
        std::set<const IBrush *> brushes;
        for (const QUuid &id : table.Enumarate())
            brushes.insert(table.GetBrush(id));
        QCOMPARE(brushes.size(), std::size_t(5));
    }

    void releaseFailures()
    {
        // The flaky factory copies and releases once, then refuses.
        BrushFactoryManager *registry = BrushFactoryManager::instance();
        IBrush *flaky = registry->create(QStringLiteral("Test.Flaky"));
        auto table = std::make_unique<BrushPresetManager>();
        const QUuid id = table->CreatePreset(flaky);
        QVERIFY(table->GetBrush(id));
        QVERIFY(registry->release(flaky));
        LogCapture log;

        table->RemovePreset(id);
        QVERIFY(table->Enumarate().empty());
        QCOMPARE(log.Messages(tableSource),
                 QStringList{QStringLiteral("Error when release brush preset table.")});

        log.Clear();
        QVERIFY(deserialize(*table, header + streamString(QStringLiteral("Test.Flaky"))
                                        + bigEndian(2) + numberRecord(6)));
        table.reset();
        QCOMPARE(log.Messages(tableSource),
                 (QStringList{QStringLiteral("Destroy"),
                              QStringLiteral("Error when release brush preset table."),
                              QStringLiteral("Destroyed")}));
    }
};

VELA_TEST_MAIN(TestBrushPresetManager)
#include "tst_brushpresetmanager.moc"
