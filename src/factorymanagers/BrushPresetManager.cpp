// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BrushPresetManager.h"

#include "BrushFactoryManager.h"
#include "IBrush.h"
#include "private/BrushPresetManager_p.h"
#include "private/VLLogLine_p.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

#include <array>
#include <cstring>

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
    char prefix[prefixSize];
    if (device->peek(prefix, prefixSize) == prefixSize) {
        const quint32 bytes = qFromBigEndian<quint32>(prefix);
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

// The stream forms of the brush type identifiers that this thread wrote or
// read last. A table holds few brush types, so nearly every record carries
// one of them again: its bytes are then written as a whole, or recognised
// and skipped, with no string conversion. The bytes are exactly those that
// QDataStream writes for the string.
class TypeIdCodec
{
public:
    QByteArray Encoded(const QString &typeId)
    {
        for (const Entry &entry : m_entries) {
            if (!entry.bytes.isEmpty() && entry.text.isNull() == typeId.isNull()
                && entry.text == typeId)
                return entry.bytes;
        }
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setVersion(streamVersion);
        stream << typeId;
        Keep(typeId, bytes);
        return bytes;
    }

    //! Consumes a known identifier at the device's position and gives its
    //! text, which stays until this thread next encodes or learns a new
    //! identifier; null, with nothing consumed, for any other bytes.
    const QString *Decode(QIODevice *device) const
    {
        char peeked[maxBytes];
        const qint64 size = m_longest > 0 ? device->peek(peeked, m_longest) : 0;
        for (const Entry &entry : m_entries) {
            const qint64 length = entry.bytes.size();
            if (length > 0 && length <= size
                && memcmp(peeked, entry.bytes.constData(), size_t(length)) == 0) {
                device->skip(length);
                return &entry.text;
            }
        }
        return nullptr;
    }

    //! Learns a string read the long way.
    void Learn(const QString &typeId) { Encoded(typeId); }

private:
    void Keep(const QString &typeId, const QByteArray &bytes)
    {
        if (bytes.size() > maxBytes)
            return;
        // A copy of its own: a plug-in's identifier may live in the
        // plug-in's memory, which goes when the plug-in is unloaded.
        const QString kept = typeId.isNull() ? QString() : QString(typeId.unicode(), typeId.size());
        m_entries[m_next] = {kept, bytes};
        m_next = (m_next + 1) % int(m_entries.size());
        m_longest = qMax(m_longest, qint64(bytes.size()));
    }

    static constexpr int maxBytes = 260;
    struct Entry
    {
        QString text;
        QByteArray bytes;
    };
    std::array<Entry, 8> m_entries;
    int m_next = 0;
    qint64 m_longest = 0;
};

TypeIdCodec &typeIdCodec()
{
    thread_local TypeIdCodec codec;
    return codec;
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
    // Identifiers grow with the counter, so a new one almost always goes
    // after the last; once they repeat, those still in use are passed over.
    for (;;) {
        const QUuid candidate = CreateUniqueID();
        const bool last =
            m_presets.empty() || m_presets.key_comp()(m_presets.rbegin()->first, candidate);
        const bool filed = last ? (m_presets.emplace_hint(m_presets.end(), candidate, brush), true)
                                : m_presets.try_emplace(candidate, brush).second;
        if (filed) {
            *id = candidate;
            return true;
        }
    }
}

bool BrushPresetManager::SerializeBrush(IBrush *brush, QIODevice *device)
{
    if (!brush)
        return true;
    device->write(typeIdCodec().Encoded(brush->typeId()));
    return brush->serialize(device);
}

bool BrushPresetManager::DeserializeBrush(IBrush *&brush, QIODevice *device)
{
    brush = nullptr;
    QString readTypeId;
    TypeIdCodec &codec = typeIdCodec();
    const QString *typeId = codec.Decode(device);
    if (!typeId) {
        QDataStream stream(device);
        stream.setVersion(streamVersion);
        if (!readString(stream, &readTypeId))
            return false;
        codec.Learn(readTypeId);
        typeId = &readTypeId;
    }
    BrushFactoryManager *registry = BrushFactoryManager::instance();
    IBrush *created = registry ? registry->create(*typeId) : nullptr;
    if (!created)
        return false;
    if (!created->deserialize(device)) {
        registry->release(created);
        return false;
    }
    brush = created;
    return true;
}
