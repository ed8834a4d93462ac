// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The preferences document over garbage: the start-up load and every typed
// accessor must neither crash nor hang, and (for the inputs that take the
// full check) a save and a second load neither, with what the save wrote
// loading back to the same answers.
//
// The fuzzers live away from the shipped application folder, so there is no
// default document to install over the user's: the input itself is what the
// load reads. One application data object serves the whole run; each load
// starts from an empty parameter map, as the first load of a run does.

#include "FuzzSupport.h"

#include "GlobalApplicationData.h"
#include "private/VLPreferenceMap_p.h"

#include <QColor>

#include <cstdlib>

namespace {

QStringList answers(GlobalApplicationData *data)
{
    return {data->DefImageType(),
            data->LastVisitedFolder(),
            QString::number(data->RememberLastVisitedFolder()),
            QString::number(data->GetWorkingSpaceRGB()),
            QString::number(data->GetRGBManagementPolicy()),
            QString::number(data->GetTextAntialiasing()),
            data->GetUserBackgroundColor().name(QColor::HexArgb),
            data->GetUserColor1Color().name(QColor::HexArgb),
            data->GetUserColor2Color().name(QColor::HexArgb),
            data->GetProxyHostName(),
            QString::number(data->GetProxyPortNumber())};
}

QStringList load(GlobalApplicationData *data)
{
    VLPreferenceMap::Clear(*data);
    data->InitUserPreferences();
    return answers(data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    GlobalApplicationData *data = VelaFuzz::ApplicationData();
    VelaFuzz::WriteInput(data->GetAppDataFolderPath() + QStringLiteral("properties.xml"), bytes,
                         size);

    const QStringList first = load(data);
    if (!VelaFuzz::TakesFullCheck(bytes, size))
        return 0;
    data->SetTextAntialiasing(data->GetTextAntialiasing());
    data->SaveUserPreferences();
    if (load(data) != first)
        std::abort();
    return 0;
}
