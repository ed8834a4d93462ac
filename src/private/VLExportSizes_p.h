// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLEXPORTSIZES_P_H
#define VLEXPORTSIZES_P_H

#include "VLExportSizes.h"
#include "private/VLExportList_p.h"

#include <QVariant>
#include <QtGlobal>

#include <optional>

struct VLExportSizesTraits
{
    using Owner = VLExportSizes;
    using Item = qint64;

    static constexpr char group[] = "Sizes";
    static constexpr char defaultResource[] = ":/ExportAndShareSize.ini";
    static constexpr char outOfRangeText[] = "size index is out of range";

    //! A positive whole number; nothing otherwise.
    VELAGLOBAL_EXPORT static std::optional<qint64> Parse(const QVariant &stored);
    static QVariant ToStored(qint64 size) { return QVariant(qlonglong(size)); }
    static qint64 SortKey(qint64 size) { return size; }
};

class VLExportSizesPrivate : public VLExportListPrivate<VLExportSizesTraits>
{
public:
    using VLExportListPrivate::VLExportListPrivate;
};

#endif // VLEXPORTSIZES_P_H
