// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The export lists over a garbage user file: the load skips what it cannot
// parse, an edit and the save that follows neither crash nor hang, and the
// saved file reads back with the edited list at its start.

#include "FuzzSupport.h"

#include "GlobalApplicationData.h"

#include "private/VLExportResolutions_p.h"
#include "private/VLExportSizes_p.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Loads the list from the input, adds an entry in order as the editor's
// dialog does (every edit saves the list at once, and the save is what
// costs) and checks what the save left in the file. The list's own
// implementation is driven directly, announcing through the run's list
// object: the static members only forward to it.
template<typename List, typename Traits>
void editAndCheck(List *owner, const QString &path, const uint8_t *data, size_t size,
                  const typename Traits::Item &added)
{
    VLExportListPrivate<Traits> list(owner);
    list.Load(VelaFuzz::WriteInput(path, data, size));
    list.AddSorted(added);

    const auto saved = VLExportListPrivate<Traits>::ReadUserList(path);
    // Compared item by item: Qt 6.4 compares two empty lists of numbers by
    // a memcmp of null pointers.
    if (!saved || saved->size() < list.items.size()
        || !std::equal(list.items.cbegin(), list.items.cend(), saved->cbegin()))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString folder = VelaFuzz::ApplicationData()->GetAppDataFolderPath();
    editAndCheck<VLExportResolutions, VLExportResolutionsTraits>(
        VLExportResolutions::GetInstance(), folder + QStringLiteral("ExportAndShareResolution.ini"),
        data, size, QSize(800, 600));
    editAndCheck<VLExportSizes, VLExportSizesTraits>(
        VLExportSizes::GetInstance(), folder + QStringLiteral("ExportAndShareSize.ini"), data, size,
        1024);
    return 0;
}
