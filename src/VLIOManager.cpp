// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLIOManager.h"

#include "GlobalApplicationData.h"
#include "IInput.h"
#include "IOutput.h"
#include "IToolContainer.h"
#include "VLPluginLoader.h"
#include "private/VLIOManager_p.h"
#include "private/VLIniFile_p.h"
#include "private/VLLogLine_p.h"
#include "private/VLSaveFile_p.h"

#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QIODevice>
#include <QSettings>
#include <QVariant>

namespace {

// Every run starts with this limit; the saved one is not taken back.
const int startRecentLimit = 15;

const quint32 nullStringMarker = 0xffffffff;

QString recentFileName()
{
    const GlobalApplicationData *data = GlobalApplicationData::Instance();
    const QString folder = data ? data->GetAppDataFolderPath() : QString();
    const QString name = QStringLiteral("settings.ini");
    // Without a data folder the file is named bare, in the working directory.
    return folder.isEmpty() ? name : folder + QDir::separator() + name;
}

// One string of the list, read as QDataStream reads it, except that a length
// beyond the data left is not handed to QDataStream, which would grow the
// string towards the claimed size before it notices the short read. The
// result is the same: a null string, and nothing left to read.
// A spoilt string (an odd length) does not stop the reads after it.
QString readRecentString(QDataStream &stream)
{
    stream.resetStatus();
    QIODevice *device = stream.device();
    const qint64 start = device->pos();
    quint32 byteCount = 0;
    stream >> byteCount;
    if (byteCount != nullStringMarker && byteCount > device->bytesAvailable()) {
        device->seek(device->size());
        return QString();
    }
    device->seek(start);
    QString text;
    stream >> text;
    return text;
}

// The stored list: a signed 32-bit count, then first and second of each
// record. Reads at most limit records; past the end of the data the strings
// read as empty.
QList<VLIOManager::RecentRecord> readRecentList(const QByteArray &bytes, int limit)
{
    QDataStream stream(bytes);
    qint32 count = 0;
    stream >> count;
    QList<VLIOManager::RecentRecord> records;
    const int wanted = qMax(0, qMin(limit, count));
    for (int i = 0; i < wanted; ++i) {
        VLIOManager::RecentRecord record;
        record.first = readRecentString(stream);
        record.second = readRecentString(stream);
        records.append(record);
    }
    return records;
}

QByteArray writeRecentList(const QList<VLIOManager::RecentRecord> &records)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << qint32(records.size());
    for (const VLIOManager::RecentRecord &record : records)
        stream << record.first << record.second;
    return bytes;
}

// A value that is not a byte array (text put there by hand) is read as its
// Latin-1 bytes.
QByteArray storedBytes(const QVariant &value)
{
    if (value.userType() == QMetaType::QString)
        return value.toString().toLatin1();
    return value.toByteArray();
}

} // namespace

QList<VLIOManager::RecentRecord> VLDecodeRecentFiles(const QByteArray &value)
{
    return readRecentList(value, startRecentLimit);
}

QByteArray VLEncodeRecentFiles(const QList<VLIOManager::RecentRecord> &records)
{
    return writeRecentList(records);
}

QList<VLIOManager::RecentRecord> VLReadRecentFiles(const QString &fileName)
{
    const VLIniFile settings(fileName);
    return VLDecodeRecentFiles(storedBytes(settings.value(QStringLiteral("Recent/RecentFiles"))));
}

VLIOManagerPrivate::VLIOManagerPrivate(VLIOManager *owner)
    : owner(owner)
{
}

void VLIOManagerPrivate::ScanPlugins()
{
    // The editor starts the loader first; without it there is nothing to scan.
    const VLPluginLoader *loader = VLPluginLoader::Instance();
    if (!loader)
        return;
    const QList<QObject *> plugins = loader->GetPlugins();
    for (QObject *plugin : plugins) {
        IToolContainer *container = qobject_cast<IToolContainer *>(plugin);
        if (!container)
            continue;
        const QList<QObject *> tools = container->GetTools();
        for (QObject *tool : tools) {
            if (!tool)
                continue;
            // Both casts first: a tool may be a reader and a writer, filed
            // under the name each interface reports. The last name met wins.
            IInput *input = qobject_cast<IInput *>(tool);
            IOutput *output = qobject_cast<IOutput *>(tool);
            if (input)
                inputs.insert(input->GetName(), input);
            if (output)
                outputs.insert(output->GetName(), output);
        }
    }
}

void VLIOManagerPrivate::LoadRecent()
{
    limit = startRecentLimit;
    recent = VLReadRecentFiles(recentFileName());
    Q_EMIT owner->RecentListChanged();
}

void VLIOManagerPrivate::SaveRecent() const
{
    VLSaveFile::EditSettings(recentFileName(), [this](QSettings &settings) {
        settings.beginGroup(QStringLiteral("Recent"));
        settings.setValue(QStringLiteral("RecentLimit"), limit);
        settings.setValue(QStringLiteral("RecentFiles"), writeRecentList(recent));
        settings.endGroup();
    });
}

VLIOManager *VLIOManager::m_pInstance = nullptr;

void VLIOManager::InitInstance()
{
    if (m_pInstance)
        return;
    m_pInstance = new VLIOManager(nullptr);
    m_pInstance->d_func()->ScanPlugins();
}

VLIOManager *VLIOManager::Instance()
{
    return m_pInstance;
}

void VLIOManager::ReleaseInstance()
{
    if (!m_pInstance)
        return;
    delete m_pInstance;
    m_pInstance = nullptr;
}

VLIOManager::VLIOManager(QObject *parent)
    : QObject(parent)
    , d_ptr(new VLIOManagerPrivate(this))
{
    d_func()->LoadRecent();
}

VLIOManager::~VLIOManager()
{
    VL_LOG(QStringLiteral("Destroy"));
    d_func()->SaveRecent();
    // The registries hold plain pointers into the plug-ins: nothing to delete.
    d_ptr.reset();
    VL_LOG(QStringLiteral("Destroyed"));
}

IInput *VLIOManager::GetInput(const QString &name) const
{
    return d_func()->inputs.value(name, nullptr);
}

QStringList VLIOManager::GetInputs() const
{
    return d_func()->inputs.keys();
}

IOutput *VLIOManager::GetOutput(const QString &name) const
{
    return d_func()->outputs.value(name, nullptr);
}

QStringList VLIOManager::GetOutputs() const
{
    return d_func()->outputs.keys();
}

void VLIOManager::AddToRecent(const RecentRecord &record)
{
    Q_D(VLIOManager);
    if (d->limit == 0)
        return;
    const int existing = int(d->recent.indexOf(record));
    if (existing == 0)
        return;
    if (existing > 0)
        d->recent.removeAt(existing);
    else if (d->recent.size() >= d->limit)
        d->recent.removeLast();
    d->recent.prepend(record);
    Q_EMIT RecentListChanged();
    d->SaveRecent();
}

QList<VLIOManager::RecentRecord> VLIOManager::GetRecent() const
{
    return d_func()->recent;
}

int VLIOManager::GetRecentLimit() const
{
    return d_func()->limit;
}

void VLIOManager::SetRecentListLimit(int limit)
{
    Q_D(VLIOManager);
    if (limit == d->limit || limit < 0)
        return;
    if (limit < d->limit) {
        // Announced on every decrease, whether or not an entry went.
        while (d->recent.size() > limit)
            d->recent.removeLast();
        Q_EMIT RecentListChanged();
    }
    d->limit = limit;
}
