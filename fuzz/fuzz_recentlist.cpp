// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The recent list over a garbage "RecentFiles" value: the load reads at most
// 15 records without crashing or allocating beyond the value's own size, and
// the records it read, written as the list is stored, read back the same.

#include "private/VLIOManager_p.h"

#include <QDataStream>
#include <QIODevice>

#include <cstdlib>

namespace {

QByteArray stored(const QList<VLIOManager::RecentRecord> &records)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << qint32(records.size());
    for (const VLIOManager::RecentRecord &record : records)
        stream << record.first << record.second;
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<VLIOManager::RecentRecord> records =
        VLDecodeRecentFiles(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (records.size() > 15 || VLDecodeRecentFiles(stored(records)) != records)
        std::abort();
    return 0;
}
