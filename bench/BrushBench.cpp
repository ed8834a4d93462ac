// SPDX-License-Identifier: LGPL-2.1-or-later
//
// Brush presets and the brush registry, with the shipped sample brush
// plug-in loaded through the real loader:
// - the preset stream written and read by the table, against the least the
//   stream asks for: the header and each brush's type identifier written
//   through QDataStream beside the brush's own serialize; and, reading,
//   create (under an uncontended QMutex, as every registry call is) +
//   deserialize on the factory, the brush filed in a std::map under a
//   counted QUuid;
// - copy + release through the registry, against the owning factory called
//   under an uncontended QMutex, as every registry call is.

#include "BenchFigures.h"

#include "BrushFactoryManager.h"
#include "BrushPresetManager.h"
#include "GlobalApplicationData.h"
#include "IBrush.h"
#include "IBrushFactory.h"
#include "IToolContainer.h"
#include "VLPluginLoader.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>

#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int presetCount = 10000;

// The sample plug-in's brush factory, asked for directly.
IBrushFactory *sampleFactory()
{
    const QList<QObject *> plugins = VLPluginLoader::Instance()->GetPlugins();
    for (QObject *plugin : plugins) {
        if (auto *container = qobject_cast<IToolContainer *>(plugin)) {
            const QList<QObject *> tools = container->GetTools();
            for (QObject *tool : tools) {
                if (auto *factory = qobject_cast<IBrushFactory *>(tool))
                    return factory;
            }
        }
    }
    return nullptr;
}

// 10,000 brushes of the sample types, made by the factory and given
// different settings by reading them back from a stream of themselves.
struct BrushSet
{
    explicit BrushSet(IBrushFactory *factory)
        : factory(factory)
    {
        const QStringList types = factory->enumerate().values();
        for (int i = 0; i < presetCount; ++i)
            brushes.push_back(factory->create(types.at(i % types.size())));
    }
    ~BrushSet()
    {
        for (IBrush *brush : brushes)
            factory->release(brush);
    }
    IBrushFactory *factory;
    std::vector<IBrush *> brushes;
};

QByteArray presetStream(const BrushSet &set)
{
    BrushPresetManager table;
    for (IBrush *brush : set.brushes)
        table.CreatePreset(brush);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    table.Serialize(&buffer);
    return buffer.data();
}

void PresetStreamWrite(benchmark::State &state)
{
    const BrushSet set(sampleFactory());
    BrushPresetManager table;
    for (IBrush *brush : set.brushes)
        table.CreatePreset(brush);
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        table.Serialize(&buffer);
        benchmark::DoNotOptimize(buffer.data().size());
    }
    state.SetItemsProcessed(state.iterations() * presetCount);
}
BENCHMARK(PresetStreamWrite)->Unit(benchmark::kMillisecond);

const QByteArray &streamHeader()
{
    static const QByteArray header = QByteArrayLiteral("KVBrushPresetManager 1.00000");
    return header;
}

// The preset identifiers of a table, counted from 0 in the last three bytes.
QUuid presetId(quint32 counter)
{
    return QUuid(0, 0, 0, 0, 0, 0, 0, 0, uchar(counter >> 16), uchar(counter >> 8), uchar(counter));
}

// Each floor's round is a function of its own, kept out of line, so that an
// instruction count (valgrind --tool=callgrind) finds it beside the
// library's own functions.
Q_NEVER_INLINE void writeFloorRound(const BrushSet &set, QIODevice *device)
{
    QDataStream stream(device);
    stream.setVersion(QDataStream::Qt_4_8);
    stream.writeRawData(streamHeader().constData(), streamHeader().size());
    for (IBrush *brush : set.brushes) {
        stream << brush->typeId();
        brush->serialize(device);
    }
}

void PresetStreamWriteFloor(benchmark::State &state)
{
    const BrushSet set(sampleFactory());
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        writeFloorRound(set, &buffer);
        benchmark::DoNotOptimize(buffer.data().size());
    }
    state.SetItemsProcessed(state.iterations() * presetCount);
}
BENCHMARK(PresetStreamWriteFloor)->Unit(benchmark::kMillisecond);

void PresetStreamRead(benchmark::State &state)
{
    const QByteArray stream = presetStream(BrushSet(sampleFactory()));
    for (auto _ : state) {
        auto table = std::make_unique<BrushPresetManager>();
        QBuffer buffer;
        buffer.setData(stream);
        buffer.open(QIODevice::ReadOnly);
        table->Deserialize(&buffer);
        state.PauseTiming();
        if (table->Enumarate().size() != size_t(presetCount))
            state.SkipWithError("the stream did not read back whole");
        table.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * presetCount);
}
BENCHMARK(PresetStreamRead)->Unit(benchmark::kMillisecond);

Q_NEVER_INLINE void readFloorRound(IBrushFactory *factory, QMutex *mutex, const QStringList &types,
                                   QIODevice *device, std::map<QUuid, IBrush *> *made)
{
    quint32 counter = 0;
    for (const QString &type : types) {
        IBrush *brush = nullptr;
        {
            const QMutexLocker locker(mutex);
            brush = factory->create(type);
        }
        brush->deserialize(device);
        made->emplace_hint(made->end(), presetId(counter++), brush);
    }
}

void PresetStreamReadFloor(benchmark::State &state)
{
    IBrushFactory *factory = sampleFactory();
    const BrushSet set(factory);
    QBuffer settings;
    settings.open(QIODevice::WriteOnly);
    QStringList types;
    for (IBrush *brush : set.brushes) {
        types << brush->typeId();
        brush->serialize(&settings);
    }
    QMutex mutex;
    std::map<QUuid, IBrush *> made;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(settings.data());
        buffer.open(QIODevice::ReadOnly);
        readFloorRound(factory, &mutex, types, &buffer, &made);
        state.PauseTiming();
        for (const auto &entry : made)
            factory->release(entry.second);
        made.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * presetCount);
}
BENCHMARK(PresetStreamReadFloor)->Unit(benchmark::kMillisecond);

void RegistryCopyRelease(benchmark::State &state)
{
    const BrushSet set(sampleFactory());
    BrushFactoryManager *registry = BrushFactoryManager::instance();
    IBrush *brush = set.brushes.front();
    registry->release(registry->copy(brush)); // the route is cached from here on
    for (auto _ : state)
        registry->release(registry->copy(brush));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RegistryCopyRelease);

Q_NEVER_INLINE void copyReleaseFloorRound(IBrushFactory *factory, QMutex *mutex,
                                          const IBrush *brush)
{
    IBrush *copied = nullptr;
    {
        const QMutexLocker locker(mutex);
        copied = factory->copy(brush);
    }
    const QMutexLocker locker(mutex);
    factory->release(copied);
}

void RegistryCopyReleaseFloor(benchmark::State &state)
{
    IBrushFactory *factory = sampleFactory();
    const BrushSet set(factory);
    IBrush *brush = set.brushes.front();
    QMutex mutex;
    for (auto _ : state)
        copyReleaseFloorRound(factory, &mutex, brush);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(RegistryCopyReleaseFloor);

const bool figures = FigureRegistry::Add({QStringLiteral("preset stream write (10,000 presets)"),
                                          "PresetStreamWrite", "PresetStreamWriteFloor",
                                          Figure::TimeRatio, QStringLiteral("<= 1.3")})
                     && FigureRegistry::Add({QStringLiteral("preset stream read (10,000 presets)"),
                                             "PresetStreamRead", "PresetStreamReadFloor",
                                             Figure::TimeRatio, QStringLiteral("<= 1.3")})
                     && FigureRegistry::Add({QStringLiteral("registry routing (copy + release)"),
                                             "RegistryCopyRelease", "RegistryCopyReleaseFloor",
                                             Figure::TimeRatio, QStringLiteral("<= 1.3")});

} // namespace
