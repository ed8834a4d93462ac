// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The export lists over a garbage user file: the load skips what it cannot
// parse, and (for the inputs that take the full check) an edit and the save
// that follows neither crash nor hang, and the saved file reads back with
// the edited list at its start.

#include "FuzzSupport.h"

#include "GlobalApplicationData.h"

#include "private/VLExportResolutions_p.h"
#include "private/VLExportSizes_p.h"
#include "private/VLIniFile_p.h"

#include <QFile>

#include <algorithm>
#include <cstdlib>

namespace {

// Whether the file holds the list, and maybe entries after it.
template<typename Traits>
bool startsWith(const QString &path, const VLExportListPrivate<Traits> &list)
{
    const auto saved = VLExportListPrivate<Traits>::ReadUserList(path);
    // Compared item by item: Qt 6.4 compares two empty lists of numbers by
    // a memcmp of null pointers.
    return saved && saved->size() >= list.items.size()
           && std::equal(list.items.cbegin(), list.items.cend(), saved->cbegin());
}

bool unchanged(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
           && file.readAll()
                  == QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
}

} // namespace

// Both lists read the one input file, each its own group, as each reads its
// own file of the same shape. Most inputs are only read, as the load reads
// them: a file that is no user list has the load seed the defaults and save
// them, and the saves, not the parse, would set the pace. For the inputs
// that take the full check the lists' own implementation is driven
// directly, announcing through the run's list objects (the static members
// only forward to it): each list loads, takes an entry in order, as the
// editor's dialog adds one, and saves at once.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = VelaFuzz::ApplicationData()->GetAppDataFolderPath()
                                + QStringLiteral("ExportAndShareResolution.ini");
    VelaFuzz::WriteInput(path, data, size);

    if (!VelaFuzz::TakesFullCheck(data, size)) {
        VLExportListPrivate<VLExportResolutionsTraits>::ReadUserList(path);
        VLExportListPrivate<VLExportSizesTraits>::ReadUserList(path);
        return 0;
    }
    // A file that Qt cannot make room for reads as no list, and the saves
    // leave it as it is.
    const bool readable = VLIniFile::ReadAll(QSettings(path, QSettings::IniFormat));
    VLExportListPrivate<VLExportResolutionsTraits> resolutions(VLExportResolutions::GetInstance());
    VLExportListPrivate<VLExportSizesTraits> sizes(VLExportSizes::GetInstance());
    resolutions.Load(path);
    sizes.Load(path);
    resolutions.AddSorted(QSize(800, 600));
    sizes.AddSorted(1024);
    const bool saved = readable ? startsWith(path, resolutions) && startsWith(path, sizes)
                                : unchanged(path, data, size);
    if (!saved)
        std::abort();
    return 0;
}
