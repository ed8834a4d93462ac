// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The brush preset table over a garbage stream: after a valid header,
// anything. Reading must neither crash, hang nor allocate for a length the
// stream only claims (-malloc_limit_mb catches that), and what was read must
// write out and read back to the same bytes.

#include "FuzzSupport.h"

#include "BrushFactoryManager.h"
#include "BrushPresetManager.h"
#include "VLPluginLoader.h"

#include <QBuffer>

namespace {

// The sample brush plug-in, loaded once for the whole run.
void startRegistry()
{
    VelaFuzz::WorkFolder();
    VLPluginLoader::InitInstance();
    if (VLPluginLoader::Instance()->LoadPlugin(QStringLiteral(VELA_SAMPLE_PLUGIN)).isEmpty())
        qFatal("the sample brush plug-in does not load");
    BrushFactoryManager::InitInstance();
}

QByteArray written(BrushPresetManager &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    table.Serialize(&buffer);
    return buffer.data();
}

bool read(BrushPresetManager &table, const QByteArray &stream)
{
    QBuffer buffer;
    buffer.setData(stream);
    buffer.open(QIODevice::ReadOnly);
    return table.Deserialize(&buffer) && buffer.atEnd();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool started = (startRegistry(), true);
    Q_UNUSED(started);

    const QByteArray stream = QByteArrayLiteral("KVBrushPresetManager 1.00000")
                              + QByteArray(reinterpret_cast<const char *>(data), int(size));
    BrushPresetManager table;
    if (!read(table, stream))
        __builtin_trap();
    const QByteArray once = written(table);
    BrushPresetManager again;
    if (!read(again, once) || written(again) != once)
        __builtin_trap();
    return 0;
}
