// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The recent list over a garbage "RecentFiles" value: the load reads at most
// 15 records without crashing or allocating beyond the value's own size, and
// the records it read, stored as a manager stores them, read back the same.

#include "private/VLIOManager_p.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<VLIOManager::RecentRecord> records =
        VLDecodeRecentFiles(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (records.size() > 15 || VLDecodeRecentFiles(VLEncodeRecentFiles(records)) != records)
        std::abort();
    return 0;
}
