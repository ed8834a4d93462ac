// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BrushPresetManager.h"

#include "BrushFactoryManager.h"
#include "IBrush.h"
#include "private/BrushPresetManager_p.h"
#include "private/VLLogLine_p.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

namespace {

// Streams keep Qt 4's string encoding, whatever Qt's default version becomes.
constexpr QDataStream::Version streamVersion = QDataStream::Qt_4_8;

// Reads a stream string. Qt grows the string a block at a time while the
// bytes come in; a length that the device cannot supply is refused before
// anything is allocated, consuming the rest of the device just as Qt's own
// read would before it failed. Null strings and odd lengths stay with Qt.
bool readString(QDataStream &stream, QString *text)
{
    QIODevice *device = stream.device();
    const int prefixSize = int(sizeof(quint32));
    const QByteArray prefix = device->peek(prefixSize);
    if (prefix.size() == prefixSize) {
        const quint32 bytes = qFromBigEndian<quint32>(prefix.constData());
        const bool nullString = bytes == 0xffffffffu;
        const bool odd = bytes & 1u;
        if (!nullString && !odd && qint64(bytes) > device->bytesAvailable() - prefixSize) {
            device->skip(device->bytesAvailable());
            return false;
        }
    }
    stream >> *text;
    return stream.status() == QDataStream::Ok;
}

// Whether a stream can go to (or come from) the device; says why not.
bool canStream(const QIODevice *device, QIODevice::OpenModeFlag direction)
{
    if (!device) {
        VL_LOG(QStringLiteral("Can't serialize to null device."));
        return false;
    }
    if (direction == QIODevice::WriteOnly && !device->isWritable()) {
        VL_LOG(QStringLiteral("IO Device not provide write functionality."));
        return false;
    }
    if (direction == QIODevice::ReadOnly && !device->isReadable()) {
        VL_LOG(QStringLiteral("IO Device not provide read functionality."));
        return false;
    }
    return true;
}

// Hands a preset's brush back to the registry, saying so when it refuses.
void releasePresetBrush(IBrush *brush)
{
    BrushFactoryManager *registry = BrushFactoryManager::instance();
    if (!registry || !registry->release(brush))
        VL_LOG(QStringLiteral("Error when release brush preset table."));
}

} // namespace

BrushPresetManager::BrushPresetManager() = default;

BrushPresetManager::~BrushPresetManager()
{
    VL_LOG(QStringLiteral("Destroy"));
    for (const auto &entry : m_presets) {
        if (entry.second)
            releasePresetBrush(entry.second);
    }
    m_presets.clear();
    VL_LOG(QStringLiteral("Destroyed"));
}

QUuid BrushPresetManager::CreatePreset(const IBrush *brush)
{
    if (!brush)
        return QUuid();
    BrushFactoryManager *registry = BrushFactoryManager::instance();
    IBrush *copied = registry ? registry->copy(brush) : nullptr;
    QUuid id;
    if (!copied || !FilePreset(copied, &id)) {
        if (copied)
            registry->release(copied);
        VL_LOG(QStringLiteral("Error to create brush preset."));
        return QUuid();
    }
    return id;
}

void BrushPresetManager::RemovePreset(const QUuid &id)
{
    const auto entry = m_presets.find(id);
    if (entry == m_presets.end())
        return;
    if (entry->second)
        releasePresetBrush(entry->second);
    m_presets.erase(entry);
}

const IBrush *BrushPresetManager::GetBrush(const QUuid &id) const
{
    const auto entry = m_presets.find(id);
    return entry == m_presets.end() ? nullptr : entry->second;
}

std::vector<QUuid> BrushPresetManager::Enumarate() const
{
    std::vector<QUuid> ids;
    ids.reserve(m_presets.size());
    for (const auto &entry : m_presets)
        ids.push_back(entry.first);
    return ids;
}

bool BrushPresetManager::Serialize(QIODevice *device)
{
    if (!canStream(device, QIODevice::WriteOnly))
        return false;
    QDataStream stream(device);
    const QByteArray header = BrushPresetStreamHeader();
    if (stream.writeRawData(header.constData(), header.size()) != header.size())
        return false;
    for (const auto &entry : m_presets) {
        IBrush *brush = entry.second;
        // A failed record stays partly written; the others still go out.
        if (brush && !SerializeBrush(brush, device))
            VL_LOG(QStringLiteral("Error serialize brush. Type ID: %1").arg(brush->typeId()));
    }
    return true;
}

bool BrushPresetManager::Deserialize(QIODevice *device)
{
    if (!canStream(device, QIODevice::ReadOnly))
        return false;
    QDataStream stream(device);
    const QByteArray expected = BrushPresetStreamHeader();
    QByteArray header(expected.size(), '\0');
    if (stream.readRawData(header.data(), header.size()) != header.size() || header != expected)
        return false;

    while (!device->atEnd()) {
        const qint64 before = device->pos();
        IBrush *brush = nullptr;
        QUuid id;
        if (DeserializeBrush(brush, device) && !FilePreset(brush, &id))
            releasePresetBrush(brush);
        // A device that stops giving bytes before its end would hold the
        // loop forever.
        if (!device->isSequential() && device->pos() == before)
            break;
    }
    return true;
}

QUuid BrushPresetManager::CreateUniqueID() const
{
    const quint64 counter = m_counter++;
    return QUuid(0, 0, 0, 0, 0, 0, 0, 0, uchar(counter >> 16), uchar(counter >> 8), uchar(counter));
}

bool BrushPresetManager::FilePreset(IBrush *brush, QUuid *id)
{
    if (m_presets.size() >= BrushPresetIdentifierCount)
        return false;
    // Once the identifiers repeat, those still in use are passed over.
    QUuid candidate;
    do {
        candidate = CreateUniqueID();
    } while (m_presets.count(candidate));
    m_presets.emplace(candidate, brush);
    *id = candidate;
    return true;
}

bool BrushPresetManager::SerializeBrush(IBrush *brush, QIODevice *device)
{
    if (!brush)
        return true;
    QDataStream stream(device);
    stream.setVersion(streamVersion);
    stream << brush->typeId();
    return brush->serialize(device);
}

bool BrushPresetManager::DeserializeBrush(IBrush *&brush, QIODevice *device)
{
    brush = nullptr;
    QDataStream stream(device);
    stream.setVersion(streamVersion);
    QString typeId;
    if (!readString(stream, &typeId))
        return false;
    BrushFactoryManager *registry = BrushFactoryManager::instance();
    IBrush *created = registry ? registry->create(typeId) : nullptr;
    if (!created)
        return false;
    if (!created->deserialize(device)) {
        registry->release(created);
        return false;
    }
    brush = created;
    return true;
}
