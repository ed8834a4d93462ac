// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The export lists over a garbage user file: the load skips what it cannot
// parse, and an edit and the save that follows neither crash nor hang.

#include "FuzzSupport.h"

#include "GlobalApplicationData.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"

#include <QDir>
#include <QSize>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = VelaFuzz::WorkFolder() + QStringLiteral("/Kelvane/");
    QDir().mkpath(folder);
    VelaFuzz::WriteInput(folder + QStringLiteral("ExportAndShareResolution.ini"), data, size);
    VelaFuzz::WriteInput(folder + QStringLiteral("ExportAndShareSize.ini"), data, size);

    GlobalApplicationData::InitInstance();
    VLExportResolutions::Add(QSize(800, 600));
    VLExportResolutions::Set(0, QSize(1, 1));
    VLExportResolutions::Remove(VLExportResolutions::GetSize() - 1);
    VLExportSizes::Add(1024);
    VLExportSizes::Set(0, 1);
    VLExportSizes::Remove(VLExportSizes::GetSize() - 1);
    GlobalApplicationData::ReleaseInstance();
    return 0;
}
