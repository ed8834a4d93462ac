// SPDX-License-Identifier: LGPL-2.1-or-later
//
// A garbage ini file read by everything the library decides on top of
// QSettings: the typed preferences of the settings store with their
// defaults and fallbacks, the language, the recent-list value inside the
// file and the export lists' entries. Nothing crashes or hangs, and a write
// of one key, as the language setter makes it, leaves every answer as it
// was (for the inputs that take the full check).

#include "FuzzSupport.h"

#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"
#include "private/VLExportResolutions_p.h"
#include "private/VLExportSizes_p.h"
#include "private/VLIOManager_p.h"

#include <cstdlib>

namespace {

// An export list's entries as the load would take them from the file.
template<typename Traits>
QString listAnswer(const QString &path)
{
    const auto list = VLExportListPrivate<Traits>::ReadUserList(path);
    if (!list)
        return QStringLiteral("none");
    QStringList items;
    for (const auto &item : *list)
        items << Traits::ToStored(item).toString();
    return items.join(QLatin1Char(','));
}

QStringList answers(const GlobalApplicationData *data, const QString &path)
{
    // One reader of each kind: every preference of a kind is read the same
    // way, and each read opens the file anew.
    QStringList result = {
        data->GetBatchOutputPath(), // falls back to the batch input, then the open folder
        QString::number(GlobalApplicationData::IsJPGCompressionVisible()),
        QString::number(data->GetColorManagementEqualPolicy()),
        QString::number(data->GetLanguageIndex()),
        listAnswer<VLExportResolutionsTraits>(path),
        listAnswer<VLExportSizesTraits>(path),
    };
    const QList<VLIOManager::RecentRecord> recent = VLReadRecentFiles(path);
    for (const VLIOManager::RecentRecord &record : recent)
        result << record.first << record.second;
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    GlobalApplicationData *data = VelaFuzz::ApplicationData();
    const QString path = VelaFuzz::WriteInput(VLApplicationSettings::GetFileName(), bytes, size);

    const QStringList before = answers(data, path);
    if (!VelaFuzz::TakesFullCheck(bytes, size))
        return 0;
    data->SetLanguageIndex(data->GetLanguageIndex());
    if (answers(data, path) != before)
        std::abort();
    return 0;
}
