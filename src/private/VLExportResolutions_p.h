// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLEXPORTRESOLUTIONS_P_H
#define VLEXPORTRESOLUTIONS_P_H

#include "VLExportResolutions.h"
#include "private/VLExportList_p.h"

#include <QSize>
#include <QVariant>

#include <optional>

struct VLExportResolutionsTraits
{
    using Owner = VLExportResolutions;
    using Item = QSize;

    static constexpr char group[] = "Resolutions";
    static constexpr char defaultResource[] = ":/ExportAndShareResolution.ini";
    static constexpr char outOfRangeText[] = "resolution index is out of range";

    //! "1920x1080" (spaces ignored), each side 1..10000; nothing otherwise.
    VELAGLOBAL_EXPORT static std::optional<QSize> Parse(const QVariant &stored);
    VELAGLOBAL_EXPORT static QVariant ToStored(const QSize &size);
    static int SortKey(const QSize &size) { return size.width(); }
};

class VLExportResolutionsPrivate : public VLExportListPrivate<VLExportResolutionsTraits>
{
public:
    using VLExportListPrivate::VLExportListPrivate;
};

#endif // VLEXPORTRESOLUTIONS_P_H
