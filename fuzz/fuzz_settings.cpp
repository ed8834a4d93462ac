// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The settings store over a garbage "kelvane.ini": reads, a write and the
// reads again must neither crash nor hang, whatever the file holds.

#include "FuzzSupport.h"

#include "VLApplicationSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path =
        VelaFuzz::WriteInput(VelaFuzz::WorkFolder() + QStringLiteral("/kelvane.ini"), data, size);
    VLApplicationSettings::SetFileName(path);

    const QString keys[] = {QStringLiteral("Version"), QStringLiteral("Language/Index"),
                            QStringLiteral("Batch/Path/Input"),
                            QStringLiteral("ColorManagement/EqualPolicy")};
    for (const QString &key : keys) {
        VLApplicationSettings::Contains(key);
        VLApplicationSettings::GetValue(key, QStringLiteral("default")).toString();
        VLApplicationSettings::GetValue(key, 0).toInt();
    }
    VLApplicationSettings::SetValue(QStringLiteral("Version"), QStringLiteral("2.0"));
    VLApplicationSettings::GetValue(QStringLiteral("Version")).toString();
    return 0;
}
